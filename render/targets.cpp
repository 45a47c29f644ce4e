#include "render/targets.h"

#define GL_GLEXT_PROTOTYPES
#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

TargetFlip flip = TargetFlip::mesa;
// While drawing into a mirrored target: the window's viewport.
struct Mirror {
    bool on = false;
    int height = 0;  // of the targets
    GLint viewport[4];
} mirror;

bool has_extension(const char *name)
{
    const char *all = reinterpret_cast<const char *>(glGetString(GL_EXTENSIONS));
    const std::size_t n = std::strlen(name);
    for (const char *p = all; p && (p = std::strstr(p, name)); p += n)
        if ((p == all || p[-1] == ' ') && (p[n] == ' ' || p[n] == '\0'))
            return true;
    return false;
}

// The depth format of the window (0 if no target can match it). A depth
// copy needs the very same format on both sides, else the copy fails; a
// colour copy is a plain copy of memory only when the layouts agree, and X
// keeps 8-bit pixels blue first. Asked with the window bound for drawing.
GLenum window_depth_format()
{
    GLint r = 0, g = 0, b = 0, a = 0, d = 0, s = 0;
    glGetIntegerv(GL_RED_BITS, &r);
    glGetIntegerv(GL_GREEN_BITS, &g);
    glGetIntegerv(GL_BLUE_BITS, &b);
    glGetIntegerv(GL_ALPHA_BITS, &a);
    glGetIntegerv(GL_DEPTH_BITS, &d);
    glGetIntegerv(GL_STENCIL_BITS, &s);
    if (r != 8 || g != 8 || b != 8 || (a != 0 && a != 8))
        return 0;
    if (s == 8)
        return d == 24 ? GL_DEPTH24_STENCIL8 : 0;
    if (s != 0)
        return 0;
    return d == 16 ? GL_DEPTH_COMPONENT16 : d == 24 ? GL_DEPTH_COMPONENT24 : d == 32 ? GL_DEPTH_COMPONENT32 : 0;
}

}  // namespace

void forget_gl_errors()
{
    for (int i = 0; i < 16 && glGetError() != GL_NO_ERROR; i++) {
    }
}

bool framebuffers_exist()
{
    const char *version = reinterpret_cast<const char *>(glGetString(GL_VERSION));
    return (version && std::atoi(version) >= 3) || has_extension("GL_ARB_framebuffer_object");
}

std::vector<TargetFlip> target_flips()
{
    std::vector<TargetFlip> flips;
    if (has_extension("GL_MESA_framebuffer_flip_y"))
        flips.push_back(TargetFlip::mesa);
    flips.push_back(TargetFlip::none);
    if (has_extension("GL_ARB_clip_control"))
        flips.push_back(TargetFlip::mirrored);
    return flips;
}

void use_target_flip(TargetFlip f)
{
    flip = f;
}

bool target_fits(int width, int height)
{
    GLint texture = 0, renderbuffer = 0, viewport[2] = {0, 0};
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &texture);
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &renderbuffer);
    glGetIntegerv(GL_MAX_VIEWPORT_DIMS, viewport);
    const int most = std::min({texture, renderbuffer, viewport[0], viewport[1]});
    return width <= most && height <= most;
}

bool make_target(Target &t, int width, int height)
{
    const GLenum depth_format = window_depth_format();
    if (!depth_format)
        return false;
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
    if (flip == TargetFlip::mesa)
        glFramebufferParameteri(GL_FRAMEBUFFER, GL_FRAMEBUFFER_FLIP_Y_MESA, 1);
    mirror.height = height;
    GLint bits[3] = {0, 0, 0};  // the texture's precision is the GL's choice
    for (int i = 0; i < 3; i++)
        glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0,
                                              GL_FRAMEBUFFER_ATTACHMENT_RED_SIZE + i, &bits[i]);
    const bool complete = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE &&
                          bits[0] == 8 && bits[1] == 8 && bits[2] == 8;
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    if (!complete)
        free_target(t);
    return complete;
}

void free_target(Target &t)
{
    glDeleteFramebuffers(1, &t.framebuffer);
    glDeleteTextures(1, &t.colour);
    glDeleteRenderbuffers(1, &t.depth);
    t = Target();
}

// Row y of the window lands on row height - 1 - y of a mirrored target, so
// that the target's rows run as the window's do in memory. Drawn with the
// origin at the upper left, every vertex lands there as it would in the
// window, faces keep their sides, and edges fall to the same pixels (a
// mirrored projection alone gets those last ones wrong).
void set_mirror(bool on)
{
    if (on == mirror.on)
        return;
    mirror.on = on;
    if (on) {
        glClipControl(GL_UPPER_LEFT, GL_NEGATIVE_ONE_TO_ONE);
        glGetIntegerv(GL_VIEWPORT, mirror.viewport);
        glViewport(mirror.viewport[0], mirror.height - mirror.viewport[1] - mirror.viewport[3], mirror.viewport[2],
                   mirror.viewport[3]);
    } else {
        glClipControl(GL_LOWER_LEFT, GL_NEGATIVE_ONE_TO_ONE);
        glViewport(mirror.viewport[0], mirror.viewport[1], mirror.viewport[2], mirror.viewport[3]);
    }
}

void draw_into(const Target &t)
{
    glBindFramebuffer(GL_FRAMEBUFFER, t.framebuffer);
    set_mirror(flip == TargetFlip::mirrored && t.framebuffer != 0);
}

void copy_target(const Target &from, const Target &to, int width, int height, bool depth)
{
    glBindFramebuffer(GL_READ_FRAMEBUFFER, from.framebuffer);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, to.framebuffer);
    const bool turn = flip == TargetFlip::mirrored && to.framebuffer == 0;  // back the window's way up
    glBlitFramebuffer(0, 0, width, height, 0, turn ? height : 0, width, turn ? 0 : height,
                      GL_COLOR_BUFFER_BIT | (depth ? GL_DEPTH_BUFFER_BIT : 0), GL_NEAREST);
    draw_into(to);
}
