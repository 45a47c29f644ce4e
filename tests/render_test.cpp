// The scene pass, pixel for pixel: frames drawn in full against a plain
// drawing of the same scene written out here from the fixed numbers (camera,
// light, materials and shapes), and frames through the drawn layer against
// frames drawn in full, whatever the layer went through. Each is drawn in a
// window and GL context of its own, so none inherits another's state.
#include <GL/freeglut.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "board/board.h"
#include "render/camera.h"
#include "render/cost.h"
#include "render/frame.h"
#include "render/kept.h"
#include "render/layer.h"
#include "render/materials.h"
#include "render/refine.h"
#include "render/scene.h"
#include "ui/keyboard.h"

// A route, as a failed check names it.
static void PrintTo(LayerRoute route, std::ostream *out)
{
    const char *const names[] = {"through",  "switched_off", "first_frame", "no_framebuffers",
                                 "refused", "no_size",      "too_large",   "failed_lately"};
    *out << names[int(route)];
}

namespace {

constexpr int W = 320, H = 240;
constexpr int SEAM_VALUES = 60;  // channel values two pictures may differ by where faces do not quite meet
constexpr float IDENTITY[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
// A view turned about two axes.
constexpr float TURN[16] = {0.866f, 0.25f, -0.433f, 0, 0, 0.866f, 0.5f, 0, 0.5f, -0.433f, 0.75f, 0, 0, 0, 0, 1};
int full_window, reference_window;

// A colour (r, g, b, alpha) as `ambient` and `diffuse` parts of it, with no highlight.
void material(std::array<float, 4> c, float ambient, float diffuse, float shininess)
{
    const float a[4] = {c[0] * ambient, c[1] * ambient, c[2] * ambient, c[3]},
                d[4] = {c[0] * diffuse, c[1] * diffuse, c[2] * diffuse, c[3]}, none[4] = {0, 0, 0, 1};
    glMaterialfv(GL_FRONT, GL_AMBIENT, a);
    glMaterialfv(GL_FRONT, GL_DIFFUSE, d);
    glMaterialfv(GL_FRONT, GL_SPECULAR, none);
    glMaterialf(GL_FRONT, GL_SHININESS, shininess);
}

// Colour codes 1, 2 and 3: red, blue and green.
std::array<float, 4> colour(int code) { return {float(code == 1), float(code == 3), float(code == 2), 1}; }

// A stud: radius 1/16, height 0.0325, 20 slices, stacks and loops, in the middle of a cell.
void stud(int column, int row, float top)
{
    static GLUquadric *q = gluNewQuadric();
    glPushMatrix();
    glTranslatef(column * 0.25f + 0.125f, top, -row * 0.25f - 0.125f);
    glRotatef(-90, 1, 0, 0);
    glPushMatrix();
    glTranslatef(0, 0, 0.0325f);
    gluDisk(q, 0, 0.0625, 20, 20);
    glPopMatrix();
    gluDisk(q, 0, 0.0625, 20, 20);
    gluCylinder(q, 0.0625, 0.0625, 0.0325, 20, 20);
    glPopMatrix();
}

// A brick: studs on top, six faces, and the same faces again as black line loops.
void brick(const Block &b, bool cursor)
{
    if (cursor)
        material({1, 1, 1, 0.5f}, 0.2f, 0.8f, 0.5f);  // grey
    else
        material(colour(b.color), 0.3f, 0.9f, b.color == 2 ? 14 : 4);
    for (int r = int(b.z); r < b.z + b.width; r++)
        for (int c = int(b.x); c < b.x + b.length; c++) stud(c, r, (b.y + 1) * 0.25f);
    glPushMatrix();
    glTranslatef(b.x * 0.25f, b.y * 0.25f, -b.z * 0.25f);
    const float x = b.length * 0.25f, y = 0.25f, z = -b.width * 0.25f;
    const float p[8][3] = {{0, 0, 0}, {0, y, 0}, {x, y, 0}, {x, 0, 0}, {0, 0, z}, {0, y, z}, {x, y, z}, {x, 0, z}};
    const int faces[6][4] = {{0, 3, 2, 1}, {2, 3, 7, 6}, {3, 0, 4, 7}, {1, 2, 6, 5}, {4, 5, 6, 7}, {5, 4, 0, 1}};
    for (GLenum mode : {GL_POLYGON, GL_LINE_LOOP}) {
        if (mode == GL_LINE_LOOP) material({0, 0, 0, 1}, 0, 0, 0);
        for (auto &f : faces) {
            glBegin(mode);
            for (int i : f) glVertex3fv(p[i]);
            glEnd();
        }
    }
    glPopMatrix();
}

void reference_frame(float size, int base, Vec3 eye_at, const float turn[16], const float shift[3])
{
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glShadeModel(GL_FLAT);
    const float light[4][4] = {{0.6f, 0.6f, 0.6f, 1}, {0.4f, 0.4f, 0.4f, 1}, {0.8f, 0.8f, 0.8f, 1}, {1, 3, 1.5f, 1}};
    for (int i = 0; i < 3; i++) glLightfv(GL_LIGHT0, GL_AMBIENT + i, light[i]);  // ambient, diffuse, specular
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(90, double(W) / H, 0.1, 50);  // the whole window's aspect
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    const float middle = size * 0.125f;  // the plate's centre: the camera looks at it, the model turns about it
    gluLookAt(eye_at.x, eye_at.y, eye_at.z, middle, 0, -middle, 0, 1, 0);
    glLightfv(GL_LIGHT0, GL_POSITION, light[3]);  // a point, placed with the camera alone: it stays put
    glTranslatef(shift[0], shift[1], -shift[2]);
    glTranslatef(middle, 0, -middle);
    glMultMatrixf(turn);
    glTranslatef(-middle, 0, middle);

    material(colour(base), 0.3f, 0.9f, 0);
    const float edge = size / 4, plate[4][3] = {{0, 0, 0}, {0, 0, -edge}, {edge, 0, -edge}, {edge, 0, 0}};
    glBegin(GL_POLYGON);
    for (auto &v : plate) glVertex3fv(v);
    glEnd();
    for (int r = 0; r < size; r++)
        for (int c = 0; c < size; c++) stud(c, r, 0);
    for (const Block &b : blocks) brick(b, false);
    brick(cursor, true);
}

using Pixels = std::vector<unsigned char>;

Pixels pixels()
{
    Pixels p(W * H * 3);
    glReadPixels(0, 0, W, H, GL_RGB, GL_UNSIGNED_BYTE, p.data());
    return p;
}

int differing(const Pixels &a, const Pixels &b)
{
    int n = 0;
    for (std::size_t i = 0; i < a.size(); i++) n += a[i] != b[i];
    return n;
}

// A frame drawn in full, in a window that never uses the layer.
Pixels full_frame()
{
    glutSetWindow(full_window);
    layer_enabled = false;
    EXPECT_EQ(draw_frame(), LayerRoute::switched_off);
    layer_enabled = true;
    return pixels();
}

// Draws the current scene both ways (twice: a frame starts with the normal
// the last one left, see set_full_frame_normal) and compares them; a blank
// picture would prove nothing.
void expect_same_picture(Vec3 eye_at)
{
    full_frame();
    const Pixels drawn = full_frame();
    glutSetWindow(reference_window);
    const float shift[3] = {view_translate_xy[0], view_translate_xy[1], view_translate_z};
    for (int i = 0; i < 2; i++) reference_frame(board_size_x, base_color, eye_at, view_rotation, shift);
    const Pixels expected = pixels();
    int lit = 0;
    for (unsigned char v : expected) lit += v > 40;
    EXPECT_EQ(differing(drawn, expected), 0) << "of " << drawn.size() << " channel values";
    EXPECT_GT(lit, W * H / 20);
}

// The board, the view, the camera and every knob of the drawing as at
// start, and the full frame's window its size: each test starts there and
// leaves everything so, whatever order the tests run in.
void put_back()
{
    reset_board();
    reset_camera();
    std::copy(IDENTITY, IDENTITY + 16, view_rotation);
    view_translate_xy[0] = view_translate_xy[1] = view_translate_z = 0;
    layer_enabled = skip_hidden_studs = skip_covered_faces = true;
    forced_stud_ms = 0;
    glutSetWindow(full_window);
    set_projection(W, H);
    glViewport(0, 0, W, H);
}

struct Fresh : ::testing::Test {
    void SetUp() override { put_back(); }
    void TearDown() override { put_back(); }
};
struct Scene : Fresh {};
struct Layer : Fresh {};

TEST_F(Scene, FullFramesMatchTheReferenceDrawing)
{
    reset_board();
    for (const char *keys : {" d dw ", "wwdd"}) for (const char *k = keys; *k; k++) handle_key(*k, 0, 0);
    set_block_color(COLOR_RED);
    handle_key(' ', 0, 0);
    set_block_color(COLOR_GREEN);
    rotate_cursor();
    set_cursor_length(3);
    handle_key(' ', 0, 0);
    handle_key('d', 0, 0);
    expect_same_picture({1.25f, 1, 1});  // the 10x10 camera; a green plate
    // The layer lights its flat faces with the normal a full frame leaves.
    full_frame();
    float left[3], set[3];
    glGetFloatv(GL_CURRENT_NORMAL, left);
    set_full_frame_normal();
    glGetFloatv(GL_CURRENT_NORMAL, set);
    EXPECT_TRUE(std::equal(left, left + 3, set)) << left[0] << ", " << left[1] << ", " << left[2];

    // 20x20, blue plate, turned and shifted.
    set_base_size(2);
    set_base_color(COLOR_BLUE);
    std::copy(TURN, TURN + 16, view_rotation);
    view_translate_xy[0] = 0.3f;
    view_translate_xy[1] = -0.2f;
    view_translate_z = 0.5f;
    expect_same_picture({2.5f, 3, 2});

    set_base_size(3);  // 30x30 and red; a window of no size keeps its projection
    set_base_color(COLOR_RED);
    set_projection(0, 0);
    set_projection(W, 0);
    expect_same_picture({3.75f, 4, 3});
}

// ---- The drawn layer --------------------------------------------------------------

int layer_window;
bool layer_may_refuse;  // where the GL may draw framebuffers otherwise than windows
long refused_before;    // contexts the layer refused before the last windows opened

// A window that draws nothing but when the test says.
int open_window(const char *title)
{
    const int w = glutCreateWindow(title);
    glutDisplayFunc([] {});
    return w;
}

// Fresh windows, so that the next frame is the first of their GL contexts.
void open_windows()
{
    refused_before = layer_counts.refused;
    for (int *w : {&layer_window, &full_window}) {
        *w = open_window("frames");
        glEnable(GL_DEPTH_TEST);  // what the program's start-up sets in its window
        glEnable(GL_TEXTURE_2D);
        init_lighting();
        set_projection(W, H);
    }
}

// What the window's reshape does: the projection for the whole window, the
// viewport for the part the panel leaves.
void reshape(int width, int height, int panel)
{
    for (int w : {layer_window, full_window}) {
        glutSetWindow(w);
        set_projection(width, height);
        glViewport(0, 0, std::max(1, width - panel), height);
    }
}

// Draws what the exact scene still lacks, piece by piece; true if it lacked anything.
bool refine()
{
    const bool refining = layer_refining();
    for (int i = 0; layer_refining() && i < 5000; i++) refine_layer();
    return refining;
}

// The layer at rest (after the frame that shows the exact scene once it is
// refined) shows the frame drawn in full, byte for byte, and it came through
// the layer (unless `route` says why it cannot).
void expect_same_frame(const std::string &what, LayerRoute route = LayerRoute::through)
{
    glutSetWindow(layer_window);
    const long copies = layer_counts.copies;
    const LayerRoute first = draw_frame();
    const bool refined = refine();
    const LayerRoute last = refined ? draw_frame() : first;
    const Pixels layered = pixels();
    // Where the layer refused the context, it says so, and every frame is drawn in full.
    const bool refused = layer_counts.refused > refused_before;
    EXPECT_TRUE(layer_may_refuse || !refused) << what;
    if (refused)
        route = LayerRoute::refused;
    EXPECT_EQ(first, route) << what;
    if (refined) {
        EXPECT_EQ(last, route) << what << ", the frame that shows the refined scene";
    }
    EXPECT_EQ(layer_counts.copies - copies, route == LayerRoute::through ? 1 + refined : 0) << what;
    EXPECT_EQ(differing(layered, full_frame()), 0) << what << ": the picture at rest is stale, not the frame drawn in full";
}

// Pixels that differ by more than 3% of the colour range (the root mean
// square of the three channels' differences, as ImageMagick's fuzz counts).
int off_pixels(const Pixels &a, const Pixels &b)
{
    int off = 0;
    for (std::size_t i = 0; i < a.size(); i += 3) {
        float squares = 0;
        for (int k = 0; k < 3; k++) {
            const float d = float(a[i + k]) - b[i + k];
            squares += d * d;
        }
        off += std::sqrt(squares / 3) > 0.03f * 255;
    }
    return off;
}

// A context's first frame is drawn in full at once, quick, and the layer
// proven after it: from the idle turns (`idle`), or else by the next frame,
// which is due either way and comes through the layer, exact. The first
// frame is within 2% of that one: GL lights a context's first exact frame
// with its initial normal, and no later one, so a quick first frame is
// nearer to the picture that stays than an exact one.
void expect_first_frames(const std::string &what, bool idle)
{
    glutSetWindow(layer_window);
    const long copies = layer_counts.copies, proofs = layer_counts.proven + layer_counts.refused;
    EXPECT_EQ(draw_frame(), LayerRoute::first_frame) << what;
    const Pixels first = pixels();
    EXPECT_TRUE(layer_counts.copies == copies && layer_proof_due()) << what << ": the first frame, in full";
    full_frame();  // the other window's first frame, so that both go on alike
    if (idle) {
        glutSetWindow(layer_window);
        prove_layer();
        EXPECT_FALSE(layer_proof_due()) << what;
    }
    EXPECT_EQ(layer_counts.proven + layer_counts.refused - proofs, idle) << what << ": proven after the first frame";
    expect_same_frame(what + ": the second frame");
    EXPECT_TRUE(layer_counts.proven + layer_counts.refused - proofs == 1 && !layer_proof_due()) << what;
    glutSetWindow(layer_window);
    EXPECT_LE(off_pixels(first, pixels()), W * H / 50) << what << ": the first frame, quick";
}

void place(int x, int z, int width, int length, int color)
{
    cursor.x = float(x), cursor.z = float(z);
    set_cursor_width(width), set_cursor_length(length), set_block_color(color);
    place_block();
}

// One change of one thing a frame reads, made as the program makes it or
// written straight into its state as a live control writes it.
struct Change {
    const char *what;
    std::function<void()> make;
    LayerRoute route = LayerRoute::through;  // of the frame after it
};

// After every single change, in turn, the picture at rest is the frame drawn
// in full: the layer notices each field of the cursor, the bricks, the
// colours, the plate's size, the camera, the view and the window.
TEST_F(Layer, EverySingleChangeShowsAsAFullFrameShowsIt)
{
    for (int size = 1; size <= 3; size++) {
        const std::string at = "at " + std::to_string(10 * size) + "x" + std::to_string(10 * size) + ": ";
        put_back();
        forced_stud_ms = 1.0 / (size * size);  // every scene drawn anew is quick, then exact in 25 pieces
        set_base_size(size);
        open_windows();
        expect_first_frames(at + "a new window", size != 2);
        const long redraws = layer_counts.redraws;
        const Change changes[] = {
            // Bricks one by one are drawn into the layer as they come.
            {"a brick", [] { place(0, 0, 2, 2, COLOR_RED); }},
            {"a brick on it", [] { place(0, 0, 2, 2, COLOR_BLUE); }},
            {"a third brick", [] { place(3, 0, 1, 4, COLOR_GREEN); }},
            {"the cursor's row", [] { cursor.z = 2; }},  // behind the stack of two, which hides it
            {"the cursor's column", [] { cursor.x = 4; }},
            {"the cursor's level", [] { cursor.y = 1; }},
            {"the cursor's width", [] { cursor.width = 3; }},
            {"the cursor's length", [] { cursor.length = 1; }},
            {"the cursor turned", [] { rotate_cursor(); }},
            {"the cursor moved by a key", [] { handle_key('a', 0, 0); }},
            {"undo", [] { board_action(ACTION_UNDO); }},
            {"undo and another brick: as many as before, another last", [] {
                 board_action(ACTION_UNDO), place(1, 1, 1, 1, COLOR_GREEN);
             }},
            {"clear", [] { board_action(ACTION_CLEAR); }},
            {"two bricks again", [] { place(0, 0, 2, 2, COLOR_RED), place(0, 0, 2, 2, COLOR_BLUE); }},
            {"the plate blue", [] { set_base_color(COLOR_BLUE); }},
            {"the plate red", [] { base_color = COLOR_RED; }},
            {"a brick in the next colour", [] { set_block_color(COLOR_GREEN), place_block(); }},
            {"another size", [size] { set_base_size(size % 3 + 1); }},
            {"the size back", [size] { set_base_size(size); }},
            {"the view turned", [] { std::copy(TURN, TURN + 16, view_rotation); }},
            {"the view shifted along x", [] { view_translate_xy[0] = 0.3f; }},
            {"the view shifted along y", [] { view_translate_xy[1] = -0.2f; }},
            {"the view shifted away", [] { view_translate_z = 0.5f; }},
            {"the view reset", [] {
                 std::copy(IDENTITY, IDENTITY + 16, view_rotation);
                 view_translate_xy[0] = view_translate_xy[1] = view_translate_z = 0;
             }},
            {"the eye's x", [] { eye.x += 0.25f; }},
            {"the eye's height", [] { eye.y += 0.25f; }},
            {"the eye's z", [] { eye.z += 0.25f; }},
            {"the centre's x", [] { look_center.x += 0.25f; }},
            {"the centre's height", [] { look_center.y += 0.25f; }},
            {"the centre's z", [] { look_center.z -= 0.25f; }},
            {"\"r\"", [] { handle_key('r', 0, 0); }},
            {"the camera back", [] { reset_camera(); }},
            {"a smaller window", [] { reshape(W, H - 40, 60); }},
            {"the same view, another aspect", [] { reshape(W - 20, H - 40, 40); }},
            {"a wider panel", [] { reshape(W - 20, H - 40, 60); }},
            {"a window of no size", [] { reshape(W, 0, 60); }, LayerRoute::no_size},
            {"the window back", [] { reshape(W, H, 0); }},
            // Seen from below the plate, from just above the upper brick of
            // the stack, and from inside each of its two bricks.
            {"the eye below the plate", [] { eye = {1.25f, -1, 1}; }},
            {"a long brick and a short one on its far end", [] {
                 place(2, 0, 2, 4, COLOR_GREEN), place(4, 0, 2, 2, COLOR_RED);
             }},
            {"the eye just above the short brick", [] { eye = {1.25f, 0.52f, -0.25f}, look_center = {2, 0, -2}; }},
            {"the eye inside it", [] { eye = {1.25f, 0.4f, -0.25f}; }},
            {"the eye inside the long one", [] { eye = {0.6f, 0.2f, -0.25f}, look_center = {1.25f, 0.25f, -0.25f}; }},
        };
        for (const Change &change : changes) {
            change.make();
            expect_same_frame(at + change.what, change.route);
        }
        EXPECT_GT(layer_counts.redraws, redraws) << at;
    }
}

// Two full layers of bricks cover every stud but the top ones, in the first
// frames of a context too, turned and not; and eyes near and inside the
// bricks, looking down at an angle, where the near clipping plane cuts a
// brick open at its corners only: what lies inside that brick shows.
TEST_F(Layer, DenseModelsShowAsAFullFrameFromEveryEye)
{
    for (int size = 1; size <= 3; size++) {
        const std::string at = "at " + std::to_string(10 * size) + "x" + std::to_string(10 * size) + ": ";
        put_back();
        forced_stud_ms = 1.0 / (size * size);
        set_base_size(size);
        for (int level = 0; level < 2; level++)
            for (int z = 0; z < 10 * size; z += 2)
                for (int x = 0; x < 10 * size; x += 2) place(x, z, 2, 2, 1 + (x + z + level) / 2 % 3);
        const Vec3 from = eye_in_plate_frame();
        const float e[3] = {from.x, from.y, from.z};
        EXPECT_EQ(visible_studs(sight_from(e, 0.2f)).size(), 100u * size * size) << at;  // the top layer's
        open_windows();
        expect_first_frames(at + "a dense model", size == 2);
        std::copy(TURN, TURN + 16, view_rotation);
        expect_same_frame(at + "a dense model turned");
        skip_hidden_studs = false;
        view_translate_z = 0.1f;
        expect_same_frame(at + "a dense model with every stud drawn");
        skip_hidden_studs = true;
        std::copy(IDENTITY, IDENTITY + 16, view_rotation);
        view_translate_z = 0;
        place(3, 3, 2, 6, COLOR_BLUE);  // a long brick on top, level 2
        // The near plane 0.1 from the eye, its corners 0.19: from 0.13 above,
        // it cuts the brick open only at its corners.
        for (const char *above : {"0.04", "0.13"})
            for (const char *ahead : {"0.3", "0.6"}) {
                eye = {1.0f, 0.75f + std::stof(above), -1.0f};
                const float d = std::stof(ahead);
                look_center = {eye.x + d, eye.y - d, eye.z - d / 2};  // looking down at 45 degrees
                expect_same_frame(at + "the eye " + above + " above a long brick, looking " + ahead + " down");
            }
        reset_camera();
    }
}

// A window too large for the GL's buffers is drawn in full, and the layer
// comes back, exact, once the window is an ordinary size again.
TEST_F(Layer, ComesBackOnceTheWindowFitsAgain)
{
    reset_board();
    open_windows();
    place(1, 1, 2, 3, COLOR_RED);
    expect_first_frames("an ordinary window", true);
    GLint most = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &most);
    for (int width : {most + 1, W}) {
        glutSetWindow(layer_window);
        glutReshapeWindow(width, H);
        for (int i = 0; i < 1000 && glutGet(GLUT_WINDOW_WIDTH) != width; i++) glutMainLoopEvent();
        reshape(W, H, 0);  // the same view in both windows
        const long failures = layer_counts.failures;
        const std::string what = "a window " + std::to_string(width) + " wide";
        const LayerRoute route = width == W ? LayerRoute::through : LayerRoute::too_large;
        expect_same_frame(what, route);
        expect_same_frame(what + ", a frame later", route);
        EXPECT_EQ(layer_counts.failures - failures, width != W) << what;
    }
}

// ---- Quick frames and refinement ---------------------------------------------------

// The view turned `degrees` about the vertical axis and a little about x.
void turn_view(float degrees)
{
    const float a = degrees * 3.14159265f / 180, c = std::cos(a), s = std::sin(a);
    const float m[16] = {c, 0.1f * s, -s, 0, 0, 1, 0.1f, 0, s, -0.1f, c, 0, 0, 0, 0, 1};
    std::copy(m, m + 16, view_rotation);
}

// A frame that draws the scene anew, quick (`quick`) or exactly.
void expect_redraw(const std::string &what, bool quick)
{
    glutSetWindow(layer_window);
    const LayerCounts before = layer_counts;
    EXPECT_EQ(draw_frame(), LayerRoute::through) << what;
    EXPECT_EQ(layer_counts.redraws - before.redraws, 1) << what;
    EXPECT_EQ(layer_counts.quick_scenes - before.quick_scenes, quick) << what;
    EXPECT_EQ(layer_refining(), quick) << what;
}

void pieces(int n)
{
    for (int i = 0; i < n; i++) refine_layer();
    EXPECT_TRUE(layer_refining());  // still more to do: what comes next comes in between
}

TEST_F(Layer, RefinedPicturesAreExactWhateverHappensMeanwhile)
{
    forced_stud_ms = 1;  // pieces of 4 studs
    for (int size = 1; size <= 3; size++) {
        const std::string at = "at " + std::to_string(10 * size) + "x" + std::to_string(10 * size) + ": ";
        reset_board();
        set_base_size(size);
        open_windows();
        place(1, 1, 2, 2, COLOR_RED);
        place(1, 1, 2, 3, COLOR_BLUE);
        place(4, 2, 1, 1, COLOR_GREEN);
        expect_first_frames(at + "the start", true);

        turn_view(10);
        expect_redraw(at + "a turn", true);
        expect_same_frame(at + "a turn");

        // A frame between pieces draws the cursor on the quick scene, in its
        // own material: each piece must start from the state of the plate or
        // brick it starts in again.
        turn_view(20);
        expect_redraw(at + "a turn before the cursor moves", true);
        for (int i = 0; layer_refining(); i++) {
            refine_layer();
            i % 5 ? handle_key("da"[i % 2], 0, 0) : rotate_cursor();
            draw_frame();
        }
        expect_same_frame(at + "a turn, then the cursor moved between every two pieces");

        turn_view(30);
        expect_redraw(at + "a turn before a brick", true);
        pieces(5);
        place(6, 3, 2, 2, COLOR_RED);
        draw_frame();
        EXPECT_TRUE(layer_refining()) << at << "a brick added goes on with the refinement";
        expect_same_frame(at + "a turn, then a brick dropped while refining");

        turn_view(40);
        expect_redraw(at + "a turn before undo", true);
        pieces(5);
        board_action(ACTION_UNDO);
        expect_same_frame(at + "a turn, then undo while refining");

        set_base_size(size % 3 + 1);
        expect_redraw(at + "a new plate size", true);
        pieces(2);
        expect_same_frame(at + "a new plate size");
        set_base_size(size);

        // A second turn makes the refinement stale, whether the idle turns
        // come before the next frame or after it.
        for (bool frame_first : {false, true}) {
            turn_view(50);
            expect_redraw(at + "a quick frame", true);
            pieces(2);
            turn_view(frame_first ? 55 : 60);
            if (frame_first)
                expect_redraw(at + "another turn", true);
            else
                refine();
            expect_same_frame(at + "a quick frame, at once another turn");
        }
        std::copy(IDENTITY, IDENTITY + 16, view_rotation);
    }
    forced_stud_ms = 0;
}

TEST_F(Layer, QuickOnlyWhereExactWouldNotFitAFrameAndNeverFlickering)
{
    reset_board();
    open_windows();
    expect_first_frames("the start, exact", true);
    // The empty 10x10 plate: 100 studs. Exact is predicted at 100 times the
    // cost of a stud; quick above 16 ms, exact again only below 10 ms.
    const struct {
        double stud_ms;
        bool quick;
    } steps[] = {{0.05, false}, {0.13, false}, {0.17, true}, {0.13, true}, {0.11, true}, {0.09, false}, {0.15, false}};
    int degrees = 0;
    for (const auto &step : steps) {
        forced_stud_ms = step.stud_ms;
        const std::string what = "predicted " + std::to_string(100 * step.stud_ms) + " ms";
        turn_view(degrees += 7);
        expect_redraw(what, step.quick);
        expect_same_frame(what);
    }

    // Quick and exact scenes leave out the same studs: two layers of bricks
    // cover most of the plate's studs and the lower layer's.
    forced_stud_ms = 1;
    for (int level = 0; level < 2; level++)
        for (int z = 0; z < 10; z += 2)
            for (int x = 0; x < 8; x += 2) place(x, z, 2, 2, COLOR_BLUE);
    turn_view(degrees += 7);
    const LayerCounts before = layer_counts;
    expect_redraw("two layers of bricks", true);
    refine();
    const long quick = layer_counts.quick_studs - before.quick_studs;
    const long exact = layer_counts.exact_studs - before.exact_studs;
    EXPECT_EQ(quick, exact);
    EXPECT_EQ(quick, 100 + 2 * 20 * 4 - 80 - 80);  // the lower layer hides 80 plate studs, the upper its 80
    expect_same_frame("two layers of bricks");
    forced_stud_ms = 0;
    std::copy(IDENTITY, IDENTITY + 16, view_rotation);
}


// Quick frames cannot be told from exact ones side by side: at most 2% of the
// pixels differ by more than 3% of the colour range.
TEST_F(Layer, QuickFramesLookLikeExactOnes)
{
    forced_stud_ms = 1;
    for (int size = 1; size <= 3; size++)
        for (float near : {0.0f, -0.6f * size}) {
            const std::string at = "at " + std::to_string(10 * size) + "x" + std::to_string(10 * size) +
                                   (near ? ", pulled near" : "");
            reset_board();
            set_base_size(size);
            open_windows();
            for (int i = 0; i < 6; i++) place(2 * i, i, 2, 1 + i % 3, 1 + i % 3);
            expect_first_frames(at + ", exact", true);
            view_translate_z = near;
            turn_view(15);
            expect_redraw(at, true);
            const Pixels quick = pixels();
            const Pixels exact = full_frame();
            EXPECT_LE(off_pixels(quick, exact), W * H / 50) << at;
            EXPECT_GT(differing(quick, exact), 0) << at << ": not quick at all";
            view_translate_z = 0;
            std::copy(IDENTITY, IDENTITY + 16, view_rotation);
        }
    forced_stud_ms = 0;
}

// ---- Big models --------------------------------------------------------------------

// `layers` full layers of 2x2 bricks on the 10x10 plate, the colours in turn.
void dense_model(int layers)
{
    for (int level = 0; level < layers; level++)
        for (int z = 0; z < 10; z += 2)
            for (int x = 0; x < 10; x += 2) place(x, z, 2, 2, 1 + (x / 2 + z / 2 + level) % 3);
}

// A tower of 2x2 bricks, every third a 1x2 one that leaves half the top
// under it open and under the next half of its bottom.
void tower(int levels)
{
    for (int level = 0; level < levels; level++) place(4, 4, level % 3 == 2 ? 1 : 2, 2, 1 + level % 3);
}

// The frame a quick frame shows, drawn in full in a window without the
// layer: quick (`exact` false) or every face and stud exactly, in the order
// a quick frame draws them.
Pixels frame_in_quick_order(bool exact)
{
    glutSetWindow(full_window);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    look_at_scene();
    draw_quick_frame(exact);
    glPopMatrix();
    return pixels();
}

// On models of many layers, quick frames (the bricks from the kept geometry,
// faces covered by other bricks left out) show what an exact drawing in the
// same order shows, from outside the model, from just above its top (the
// view entering the bricks under it) and from inside a brick: the faces the
// view sees through a brick it enters are drawn too. Against the exact frame
// itself, outlines drawn after every face rather than brick by brick show a
// little more: that difference is the order's alone.
TEST_F(Layer, BigModelsQuickFramesLookLikeExactOnes)
{
    forced_stud_ms = 1;
    const struct {
        const char *name;
        void (*build)(int);
        int levels;
        long left_out;     // at least that many faces left out for each kept
        Vec3 looks[3][2];  // eye and centre: outside, just above the top, inside a brick
    } models[] = {
        {"a dense model", dense_model, 8, 2,
         {{{3.5f, 3.5f, 2}, {1.25f, 1, -1.25f}}, {{1.1f, 2.06f, -1.1f}, {1.6f, 1.85f, -1.6f}},
          {{1.1f, 1.1f, -1.1f}, {2, 1, -2.2f}}}},
        {"a tower", tower, 24, 0,
         {{{3, 3, 1.5f}, {1.1f, 2.5f, -1.1f}}, {{1.15f, 6.05f, -1.15f}, {1.4f, 5.8f, -1.3f}},
          {{1.13f, 2.6f, -1.13f}, {2, 2.5f, -2}}}},
    };
    for (const auto &model : models) {
        reset_board();
        model.build(model.levels);
        open_windows();
        expect_first_frames(std::string(model.name) + ", exact", true);
        for (int look = 0; look < 3; look++) {
            const std::string what = std::string(model.name) + (look == 0 ? " from outside" : look == 1 ? " from just above" : " from inside");
            eye = model.looks[look][0], look_center = model.looks[look][1];
            expect_redraw(what, true);
            const Pixels quick = pixels(), in_order = frame_in_quick_order(true), exact = full_frame();
            EXPECT_LE(off_pixels(quick, in_order), W * H / 50) << what;
            const int order = off_pixels(in_order, exact);
            std::printf("%s: the order alone %.2f%% of the pixels, the quick frame %.2f%%\n", what.c_str(),
                        100.0 * order / (W * H), 100.0 * off_pixels(quick, exact) / (W * H));
            EXPECT_LE(off_pixels(quick, exact), W * H / 20) << what;

            // Leaving out the covered faces changes nothing but at seams.
            const Pixels with_rule = frame_in_quick_order(false);
            EXPECT_GT(kept_counts().left_out, model.left_out * kept_counts().faces) << what;
            skip_covered_faces = false;
            const Pixels without = frame_in_quick_order(false);
            skip_covered_faces = true;
            EXPECT_LE(differing(with_rule, without), SEAM_VALUES) << what;
        }
        reset_camera();
    }
    forced_stud_ms = 0;
}

// Refinement draws a model of many layers in pieces of bounded time, boxes
// counted with the studs, and the picture at rest is the frame drawn in full
// whatever comes between the pieces; the kept geometry follows every change.
TEST_F(Layer, BigModelsAtRestAreExactAndRefinedInShortPieces)
{
    forced_stud_ms = 1;  // a piece is 4 studs, or 40 boxes
    reset_board();
    dense_model(8);
    open_windows();
    expect_first_frames("a dense model", false);

    turn_view(20);
    expect_redraw("a turn", true);
    long most_bricks = 0;  // in a piece: 40 boxes take its time, whatever their studs
    while (layer_refining()) {
        const long done = refined_bricks();
        refine_layer();
        most_bricks = std::max(most_bricks, refined_bricks() - done);
    }
    EXPECT_LE(longest_piece_ms(), PIECE_MS + 1.1 * forced_stud_ms);
    EXPECT_LE(most_bricks, 41);
    expect_same_frame("a turn");
    EXPECT_TRUE(kept_as_rebuilt());

    turn_view(30);
    expect_redraw("a turn before undo", true);
    pieces(5);
    board_action(ACTION_UNDO);
    expect_same_frame("undo while refining");
    turn_view(35);
    expect_redraw("a turn after undo", true);
    EXPECT_TRUE(kept_as_rebuilt()) << "after undo";

    turn_view(40);
    expect_redraw("a turn before a brick", true);
    pieces(5);
    place(6, 6, 2, 2, COLOR_RED);
    draw_frame();
    expect_same_frame("a brick dropped while refining");
    turn_view(45);
    expect_redraw("a turn after a brick", true);
    EXPECT_TRUE(kept_as_rebuilt()) << "after a drop";

    board_action(ACTION_CLEAR);
    expect_same_frame("clear");
    std::copy(IDENTITY, IDENTITY + 16, view_rotation);
    forced_stud_ms = 0;
}

}  // namespace

int main(int argc, char **argv)
{
    glutInit(&argc, argv);
    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowSize(W, H);
    reference_window = open_window("reference");
    full_window = open_window("program");
    // Mesa draws framebuffers as windows with this; without it, the layer
    // must draw them upside down itself, or refuse.
    layer_may_refuse = !std::strstr(reinterpret_cast<const char *>(glGetString(GL_EXTENSIONS)),
                                    "GL_MESA_framebuffer_flip_y");
    // What the program's start-up sets in its window.
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_TEXTURE_2D);
    init_lighting();
    set_projection(W, H);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
