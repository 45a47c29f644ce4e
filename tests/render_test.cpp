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
#include <numeric>
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
    *out << std::array<const char *, 8>{"through", "switched_off", "first_frame", "no_framebuffers",
                                        "refused", "no_size",      "too_large",   "failed_lately"}[int(route)];
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
    for (GLenum cap : {GL_DEPTH_TEST, GL_LIGHTING, GL_LIGHT0}) glEnable(cap);
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
    return int(std::inner_product(a.begin(), a.end(), b.begin(), 0L, std::plus<>(), std::not_equal_to<>()));
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
    EXPECT_EQ(differing(drawn, expected), 0) << "of " << drawn.size() << " channel values";
    EXPECT_GT(std::count_if(expected.begin(), expected.end(), [](unsigned char v) { return v > 40; }), W * H / 20);
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
    for (char k : std::string(" d dw wwdd")) handle_key(k, 0, 0);
    set_block_color(COLOR_RED), handle_key(' ', 0, 0);
    set_block_color(COLOR_GREEN), rotate_cursor(), set_cursor_length(3);
    handle_key(' ', 0, 0), handle_key('d', 0, 0);
    expect_same_picture({1.25f, 1, 1});  // the 10x10 camera; a green plate

    set_base_size(2), set_base_color(COLOR_BLUE);  // 20x20 and blue, turned and shifted
    std::copy(TURN, TURN + 16, view_rotation);
    view_translate_xy[0] = 0.3f, view_translate_xy[1] = -0.2f, view_translate_z = 0.5f;
    expect_same_picture({2.5f, 3, 2});

    set_base_size(3), set_base_color(COLOR_RED);  // 30x30 and red; a window of no size keeps its projection
    set_projection(0, 0), set_projection(W, 0);
    expect_same_picture({3.75f, 4, 3});
}

// ---- The drawn layer --------------------------------------------------------------

int layer_window;
bool layer_may_refuse;  // where the GL may draw framebuffers otherwise than windows
long refused_before;    // contexts the layer refused before the last windows opened

// A window that draws nothing but when the test says; as the program's
// start-up sets up its window, unless it is the reference drawing's.
int open_window(bool program = true)
{
    const int w = glutCreateWindow("frames");
    glutDisplayFunc([] {});
    if (program)
        glEnable(GL_DEPTH_TEST), glEnable(GL_TEXTURE_2D), init_lighting(), set_projection(W, H);
    return w;
}

