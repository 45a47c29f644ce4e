#include "render/layer.h"

#define GL_GLEXT_PROTOTYPES
#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glx.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "board/board.h"
#include "render/camera.h"
#include "render/cost.h"
#include "render/kept.h"
#include "render/proof.h"
#include "render/refine.h"
#include "render/scene.h"
#include "render/targets.h"

bool layer_enabled = true;
bool skip_hidden_studs = true;
LayerCounts layer_counts;

namespace {

// Everything the scene's pixels depend on but the bricks. All 4-byte fields,
// so that two are compared byte for byte.
struct View {
    Vec3 eye, look_center;
    float rotation[16], shift[3], projection[16];
    float board_size_x, board_size_z;
    int viewport[4];
    int base_color;
};
static_assert(sizeof(View) == 48 * 4, "View has padding");

// A picture of the scene kept in a target, and what it was drawn from.
struct Picture {
    Target target;
    bool drawn = false;  // it holds `view` and `bricks`; the exact one only once complete
    View view;
    std::size_t bricks = 0;      // the first bricks of the list...
    unsigned long last = 0;      // ...the last of them numbered so (see brick_serial)
};

struct Layer {
    GLXContext context = nullptr;  // the GL context its buffers belong to
    long frames = 0;               // frames drawn in that context
    bool framebuffers = false;     // framebuffer objects exist there
    bool proven = false;           // targets drawn there come out as the window does...
    bool refused = false;          // ...or do not, with every flip this GL offers
    bool proof_due = false;        // the last frame was its first, drawn in full without the proof
    int width = 0, height = 0;     // 0: no buffers
    int failed_width = 0, failed_height = 0;  // the window's size when it was too large, or buffers or a copy failed...
    LayerRoute failed_as = LayerRoute::failed_lately;  // ...which of those...
    std::chrono::steady_clock::time_point failed_at;   // ...and when
    Picture exact, quick;
};
Layer layer;

void free_buffers()
{
    for (Target *t : {&layer.exact.target, &layer.quick.target})
        free_target(*t);
    layer.width = layer.height = 0;
    layer.exact.drawn = layer.quick.drawn = false;
    stop_refinement();
}

// The exact picture's; the quick picture's is made only while it is shown,
// so that at rest the layer holds one target.
bool make_buffers(int width, int height)
{
    layer.width = width;
    layer.height = height;
    return make_target(layer.exact.target, width, height);
}

void free_quick_buffers()
{
    free_target(layer.quick.target);
    layer.quick.drawn = false;
}

View current_view()
{
    View v;
    std::memset(&v, 0, sizeof v);
    v.eye = eye;
    v.look_center = look_center;
    std::memcpy(v.rotation, view_rotation, sizeof v.rotation);
    v.shift[0] = view_translate_xy[0];
    v.shift[1] = view_translate_xy[1];
    v.shift[2] = view_translate_z;
    glGetFloatv(GL_PROJECTION_MATRIX, v.projection);
    v.board_size_x = board_size_x;
    v.board_size_z = board_size_z;
    glGetIntegerv(GL_VIEWPORT, v.viewport);
    v.base_color = base_color;
    return v;
}

// How far from the eye the near clipping plane's corners lie: anything nearer
// may be cut away, opening a brick to the view. Infinite for a projection
// other than a centred perspective.
float near_reach(const float p[16])
{
    if (p[11] != -1 || p[15] != 0 || p[8] != 0 || p[9] != 0 || p[10] == 1)
        return std::numeric_limits<float>::infinity();
    const float near = p[14] / (p[10] - 1);
    return near * std::sqrt(1 + 1 / (p[0] * p[0]) + 1 / (p[5] * p[5]));
}

// What the layer can leave out.
Sight sight_for(const View &view)
{
    const Vec3 e = eye_in_plate_frame();
    const float at[3] = {e.x, e.y, e.z};
    if (!skip_hidden_studs)
        return Sight{{e.x, e.y, e.z}, 0, 0, {}};  // counting no brick: nothing covers
    // A hair farther than the corners, for the rounding in the view's turn.
    return sight_from(at, near_reach(view.projection) * 1.01f);
}

// Studs fitted to the screen of `view`, from the scene's frame on the modelview now.
ScreenFit screen_fit(const View &view)
{
    ScreenFit fit;
    glGetFloatv(GL_MODELVIEW_MATRIX, fit.modelview);
    const float *p = view.projection;
    fit.pixels_per_unit = std::max(p[0] * view.viewport[2], p[5] * view.viewport[3]) / 2;
    fit.near_reach = near_reach(p);
    return fit;
}

// The picture holds `view` and the bricks placed now, or some of them with the
// rest still to add: the last it holds is still where it was.
bool holds(const Picture &picture, const View &view)
{
    return picture.drawn && std::memcmp(&view, &picture.view, sizeof view) == 0 && picture.bricks <= blocks.size() &&
           (picture.bricks == 0 || brick_serial(picture.bricks - 1) == picture.last);
}

// Records what the picture now holds: `view` and the bricks placed now.
void record_drawing(Picture &picture, const View &view)
{
    picture.drawn = true;
    picture.view = view;
    picture.bricks = blocks.size();
    picture.last = blocks.empty() ? 0 : brick_serial(blocks.size() - 1);
}

// Adds the bricks placed since the picture was drawn, in placement order,
// exactly or (`quick`) with studs fitted to the screen.
void extend(Picture &picture, const View &view, bool quick)
{
    if (picture.bricks == blocks.size())
        return;
    const Sight sight = sight_for(view);
    const ScreenFit fit = screen_fit(view);
    draw_into(picture.target);
    const long studs = draw_placed_bricks(picture.bricks, {&sight, quick ? &fit : nullptr});
    (quick ? layer_counts.quick_studs : layer_counts.exact_studs) += studs;
    ++layer_counts.extensions;
    record_drawing(picture, view);
}

// The scene drawn anew: exactly where that is predicted to fit a frame; else
// quick (where its target can be made), with the exact drawing started behind it.
Picture &redraw(const View &view)
{
    const Sight sight = sight_for(view);
    const std::vector<Stud> studs = visible_studs(sight);
    layer.exact.drawn = layer.quick.drawn = false;
    ++layer_counts.redraws;
    const bool quick = decide_quick(long(studs.size()), long(blocks.size())) &&
                       (layer.quick.target.framebuffer || make_target(layer.quick.target, layer.width, layer.height));
    draw_into(layer.exact.target);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    if (quick) {
        start_refinement(sight);
        const ScreenFit fit = screen_fit(view);
        draw_into(layer.quick.target);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        layer_counts.quick_studs += draw_quick_scene(sight, studs, &fit);
        ++layer_counts.quick_scenes;
        record_drawing(layer.quick, view);
        return layer.quick;
    }
    stop_refinement();
    free_quick_buffers();
    const auto start = std::chrono::steady_clock::now();
    const long drawn = draw_plate({&sight}) + draw_placed_bricks(0, {&sight});
    glFinish();
    exact_drawing_took(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count(),
                       drawn, long(blocks.size()));
    layer_counts.exact_studs += drawn;
    record_drawing(layer.exact, view);
    return layer.exact;
}

// The picture the frame shows, brought up to date: the exact one where it is
// complete, else the quick one while the exact one is refined, else drawn anew.
const Picture &picture_for(const View &view)
{
    if (holds(layer.exact, view)) {
        extend(layer.exact, view, false);
        return layer.exact;
    }
    if (refinement_pending() && holds(layer.quick, view)) {
        extend(layer.quick, view, true);
        return layer.quick;
    }
    return redraw(view);
}

// Brings the picture up to date and shows it in the window's back buffer,
// with the cursor drawn on it there; false if a copy failed.
bool show_frame(const View &view)
{
    forget_gl_errors();  // only the layer's own errors count below
    const Picture &picture = picture_for(view);
    // All of it, colour and depth: the window then holds what clearing it and
    // drawing the scene would give, also beside the viewport.
    copy_target(picture.target, Target(), layer.width, layer.height, true);
    draw_cursor();
    return glGetError() == GL_NO_ERROR;
}

// Frames are drawn in full until the window's size changes, or a while
// has passed: a failure may be a moment's (a window too large, memory short).
constexpr auto RETRY_AFTER = std::chrono::seconds(5);

LayerRoute failed(int width, int height, LayerRoute why)
{
    free_buffers();
    layer.failed_width = width, layer.failed_height = height;
    layer.failed_as = why;
    layer.failed_at = std::chrono::steady_clock::now();
    ++layer_counts.failures;
    return why;
}

bool failed_lately(int width, int height)
{
    return width == layer.failed_width && height == layer.failed_height &&
           std::chrono::steady_clock::now() - layer.failed_at < RETRY_AFTER;
}

// Once per context: whether targets draw there as the window does.
LayerRoute prove(int width, int height)
{
    switch (prove_targets(width, height)) {
    case Proof::same:
        layer.proven = true;
        ++layer_counts.proven;
        return LayerRoute::through;
    case Proof::differs:
        layer.refused = true;
        ++layer_counts.refused;
        return LayerRoute::refused;
    case Proof::failed:
        break;
    }
    return failed(width, height, LayerRoute::failed_lately);
}

}  // namespace

