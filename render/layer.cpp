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
double forced_stud_ms = 0;
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

// A framebuffer the size of the window: colour in a texture, depth in a renderbuffer.
struct Target {
    GLuint framebuffer = 0, colour = 0, depth = 0;
};

struct Layer {
    GLXContext context = nullptr;  // the GL context its buffers belong to
    long frames = 0;               // frames drawn in that context
    bool usable = false;           // framebuffer objects exist there, and nothing has failed
    int width = 0, height = 0;     // 0: no buffers
    Target scene;                  // the plate and the placed bricks
    Target frame;                  // the scene and the cursor brick: the last frame shown
    bool drawn = false;            // the scene holds `view` and `bricks`, the frame `cursor` on it
    View view;
    std::vector<Block> bricks;
    Block cursor = Block(0, 0, 0, 0, 0, 0, 0);
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

// The layer's formats, from the window's. A depth copy needs the very same
// format on both sides (else the copy fails); a colour copy is a plain copy of
// memory only when the layouts agree, and X keeps 8-bit pixels blue first.
bool window_formats(GLenum &depth)
{
    GLint r = 0, g = 0, b = 0, a = 0, d = 0, s = 0;
    glGetIntegerv(GL_RED_BITS, &r);
    glGetIntegerv(GL_GREEN_BITS, &g);
    glGetIntegerv(GL_BLUE_BITS, &b);
    glGetIntegerv(GL_ALPHA_BITS, &a);
    glGetIntegerv(GL_DEPTH_BITS, &d);
    glGetIntegerv(GL_STENCIL_BITS, &s);
    depth = s == 8 ? (d == 24 ? GL_DEPTH24_STENCIL8 : 0)
          : s != 0 ? 0
          : d == 16 ? GL_DEPTH_COMPONENT16 : d == 24 ? GL_DEPTH_COMPONENT24 : d == 32 ? GL_DEPTH_COMPONENT32 : 0;
    return r == 8 && g == 8 && b == 8 && (a == 0 || a == 8) && depth;
}

void free_target(Target &t)
{
    glDeleteFramebuffers(1, &t.framebuffer);
    glDeleteTextures(1, &t.colour);
    glDeleteRenderbuffers(1, &t.depth);
    t = Target();
}

void free_buffers()
{
    free_target(layer.scene);
    free_target(layer.frame);
    layer.width = layer.height = 0;
    layer.drawn = false;
}

bool make_target(Target &t, int width, int height, GLenum depth_format)
{
    glGenFramebuffers(1, &t.framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, t.framebuffer);
    // Colour in a texture, the only way to ask for blue-first pixels; bound
    // only while it is made, since GL_TEXTURE_2D is on for the scene.
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    glGenTextures(1, &t.colour);
    glBindTexture(GL_TEXTURE_2D, t.colour);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, GL_BGRA, GL_UNSIGNED_BYTE, nullptr);
    glBindTexture(GL_TEXTURE_2D, bound);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, t.colour, 0);
    glGenRenderbuffers(1, &t.depth);
    glBindRenderbuffer(GL_RENDERBUFFER, t.depth);
    glRenderbufferStorage(GL_RENDERBUFFER, depth_format, width, height);
    glBindRenderbuffer(GL_RENDERBUFFER, 0);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, depth_format == GL_DEPTH24_STENCIL8 ? GL_DEPTH_STENCIL_ATTACHMENT
                                                                                  : GL_DEPTH_ATTACHMENT,
                              GL_RENDERBUFFER, t.depth);
    // Mesa draws window buffers upside down; where coplanar surfaces meet,
    // pixels then depend on the direction, so the layer is drawn the same way.
    if (has_extension("GL_MESA_framebuffer_flip_y"))
        glFramebufferParameteri(GL_FRAMEBUFFER, GL_FRAMEBUFFER_FLIP_Y_MESA, 1);
    GLint bits[3] = {0, 0, 0};  // the texture's precision is the GL's choice
    for (int i = 0; i < 3; i++)
        glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0,
                                              GL_FRAMEBUFFER_ATTACHMENT_RED_SIZE + i, &bits[i]);
    const bool complete = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE &&
                          bits[0] == 8 && bits[1] == 8 && bits[2] == 8;
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    return complete;
}

bool make_buffers(int width, int height)
{
    GLenum depth_format;
    layer.width = width;
    layer.height = height;
    return window_formats(depth_format) && make_target(layer.scene, width, height, depth_format) &&
           make_target(layer.frame, width, height, depth_format);
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

// Draws into the scene what changed since it was last drawn; true if anything did.
bool bring_scene_up_to_date(const View &view)
{
    const bool same_view = layer.drawn && std::memcmp(&view, &layer.view, sizeof view) == 0;
    glBindFramebuffer(GL_FRAMEBUFFER, layer.scene.framebuffer);
    if (same_view && starts_with(blocks, layer.bricks)) {
        if (blocks.size() == layer.bricks.size())
            return false;
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
    return true;
}

void copy_pixels(GLuint from, GLuint to, GLbitfield buffers)
{
    glBindFramebuffer(GL_READ_FRAMEBUFFER, from);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, to);
    glBlitFramebuffer(0, 0, layer.width, layer.height, 0, 0, layer.width, layer.height, buffers, GL_NEAREST);
}

// Brings the scene and the frame up to date and shows the frame in the
// window's back buffer; false if a copy failed.
bool show_frame(const View &view)
{
    for (int i = 0; i < 16 && glGetError() != GL_NO_ERROR; i++) {
    }  // only the layer's own errors count below
    const bool scene_changed = bring_scene_up_to_date(view);
    if (scene_changed || !layer.drawn || std::memcmp(&cursor, &layer.cursor, sizeof cursor) != 0) {
        copy_pixels(layer.scene.framebuffer, layer.frame.framebuffer, GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glBindFramebuffer(GL_FRAMEBUFFER, layer.frame.framebuffer);
        draw_cursor();
        layer.cursor = cursor;
        layer.drawn = true;
    }
    // All of it: the window then holds what clearing it and drawing the
    // frame would give, also beside the viewport.
    copy_pixels(layer.frame.framebuffer, 0, GL_COLOR_BUFFER_BIT);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
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
    if (context != layer.context || (layer.scene.framebuffer && !glIsFramebuffer(layer.scene.framebuffer))) {
        layer = Layer();
        layer.context = context;
        layer.usable = framebuffers_exist();
    }
    const bool first_frame = layer.frames++ == 0;
    if (!layer.usable)
        return false;

    // As large as the window, so that its rows run as the window's do (see
    // the flip in make_target).
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
    if (!show_frame(view)) {
        free_buffers();
        layer.usable = false;
        return false;
    }
    ++layer_counts.copies;
    return true;
}
