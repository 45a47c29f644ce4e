#include "render/scene.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include "render/camera.h"
#include "render/geometry.h"
#include "render/kept.h"
#include "render/materials.h"

void look_at_scene()
{
    gluLookAt(eye.x, eye.y, eye.z, look_center.x, look_center.y, look_center.z, 0, 1, 0);
    position_light();
    glTranslatef(view_translate_xy[0], view_translate_xy[1], -view_translate_z);
    // The model turns about the point the camera looks at.
    glTranslatef(look_center.x, look_center.y, look_center.z);
    glMultMatrixf(view_rotation);
    glTranslatef(-look_center.x, -look_center.y, -look_center.z);
    glEnable(GL_LIGHTING);
}

int draw_plate(const StudStyle &style, int first, int end)
{
    apply_base_material(base_color);
    return draw_base_plate(int(board_size_x), int(board_size_z), style, first, end);
}

int plate_stud_count()
{
    return int(board_size_x) * int(board_size_z);
}

// A brick's studs (at absolute places, so before the move to its cell), and
// once they are all drawn its box in the material applied before, and its
// black outline.
static int draw_brick(const Block &b, const StudStyle &style, int first, int end)
{
    glPushMatrix();
    const int drawn = draw_block_studs(b, style, first, end);
    if (end >= block_stud_count(b)) {
        translate_to_cell(int(b.x), int(b.y), int(b.z));
        draw_block_box(b.width, b.length);
        apply_material(outline_material);
        draw_block_outline(b.width, b.length);
    }
    glPopMatrix();
    return drawn;
}

int draw_placed_brick(const Block &b, const StudStyle &style, int first, int end)
{
    if (b.flag != 0)
        return 0;
    apply_block_material(b);
    return draw_brick(b, style, first, end);
}

int draw_placed_bricks(std::size_t first, const StudStyle &style)
{
    // By index: the size is read again each step.
    int drawn = 0;
    for (std::size_t i = first; i < blocks.size(); ++i)
        drawn += draw_placed_brick(blocks[i], style);
    return drawn;
}

int draw_quick_scene(const Sight &sight, const std::vector<Stud> &studs, const ScreenFit *fit)
{
    set_full_frame_normal();
    draw_plate({}, 0, 0);  // the polygon alone
    // The studs a group at a time: the plate's, then the bricks' by colour group.
    std::vector<const Stud *> groups[1 + COLOR_GROUPS];
    for (const Stud &s : studs)
        groups[s.level == 0 ? 0 : 1 + color_group(s.color)].push_back(&s);
    for (const std::vector<const Stud *> &group : groups) {
        if (group.empty())
            continue;
        if (group.front()->level == 0)
            apply_base_material(base_color);
        else
            apply_block_material(group.front()->color);
        if (fit) {
            StudBatch batch;
            for (const Stud *s : group)
                add_stud(batch, s->column, s->row, s->level * CELL, *fit);
            draw_stud_batch(batch);
        } else {
            for (const Stud *s : group)
                draw_stud_at(s->column, s->row, s->level * CELL, nullptr);
        }
    }
    sync_kept_bricks();
    draw_kept_bricks(sight);
    return int(studs.size());
}

void draw_cursor()
{
    apply_material(cursor_material);
    draw_brick(cursor, {}, 0, ALL_STUDS);
}

void set_projection(int width, int height)
{
    window_width = width;
    window_height = height;
    if (window_width > 0 && window_height > 0) {
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        gluPerspective(90, double(window_width) / window_height, 0.1, 50);
    }
    glMatrixMode(GL_MODELVIEW);
}
