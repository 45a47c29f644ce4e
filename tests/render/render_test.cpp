// The render layer checked from what GL receives (feedback mode, mapped back
// to world units) and what it draws (pixels of whole frames), in a GLUT window.
#include <GL/glut.h>
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <map>

#include "board/board.h"
#include "render/camera.h"
#include "render/geometry.h"
#include "render/materials.h"
#include "render/scene.h"

constexpr int WIN_W = 800, WIN_H = 600;
constexpr float BOX = 10;  // half-size of the feedback view volume

// Stands in front of GLU's own: the render library links to this one.
int quadrics_created = 0;
extern "C" GLUquadric* gluNewQuadric()
{
    static auto real = reinterpret_cast<GLUquadric* (*)()>(dlsym(RTLD_NEXT, "gluNewQuadric"));
    ++quadrics_created;
    return real();
}

namespace {

using V3 = std::array<float, 3>;
using Points = std::vector<V3>;
bool near(V3 a, V3 b) { return std::fabs(a[0] - b[0]) + std::fabs(a[1] - b[1]) + std::fabs(a[2] - b[2]) < 1e-4f; }
bool has(const Points& ps, V3 p) { return std::any_of(ps.begin(), ps.end(), [&](V3 q) { return near(p, q); }); }

// The primitives `draw` sends, each as its vertices in world units, drawn in
// feedback mode under an identity modelview and an orthographic box.
// Feedback splits polygons into triangles and lines into segments.
std::vector<Points> capture(const std::function<void()>& draw, std::size_t floats = 1 << 20)
{
    std::vector<float> buf(floats);
    glViewport(0, 0, WIN_W, WIN_H);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-BOX, BOX, -BOX, BOX, -BOX, BOX);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glFeedbackBuffer(GLsizei(buf.size()), GL_3D, buf.data());
    glRenderMode(GL_FEEDBACK);
    draw();
    const int n = glRenderMode(GL_RENDER);
    EXPECT_GE(n, 0) << "feedback buffer overflow";
    float m[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(m[i], i % 5 ? 0.0f : 1.0f) << "modelview changed";

    std::vector<Points> out;
    for (int i = 0; i < n;) {
        const int token = int(buf[i++]);
        const int count = token == GL_POLYGON_TOKEN ? int(buf[i++]) : token == GL_POINT_TOKEN ? 1 : 2;
        out.emplace_back();
        for (int k = 0; k < count; ++k, i += 3)
            out.back().push_back({(buf[i] / (WIN_W / 2) - 1) * BOX, (buf[i + 1] / (WIN_H / 2) - 1) * BOX,
                                  (1 - 2 * buf[i + 2]) * BOX});
    }
    return out;
}

Points flat(const std::vector<Points>& prims)
{
    Points all;
    for (const Points& p : prims) all.insert(all.end(), p.begin(), p.end());
    return all;
}

// Expects the lowest and highest x, y and z of some points.
void expect_bounds(const Points& ps, V3 lo, V3 hi)
{
    for (int a = 0; a < 3; ++a) {
        const auto [min, max] = std::minmax_element(ps.begin(), ps.end(), [&](V3 p, V3 q) { return p[a] < q[a]; });
        EXPECT_NEAR((*min)[a], lo[a], 1e-4) << "axis " << a;
        EXPECT_NEAR((*max)[a], hi[a], 1e-4) << "axis " << a;
    }
}

// The axis on which all of some points agree, or -1.
int flat_axis(const Points& ps)
{
    for (int a = 0; a < 3; ++a)
        if (std::all_of(ps.begin(), ps.end(), [&](V3 p) { return std::fabs(p[a] - ps[0][a]) < 1e-4f; })) return a;
    return -1;
}

// The points above a height, by the cell (column, row) they stand on.
std::map<std::pair<int, int>, Points> by_cell(const Points& ps, float above)
{
    std::map<std::pair<int, int>, Points> out;
    for (V3 p : ps)
        if (p[1] > above) out[{int(std::floor(p[0] / CELL)), int(std::floor(-p[2] / CELL))}].push_back(p);
    return out;
}

// How many values lie apart by more than float noise.
int distinct(std::vector<float> v)
{
    std::sort(v.begin(), v.end());
    return int(std::unique(v.begin(), v.end(), [](float a, float b) { return b - a <= 1e-4f; }) - v.begin());
}

// 'w' background, 'k' black, 'g' grey, 'R'/'G'/'B' a dominant colour, '?' else.
char kind_of(const unsigned char* p)
{
    const int r = p[0], g = p[1], b = p[2];
    if (r > 240 && g > 240 && b > 240) return 'w';
    if (r < 8 && g < 8 && b < 8) return 'k';
    if (std::abs(r - g) < 6 && std::abs(g - b) < 6) return 'g';
    return r > g + 30 && r > b + 30 ? 'R' : g > r + 30 && g > b + 30 ? 'G' : b > r + 30 && b > g + 30 ? 'B' : '?';
}

// The kind of pixel where a world point lands, seen by the unturned camera.
char kind_at(V3 w)
{
    glPushMatrix();
    glLoadIdentity();
    gluLookAt(eye.x, eye.y, eye.z, look_center.x, look_center.y, look_center.z, 0, 1, 0);
    double mv[16], pr[16], x, y, z;
    int vp[4];
    glGetDoublev(GL_MODELVIEW_MATRIX, mv);
    glGetDoublev(GL_PROJECTION_MATRIX, pr);
    glGetIntegerv(GL_VIEWPORT, vp);
    glPopMatrix();
    gluProject(w[0], w[1], w[2], mv, pr, vp, &x, &y, &z);
    unsigned char p[3];
    glReadPixels(int(x), int(y), 1, 1, GL_RGB, GL_UNSIGNED_BYTE, p);
    return kind_of(p);
}

int count_kind(char kind)
{
    std::vector<unsigned char> px(WIN_W * WIN_H * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, WIN_W, WIN_H, GL_RGB, GL_UNSIGNED_BYTE, px.data());
    int n = 0;
    for (std::size_t i = 0; i < px.size(); i += 3) n += kind_of(&px[i]) == kind;
    return n;
}

}  // namespace

