// The program itself, app/main.cpp, with one change: its drawn layer takes an
// exact stud to cost next to nothing, so it never draws a quick frame: every
// frame in which the view moved is the whole scene drawn exactly, as before
// quick frames. What such a frame costs in the program is what the exact
// picture after a turn is measured against.
#include "render/cost.h"

namespace {
// Set before main runs (forced_stud_ms itself is constant-initialised).
const bool exact_only = (forced_stud_ms = 1e-9, true);
}  // namespace

#include "app/main.cpp"
