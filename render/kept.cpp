#include "render/kept.h"

#define GL_GLEXT_PROTOTYPES
#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <array>
#include <utility>
#include <vector>

#include "render/geometry.h"
#include "render/materials.h"

bool skip_covered_faces = true;

namespace {

// Faces in one material, a group for each of color_table's rows and one for
// any other colour code. A face is a quad with its first corner last
// (flat shading takes the colour of a polygon's first vertex, but of a
// quad's last) and its outline as four segments.
struct Group {
    std::vector<float> quads;  // 4 vertices of x, y, z a face
    std::vector<float> lines;  // 8 a face
    std::vector<std::pair<std::size_t, int>> owner;  // the brick and face in each place
};
constexpr std::size_t QUAD_FLOATS = 12, LINE_FLOATS = 24;

struct Kept {
    bool every_face = false;             // built with the rule off
    std::vector<Block> bricks;           // as they were placed...
    std::vector<unsigned long> serials;  // ...and their numbers: the list it follows
    std::vector<std::array<int, FACES>> places;  // where each face is in its group; -1: not kept
    Group groups[COLOR_GROUPS];
};
Kept kept;

// A face of a brick at its place in the scene's frame, as a quad and its outline.
void face_vertices(const Block &b, int face, float quad[QUAD_FLOATS], float lines[LINE_FLOATS])
{
    float p[4][3];
    box_face_corners(b.width, b.length, face, p);
    const float at[3] = {int(b.x) * CELL, int(b.y) * CELL, -int(b.z) * CELL};
    for (auto &v : p)
        for (int i = 0; i < 3; i++)
            v[i] += at[i];
    for (int k = 0; k < 4; k++)
        for (int i = 0; i < 3; i++) {
            quad[3 * k + i] = p[(k + 1) % 4][i];
            lines[6 * k + i] = p[k][i];
            lines[6 * k + 3 + i] = p[(k + 1) % 4][i];
        }
}

void add_face(Kept &k, std::size_t brick, int face)
{
    Group &g = k.groups[color_group(k.bricks[brick].color)];
    float quad[QUAD_FLOATS], lines[LINE_FLOATS];
    face_vertices(k.bricks[brick], face, quad, lines);
    k.places[brick][face] = int(g.owner.size());
    g.quads.insert(g.quads.end(), quad, quad + QUAD_FLOATS);
    g.lines.insert(g.lines.end(), lines, lines + LINE_FLOATS);
    g.owner.push_back({brick, face});
}

// The group's last face takes the place of the one removed.
void remove_face(Kept &k, std::size_t brick, int face)
{
    Group &g = k.groups[color_group(k.bricks[brick].color)];
    const std::size_t place = std::size_t(k.places[brick][face]), last = g.owner.size() - 1;
    if (place != last) {
        std::copy_n(g.quads.begin() + last * QUAD_FLOATS, QUAD_FLOATS, g.quads.begin() + place * QUAD_FLOATS);
        std::copy_n(g.lines.begin() + last * LINE_FLOATS, LINE_FLOATS, g.lines.begin() + place * LINE_FLOATS);
        g.owner[place] = g.owner[last];
        k.places[g.owner[place].first][g.owner[place].second] = int(place);
    }
    g.quads.resize(last * QUAD_FLOATS);
    g.lines.resize(last * LINE_FLOATS);
    g.owner.pop_back();
    k.places[brick][face] = -1;
}

// The faces a brick should have kept: none if it is not drawn.
unsigned faces_to_keep(const Kept &k, std::size_t brick)
{
    if (k.bricks[brick].flag != 0)
        return 0;
    return ALL_FACES & ~(k.every_face ? 0 : covered_faces(brick));
}

void keep_faces(Kept &k, std::size_t brick, unsigned faces)
{
    for (int f = 0; f < FACES; f++) {
        const bool want = faces >> f & 1, have = k.places[brick][f] >= 0;
        if (want && !have)
            add_face(k, brick, f);
        else if (have && !want)
            remove_face(k, brick, f);
    }
}

void push_brick(Kept &k, std::size_t i)
{
    k.bricks.push_back(blocks[i]);
    k.serials.push_back(brick_serial(i));
    k.places.push_back({-1, -1, -1, -1, -1, -1});
}

void forget_all(Kept &k)
{
    k.bricks.clear();
    k.serials.clear();
    k.places.clear();
    for (Group &g : k.groups)
        g = Group();
}

// A group's faces or outlines but those of the bricks `near` (a sorted list).
void draw_group(const Group &g, bool lines, const std::vector<std::size_t> &near)
{
    const std::vector<float> &vertices = lines ? g.lines : g.quads;
    const GLint per_face = lines ? 8 : 4;
    std::vector<GLint> first;
    std::vector<GLsizei> count;
    for (std::size_t place = 0; place < g.owner.size(); place++) {
        if (!near.empty() && std::binary_search(near.begin(), near.end(), g.owner[place].first))
            continue;
        if (!count.empty() && first.back() + count.back() == GLint(place) * per_face)
            count.back() += per_face;
        else
            first.push_back(GLint(place) * per_face), count.push_back(per_face);
    }
    if (first.empty())
        return;
    glVertexPointer(3, GL_FLOAT, 0, vertices.data());
    glMultiDrawArrays(lines ? GL_LINES : GL_QUADS, first.data(), count.data(), GLsizei(first.size()));
}

}  // namespace