TEST(BrickShape, BoxIsSixFacesAndOutlineTracesThem)
{
    // Each face's plane, as axis and value, in drawing order, for width 2, length 4.
    const std::pair<int, float> plane[6] = {{2, 0}, {0, 1}, {1, 0}, {1, 0.25f}, {2, -0.5f}, {0, 0}};
    const auto prims = capture([] { draw_block_box(2, 4); });
    expect_bounds(flat(prims), {0, 0, -0.5f}, {1, 0.25f, 0});
    // The triangles of a face come in a row; no two faces in a row share a plane.
    std::vector<Points> faces;
    for (const Points& p : prims) {
        const int a = flat_axis(p);
        if (faces.empty() || flat_axis(faces.back()) != a || std::fabs(faces.back()[0][a] - p[0][a]) > 1e-4f)
            faces.emplace_back();
        for (V3 v : p)
            if (!has(faces.back(), v)) faces.back().push_back(v);
    }
    ASSERT_EQ(faces.size(), 6u);
    for (int f = 0; f < 6; ++f) {
        EXPECT_EQ(faces[f].size(), 4u) << "corners of face " << f;
        EXPECT_EQ(flat_axis(faces[f]), plane[f].first) << "face " << f;
        EXPECT_NEAR(faces[f][0][plane[f].first], plane[f].second, 1e-4) << "face " << f;
    }

    glLineWidth(3);
    const auto lines = capture([] { draw_block_outline(2, 4); });
    GLfloat width;
    glGetFloatv(GL_LINE_WIDTH, &width);
    EXPECT_EQ(width, 1.0f);
    // Six closed loops of four edges, each round the face drawn in its place.
    ASSERT_EQ(lines.size(), 24u);
    for (int i = 0; i < 24; ++i) {
        EXPECT_TRUE(near(lines[i][1], lines[i / 4 * 4 + (i + 1) % 4][0])) << "loop " << i / 4 << " open";
        EXPECT_TRUE(has(faces[i / 4], lines[i][0]) && has(faces[i / 4], lines[i][1])) << "loop " << i / 4;
    }
}

TEST(BrickShape, StudsStandOnTopOfThePlacedBrick)
{
    const Block b(3, 2, 5, 0, 2, 4, COLOR_RED);
    const auto studs = by_cell(flat(capture([&] { draw_block_studs(b); })), -1);
    ASSERT_EQ(studs.size(), 8u);
    for (const auto& [cell, points] : studs) {
        EXPECT_TRUE(cell.first >= 3 && cell.first <= 6 && cell.second >= 5 && cell.second <= 6);
        const float x = cell.first * CELL + 0.125f, z = -cell.second * CELL - 0.125f, r = STUD_RADIUS;
        expect_bounds(points, {x - r, 0.75f, z - r}, {x + r, 0.75f + STUD_HEIGHT, z + r});
    }
    // 20 stacks, 20 loops, 20 slices: one stud's heights, and radii and angles on its top.
    std::vector<float> heights, radii, angles;
    for (V3 p : flat(capture([] { draw_stud_at(0, 0, 0); }))) {
        const float x = p[0] - 0.125f, z = p[2] + 0.125f, r = std::hypot(x, z), a = std::atan2(z, x);
        heights.push_back(p[1]);
        if (std::fabs(p[1] - STUD_HEIGHT) < 1e-5f) radii.push_back(r);
        if (r > STUD_RADIUS * 0.9f) angles.push_back(a < -1e-3f ? a + 2 * float(M_PI) : std::max(a, 0.0f));
    }
    EXPECT_EQ(distinct(heights), 21);
    EXPECT_EQ(distinct(radii), 21);
    EXPECT_EQ(distinct(angles), 20);

    const auto box = capture([] { glPushMatrix(); translate_to_cell(3, 2, 5); draw_block_box(2, 4); glPopMatrix(); });
    expect_bounds(flat(box), {0.75f, 0.5f, -1.75f}, {1.75f, 0.75f, -1.25f});
}

