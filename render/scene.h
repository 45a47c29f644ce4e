// The scene and how it is drawn: the plate, the placed bricks and the
// cursor, exactly as a full frame draws them (in pieces too), or quick; and
// the projection that goes with the window's size.
#pragma once

#include <cstddef>
#include <vector>

#include "board/board.h"
#include "render/geometry.h"

// Multiplies onto the modelview the camera, the light (placed with the camera
// alone, so it stays put while the model turns) and the view's shift and
// turn, and switches lighting on: the frame the scene is drawn in.
void look_at_scene();

// The scene can be drawn in pieces, cut at any stud, in the order a frame
// draws it: the plate, then the placed bricks in placement order. Each call
// applies its material first; each returns the studs it drew.
//
// The plate, with its studs from `first` to before `end`.
int draw_plate(const StudStyle &style, int first = 0, int end = ALL_STUDS);
// A placed brick (none if its flag is set): its studs from `first` to before
// `end`, and its box and outline once they reach its last stud.
int draw_placed_brick(const Block &b, const StudStyle &style, int first = 0, int end = ALL_STUDS);
// The placed bricks from index `first` on.
int draw_placed_bricks(std::size_t first, const StudStyle &style);
// The studs of the plate.
int plate_stud_count();

// The quick scene: the plate, `studs` fitted to the screen by `fit` (exact
// without it), then the placed bricks' boxes from the kept geometry, a
// colour at a time, and their outlines, lit as a full frame lights them.
// Returns the studs drawn.
int draw_quick_scene(const Sight &sight, const std::vector<Stud> &studs, const ScreenFit *fit);

// The cursor brick in grey with its studs and outline, always exact.
void draw_cursor();
// Records the window size in window_width and window_height and sets from
// them a 90 degree perspective for the whole window's aspect. A window of
// zero width or height keeps the old projection.
void set_projection(int width, int height);
