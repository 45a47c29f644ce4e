// The exact scene drawn in pieces between frames, while quick frames show a
// quicker drawing of it. The pieces follow the order a full frame draws the
// scene in (the plate, then the placed bricks in placement order), and each
// starts from the state a full drawing has at that point: the scene's frame
// on the modelview, the light placed again, the material of the plate or
// brick it starts in, and the normal a full frame lights its flat faces with.
// A piece runs for PIECE_MS, boxes and outlines counted with the studs. The
// caller binds the target for each piece, and starts again where the scene
// changed in between.
#pragma once

#include "board/board.h"

// Starts the scene anew, leaving out what `sight` hides.
void start_refinement(const Sight &sight);
void stop_refinement();
bool refinement_pending();
// Draws the next piece into the bound target; the GL is left to finish it,
// but for the last, which is finished before it returns. True when that
// completes the scene, up to the bricks placed now.
bool draw_piece();
// What the pieces of the refinement drew so far, and the wall time they took.
long refined_studs();
long refined_boxes();
// The placed bricks the refinement has drawn whole so far.
long refined_bricks();
double refining_ms();
// The cost of the longest piece so far (see piece_cost), in ms.
double longest_piece_ms();
