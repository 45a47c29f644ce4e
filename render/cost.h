// What drawing the scene exactly costs, from what the last exact drawing
// took, and the choices made from it: whether a scene drawn anew is exact at
// once, or quick now and exact in pieces after; and how long a piece runs.
#pragma once

// An exact drawing of `studs` studs and `boxes` boxes with their outlines
// took `ms` of wall time, up to glFinish.
void exact_drawing_took(double ms, long studs, long boxes);
// Decides whether a scene of that many studs and boxes is drawn quick first,
// and remembers it: quick when drawing it exactly is predicted to take longer
// than a frame; once quick, exact again only well below that, so that no
// scene flickers between the two.
bool decide_quick(long studs, long boxes);
// How many exact studs fit in `ms`, at least one.
long studs_within(double ms);
// What a piece of refinement that has drawn `studs` studs and `boxes` boxes
// in `elapsed_ms` has cost, in ms; a piece ends once that reaches PIECE_MS.
double piece_cost(double elapsed_ms, long studs, long boxes);
constexpr double PIECE_MS = 4;

// For tests and benchmarks: > 0, what drawing an exact stud is taken to cost,
// in ms, instead of what the last exact drawing measured; the time of pieces
// is then counted from it too, so that they end at the same place on every
// machine.
extern double forced_stud_ms;
