// The scene pass: one frame of the 3-D view, and the projection that goes
// with the window's size.
#pragma once

#include <cstddef>

#include "board/board.h"

// Everything of a frame but the buffer swap: camera, light, view turn and
// shift, then the plate, the bricks and the cursor last (through the drawn
// layer where there is one). Leaves the modelview matrix as it found it.
void draw_frame();
// The plate with its studs, under the current modelview; the studs `hidden`
// names are left out.
void draw_plate(const HiddenStuds *hidden);
// The placed bricks from index `first` on, in placement order.
void draw_placed_bricks(std::size_t first, const HiddenStuds *hidden);
// The cursor brick in grey with its studs and outline.
void draw_cursor();
// Records the window size and sets a 90 degree perspective for the whole
// window's aspect. A window of zero width or height keeps the old projection.
void set_projection(int width, int height);
