#include "render/layer.h"

#define GL_GLEXT_PROTOTYPES
#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glx.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include "board/board.h"
#include "render/camera.h"
#include "render/scene.h"

bool layer_enabled = true;
bool skip_hidden_studs = true;
LayerCounts layer_counts;

namespace {

// Everything the layer's pixels depend on but the bricks. All 4-byte fields,
// so that two are compared byte for byte.
struct View {
    Vec3 eye, look_center;
    float rotation[16], shift[3], projection[16];
    float board_size_x, board_size_z;
    int viewport[4];
    int base_color;
    int first_frame;  // the plate is lit with GL's initial normal then
};
static_assert(sizeof(View) == 49 * 4, "View has padding");
static_assert(sizeof(Block) == 7 * 4, "Block has padding");

struct Layer {
    GLXContext context = nullptr;  // the GL context its buffers belong to
    long frames = 0;               // frames drawn in that context
    bool usable = false;           // framebuffer objects exist there, and nothing has failed
    GLuint framebuffer = 0, colour = 0, depth = 0;
    int width = 0, height = 0;     // 0: no buffers
    bool drawn = false;
    View view;
    std::vector<Block> bricks;     // as drawn into it
};
Layer layer;

bool has_extension(const char *name)
{
    const char *all = reinterpret_cast<const char *>(glGetString(GL_EXTENSIONS));
    const std::size_t n = std::strlen(name);
    for (const char *p = all; p && (p = std::strstr(p, name)); p += n)
        if ((p == all || p[-1] == ' ') && (p[n] == ' ' || p[n] == '\0'))
            return true;
    return false;
}

bool framebuffers_exist()
{
    const char *version = reinterpret_cast<const char *>(glGetString(GL_VERSION));
    return (version && std::atoi(version) >= 3) || has_extension("GL_ARB_framebuffer_object");
}

// A depth copy needs the very same format on both sides, and a colour copy
// the same precision: the layer takes the window's, or there is no layer.
bool window_formats(GLenum &colour, GLenum &depth)
{
    GLint r = 0, g = 0, b = 0, a = 0, d = 0, s = 0;
    glGetIntegerv(GL_RED_BITS, &r);
    glGetIntegerv(GL_GREEN_BITS, &g);
    glGetIntegerv(GL_BLUE_BITS, &b);
    glGetIntegerv(GL_ALPHA_BITS, &a);
    glGetIntegerv(GL_DEPTH_BITS, &d);
    glGetIntegerv(GL_STENCIL_BITS, &s);
    colour = r == 8 && g == 8 && b == 8 ? (a == 8 ? GL_RGBA8 : a == 0 ? GL_RGB8 : 0)
           : r == 5 && g == 6 && b == 5 && a == 0 ? GL_RGB565
           : r == 10 && g == 10 && b == 10 && a == 2 ? GL_RGB10_A2 : 0;
    depth = s == 8 ? (d == 24 ? GL_DEPTH24_STENCIL8 : 0)
          : s != 0 ? 0
          : d == 16 ? GL_DEPTH_COMPONENT16 : d == 24 ? GL_DEPTH_COMPONENT24 : d == 32 ? GL_DEPTH_COMPONENT32 : 0;
    return colour && depth;
}

void free_buffers()
{
    if (layer.framebuffer) {
        glDeleteFramebuffers(1, &layer.framebuffer);
        const GLuint buffers[2] = {layer.colour, layer.depth};
        glDeleteRenderbuffers(2, buffers);
    }
    layer.framebuffer = layer.colour = layer.depth = 0;
    layer.width = layer.height = 0;
    layer.drawn = false;
}

bool make_buffers(int width, int height)
{
    GLenum colour_format, depth_format;
    if (!window_formats(colour_format, depth_format))
        return false;
    glGenFramebuffers(1, &layer.framebuffer);
    glGenRenderbuffers(1, &layer.colour);
    glGenRenderbuffers(1, &layer.depth);
    glBindRenderbuffer(GL_RENDERBUFFER, layer.colour);
    glRenderbufferStorage(GL_RENDERBUFFER, colour_format, width, height);
    glBindRenderbuffer(GL_RENDERBUFFER, layer.depth);
    glRenderbufferStorage(GL_RENDERBUFFER, depth_format, width, height);
    glBindRenderbuffer(GL_RENDERBUFFER, 0);
    glBindFramebuffer(GL_FRAMEBUFFER, layer.framebuffer);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, layer.colour);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, depth_format == GL_DEPTH24_STENCIL8 ? GL_DEPTH_STENCIL_ATTACHMENT
                                                                                  : GL_DEPTH_ATTACHMENT,
                              GL_RENDERBUFFER, layer.depth);
    // Mesa draws window buffers upside down; where coplanar surfaces meet,
    // pixels then depend on the direction, so the layer is drawn the same way.
    if (has_extension("GL_MESA_framebuffer_flip_y"))
        glFramebufferParameteri(GL_FRAMEBUFFER, GL_FRAMEBUFFER_FLIP_Y_MESA, 1);
    const bool complete = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    layer.width = width;
    layer.height = height;
    return complete;
}

