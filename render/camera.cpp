#include "render/camera.h"

#include "board/board.h"

// Provisional values: the first frame's camera reset replaces them.
Vec3 eye = {1.25f, 4.0f, 1.0f};
Vec3 look_center = {0.0f, 0.0f, 0.0f};
float view_rotation[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
float view_translate_xy[2] = {0.0f, 0.0f};
float view_translate_z = 0.0f;
int window_width = 0, window_height = 0;

void reset_camera()
{
    const double s = board_size_x, t = board_size_z;
    eye.x = float(s * CELL / 2);
    eye.y = s == 10 ? 1.0f : s == 20 ? 3.0f : 4.0f;
    eye.z = float(s * 0.1);
    look_center = {float(s * CELL / 2), 0.0f, float(-t * CELL / 2)};
    camera_reset_pending = 0;
}

// The scene pass moves the plate by T(shift) T(centre) R T(-centre); the eye
// goes back through the inverse, centre + R^T (eye - shift - centre), R being
// a rotation.
Vec3 eye_in_plate_frame()
{
    const float v[3] = {eye.x - view_translate_xy[0] - look_center.x, eye.y - view_translate_xy[1] - look_center.y,
                        eye.z + view_translate_z - look_center.z};
    float p[3];
    for (int i = 0; i < 3; i++)  // row i of R^T is column i of R
        p[i] = view_rotation[i * 4] * v[0] + view_rotation[i * 4 + 1] * v[1] + view_rotation[i * 4 + 2] * v[2];
    return {look_center.x + p[0], look_center.y + p[1], look_center.z + p[2]};
}
