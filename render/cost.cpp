#include "render/cost.h"

#include <algorithm>

#include "render/layer.h"

double forced_stud_ms = 0;

namespace {

constexpr double FRAME_MS = 16;       // quick above this...
constexpr double EXACT_AGAIN_MS = 10; // ...and exact again only below this
constexpr double PIECE_MS = 4;

double measured_stud_ms = 0;  // 0 until an exact drawing is measured: exact, then
bool quick = false;

double stud_ms()
{
    return forced_stud_ms > 0 ? forced_stud_ms : measured_stud_ms;
}

}  // namespace

void exact_drawing_took(double ms, long studs)
{
    if (studs > 0)
        measured_stud_ms = ms / double(studs);
}

bool draw_quick(long studs)
{
    const double predicted = stud_ms() * double(studs);
    quick = quick ? predicted >= EXACT_AGAIN_MS : predicted > FRAME_MS;
    return quick;
}

int piece_studs()
{
    const double ms = stud_ms();
    return ms > 0 ? int(std::clamp(PIECE_MS / ms, 1.0, 1e6)) : 1000000;
}
