// What drawing the scene exactly costs, from what the last exact drawing
// took, and the choice made from it each time the scene is drawn anew: exact
// at once, or quick now and exact in pieces after.
#pragma once

// An exact drawing of `studs` studs took `ms` of wall time, up to glFinish.
void exact_drawing_took(double ms, long studs);
// Whether a scene of `studs` studs is drawn quick first: when drawing it
// exactly is predicted to take longer than a frame; once quick, exact again
// only well below that, so that no scene flickers between the two.
bool draw_quick(long studs);
// How many exact studs a piece of refinement draws: a few milliseconds' worth.
int piece_studs();
