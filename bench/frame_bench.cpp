// Frame time of the scene pass against a bare loop that issues the same
// geometry.
//
// For each scene (the three board sizes, empty and with a model built through
// the board rules, and models of 450, 3,000 and 6,000 2x2 bricks in layers of
// 225 on the 30x30 plate) it times a reference frame written here with plain GL and GLU
// calls (the same plate, studs, boxes, outlines, materials, camera and light,
// with nothing around them, every stud drawn) and these kinds of frame of the
// scene pass:
//   full    every frame drawn in full, as where there is no drawn layer;
//   rest    nothing changed: the kept frame copied to the window;
//   cursor  the cursor moves a cell each frame: the kept scene copied, the
//           cursor drawn on it, the frame copied (the frame of w/a/s/d);
//   quick   the view turns a little each frame, so the scene is drawn anew,
//           quick where exact is predicted over a frame (the frame of a drag
//           on the ball);
//   exact   the same frame with the scene drawn exactly, without the studs
//           no view can see (what a turn cost before quick frames);
//   refined a turn's quick frame, every piece of the exact scene drawn after
//           it, and the frame that shows it: from the last motion of a drag
//           to the exact picture, less the time between pieces.
// Each frame ends with glFinish(). Short runs of the kinds alternate for many
// rounds, and the median of the rounds' ratios to the reference is reported,
// so that load from other programs mostly falls on both sides of a ratio.
// Wall time (steady_clock) is what the user waits.
//
// The window is 800x600 and the 3-D view is its left 600x600, as the program
// leaves it beside its panel, with the perspective of the whole window.
// Buffers are not swapped: only the drawing is timed. "diff px" counts the
// pixels where a full frame differs from the reference (a few, at edges: the
// program turns the view about the look-at point, the reference does not),
// "layer px" those where a rest frame differs from a full one (none), "quick
// px" those where a quick frame differs from the exact one by more than 3% of
// the colour range.
//
//   frame_bench [--rounds N] [--frames N] [--scenes TEXT]   (under X, e.g. tests/x.py;
//   --scenes: only the scenes whose names hold TEXT)
#include <GL/freeglut.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "board/board.h"
#include "render/camera.h"
#include "render/cost.h"
#include "render/frame.h"
#include "render/layer.h"
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
// stand on the board; the same model on every run and every machine. A
// negative count: that many 2x2 bricks in layers over the whole board,
// colours in turn.
void build_model(const Scene &sc)
{
    reset_board();
    set_base_size(sc.size_id);
    for (int i = 0, per_row = int(board_size_x) / 2; i < -sc.bricks; ++i) {
        const int x = 2 * (i % per_row), z = 2 * (i / per_row % per_row);
        cursor.x = float(x), cursor.z = float(z);
        set_block_color(1 + (x + z) / 2 % 3);
        place_block();
    }
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

// ---- The frames timed --------------------------------------------------------------

void full_frame()
{
    layer_enabled = false;
    draw_frame();
    layer_enabled = true;
}

double longest_piece_ms;  // of the refinements in rest frames

// Nothing changed; the first such frame shows the exact scene, refined to its
// end (after a GL context's first frame, quick, the layer's proof first).
void rest_frame()
{
    draw_frame();
    if (layer_proof_due()) {
        prove_layer();
        draw_frame();
    }
    if (layer_refining()) {
        while (layer_refining()) {
            const auto t0 = std::chrono::steady_clock::now();
            refine_layer();
            longest_piece_ms = std::max(
                longest_piece_ms, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
        }
        draw_frame();
    }
}

// The cursor a cell to the side and back.
void cursor_frame()
{
    static int n;
    (n++ % 2 ? move_cursor_left : move_cursor_right)();
    draw_frame();
}

// A turn of half a degree about the vertical axis, one way and back, for
// `frame`; the view then goes back to no turn.
void turned(void (*frame)())
{
    static int n;
    const float a = (n++ % 2 ? 0.5f : -0.5f) * 3.14159265f / 180;
    view_rotation[0] = view_rotation[10] = std::cos(a);
    view_rotation[8] = std::sin(a), view_rotation[2] = -std::sin(a);
    frame();
    view_rotation[0] = view_rotation[10] = 1;
    view_rotation[8] = view_rotation[2] = 0;
}

void quick_frame() { turned([] { draw_frame(); }); }

void exact_frame()
{
    forced_stud_ms = 1e-9;  // nothing predicted over a frame
    turned([] { draw_frame(); });
    forced_stud_ms = 0;
}

void refined_frame() { turned(rest_frame); }

// ---- Timing --------------------------------------------------------------------

using Clock = std::chrono::steady_clock;

// Milliseconds a frame, over `frames` frames after one untimed (which brings
// the drawn layer up to date for rest frames).
double time_frames(void (*frame)(), int frames)
{
    frame();
    glFinish();
    const auto t0 = Clock::now();
    for (int i = 0; i < frames; ++i) {
        frame();
        glFinish();
    }
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count() / frames;
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

// Pixels where the frames differ by more than `tolerance` in a channel, or
// with `rms`, in the root mean square of the three.
int differing_pixels(const std::vector<unsigned char> &pa, const std::vector<unsigned char> &pb, int tolerance,
                     bool rms = false)
{
    int n = 0;
    for (std::size_t i = 0; i < pa.size(); i += 3) {
        int most = 0, squares = 0;
        for (int k = 0; k < 3; ++k) {
            const int d = std::abs(pa[i + k] - pb[i + k]);
            most = std::max(most, d), squares += d * d;
        }
        n += rms ? std::sqrt(squares / 3.0) > tolerance : most > tolerance;
    }
    return n;
}

std::vector<unsigned char> frame_pixels(void (*frame)())
{
    frame();
    glFinish();
    return grab();
}

// Pixels where a turn's quick frame differs from the exact frame of that
// turn (the layer refined to its end) by more than 3% of the colour range.
int quick_pixels()
{
    static std::vector<unsigned char> quick, exact;
    turned([] {
        quick = frame_pixels([] { draw_frame(); });
        exact = frame_pixels(rest_frame);
    });
    return differing_pixels(quick, exact, 255 * 3 / 100, true);
}

bool shown;
void on_display() { shown = true; }

}  // namespace

int main(int argc, char **argv)
{
    glutInit(&argc, argv);
    int rounds = 15, frames = 0;  // frames 0: chosen per scene and kind from a first frame's time
    const char *only = "";
    for (int i = 1; i < argc; ++i) {
        const bool has_value = i + 1 < argc;
        if (!std::strcmp(argv[i], "--rounds") && has_value) rounds = std::max(1, std::atoi(argv[++i]));
        else if (!std::strcmp(argv[i], "--frames") && has_value) frames = std::max(1, std::atoi(argv[++i]));
        else if (!std::strcmp(argv[i], "--scenes") && has_value) only = argv[++i];
        else {
            std::fprintf(stderr, "usage: frame_bench [--rounds N] [--frames N] [--scenes TEXT]\n");
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
    std::printf("viewport %dx%d in a %dx%d window; %d rounds, the kinds of frame alternating\n\n",
                VIEW_W, VIEW_H, WIN_W, WIN_H, rounds);

    const Scene scenes[] = {
        {"10x10 empty", 1, 0},       {"20x20 empty", 2, 0},         {"30x30 empty", 3, 0},
        {"10x10, 40 bricks", 1, 40}, {"20x20, 150 bricks", 2, 150}, {"30x30, 300 bricks", 3, 300},
        {"30x30, 450 bricks", 3, -450},   {"30x30, 3000 bricks", 3, -3000}, {"30x30, 6000 bricks", 3, -6000},
    };
    constexpr int KINDS = 7;
    void (*const kinds[KINDS])() = {reference_frame, full_frame,  rest_frame,   cursor_frame,
                                    quick_frame,     exact_frame, refined_frame};
    std::printf("%-18s %8s %15s %15s %15s %15s %15s %15s %8s %8s %8s %8s\n", "scene", "ref ms", "full ms (ratio)",
                "rest ms (ratio)", "cursor ms (ratio)", "quick ms (ratio)", "exact ms (ratio)",
                "refined ms (ratio)", "diff px", "layer px", "quick px", "piece ms");
    for (const Scene &sc : scenes) {
        if (!std::strstr(sc.name, only))
            continue;
        build_model(sc);
        longest_piece_ms = 0;
        cursor.x = cursor.z = 4;  // with room to move
        settle_cursor();
        // The first frames also leave the GL state (the current normal above all,
        // which nothing sets before the plate) as every later frame finds it.
        time_frames(full_frame, 1);
        time_frames(reference_frame, 1);
        const int diff = differing_pixels(frame_pixels(full_frame), frame_pixels(reference_frame), 2);
        const int layer_diff = differing_pixels(frame_pixels(full_frame), frame_pixels(rest_frame), 0);
        const int quick_diff = quick_pixels();

        // Runs of about 150 ms each; where a full frame takes seconds (big
        // models), a round takes two of them, so fewer rounds.
        int n[KINDS];
        double first[KINDS];
        for (int k = 0; k < KINDS; ++k) {
            first[k] = time_frames(kinds[k], 1);
            n[k] = frames ? frames : std::clamp(int(150 / std::max(first[k], 0.5)), 1, 100);
        }
        const int scene_rounds = first[0] > 1000 ? std::min(rounds, 5) : rounds;
        std::vector<double> ms[KINDS], ratio[KINDS];
        for (int r = 0; r < scene_rounds; ++r) {
            // The order turns each round, so a drift in machine load falls on every kind.
            double t[KINDS];
            for (int i = 0; i < KINDS; ++i) {
                const int k = (r + i) % KINDS;
                t[k] = time_frames(kinds[k], n[k]);
            }
            for (int k = 0; k < KINDS; ++k) ms[k].push_back(t[k]), ratio[k].push_back(t[k] / t[0]);
        }
        std::printf("%-18s %8.2f", sc.name, median(ms[0]));
        for (int k = 1; k < KINDS; ++k) {
            char cell[32];
            std::snprintf(cell, sizeof cell, "%.2f (%.3f)", median(ms[k]), median(ratio[k]));
            std::printf(" %15s", cell);
        }
        std::printf(" %8d %8d %8d %8.1f\n", diff, layer_diff, quick_diff, longest_piece_ms);
        std::fflush(stdout);
    }
    std::printf("\nms: median wall time per frame; ratio: median of the rounds' ratios to the reference.\n"
                "diff px: pixels of the %dx%d view where a full frame differs from the reference by more\n"
                "than 2 in a channel; layer px: where a rest frame differs from a full frame at all;\n"
                "quick px: where a quick frame differs from an exact one by more than 3%% (root mean square).\n",
                VIEW_W, VIEW_H);
    return 0;
}