LayerRoute show_layer()
{
    if (!layer_enabled)
        return LayerRoute::switched_off;
    // A new context has none of the old one's buffers (and the old one may be
    // gone, its address taken by the new one): start again there.
    const GLXContext context = glXGetCurrentContext();
    if (context != layer.context || (layer.exact.target.framebuffer && !glIsFramebuffer(layer.exact.target.framebuffer))) {
        stop_refinement();
        layer = Layer();
        layer.context = context;
        layer.framebuffers = framebuffers_exist();
    }
    const bool first_frame = layer.frames++ == 0;
    layer.proof_due = first_frame;
    if (!layer.framebuffers)
        return LayerRoute::no_framebuffers;
    if (layer.refused)
        return LayerRoute::refused;

    // As large as the window, so that its rows run as the window's do (see
    // the flip in make_target).
    unsigned width = 0, height = 0;
    glXQueryDrawable(glXGetCurrentDisplay(), glXGetCurrentDrawable(), GLX_WIDTH, &width);
    glXQueryDrawable(glXGetCurrentDisplay(), glXGetCurrentDrawable(), GLX_HEIGHT, &height);
    const View view = current_view();
    if (width == 0 || height == 0 || view.viewport[2] <= 0 || view.viewport[3] <= 0)
        return LayerRoute::no_size;  // nothing to keep
    if (failed_lately(width, height))
        return layer.failed_as;
    if (!target_fits(width, height))
        return failed(width, height, LayerRoute::too_large);  // in full until it is smaller, or a while has passed
    if (!layer.proven) {
        if (first_frame)
            return LayerRoute::first_frame;  // in full at once, the proof after it
        if (const LayerRoute proof = prove(width, height); proof != LayerRoute::through)
            return proof;
    }
    if (int(width) != layer.width || int(height) != layer.height) {
        free_buffers();
        if (!make_buffers(width, height))
            return failed(width, height, LayerRoute::failed_lately);
    }
    if (!show_frame(view))
        return failed(width, height, LayerRoute::failed_lately);
    layer.failed_width = layer.failed_height = 0;
    ++layer_counts.copies;
    return LayerRoute::through;
}