void sync_kept_bricks()
{
    if (kept.every_face == skip_covered_faces || blocks.empty()) {
        forget_all(kept);
        kept.every_face = !skip_covered_faces;
    }
    // Taken away since: the kept list's last brick while it is no longer the board's.
    std::vector<std::size_t> against;
    while (!kept.bricks.empty()) {
        const std::size_t i = kept.bricks.size() - 1;
        if (i < blocks.size() && brick_serial(i) == kept.serials[i])
            break;
        keep_faces(kept, i, 0);
        for (std::size_t n : bricks_against(kept.bricks[i]))
            against.push_back(n);
        kept.bricks.pop_back();
        kept.serials.pop_back();
        kept.places.pop_back();
    }
    // Placed since.
    const std::size_t unchanged = kept.bricks.size();
    for (std::size_t i = unchanged; i < blocks.size(); ++i) {
        push_brick(kept, i);
        for (std::size_t n : bricks_against(blocks[i]))
            against.push_back(n);
    }
    for (std::size_t i = unchanged; i < blocks.size(); ++i)
        keep_faces(kept, i, faces_to_keep(kept, i));
    // The bricks against those that changed, for the faces they cover or no longer cover.
    for (std::size_t n : against)
        if (n < unchanged)
            keep_faces(kept, n, faces_to_keep(kept, n));
}

void draw_kept_bricks(const Sight &sight)
{
    // Near a brick the view enters, faces of neighbours lie in one plane and
    // show one way or the other by the order they are drawn in: those bricks
    // are drawn after the others, one by one in placement order, each face
    // that the view may see, as a full frame draws them.
    std::vector<std::size_t> near = sight.entered;
    for (std::size_t e : sight.entered)
        for (std::size_t n : bricks_against(blocks[e]))
            near.push_back(n);
    std::sort(near.begin(), near.end());
    near.erase(std::unique(near.begin(), near.end()), near.end());
    while (!near.empty() && near.back() >= kept.bricks.size())
        near.pop_back();

    set_full_frame_normal();
    glEnableClientState(GL_VERTEX_ARRAY);
    for (const Group &g : kept.groups)
        if (!g.owner.empty()) {
            apply_block_material(kept.bricks[g.owner.front().first]);  // the group's, as each of its bricks'
            draw_group(g, false, near);
        }
    glLineWidth(1.0f);
    apply_material(outline_material);
    for (const Group &g : kept.groups)
        draw_group(g, true, near);
    glDisableClientState(GL_VERTEX_ARRAY);

    for (std::size_t i : near) {
        const Block &b = kept.bricks[i];
        const unsigned faces = b.flag == 0 ? ALL_FACES & ~hidden_faces(sight, i) : 0;
        if (!faces)
            continue;
        apply_block_material(b);
        glPushMatrix();
        translate_to_cell(int(b.x), int(b.y), int(b.z));
        draw_block_box(b.width, b.length, faces);
        apply_material(outline_material);
        draw_block_outline(b.width, b.length, faces);
        glPopMatrix();
    }
}

KeptCounts kept_counts()
{
    KeptCounts counts{0, 0};
    for (const Group &g : kept.groups)
        counts.faces += long(g.owner.size());
    for (const Block &b : kept.bricks)
        counts.left_out += b.flag == 0 ? FACES : 0;
    counts.left_out -= counts.faces;
    return counts;
}

bool kept_as_rebuilt()
{
    Kept anew;
    anew.every_face = kept.every_face;
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        push_brick(anew, i);
        keep_faces(anew, i, faces_to_keep(anew, i));
    }
    if (anew.serials != kept.serials)
        return false;
    for (int g = 0; g < COLOR_GROUPS; g++) {
        std::vector<std::vector<float>> faces[2];
        for (int which = 0; which < 2; which++) {
            const Group &group = (which ? anew : kept).groups[g];
            for (std::size_t f = 0; f < group.owner.size(); f++) {
                std::vector<float> face(group.quads.begin() + f * QUAD_FLOATS, group.quads.begin() + (f + 1) * QUAD_FLOATS);
                face.insert(face.end(), group.lines.begin() + f * LINE_FLOATS, group.lines.begin() + (f + 1) * LINE_FLOATS);
                faces[which].push_back(face);
            }
            std::sort(faces[which].begin(), faces[which].end());
        }
        if (faces[0] != faces[1])
            return false;
    }
    return true;
}
