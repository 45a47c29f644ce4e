// The camera and the view: where the 3-D view looks from and to, and how the
// user has turned and shifted the model. Plain state, no GL: the scene pass
// reads it every frame, the keyboard and the panel write it.
#pragma once

struct Vec3 {
    float x, y, z;
};

extern Vec3 eye;                    // camera position, world units
extern Vec3 look_center;            // what the camera looks at; the pivot of the view rotation
extern float view_rotation[16];     // column-major 4x4 rotation, identity at start
extern float view_translate_xy[2];  // shift along world x and y
extern float view_translate_z;      // shift along world -z
extern int window_width, window_height;  // main window size as last reported

// Places the camera for the current board size and clears camera_reset_pending.
void reset_camera();
// Where the eye stands in the plate's own frame, after the view's turn and
// shift: the scene pass shows the plate from there.
Vec3 eye_in_plate_frame();
