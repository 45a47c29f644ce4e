#include "render/geometry.h"

#include <GL/gl.h>
#include <GL/glu.h>

namespace {

constexpr int STUD_SLICES = 20;
constexpr int STUD_STACKS = 20;
constexpr int STUD_LOOPS = 20;

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

}  // namespace

void draw_base_plate(int size_x, int size_z, const HiddenStuds *hidden)
{
    const float far_x = size_x * CELL, far_z = -size_z * CELL;
    glBegin(GL_POLYGON);
    glVertex3f(0, 0, 0);
    glVertex3f(0, 0, far_z);
    glVertex3f(far_x, 0, far_z);
    glVertex3f(far_x, 0, 0);
    glEnd();
    for (int r = 0; r < size_z; ++r)
        for (int c = 0; c < size_x; ++c)
            if (!hidden || !stud_hidden(*hidden, c, r, 0))
                draw_stud_at(c, r, 0);
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

void draw_stud_cap()
{
    gluDisk(stud_quadric(), 0, STUD_RADIUS, STUD_SLICES, STUD_LOOPS);
}

void draw_stud()
{
    draw_stud_cap();
    gluCylinder(stud_quadric(), STUD_RADIUS, STUD_RADIUS, STUD_HEIGHT, STUD_SLICES, STUD_STACKS);
}

void draw_stud_at(int column, int row, float top)
{
    glPushMatrix();
    glTranslatef(column * CELL + 0.125f, top, -(row * CELL) - 0.125f);
    glRotatef(-90, 1, 0, 0);  // GLU builds along +z; studs stand along +y
    glPushMatrix();
    glTranslatef(0, 0, STUD_HEIGHT);
    draw_stud_cap();
    glPopMatrix();
    draw_stud();
    glPopMatrix();
}

void draw_block_studs(const Block& b, const HiddenStuds *hidden)
{
    // The int counters are compared with the float sums, so a brick at a
    // fractional place would still get studs up to its far edge.
    for (int r = int(b.z); r < b.z + b.width; ++r)
        for (int c = int(b.x); c < b.x + b.length; ++c)
            if (!hidden || !stud_hidden(*hidden, c, r, int(b.y) + 1))
                draw_stud_at(c, r, (b.y + 1) * CELL);
}
