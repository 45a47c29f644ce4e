#include "render/geometry.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <cmath>

namespace {

constexpr int FEWEST_SLICES = 6;

// One quadric serves every stud for the life of the process; creating one
// per stud or per frame would allocate thousands each frame.
GLUquadric* stud_quadric()
{
    static GLUquadric* q = nullptr;
    if (!q) {
        q = gluNewQuadric();
        gluQuadricDrawStyle(q, GLU_FILL);
    }
    return q;
}

struct Corner {
    float x, y, z;
};

// The eight corners of a brick in its own frame, and its faces as corner
// indices. The outline walks the same faces, so its edges lie on the box.
void box_corners(int width, int length, Corner p[8])
{
    const float lw = length * CELL, ww = width * CELL, h = CELL;
    p[0] = {0, 0, 0};
    p[1] = {0, h, 0};
    p[2] = {lw, h, 0};
    p[3] = {lw, 0, 0};
    p[4] = {0, 0, -ww};
    p[5] = {0, h, -ww};
    p[6] = {lw, h, -ww};
    p[7] = {lw, 0, -ww};
}

constexpr int BOX_FACES[6][4] = {
    {0, 3, 2, 1},  // front, z = 0
    {2, 3, 7, 6},  // right, x = length
    {3, 0, 4, 7},  // bottom
    {1, 2, 6, 5},  // top
    {4, 5, 6, 7},  // back, z = -width
    {5, 4, 0, 1},  // left, x = 0
};

void draw_box_faces(int width, int length, GLenum mode)
{
    Corner p[8];
    box_corners(width, length, p);
    for (const auto& face : BOX_FACES) {
        glBegin(mode);
        for (int i : face)
            glVertex3f(p[i].x, p[i].y, p[i].z);
        glEnd();
    }
}

// Slices enough that a stud's outline keeps within half a pixel of a circle:
// a polygon of n sides strays r(1 - cos(pi/n)) from a circle of r pixels.
// The radius on screen grows off the view's axis as the stud is seen askew.
int fitted_slices(const ScreenFit &fit, float x, float y, float z)
{
    const float *m = fit.modelview;
    const float ex = m[0] * x + m[4] * y + m[8] * z + m[12], ey = m[1] * x + m[5] * y + m[9] * z + m[13];
    const float depth = -(m[2] * x + m[6] * y + m[10] * z + m[14]);
    if (depth <= 0 || ex * ex + ey * ey + depth * depth < fit.near_reach * fit.near_reach)
        return STUD_SLICES;  // behind the eye, or where the near plane may cut it open
    const float askew = std::sqrt(1 + (ex / depth) * (ex / depth) + (ey / depth) * (ey / depth));
    const float pixels = STUD_RADIUS * fit.pixels_per_unit / depth * askew;
    if (pixels <= 0.5f)
        return FEWEST_SLICES;
    const int n = int(std::ceil(float(M_PI) / std::acos(1 - 0.5f / pixels)));
    return std::clamp(n, FEWEST_SLICES, STUD_SLICES);
}

}  // namespace

int draw_base_plate(int size_x, int size_z, const StudStyle &style, int first, int end)
{
    if (first == 0) {
        const float far_x = size_x * CELL, far_z = -size_z * CELL;
        glBegin(GL_POLYGON);
        glVertex3f(0, 0, 0);
        glVertex3f(0, 0, far_z);
        glVertex3f(far_x, 0, far_z);
        glVertex3f(far_x, 0, 0);
        glEnd();
    }
    int drawn = 0, k = 0;
    for (int r = 0; r < size_z; ++r)
        for (int c = 0; c < size_x; ++c, ++k)
            if (k >= first && k < end && !(style.hidden && stud_hidden(*style.hidden, c, r, 0))) {
                draw_stud_at(c, r, 0, style.fit);
                ++drawn;
            }
    return drawn;
}

void draw_block_box(int width, int length)
{
    draw_box_faces(width, length, GL_POLYGON);
}

void draw_block_outline(int width, int length)
{
    glLineWidth(1.0f);
    draw_box_faces(width, length, GL_LINE_LOOP);
}

void translate_to_cell(int x, int y, int z)
{
    glTranslatef(x * CELL, y * CELL, -z * CELL);
}

void draw_stud_cap(int slices, int rings)
{
    gluDisk(stud_quadric(), 0, STUD_RADIUS, slices, rings);
}

void draw_stud(int slices, int rings)
{
    draw_stud_cap(slices, rings);
    gluCylinder(stud_quadric(), STUD_RADIUS, STUD_RADIUS, STUD_HEIGHT, slices, rings);
}

void draw_stud_at(int column, int row, float top, const ScreenFit *fit)
{
    const float x = column * CELL + 0.125f, z = -(row * CELL) - 0.125f;
    // Rings and stacks only move a flat-shaded facet's colour by a level; the
    // slices are what the eye sees.
    const int slices = fit ? fitted_slices(*fit, x, top, z) : STUD_SLICES;
    const int rings = fit ? 1 : STUD_RINGS;
    glPushMatrix();
    glTranslatef(x, top, z);
    glRotatef(-90, 1, 0, 0);  // GLU builds along +z; studs stand along +y
    glPushMatrix();
    glTranslatef(0, 0, STUD_HEIGHT);
    draw_stud_cap(slices, rings);
    glPopMatrix();
    draw_stud(slices, rings);
    glPopMatrix();
}

// Every cell of a brick's top, row by row, as its studs are drawn. The int
// counters are compared with the float sums, so a brick at a fractional place
// would still get studs up to its far edge.
template <typename Visit>
static void for_each_top_cell(const Block &b, Visit visit)
{
    int k = 0;
    for (int r = int(b.z); r < b.z + b.width; ++r)
        for (int c = int(b.x); c < b.x + b.length; ++c)
            visit(k++, c, r);
}

int draw_block_studs(const Block &b, const StudStyle &style, int first, int end)
{
    int drawn = 0;
    for_each_top_cell(b, [&](int k, int c, int r) {
        if (k >= first && k < end && !(style.hidden && stud_hidden(*style.hidden, c, r, int(b.y) + 1))) {
            draw_stud_at(c, r, (b.y + 1) * CELL, style.fit);
            ++drawn;
        }
    });
    return drawn;
}

int block_stud_count(const Block &b)
{
    int n = 0;
    for_each_top_cell(b, [&](int, int, int) { ++n; });
    return n;
}
