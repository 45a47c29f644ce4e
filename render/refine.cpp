#include "render/refine.h"

#include <GL/gl.h>

#include <chrono>

#include "render/geometry.h"
#include "render/scene.h"

namespace {

struct Refinement {
    bool pending = false;
    long part = -1;            // -1: the plate; else the placed brick it stands in
    int stud = 0;              // the next stud of that part
    HiddenStuds hidden;
    float normal[3] = {0, 0, 1};
    long studs = 0;            // drawn so far
    double ms = 0;             // taken so far
};
Refinement refinement;

}  // namespace

void start_refinement(const HiddenStuds &hidden)
{
    refinement = Refinement();
    refinement.pending = true;
    refinement.hidden = hidden;
    glGetFloatv(GL_CURRENT_NORMAL, refinement.normal);
}

void stop_refinement()
{
    refinement.pending = false;
}

bool refinement_pending()
{
    return refinement.pending;
}

bool draw_piece(int studs)
{
    Refinement &r = refinement;
    const auto start = std::chrono::steady_clock::now();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    look_at_scene();
    glNormal3fv(r.normal);
    const StudStyle style{&r.hidden, nullptr};
    // A run of stud places may hold studs left out; the next run takes up what they leave.
    for (int left = studs; left > 0 && r.part < long(blocks.size());) {
        const int count = r.part < 0 ? plate_stud_count() : block_stud_count(blocks[r.part]);
        const int end = count - r.stud <= left ? count : r.stud + left;
        const int drawn =
            r.part < 0 ? draw_plate(style, r.stud, end) : draw_placed_brick(blocks[r.part], style, r.stud, end);
        left -= drawn;
        r.studs += drawn;
        if (end == count)
            ++r.part, r.stud = 0;
        else
            r.stud = end;
    }
    glGetFloatv(GL_CURRENT_NORMAL, r.normal);
    glPopMatrix();
    r.pending = r.part < long(blocks.size());
    // A piece is sent on its way, so that the GL draws its pixels while the
    // next one's geometry is being sent; waiting for each would add that time
    // to every piece. The last is waited for: the time taken is the drawing's.
    r.pending ? glFlush() : glFinish();
    r.ms += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    return !r.pending;
}

long refined_studs()
{
    return refinement.studs;
}

double refining_ms()
{
    return refinement.ms;
}