// Fresh windows, so that the next frame is the first of their GL contexts.
void open_windows()
{
    refused_before = layer_counts.refused;
    layer_window = open_window(), full_window = open_window();
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
// the layer (unless `route` says why it cannot, after `failures` failures).
// Where that frame drew the scene quick, the kept geometry is the bricks'.
void expect_same_frame(const std::string &what, LayerRoute route = LayerRoute::through, long failures = 0)
{
    glutSetWindow(layer_window);
    const LayerCounts before = layer_counts;
    const LayerRoute first = draw_frame();
    const bool quick = layer_counts.quick_scenes > before.quick_scenes, refined = refine();
    const LayerRoute last = refined ? draw_frame() : first;
    const Pixels layered = pixels();
    // Where the layer refused the context, it says so, and every frame is drawn in full.
    const bool refused = layer_counts.refused > refused_before;
    EXPECT_TRUE(layer_may_refuse || !refused) << what;
    if (refused)
        route = LayerRoute::refused, failures = 0;
    EXPECT_EQ(first, route) << what;
    if (refined) {
        EXPECT_EQ(last, route) << what << ", the frame that shows the refined scene";
    }
    EXPECT_EQ(layer_counts.copies - before.copies, route == LayerRoute::through ? 1 + refined : 0) << what;
    EXPECT_EQ(layer_counts.failures - before.failures, failures) << what;
    EXPECT_TRUE(!quick || kept_as_rebuilt()) << what << ": the kept geometry is not the bricks'";
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

// A frame that draws the scene anew, quick (`quick`, the kept geometry then
// the bricks') or exactly.
void expect_redraw(const std::string &what, bool quick)
{
    glutSetWindow(layer_window);
    const LayerCounts before = layer_counts;
    EXPECT_EQ(draw_frame(), LayerRoute::through) << what;
    EXPECT_EQ(layer_counts.redraws - before.redraws, 1) << what;
    EXPECT_EQ(layer_counts.quick_scenes - before.quick_scenes, quick) << what;
    EXPECT_EQ(layer_refining(), quick) << what;
    EXPECT_TRUE(!quick || kept_as_rebuilt()) << what << ": the kept geometry is not the bricks'";
}

// The view turned `degrees` about the vertical axis and a little about x.
void turn_view(float degrees)
{
    const float a = degrees * 3.14159265f / 180, c = std::cos(a), s = std::sin(a);
    const float m[16] = {c, 0.1f * s, -s, 0, 0, 1, 0.1f, 0, s, -0.1f, c, 0, 0, 0, 0, 1};
    std::copy(m, m + 16, view_rotation);
}

// A turn, and the quick frame that shows it.
void quick_turn(float degrees)
{
    turn_view(degrees);
    expect_redraw("a turn", true);
}

void pieces(int n)
{
    for (int i = 0; i < n; i++) refine_layer();
    EXPECT_TRUE(layer_refining());  // still more to do: what comes next comes in between
}


// The quick frame just drawn cannot be told from the exact one side by side:
// at most 2% of the pixels differ by more than 3% of the colour range; but some differ.
void expect_looks_exact()
{
    const Pixels quick = pixels(), exact = full_frame();
    EXPECT_LE(off_pixels(quick, exact), W * H / 50);
    EXPECT_GT(differing(quick, exact), 0) << "not quick at all";
    glutSetWindow(layer_window);
}

void place(int x, int z, int width, int length, int color)
{
    cursor.x = float(x), cursor.z = float(z);
    set_cursor_width(width), set_cursor_length(length), set_block_color(color);
    place_block();
}

// `layers` full layers of 2x2 bricks on the plate of `size` tens, the colours in turn.
void dense_model(int layers, int size = 1)
{
    for (int level = 0; level < layers; level++)
        for (int z = 0; z < 10 * size; z += 2)
            for (int x = 0; x < 10 * size; x += 2) place(x, z, 2, 2, 1 + (x / 2 + z / 2 + level) % 3);
}

// The layer's window `width` wide, once the window system has it so; the same view in both windows.
void layer_window_width(int width)
{
    glutSetWindow(layer_window);
    glutReshapeWindow(width, H);
    for (int i = 0; i < 1000 && glutGet(GLUT_WINDOW_WIDTH) != width; i++) glutMainLoopEvent();
    reshape(W, H, 0);
}

// The eye `above` the top of a brick on level 2, looking down at 45 degrees to a point `ahead` along x.
std::function<void()> looking_down(float above, float ahead)
{
    return [=] { eye = {1, 0.75f + above, -1}, look_center = {1 + ahead, 0.75f + above - ahead, -1 - ahead / 2}; };
}

// A change of what a frame reads, made as the program makes it or written
// straight into its state as a live control writes it; or a change, then
// pieces of the exact scene refined, and another.
struct Change {
    const char *what;
    std::function<void()> make;
    LayerRoute route = LayerRoute::through;  // of the frame after it...
    long failures = 0;                       // ...the layer's failures in it...
    long studs = 0;                          // ...and where it draws the scene anew, quick then exact, their studs
};

// After every change, in turn, the picture at rest is the frame drawn in
// full: the layer notices each field of the cursor, the bricks, the colours,
// the plate's size, the camera, the view and the window, and refines the
// exact scene in pieces whatever comes between them. On each plate size,
// where every scene drawn anew is quick first.
TEST_F(Layer, EveryChangeShowsAtRestAsAFullFrameShowsIt)
{
    GLint most = 0;  // the widest window the GL's buffers can hold
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &most);
    for (int size = 1; size <= 3; size++) {
        put_back(), set_base_size(size), open_windows();
        const std::string at = "at " + std::to_string(10 * size) + "x" + std::to_string(10 * size) + ": ";
        forced_stud_ms = 1.0 / (size * size);  // pieces of 4 studs or 40 boxes each 10x10: 25 for the plate
        expect_first_frames(at + "a new window", size != 2);
        const long all = 100L * size * size;  // studs on the plate, or on a layer over it
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
            {"undo", [] { board_action(ACTION_UNDO); }},
            {"undo and another brick: as many as before, another last", [] {
                 board_action(ACTION_UNDO), place(1, 1, 1, 1, COLOR_GREEN);
             }},
            {"clear", [] { board_action(ACTION_CLEAR); }},
            // The empty plate: quick only where exact is predicted over a
            // frame (16 ms), exact again only below 10 ms, so that no scene
            // flickers between the two.
            {"turns predicted at 5, 13, 17, 13, 11, 9, 15 ms", [size, all] {
                 const double ms[] = {5, 13, 17, 13, 11, 9, 15};
                 for (int i = 0; i < 7; i++) {
                     const std::string what = std::to_string(int(ms[i])) + " ms";
                     forced_stud_ms = ms[i] / all, turn_view(7.0f * (i + 1));
                     expect_redraw(what, i >= 2 && i <= 4), expect_same_frame(what);
                 }
                 forced_stud_ms = 1.0 / (size * size);
             }},
            {"two bricks again", [] { place(0, 0, 2, 2, COLOR_RED), place(0, 0, 2, 2, COLOR_BLUE); }},
            {"the plate red", [] { set_base_color(COLOR_RED); }},
            {"another size", [size] { set_base_size(size % 3 + 1); }},
            {"the size back", [size] { set_base_size(size); }},
            {"the view turned", [] { std::copy(TURN, TURN + 16, view_rotation); }},
            {"the view shifted along x", [] { view_translate_xy[0] = 0.3f; }},
            {"the view shifted along y", [] { view_translate_xy[1] = -0.2f; }},
            {"the view shifted away", [] { view_translate_z = 0.5f; }},
            // Quick frames cannot be told from exact ones, pulled near too.
            {"another turn, quick", [] { quick_turn(10), expect_looks_exact(); }},
            {"pulled near, quick", [size] { view_translate_z = -0.6f * size, quick_turn(15), expect_looks_exact(); }},
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
            {"the camera back", [] { reset_camera(); }},
            {"a smaller window", [] { reshape(W, H - 40, 60); }},
            {"the same view, another aspect", [] { reshape(W - 20, H - 40, 40); }},
            {"a wider panel", [] { reshape(W - 20, H - 40, 60); }},
            {"a window of no size", [] { reshape(W, 0, 60); }, LayerRoute::no_size},
            {"the window back", [] { reshape(W, H, 0); }},
            // A window too large for the GL's buffers is drawn in full, and
            // the layer comes back, exact, once it fits again.
            {"a window too large", [most] { layer_window_width(most + 1); }, LayerRoute::too_large, 1},
            {"a window too large, a frame later", [] {}, LayerRoute::too_large},
            {"the window fitting again", [] { layer_window_width(W); }},
            // A frame between pieces draws the cursor on the quick scene, in
            // its own material: each piece must start from the state of the
            // plate or brick it starts in again.
            {"a turn, then the cursor moved between every two pieces", [] {
                 quick_turn(20);
                 for (int i = 0; layer_refining(); i++) {
                     refine_layer();
                     i % 5 ? handle_key("da"[i % 2], 0, 0) : rotate_cursor();
                     draw_frame();
                 }
             }},
            // A second turn makes the refinement stale, whether the idle
            // turns come before the next frame or after it.
            {"a turn, at once another and its frame", [] { quick_turn(30), pieces(2), quick_turn(35); }},
            {"a turn, at once another, the idle turns", [] { quick_turn(40), pieces(2), turn_view(45), refine(); }},
            // Seen from below the plate, from just above the upper brick of
            // the stack, and from inside each of its two bricks.
            {"the eye below the plate, the view back", [] {
                 eye = {1.25f, -1, 1}, std::copy(IDENTITY, IDENTITY + 16, view_rotation);
             }},
            {"a long brick and a short one on its far end", [] {
                 place(2, 0, 2, 4, COLOR_GREEN), place(4, 0, 2, 2, COLOR_RED);
             }},
            {"the eye just above the short brick", [] { eye = {1.25f, 0.52f, -0.25f}, look_center = {2, 0, -2}; }},
            {"the eye inside it", [] { eye = {1.25f, 0.4f, -0.25f}; }},
            {"the eye inside the long one", [] { eye = {0.6f, 0.2f, -0.25f}, look_center = {1.25f, 0.25f, -0.25f}; }},
            // Two full layers of bricks cover every stud but the top ones,
            // turned or not, quick or exact; with the knob off, every stud is drawn.
            {"a dense model", [size] { board_action(ACTION_CLEAR), reset_camera(), dense_model(2, size); },
             LayerRoute::through, 0, all},
            {"a dense model turned", [] { std::copy(TURN, TURN + 16, view_rotation); }},
            {"a dense model with every stud drawn", [] { skip_hidden_studs = false, view_translate_z = 0.1f; },
             LayerRoute::through, 0, 3 * all},
            {"a long brick on top (level 2), the view back", [] {
                 skip_hidden_studs = true, view_translate_z = 0;
                 std::copy(IDENTITY, IDENTITY + 16, view_rotation);
                 place(3, 3, 2, 6, COLOR_BLUE);
             }},
            // Eyes 0.13 above it looking down: the near plane 0.1 from the
            // eye, its corners 0.19, cuts the brick open only at its corners,
            // and what lies inside shows.
            {"the eye above the long brick, looking 0.3 down", looking_down(0.13f, 0.3f)},
            {"the eye above the long brick, looking 0.6 down", looking_down(0.13f, 0.6f)},
            // On the dense model, pieces are bounded in time, boxes counted
            // with the studs: the bricks of a piece are as many as its time
            // holds, whatever their studs.
            {"the camera back, a turn, refined in short pieces", [] {
                 reset_camera(), quick_turn(50);
                 long most_bricks = 0;
                 while (layer_refining()) {
                     const long done = refined_bricks();
                     refine_layer();
                     most_bricks = std::max(most_bricks, refined_bricks() - done);
                 }
                 EXPECT_LE(longest_piece_ms(), PIECE_MS + 1.1 * forced_stud_ms);
                 EXPECT_LE(most_bricks, 1 + PIECE_MS / (0.1 * forced_stud_ms));
             }},
            // Undo gives back the faces a brick covered, a drop takes them away.
            {"a turn, then undo while refining: the long brick, the top layer's last", [] {
                 quick_turn(60), pieces(5), board_action(ACTION_UNDO), board_action(ACTION_UNDO);
             }},
            {"a turn, then a brick dropped while refining, on one of the top layer", [] {
                 quick_turn(70), pieces(5), place(6, 4, 2, 2, COLOR_RED), draw_frame();
                 EXPECT_TRUE(layer_refining()) << "a brick added goes on with the refinement";
             }},
            {"another turn", [] { quick_turn(80); }},
        };
        for (const Change &change : changes) {
            SCOPED_TRACE(at + change.what);
            const LayerCounts before = layer_counts;
            change.make();
            expect_same_frame(at + change.what, change.route, change.failures);
            if (change.studs) {
                EXPECT_EQ(layer_counts.quick_studs - before.quick_studs, change.studs) << "quick";
                EXPECT_EQ(layer_counts.exact_studs - before.exact_studs, change.studs) << "exact";
            }
        }
    }
}

