// Frame time of the scene pass against a bare loop that issues the same
// geometry.
//
// For each scene (the three board sizes, empty and with a model built through
// the board rules) it times draw_frame() and a reference frame written here
// with plain GL and GLU calls: the same plate, studs, boxes, outlines,
// materials, camera and light, with nothing around them. Each frame ends with
// glFinish(). Short runs of the two alternate for many rounds, and the median
// of the rounds' program / reference ratios is reported, so that load from
// other programs mostly falls on both sides of a ratio. Wall time
// (steady_clock) is what the user waits; the process's CPU time, llvmpipe's
// threads included, is reported beside it because it moves much less when
// other programs load the machine.
//
// The window is 800x600 and the 3-D view is its left 600x600, as the program
// leaves it beside its panel, with the perspective of the whole window.
// Buffers are not swapped: only the drawing is timed. "diff px" counts the
// pixels where the two frames differ; a few (edges) come from the program's
// turn of the view about the look-at point, which the reference leaves out.
//
//   frame_bench [--rounds N] [--frames N] [--check]   (under X, e.g. tests/x.py)
// --check: exit 1 when a scene's ratio is above 1.05.
#include <GL/freeglut.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "board/board.h"
#include "render/materials.h"
#include "render/scene.h"

namespace {

constexpr int WIN_W = 800, WIN_H = 600;
constexpr int VIEW_W = 600, VIEW_H = 600;  // the window less the panel on its right

// ---- The reference frame ---------------------------------------------------------

constexpr float STUD_R = 0.0625f, STUD_H = 0.0325f;
constexpr int SUBDIV = 20;

struct Mat {
    float amb[4], dif[4], specular[4], shine;
};
const Mat REF_BLOCK[3] = {{{0.3f, 0, 0, 1}, {0.9f, 0, 0, 1}, {0, 0, 0, 1}, 4},
                          {{0, 0, 0.3f, 1}, {0, 0, 0.9f, 1}, {0, 0, 0, 1}, 14},
                          {{0, 0.3f, 0, 1}, {0, 0.9f, 0, 1}, {0, 0, 0, 1}, 4}};
const Mat REF_BASE[3] = {{{0.3f, 0, 0, 1}, {0.9f, 0, 0, 1}, {0, 0, 0, 1}, 0},
                         {{0, 0, 0.3f, 1}, {0, 0, 0.9f, 1}, {0, 0, 0, 1}, 0},
                         {{0, 0.3f, 0, 1}, {0, 0.9f, 0, 1}, {0, 0, 0, 1}, 0}};
const Mat REF_CURSOR = {{0.2f, 0.2f, 0.2f, 0.5f}, {0.8f, 0.8f, 0.8f, 0.5f}, {0, 0, 0, 0}, 0.5f};
const Mat REF_OUTLINE = {{0, 0, 0, 1}, {0, 0, 0, 0}, {0, 0, 0, 0}, 0};
const float REF_LIGHT_POS[4] = {1, 3, 1.5f, 1};

GLUquadric *quad;

void ref_material(const Mat &m)
{
    glMaterialfv(GL_FRONT, GL_AMBIENT, m.amb);
    glMaterialfv(GL_FRONT, GL_DIFFUSE, m.dif);
    glMaterialfv(GL_FRONT, GL_SPECULAR, m.specular);
    glMaterialf(GL_FRONT, GL_SHININESS, m.shine);
}

void ref_stud(float x, float y, float z)
{
    glPushMatrix();
    glTranslatef(x, y, z);
    glRotatef(-90, 1, 0, 0);
    glPushMatrix();
    glTranslatef(0, 0, STUD_H);
    gluDisk(quad, 0, STUD_R, SUBDIV, SUBDIV);  // top
    glPopMatrix();
    gluDisk(quad, 0, STUD_R, SUBDIV, SUBDIV);  // bottom
    gluCylinder(quad, STUD_R, STUD_R, STUD_H, SUBDIV, SUBDIV);
    glPopMatrix();
}

void ref_box(int width, int length, GLenum mode)
{
    const float l = length * CELL, w = -width * CELL, h = CELL;
    const float p[8][3] = {{0, 0, 0}, {0, h, 0}, {l, h, 0}, {l, 0, 0},
                           {0, 0, w}, {0, h, w}, {l, h, w}, {l, 0, w}};
    static const int faces[6][4] = {{0, 3, 2, 1}, {2, 3, 7, 6}, {3, 0, 4, 7},
                                    {1, 2, 6, 5}, {4, 5, 6, 7}, {5, 4, 0, 1}};
    for (const auto &f : faces) {
        glBegin(mode);
        for (int i : f) glVertex3fv(p[i]);
        glEnd();
    }
}

void ref_brick(const Block &b, const Mat &m)
{
    ref_material(m);
    for (int r = int(b.z); r < int(b.z) + b.width; ++r)
        for (int c = int(b.x); c < int(b.x) + b.length; ++c)
            ref_stud(c * CELL + 0.125f, (b.y + 1) * CELL, -(r * CELL) - 0.125f);
    glPushMatrix();
    glTranslatef(b.x * CELL, b.y * CELL, -b.z * CELL);
    ref_box(b.width, b.length, GL_POLYGON);
    ref_material(REF_OUTLINE);
    ref_box(b.width, b.length, GL_LINE_LOOP);
    glPopMatrix();
}

void reference_frame()
{
    const int n = int(board_size_x);
    const float s = float(n), half = s * CELL / 2;
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    gluLookAt(half, n == 10 ? 1 : n == 20 ? 3 : 4, s * 0.1f, half, 0, -half, 0, 1, 0);
    glLightfv(GL_LIGHT0, GL_POSITION, REF_LIGHT_POS);
    glEnable(GL_LIGHTING);
    glLineWidth(1);

    ref_material(REF_BASE[base_color - 1]);
    glBegin(GL_POLYGON);
    glVertex3f(0, 0, 0);
    glVertex3f(0, 0, -s * CELL);
    glVertex3f(s * CELL, 0, -s * CELL);
    glVertex3f(s * CELL, 0, 0);
    glEnd();
    for (int r = 0; r < n; ++r)
        for (int c = 0; c < n; ++c) ref_stud(c * CELL + 0.125f, 0, -(r * CELL) - 0.125f);

    for (const Block &b : blocks) ref_brick(b, REF_BLOCK[b.color - 1]);
    ref_brick(cursor, REF_CURSOR);
    glPopMatrix();
}

// ---- Scenes built through the board rules ---------------------------------------

struct Scene {
    const char *name;
    int size_id;  // 1, 2, 3 for 10, 20, 30 cells
    int bricks;
};

// A fixed sequence of moves, footprints, colours and drops until `bricks`
// stand on the board; the same model on every run and every machine.
void build_model(const Scene &sc)
{
    reset_board();
    set_base_size(sc.size_id);
    uint32_t state = 12345u + uint32_t(sc.size_id);
    auto next = [&] {
        state = state * 1664525u + 1013904223u;
        return state >> 16;
    };
    while (int(blocks.size()) < sc.bricks) {
        switch (next() % 12) {
        case 0: case 1: move_cursor_back(); break;
        case 2: case 3: move_cursor_front(); break;
        case 4: case 5: move_cursor_left(); break;
        case 6: case 7: move_cursor_right(); break;
        case 8: set_cursor_width(1 + int(next() % 4)); set_cursor_length(1 + int(next() % 4)); break;
        case 9: rotate_cursor(); break;
        case 10: set_block_color(1 + int(next() % 3)); break;
        default: place_block(); break;
        }
    }
}

// ---- Timing --------------------------------------------------------------------

using Clock = std::chrono::steady_clock;

double cpu_ms()
{
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

struct Timing {
    double wall, cpu;  // ms per frame
};

Timing time_frames(void (*frame)(), int frames)
{
    const double c0 = cpu_ms();
    const auto t0 = Clock::now();
    for (int i = 0; i < frames; ++i) {
        frame();
        glFinish();
    }
    const double wall = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    return {wall / frames, (cpu_ms() - c0) / frames};
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

std::vector<unsigned char> grab()
{
    std::vector<unsigned char> px(VIEW_W * VIEW_H * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, VIEW_W, VIEW_H, GL_RGB, GL_UNSIGNED_BYTE, px.data());
    return px;
}

// Pixels where the two frames differ by more than a step of rounding.
int differing_pixels(void (*a)(), void (*b)())
{
    a();
    glFinish();
    const auto pa = grab();
    b();
    glFinish();
    const auto pb = grab();
    int n = 0;
    for (std::size_t i = 0; i < pa.size(); i += 3)
        for (int k = 0; k < 3; ++k)
            if (std::abs(pa[i + k] - pb[i + k]) > 2) {
                ++n;
                break;
            }
    return n;
}

bool shown;
void on_display() { shown = true; }

}  // namespace

int main(int argc, char **argv)
{
    glutInit(&argc, argv);
    int rounds = 25, frames = 0;  // frames 0: chosen per scene from the first frame's time
    bool check = false;
    for (int i = 1; i < argc; ++i) {
        const bool has_value = i + 1 < argc;
        if (!std::strcmp(argv[i], "--rounds") && has_value) rounds = std::max(1, std::atoi(argv[++i]));
        else if (!std::strcmp(argv[i], "--frames") && has_value) frames = std::max(1, std::atoi(argv[++i]));
        else if (!std::strcmp(argv[i], "--check")) check = true;
        else {
            std::fprintf(stderr, "usage: frame_bench [--rounds N] [--frames N] [--check]\n");
            return 2;
        }
    }

    // The program's window and GL state.
    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowSize(WIN_W, WIN_H);
    glutCreateWindow("PLOK Time frame bench");
    glutDisplayFunc(on_display);
    while (!shown) glutMainLoopEvent();
    glClearColor(0, 0, 0, 0);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_TEXTURE_2D);
    init_lighting();
    set_projection(WIN_W, WIN_H);
    glViewport(0, 0, VIEW_W, VIEW_H);
    quad = gluNewQuadric();
    gluQuadricDrawStyle(quad, GLU_FILL);

    std::printf("renderer: %s\n", reinterpret_cast<const char *>(glGetString(GL_RENDERER)));
    std::printf("viewport %dx%d in a %dx%d window; %d rounds, program and reference alternating\n\n",
                VIEW_W, VIEW_H, WIN_W, WIN_H, rounds);

    const Scene scenes[] = {
        {"10x10 empty", 1, 0},        {"20x20 empty", 2, 0},        {"30x30 empty", 3, 0},
        {"10x10, 40 bricks", 1, 40},  {"20x20, 150 bricks", 2, 150}, {"30x30, 300 bricks", 3, 300},
    };
    std::printf("%-18s %6s %9s %9s %7s %11s %9s %8s\n", "scene", "frames", "prog ms", "ref ms",
                "ratio", "spread", "cpu ratio", "diff px");
    bool over = false;
    for (const Scene &sc : scenes) {
        build_model(sc);
        // Warm-up, and the frame count that makes a run about 150 ms.
        // The first frames also leave the GL state (the current normal above all,
        // which nothing sets before the plate) as every later frame finds it.
        time_frames(draw_frame, 1);
        time_frames(reference_frame, 1);
        const int diff = differing_pixels(draw_frame, reference_frame);
        const double one = std::min(time_frames(draw_frame, 1).wall, time_frames(draw_frame, 1).wall);
        const int n = frames ? frames : std::clamp(int(150 / std::max(one, 1.0)), 1, 50);

        std::vector<double> prog, ref, ratio, ratio_cpu;
        for (int r = 0; r < rounds; ++r) {
            // ABBA within a pair of rounds, so a drift in machine load falls on both sides.
            Timing a, b;
            if (r % 2 == 0) {
                a = time_frames(draw_frame, n);
                b = time_frames(reference_frame, n);
            } else {
                b = time_frames(reference_frame, n);
                a = time_frames(draw_frame, n);
            }
            prog.push_back(a.wall);
            ref.push_back(b.wall);
            ratio.push_back(a.wall / b.wall);
            ratio_cpu.push_back(a.cpu / b.cpu);
        }
        const double mp = median(prog), mr = median(ref), q = median(ratio), q_cpu = median(ratio_cpu);
        const auto [lo, hi] = std::minmax_element(ratio.begin(), ratio.end());
        char spread[32];
        std::snprintf(spread, sizeof spread, "%.2f-%.2f", *lo, *hi);
        std::printf("%-18s %6d %9.2f %9.2f %7.3f %11s %9.3f %8d%s\n", sc.name, n, mp, mr, q, spread, q_cpu,
                    diff, q > 1.05 ? "  over 1.05" : "");
        std::fflush(stdout);
        over = over || q > 1.05;
    }
    std::printf("\nms: median wall time per frame. ratio: median of the rounds' program / reference\n"
                "wall-time ratios; spread: their range; cpu ratio: the same from process CPU time.\n"
                "diff px: pixels of the %dx%d view where the two frames differ.\n", VIEW_W, VIEW_H);
    return check && over ? 1 : 0;
}