void draw_quick_frame(bool exact)
{
    const View view = current_view();
    const Sight sight = sight_for(view);
    const ScreenFit fit = screen_fit(view);
    const bool rule = skip_covered_faces;
    skip_covered_faces = skip_covered_faces && !exact;
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    draw_quick_scene(sight, visible_studs(sight), exact ? nullptr : &fit);
    draw_cursor();
    skip_covered_faces = rule;
}

bool layer_refining()
{
    return refinement_pending();
}

bool refine_layer()
{
    if (!refinement_pending())
        return false;
    const View view = current_view();
    if (glXGetCurrentContext() != layer.context || !holds(layer.quick, view)) {
        stop_refinement();  // the next frame starts it again
        return false;
    }
    forget_gl_errors();
    draw_into(layer.exact.target);
    const bool done = draw_piece();
    draw_into(Target());
    ++layer_counts.pieces;
    if (glGetError() != GL_NO_ERROR) {
        failed(layer.width, layer.height, LayerRoute::failed_lately);
        return false;
    }
    if (done) {
        free_quick_buffers();  // the next frame shows the exact picture
        record_drawing(layer.exact, view);
        ++layer_counts.refined;
        layer_counts.exact_studs += refined_studs();
        exact_drawing_took(refining_ms(), refined_studs(), refined_boxes());
    }
    return done;
}

bool layer_proof_due()
{
    return layer.proof_due;
}

void prove_layer()
{
    layer.proof_due = false;
    if (!layer_enabled || glXGetCurrentContext() != layer.context || !layer.framebuffers || layer.refused ||
        layer.proven)
        return;
    unsigned width = 0, height = 0;
    glXQueryDrawable(glXGetCurrentDisplay(), glXGetCurrentDrawable(), GLX_WIDTH, &width);
    glXQueryDrawable(glXGetCurrentDisplay(), glXGetCurrentDrawable(), GLX_HEIGHT, &height);
    if (width > 0 && height > 0 && !failed_lately(width, height) && target_fits(width, height))
        prove(width, height);  // else the next frame sees to it
}
