#include "render/cost.h"

#include <algorithm>

double forced_stud_ms = 0;

namespace {

constexpr double FRAME_MS = 16;       // quick above this...
constexpr double EXACT_AGAIN_MS = 10; // ...and exact again only below this
// A box and its outline, twelve primitives of four vertices, cost about what
// a tenth of an exact stud (three quadrics of 20 by 20) does here; the two
// cannot be told apart from the time of one drawing, so the ratio is fixed.
constexpr double BOX_STUDS = 0.1;

double measured_stud_ms = 0;  // 0 until an exact drawing is measured: exact, then
bool quick = false;  // the last decision

double stud_ms()
{
    return forced_stud_ms > 0 ? forced_stud_ms : measured_stud_ms;
}

double studs_and_boxes(long studs, long boxes)
{
    return double(studs) + BOX_STUDS * double(boxes);
}

}  // namespace

void exact_drawing_took(double ms, long studs, long boxes)
{
    if (studs_and_boxes(studs, boxes) > 0)
        measured_stud_ms = ms / studs_and_boxes(studs, boxes);
}

bool decide_quick(long studs, long boxes)
{
    const double predicted = stud_ms() * studs_and_boxes(studs, boxes);
    quick = quick ? predicted >= EXACT_AGAIN_MS : predicted > FRAME_MS;
    return quick;
}

long studs_within(double ms)
{
    const double each = stud_ms();
    return each > 0 ? long(std::clamp(ms / each, 1.0, 1e6)) : 1000000;
}

double piece_cost(double elapsed_ms, long studs, long boxes)
{
    return forced_stud_ms > 0 ? forced_stud_ms * studs_and_boxes(studs, boxes) : elapsed_ms;
}
