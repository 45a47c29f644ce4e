// Offscreen framebuffers the size of the window, laid out as the window's
// own buffers are, so that a copy between them is a plain copy of memory and
// what is drawn into them comes out as it would in the window.
#pragma once

#include <vector>

struct Target {
    unsigned framebuffer = 0, colour = 0, depth = 0;  // GL names; 0: none (the window, for copies)
};

// How targets are drawn so that their pixels are the window's. Mesa keeps a
// window's rows top down, and where coplanar surfaces meet, which one shows
// depends on the direction the rows are drawn in.
enum class TargetFlip {
    none,      // bottom up, as GL draws a framebuffer
    mesa,      // top down, as Mesa draws a window (GL_MESA_framebuffer_flip_y)
    mirrored,  // bottom up, the picture drawn upside down (the origin at the
               // upper left, GL_ARB_clip_control, and the viewport mirrored),
               // and the copy to the window turned back
};

// Forgets the GL errors raised so far, so that glGetError() tells of what follows.
void forget_gl_errors();
// Whether the current GL context has framebuffer objects: GL 3.0, or the
// ARB extension.
bool framebuffers_exist();
// The flips this GL can draw targets with, the likeliest to match the window first.
std::vector<TargetFlip> target_flips();
// The flip for targets made and drawn from now on.
void use_target_flip(TargetFlip flip);
// Whether targets of that size fit within the GL's limits.
bool target_fits(int width, int height);
// Makes a target in the window's formats. False if they cannot be matched
// or the framebuffer is incomplete; the target is then freed.
bool make_target(Target &t, int width, int height);
void free_target(Target &t);
// Draws (and reads) into `t` from now on; the window is Target(). Drawing
// into a mirrored target turns the viewport current then; it comes back when
// drawing returns to the window.
void draw_into(const Target &t);
// Copies colour (and depth, with `depth`) of a `width` by `height` area from
// one target to another, and draws into `to` from then on.
void copy_target(const Target &from, const Target &to, int width, int height, bool depth);
