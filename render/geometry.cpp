#include "render/geometry.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <cmath>

namespace {

constexpr int FEWEST_SLICES = 6;
constexpr int STUDS_A_RUN = 4;  // studs sent to the GL before it is told to draw them

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

// The eight corners of a brick in its own frame, and its faces as corner
// indices, in the order of the board's FACE_ names. The outline walks the
// same faces, so its edges lie on the box.
constexpr int BOX_FACES[FACES][4] = {
    {0, 3, 2, 1},  // front, z = 0
    {2, 3, 7, 6},  // right, x = length
    {3, 0, 4, 7},  // bottom
    {1, 2, 6, 5},  // top
    {4, 5, 6, 7},  // back, z = -width
    {5, 4, 0, 1},  // left, x = 0
};

void draw_box_faces(int width, int length, GLenum mode, unsigned faces)
{
    for (int f = 0; f < FACES; f++) {
        if (!(faces >> f & 1))
            continue;
        float p[4][3];
        box_face_corners(width, length, f, p);
        glBegin(mode);
        for (const float *v : p)
            glVertex3f(v[0], v[1], v[2]);
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
    int drawn = 0;
    for (long k = std::max(0, first); size_x > 0 && k < std::min(long(end), long(size_x) * std::max(0, size_z)); ++k) {
        const int r = int(k / size_x), c = int(k % size_x);
        if (!(style.sight && stud_hidden(*style.sight, c, r, 0))) {
            draw_stud_at(c, r, 0, style.fit);
            ++drawn;
        }
    }
    return drawn;
}

void set_full_frame_normal()
{
    glNormal3f(0, 1, 0);
}

void box_face_corners(int width, int length, int face, float corners[4][3])
{
    const float lw = length * CELL, ww = width * CELL, h = CELL;
    const float p[8][3] = {{0, 0, 0}, {0, h, 0}, {lw, h, 0}, {lw, 0, 0}, {0, 0, -ww}, {0, h, -ww}, {lw, h, -ww}, {lw, 0, -ww}};
    for (int k = 0; k < 4; k++)
        for (int i = 0; i < 3; i++)
            corners[k][i] = p[BOX_FACES[face][k]][i];
}

void draw_block_box(int width, int length, unsigned faces)
{
    draw_box_faces(width, length, GL_POLYGON, faces);
}

void draw_block_outline(int width, int length, unsigned faces)
{
    glLineWidth(1.0f);
    draw_box_faces(width, length, GL_LINE_LOOP, faces);
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
    // The GL bins what it is sent until told to draw it, and llvmpipe frees
    // a bin's memory only when it next fills that bin, keeping dozens: sent a
    // few studs at a time, a frame of thousands of studs (2,400 triangles
    // each, exact) leaves a few studs' worth held at rest, not a frame's.
    static int unsent = 0;
    if (++unsent == STUDS_A_RUN) {
        glFlush();
        unsent = 0;
    }
}

void add_stud(StudBatch &batch, int column, int row, float top, const ScreenFit &fit)
{
    const float x = column * CELL + 0.125f, z = -(row * CELL) - 0.125f;
    const int n = fitted_slices(fit, x, top, z);
    // The angles GLU takes, 2 pi i / n, their sines along x and cosines along
    // y of the quadric; standing up, its y runs along -z and its z along +y.
    float sine[STUD_SLICES + 1], cosine[STUD_SLICES + 1];
    for (int i = 0; i < n; i++) {
        const float angle = 2 * float(M_PI) * float(i) / float(n);
        sine[i] = std::sin(angle), cosine[i] = std::cos(angle);
    }
    sine[n] = sine[0], cosine[n] = cosine[0];
    const auto vertex = [&](float lx, float ly, float lz, float nx, float ny, float nz) {
        batch.vertices.insert(batch.vertices.end(), {x + lx, top + lz, z - ly});
        batch.normals.insert(batch.normals.end(), {nx, nz, -ny});
        return unsigned(batch.vertices.size() / 3 - 1);
    };
    // The disks, top then bottom: a fan from the centre round the rim, the
    // rim taken backwards; triangle k is the centre, rim k and rim k + 1.
    for (const float height : {STUD_HEIGHT, 0.0f}) {
        const unsigned centre = vertex(0, 0, height, 0, 0, 1);
        for (int i = n; i >= 0; i--)
            vertex(STUD_RADIUS * sine[i], STUD_RADIUS * cosine[i], height, 0, 0, 1);
        for (unsigned k = 0; k < unsigned(n); k++)
            batch.triangles.insert(batch.triangles.end(), {centre, centre + k + 1, centre + k + 2});
    }
    // The wall: a strip of quads, bottom and top at each angle; quad k ends
    // with the top at angle k + 1, and so do both its triangles.
    const unsigned first = vertex(STUD_RADIUS * sine[0], STUD_RADIUS * cosine[0], 0, sine[0], cosine[0], 0);
    vertex(STUD_RADIUS * sine[0], STUD_RADIUS * cosine[0], STUD_HEIGHT, sine[0], cosine[0], 0);
    for (int i = 1; i <= n; i++) {
        vertex(STUD_RADIUS * sine[i], STUD_RADIUS * cosine[i], 0, sine[i], cosine[i], 0);
        vertex(STUD_RADIUS * sine[i], STUD_RADIUS * cosine[i], STUD_HEIGHT, sine[i], cosine[i], 0);
        const unsigned q = first + 2 * unsigned(i - 1);
        batch.triangles.insert(batch.triangles.end(), {q, q + 1, q + 3, q + 2, q, q + 3});
    }
}

void draw_stud_batch(const StudBatch &batch)
{
    if (batch.triangles.empty())
        return;
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_NORMAL_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, batch.vertices.data());
    glNormalPointer(GL_FLOAT, 0, batch.normals.data());
    glDrawElements(GL_TRIANGLES, GLsizei(batch.triangles.size()), GL_UNSIGNED_INT, batch.triangles.data());
    glDisableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
    set_full_frame_normal();  // what the arrays leave current is the GL's choice
}

// A brick's top, row by row, as its studs are drawn: the int counters are
// compared with the float sums, so a brick at a fractional place would still
// get studs up to its far edge.
static int top_columns(const Block &b)
{
    int n = 0;
    for (int c = int(b.x); c < b.x + b.length; ++c)
        ++n;
    return n;
}

static int top_rows(const Block &b)
{
    int n = 0;
    for (int r = int(b.z); r < b.z + b.width; ++r)
        ++n;
    return n;
}

int draw_block_studs(const Block &b, const StudStyle &style, int first, int end)
{
    const int columns = top_columns(b), count = columns * top_rows(b), level = int(b.y) + 1;
    int drawn = 0;
    for (int k = std::max(0, first); k < std::min(end, count); ++k) {
        const int r = int(b.z) + k / columns, c = int(b.x) + k % columns;
        if (!(style.sight && stud_hidden(*style.sight, c, r, level))) {
            draw_stud_at(c, r, (b.y + 1) * CELL, style.fit);
            ++drawn;
        }
    }
    return drawn;
}

int block_stud_count(const Block &b)
{
    return top_columns(b) * top_rows(b);
}
