#include "render/scene.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include "board/board.h"
#include "render/camera.h"
#include "render/geometry.h"
#include "render/materials.h"

void draw_frame()
{
    if (camera_reset_pending)
        reset_camera();

    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    gluLookAt(eye.x, eye.y, eye.z, look_center.x, look_center.y, look_center.z, 0, 1, 0);
    // The light goes in with the camera alone, so it stays put while the
    // user turns and shifts the model.
    position_light();
    glTranslatef(view_translate_xy[0], view_translate_xy[1], -view_translate_z);
    // The model turns about the point the camera looks at.
    glTranslatef(look_center.x, look_center.y, look_center.z);
    glMultMatrixf(view_rotation);
    glTranslatef(-look_center.x, -look_center.y, -look_center.z);
    glEnable(GL_LIGHTING);
    draw_scene();
    glPopMatrix();
}

void draw_scene()
{
    glPushMatrix();
    apply_base_material(base_color);
    draw_base_plate(int(board_size_x), int(board_size_z));
    glPopMatrix();

    // Bricks by index: the size is read again each step.
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        const Block b = blocks[i];
        if (b.flag != 0)
            continue;
        glPushMatrix();
        apply_block_material(b);
        draw_block_studs(b);  // at absolute places, before the move to the brick
        translate_to_cell(int(b.x), int(b.y), int(b.z));
        draw_block_box(b.width, b.length);
        glPushMatrix();
        apply_material(outline_material);
        draw_block_outline(b.width, b.length);
        glPopMatrix();
        glPopMatrix();
    }

    glPushMatrix();
    draw_cursor();
    glPopMatrix();
}

void draw_cursor()
{
    apply_material(cursor_material);
    draw_block_studs(cursor);
    translate_to_cell(int(cursor.x), int(cursor.y), int(cursor.z));
    draw_block_box(cursor.width, cursor.length);
    glPushMatrix();
    apply_material(outline_material);
    draw_block_outline(cursor.width, cursor.length);
    glPopMatrix();
}

void set_projection(int width, int height)
{
    window_width = width;
    window_height = height;
    if (width > 0 && height > 0) {
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        gluPerspective(90, double(width) / height, 0.1, 50);
    }
    glMatrixMode(GL_MODELVIEW);
}
