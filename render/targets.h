// Offscreen framebuffers the size of the window, laid out as the window's
// own buffers are, so that a copy between them is a plain copy of memory.
#pragma once

struct Target {
    unsigned framebuffer = 0, colour = 0, depth = 0;  // GL names; 0: none (the window, for copies)
};

// Whether the current GL context has framebuffer objects: GL 3.0, or the
// ARB extension.
bool framebuffers_exist();
// Makes a target in the window's formats. False if they cannot be matched
// or the framebuffer is incomplete; the target is then freed.
bool make_target(Target &t, int width, int height);
void free_target(Target &t);
// Draws (and reads) into `t` from now on; the window is Target().
void draw_into(const Target &t);
// Copies colour (and depth, with `depth`) of a `width` by `height` area from
// one target to another, and draws into `to` from then on.
void copy_target(const Target &from, const Target &to, int width, int height, bool depth);