TEST(PlateShape, OnePolygonThenAStudOnEveryCell)
{
    for (int size : {10, 20, 30}) {
        const auto prims = capture([&] { draw_base_plate(size, size); }, std::size_t(size) * size * 26000);
        // The plate comes first, before the first stud's top.
        const auto first_stud = std::find_if(prims.begin(), prims.end(), [](const Points& p) { return p[0][1] != 0; });
        expect_bounds(flat({prims.begin(), first_stud}), {0, 0, -size * CELL}, {size * CELL, 0, 0});
        const auto studs = by_cell(flat(prims), 1e-3f);
        EXPECT_EQ(studs.size(), std::size_t(size * size));
        EXPECT_EQ(studs.count({size - 1, size - 1}), 1u);
    }
}

class Frame : public testing::Test {
protected:
    // The board's start state and the GL set-up the program makes.
    void SetUp() override
    {
        cursor = Block(0, 0, 0, 0, 2, 2, 0), blocks.clear();
        board_size_x = board_size_z = 10, base_color = COLOR_GREEN, camera_reset_pending = 1;
        glEnable(GL_DEPTH_TEST);
        glClearColor(1, 1, 1, 1);
        set_projection(WIN_W, WIN_H);
        glViewport(0, 0, WIN_W, WIN_H);
    }
};

TEST_F(Frame, PlateBricksAndCursorInTheirColoursCursorAndBricksEdgedInBlack)
{
    const V3 plate_middle = {1.25f, 0, -1.25f};  // between studs
    for (auto [color, kind] : {std::pair{COLOR_RED, 'R'}, {COLOR_BLUE, 'B'}, {COLOR_GREEN, 'G'}}) {
        base_color = color;
        draw_frame();
        EXPECT_EQ(kind_at(plate_middle), kind);
    }
    EXPECT_EQ(kind_at({0.25f, CELL / 2, 0}), 'g');  // the cursor's front
    const int cursor_edges = count_kind('k');
    EXPECT_GT(cursor_edges, 200);
    blocks.push_back(Block(0, 0, 0, 0, 2, 2, COLOR_RED));
    blocks.push_back(Block(6, 0, 4, 0, 2, 2, COLOR_BLUE));
    blocks.push_back(Block(3, 0, 4, 1, 2, 2, COLOR_RED));  // flagged: not drawn
    cursor.y = 1;
    draw_frame();
    EXPECT_EQ(kind_at({0.25f, CELL / 2, 0}), 'R');
    EXPECT_EQ(kind_at({0.25f, CELL * 1.5f, 0}), 'g');
    EXPECT_EQ(kind_at({1.75f, CELL / 2, -1.0f}), 'B');
    EXPECT_EQ(kind_at({1.0f, 0, -1.25f}), 'G');
    EXPECT_GT(count_kind('k'), cursor_edges + 100);  // the blue brick's outline
    EXPECT_EQ(quadrics_created, 1) << "one stud quadric for the process";
}

TEST_F(Frame, CameraFollowsTheBoardSizeOnlyWhenAsked)
{
    int plate_pixels = 0;
    for (auto [size, eye_y] : {std::pair{10, 1.f}, {20, 3.f}, {30, 4.f}}) {
        board_size_x = board_size_z = size, camera_reset_pending = 1;
        draw_frame();
        EXPECT_EQ(camera_reset_pending, 0);
        EXPECT_FLOAT_EQ(eye.y, eye_y);
        EXPECT_EQ(kind_at({size * CELL / 2, 0, -size * CELL / 2}), 'G') << size;
        EXPECT_GT(count_kind('G'), plate_pixels) << size;
        plate_pixels = count_kind('G');
    }
    eye.y = 2;
    draw_frame();
    EXPECT_EQ(eye.y, 2.0f);
}

TEST_F(Frame, ProjectionUsesTheWholeWindowAndKeepsItForAnEmptyOne)
{
    float p[16], kept[16];
    GLint mode;
    set_projection(1000, 500);
    glGetFloatv(GL_PROJECTION_MATRIX, p);
    EXPECT_FLOAT_EQ(p[0], 0.5f);  // cot(45 deg) / aspect 2
    EXPECT_FLOAT_EQ(p[5], 1.0f);
    EXPECT_NEAR(p[14], -2 * 50 * 0.1 / (50 - 0.1), 1e-6);
    for (auto [w, h] : {std::pair{1000, 0}, {0, 500}, {0, 0}}) {
        glMatrixMode(GL_TEXTURE);
        set_projection(w, h);
        glGetFloatv(GL_PROJECTION_MATRIX, kept);
        EXPECT_TRUE(std::equal(p, p + 16, kept)) << w << "x" << h;
        EXPECT_TRUE(window_width == w && window_height == h);
        glGetIntegerv(GL_MATRIX_MODE, &mode);
        EXPECT_EQ(mode, GL_MODELVIEW);
    }
}

int main(int argc, char** argv)
{
    glutInit(&argc, argv);
    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowSize(WIN_W, WIN_H);
    glutCreateWindow("render tests");
    init_lighting();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
