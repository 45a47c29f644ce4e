#include "render/targets.h"

#define GL_GLEXT_PROTOTYPES
#include <GL/gl.h>
#include <GL/glext.h>

#include <cstdlib>
#include <cstring>

namespace {

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

bool framebuffers_exist()
{
    const char *version = reinterpret_cast<const char *>(glGetString(GL_VERSION));
    return (version && std::atoi(version) >= 3) || has_extension("GL_ARB_framebuffer_object");
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
    // Mesa draws window buffers upside down; where coplanar surfaces meet,
    // pixels then depend on the direction, so targets are drawn the same way.
    if (has_extension("GL_MESA_framebuffer_flip_y"))
        glFramebufferParameteri(GL_FRAMEBUFFER, GL_FRAMEBUFFER_FLIP_Y_MESA, 1);
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

void draw_into(const Target &t)
{
    glBindFramebuffer(GL_FRAMEBUFFER, t.framebuffer);
}

void copy_target(const Target &from, const Target &to, int width, int height, bool depth)
{
    glBindFramebuffer(GL_READ_FRAMEBUFFER, from.framebuffer);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, to.framebuffer);
    glBlitFramebuffer(0, 0, width, height, 0, 0, width, height,
                      GL_COLOR_BUFFER_BIT | (depth ? GL_DEPTH_BUFFER_BIT : 0), GL_NEAREST);
    draw_into(to);
}
