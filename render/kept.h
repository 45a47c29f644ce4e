// The kept geometry: the placed bricks' boxes and outlines as quick frames
// draw them, kept between frames in vertex arrays, a group for each brick
// colour, so that a quick frame draws them in a few calls instead of brick
// by brick; without the faces that lie wholly against other bricks
// (covered_faces in board/board.h), and with each face's outline.
//
// When it changes: only in sync_kept_bricks(), which quick frames call
// before they draw it. The bricks taken away since the last call (undo,
// clear) are dropped, the last first, and give back the faces of the bricks
// against them; the bricks placed since are added, and take away the faces
// they cover. That costs the bricks that changed and their neighbours, not
// the bricks placed. When the board is empty it is emptied at once, not
// brick by brick; and it is built anew when the rule is switched.
#pragma once

#include "board/board.h"

void sync_kept_bricks();
// The kept faces a colour at a time, lit as a full frame lights them, then
// their outlines. The bricks the view enters and those against them come
// last, brick by brick in placement order, with every face `sight` does not
// hide: the view sees into them, and faces the kept geometry leaves out.
void draw_kept_bricks(const Sight &sight);

// For tests and benchmarks.
extern bool skip_covered_faces;   // false: every face is kept
struct KeptCounts {
    long faces;     // kept now
    long left_out;  // of the placed bricks' faces, those not kept
};
KeptCounts kept_counts();
// Whether the kept faces are exactly those a geometry built anew from the
// list would hold (in any order).
bool kept_as_rebuilt();