View current_view(bool first_frame)
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
    v.first_frame = first_frame;
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

// The studs the layer can leave out. None in a context's first frame: a box
// whose studs were all left out would be lit by GL's initial normal instead
// of the one the last stud leaves.
HiddenStuds hidden_studs(const View &view)
{
    if (!skip_hidden_studs || view.first_frame)
        return {};
    const Vec3 e = eye_in_plate_frame();
    const float at[3] = {e.x, e.y, e.z};
    // A hair farther than the corners, for the rounding in the view's turn.
    return find_hidden_studs(blocks, at, near_reach(view.projection) * 1.01f);
}

bool starts_with(const std::vector<Block> &list, const std::vector<Block> &prefix)
{
    return prefix.size() <= list.size() &&
           (prefix.empty() || std::memcmp(list.data(), prefix.data(), prefix.size() * sizeof(Block)) == 0);
}

// Draws into the bound layer what changed since it was last drawn.
void bring_up_to_date(const View &view)
{
    const bool same_view = layer.drawn && std::memcmp(&view, &layer.view, sizeof view) == 0;
    if (same_view && starts_with(blocks, layer.bricks)) {
        if (blocks.size() == layer.bricks.size())
            return;
        const HiddenStuds hidden = hidden_studs(view);
        draw_placed_bricks(layer.bricks.size(), &hidden);
        ++layer_counts.extensions;
    } else {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        const HiddenStuds hidden = hidden_studs(view);
        draw_plate(&hidden);
        draw_placed_bricks(0, &hidden);
        ++layer_counts.redraws;
    }
    layer.view = view;
    layer.bricks = blocks;
    layer.drawn = true;
}

// The layer's colour and depth, all of it, to the window's back buffer: the
// window then holds what clearing it and drawing the layer's part would give.
bool copy_to_window()
{
    for (int i = 0; i < 16 && glGetError() != GL_NO_ERROR; i++) {
    }  // only the copy's own errors count below
    glBindFramebuffer(GL_READ_FRAMEBUFFER, layer.framebuffer);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    glBlitFramebuffer(0, 0, layer.width, layer.height, 0, 0, layer.width, layer.height,
                      GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT, GL_NEAREST);
    return glGetError() == GL_NO_ERROR;
}

}  // namespace

bool show_layer()
{
    if (!layer_enabled)
        return false;
    // A new context has none of the old one's buffers (and the old one may be
    // gone, its address taken by the new one): start again there.
    const GLXContext context = glXGetCurrentContext();
    if (context != layer.context || (layer.framebuffer && !glIsFramebuffer(layer.framebuffer))) {
        layer = Layer();
        layer.context = context;
        layer.usable = framebuffers_exist();
    }
    const bool first_frame = layer.frames++ == 0;
    if (!layer.usable)
        return false;

    // As large as the window, so that its rows run as the window's do (see
    // the flip below).
    unsigned width = 0, height = 0;
    glXQueryDrawable(glXGetCurrentDisplay(), glXGetCurrentDrawable(), GLX_WIDTH, &width);
    glXQueryDrawable(glXGetCurrentDisplay(), glXGetCurrentDrawable(), GLX_HEIGHT, &height);
    const View view = current_view(first_frame);
    if (width == 0 || height == 0 || view.viewport[2] <= 0 || view.viewport[3] <= 0)
        return false;  // a window of no size: nothing to keep
    if (int(width) != layer.width || int(height) != layer.height) {
        free_buffers();
        if (!make_buffers(width, height)) {
            free_buffers();
            layer.usable = false;
            return false;
        }
    }

    glBindFramebuffer(GL_FRAMEBUFFER, layer.framebuffer);
    bring_up_to_date(view);
    const bool copied = copy_to_window();
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    if (!copied) {
        free_buffers();
        layer.usable = false;
        return false;
    }
    ++layer_counts.copies;
    return true;
}