// ---- Big models --------------------------------------------------------------------

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
    const struct {
        const char *name;
        void (*build)();
        long left_out;     // at least that many faces left out for each kept
        Vec3 looks[3][2];  // eye and centre: outside, just above the top, inside a brick
    } models[] = {
        {"8 full layers", [] { dense_model(8); }, 2,
         {{{3.5f, 3.5f, 2}, {1.25f, 1, -1.25f}}, {{1.1f, 2.06f, -1.1f}, {1.6f, 1.85f, -1.6f}},
          {{1.1f, 1.1f, -1.1f}, {2, 1, -2.2f}}}},
        // A tower of 2x2 bricks, every third a 1x2 one that leaves half the
        // top under it open and under the next half of its bottom.
        {"a tower", [] { for (int n = 0; n < 24; n++) place(4, 4, n % 3 == 2 ? 1 : 2, 2, 1 + n % 3); }, 0,
         {{{3, 3, 1.5f}, {1.1f, 2.5f, -1.1f}}, {{1.15f, 6.05f, -1.15f}, {1.4f, 5.8f, -1.3f}},
          {{1.13f, 2.6f, -1.13f}, {2, 2.5f, -2}}}},
    };
    for (const auto &model : models) {
        reset_board(), reset_camera(), model.build(), open_windows();
        forced_stud_ms = 1;
        expect_first_frames(std::string(model.name) + ", exact", true);
        for (int look = 0; look < 3; look++) {
            const char *const from[] = {" from outside", " from just above", " from inside"};
            SCOPED_TRACE(model.name + std::string(from[look]));
            eye = model.looks[look][0], look_center = model.looks[look][1];
            expect_redraw("", true);
            const Pixels quick = pixels(), in_order = frame_in_quick_order(true);
            EXPECT_LE(off_pixels(quick, in_order), W * H / 50);
            EXPECT_LE(off_pixels(quick, full_frame()), W * H / 20);

            // Leaving out the covered faces changes nothing but at seams.
            const Pixels with_rule = frame_in_quick_order(false);
            EXPECT_GT(kept_counts().left_out, model.left_out * kept_counts().faces);
            skip_covered_faces = false;
            EXPECT_LE(differing(with_rule, frame_in_quick_order(false)), SEAM_VALUES);
            skip_covered_faces = true;
        }
    }
}

}  // namespace

int main(int argc, char **argv)
{
    glutInit(&argc, argv);
    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowSize(W, H);
    reference_window = open_window(false), full_window = open_window();
    // Mesa draws framebuffers as windows with this; without it, the layer
    // must draw them upside down itself, or refuse.
    layer_may_refuse = !std::strstr(reinterpret_cast<const char *>(glGetString(GL_EXTENSIONS)),
                                    "GL_MESA_framebuffer_flip_y");
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
