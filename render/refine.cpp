#include "render/refine.h"

#include <GL/gl.h>

#include <algorithm>
#include <chrono>

#include "render/cost.h"
#include "render/geometry.h"
#include "render/scene.h"

namespace {

struct Refinement {
    bool pending = false;
    long part = -1;            // -1: the plate; else the placed brick it stands in
    int stud = 0;              // the next stud of that part
    Sight sight;
    long studs = 0, boxes = 0; // drawn so far
    double ms = 0;             // taken so far
    double longest = 0;        // the longest piece's cost
};
Refinement refinement;

double ms_since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

void start_refinement(const Sight &sight)
{
    refinement = Refinement();
    refinement.pending = true;
    refinement.sight = sight;
}

void stop_refinement()
{
    refinement.pending = false;
}

bool refinement_pending()
{
    return refinement.pending;
}

bool draw_piece()
{
    Refinement &r = refinement;
    const auto start = std::chrono::steady_clock::now();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    look_at_scene();
    set_full_frame_normal();
    const StudStyle style{&r.sight, nullptr};
    // A run of studs at a time, as many as the time left is predicted to
    // hold, and a brick's box with its last stud; the time is looked at
    // after each run. A run may hold studs left out; the next takes up where it ends.
    long studs = 0, boxes = 0;
    double cost = 0;
    while (r.part < long(blocks.size()) && (cost = piece_cost(ms_since(start), studs, boxes)) < PIECE_MS) {
        const int count = r.part < 0 ? plate_stud_count() : block_stud_count(blocks[r.part]);
        const long room = studs_within(PIECE_MS - cost);
        const int end = count - r.stud <= room ? count : r.stud + int(room);
        studs += r.part < 0 ? draw_plate(style, r.stud, end) : draw_placed_brick(blocks[r.part], style, r.stud, end);
        if (end == count) {
            boxes += r.part >= 0 && blocks[r.part].flag == 0;
            ++r.part, r.stud = 0;
        } else {
            r.stud = end;
        }
    }
    glPopMatrix();
    r.pending = r.part < long(blocks.size());
    // A piece is sent on its way, so that the GL draws its pixels while the
    // next one's geometry is being sent; waiting for each would add that time
    // to every piece. The last is waited for: the time taken is the drawing's.
    r.pending ? glFlush() : glFinish();
    r.studs += studs, r.boxes += boxes;
    r.ms += ms_since(start);
    r.longest = std::max(r.longest, piece_cost(ms_since(start), studs, boxes));
    return !r.pending;
}

long refined_studs()
{
    return refinement.studs;
}

long refined_boxes()
{
    return refinement.boxes;
}

long refined_bricks()
{
    return std::max(0L, refinement.part);
}

double refining_ms()
{
    return refinement.ms;
}

double longest_piece_ms()
{
    return refinement.longest;
}
