#include "render/frame.h"

#include <GL/gl.h>

#include "board/board.h"
#include "render/camera.h"
#include "render/scene.h"

LayerRoute draw_frame()
{
    if (camera_reset_pending)
        reset_camera();

    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    look_at_scene();
    // The drawn layer draws into itself only what changed since the last
    // frame, and shows the result.
    const LayerRoute route = show_layer();
    if (route == LayerRoute::first_frame) {
        draw_quick_frame();  // at once: the exact picture comes after the layer's proof
    } else if (route != LayerRoute::through) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        draw_plate({});
        draw_placed_bricks(0, {});
        draw_cursor();
    }
    glPopMatrix();
    return route;
}
