// The scene pass: one frame of the 3-D view, and the projection that goes
// with the window's size.
#pragma once

// Everything of a frame but the buffer swap: camera, light, view turn and
// shift, then the plate, the bricks and the cursor. Leaves the modelview
// matrix as it found it.
void draw_frame();
// The plate, the placed bricks and the cursor, under the current modelview.
void draw_scene();
// The cursor brick in grey with its studs and outline.
void draw_cursor();
// Records the window size and sets a 90 degree perspective for the whole
// window's aspect. A window of zero width or height keeps the old projection.
void set_projection(int width, int height);
