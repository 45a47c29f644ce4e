// Counts the buffer swaps of each window of the program it is preloaded into:
//
//   LD_PRELOAD=build/bench/libswap_counter.so PLOK_SWAP_COUNTS=/tmp/counts plok_time
//
// PLOK_SWAP_COUNTS: a file rewritten (atomically, by rename) on every swap:
//   "<CLOCK_MONOTONIC ns>" of that swap on the first line, then one
//   "<drawable, hex> <swaps>" line per window. Another process reads it while
//   the program runs; the last swap before the program rests is in it too.
// PLOK_SWAP_TRACE: a file that starts with "renderer <GL_RENDERER>, OpenGL
//   <GL_VERSION>" and gets one line per swap, "swap <drawable> <swaps> <ns>
//   <checksum> <drawn ns>", written as soon as the swap returns, where the
//   checksum covers the pixels of the viewport just shown and "drawn" is the
//   time from the last glXMakeCurrent or glXMakeContextCurrent naming that
//   drawable to the swap's return, less the read-back: what the frame took
//   when its window was made current to draw it (GLUT does so before calling
//   a window's display function). One line per key press
//   the program reads from the X server, "key <keycode> <ns>". Lines are
//   flushed as they are written, so another process can follow the file.
//   Reading the pixels back costs time in every frame: while a file of the
//   trace's name plus ".pause" exists, nothing is read back or written.
// PLOK_SWAP_KEEP=N, with the trace: the pixels of each window's first N
//   swaps are written to "<trace>.<drawable, hex>.<swap>", "<width> <height>\n"
//   and then the rows, bottom up, four bytes a pixel (B, G, R, A).
//
// Nothing else changes: the real glXSwapBuffers, glXMakeCurrent,
// glXMakeContextCurrent and XNextEvent are called.
#include <GL/gl.h>
#include <GL/glx.h>
#include <X11/Xlib.h>
#include <dlfcn.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

namespace {

struct Window_count {
    unsigned long drawable;
    long swaps;
    long long current_ns;  // when it was last made current
};

std::vector<Window_count> counts;
std::vector<unsigned char> pixels;
int pixels_width = 0, pixels_height = 0;  // of those read back last

long long now_ns()
{
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1000000000LL + t.tv_nsec;
}

// The trace file while tracing is on; null when there is no trace or it is paused.
FILE *trace_file()
{
    static const char *path = std::getenv("PLOK_SWAP_TRACE");
    if (!path || !*path) return nullptr;
    static const std::string pause = std::string(path) + ".pause";
    if (access(pause.c_str(), F_OK) == 0) return nullptr;
    static FILE *f = std::fopen(path, "w");
    return f;
}

Window_count &count_of(unsigned long drawable)
{
    for (Window_count &c : counts)
        if (c.drawable == drawable) return c;
    counts.push_back({drawable, 0, 0});
    return counts.back();
}

void write_counts(long long t)
{
    static const char *path = std::getenv("PLOK_SWAP_COUNTS");
    if (!path || !*path) return;
    const std::string tmp = std::string(path) + ".tmp";
    FILE *f = std::fopen(tmp.c_str(), "w");
    if (!f) return;
    std::fprintf(f, "%lld\n", t);
    for (const Window_count &c : counts)
        if (c.swaps) std::fprintf(f, "%lx %ld\n", c.drawable, c.swaps);
    std::fclose(f);
    std::rename(tmp.c_str(), path);
}

// FNV-1a, a 64-bit word at a time, over the back buffer's pixels inside the
// current viewport (read in the renderer's own BGRA order: a plain copy).
// The window's back buffer, what the swap shows, also when the program left
// a framebuffer object bound for reading (asked only of GL 3.0 and later, so
// that the counter raises no GL error of its own).
uint64_t back_buffer_checksum()
{
    GLint vp[4];
    glGetIntegerv(GL_VIEWPORT, vp);
    if (vp[2] <= 0 || vp[3] <= 0) return 0;
    pixels_width = vp[2], pixels_height = vp[3];
    pixels.assign(size_t(vp[2]) * vp[3] * 4 + 8, 0);  // padded to whole words
    static const bool has_framebuffers = std::atoi(reinterpret_cast<const char *>(glGetString(GL_VERSION))) >= 3;
    static const auto bind = reinterpret_cast<PFNGLBINDFRAMEBUFFERPROC>(
        glXGetProcAddress(reinterpret_cast<const GLubyte *>("glBindFramebuffer")));
    GLint align, read_framebuffer = 0;
    if (has_framebuffers) glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &read_framebuffer);
    if (read_framebuffer) bind(GL_READ_FRAMEBUFFER, 0);
    glGetIntegerv(GL_PACK_ALIGNMENT, &align);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(vp[0], vp[1], vp[2], vp[3], GL_BGRA, GL_UNSIGNED_BYTE, pixels.data());
    glPixelStorei(GL_PACK_ALIGNMENT, align);
    if (read_framebuffer) bind(GL_READ_FRAMEBUFFER, read_framebuffer);
    uint64_t h = 14695981039346656037ull;
    for (size_t i = 0; i + 8 <= pixels.size(); i += 8) {
        uint64_t w;
        std::memcpy(&w, &pixels[i], 8);
        h = (h ^ w) * 1099511628211ull;
    }
    return h;
}

void keep_pixels(unsigned long drawable, long swap)
{
    static const char *trace = std::getenv("PLOK_SWAP_TRACE");
    static const long keep = std::getenv("PLOK_SWAP_KEEP") ? std::atol(std::getenv("PLOK_SWAP_KEEP")) : 0;
    if (swap > keep || !pixels_width) return;
    char path[4096];
    std::snprintf(path, sizeof path, "%s.%lx.%ld", trace, drawable, swap);
    if (FILE *f = std::fopen(path, "wb")) {
        std::fprintf(f, "%d %d\n", pixels_width, pixels_height);
        std::fwrite(pixels.data(), 1, size_t(pixels_width) * pixels_height * 4, f);
        std::fclose(f);
    }
}

}  // namespace

extern "C" void glXSwapBuffers(Display *dpy, GLXDrawable drawable)
{
    using Fn = void (*)(Display *, GLXDrawable);
    static Fn real = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, "glXSwapBuffers"));
    FILE *trace = trace_file();
    const long long read_ns = now_ns();
    const uint64_t sum = trace ? back_buffer_checksum() : 0;
    const long long read_back = now_ns() - read_ns;
    real(dpy, drawable);
    Window_count &count = count_of(drawable);
    ++count.swaps;
    const long long t = now_ns();
    if (trace) {
        static bool named = false;
        if (!named) {
            named = true;
            std::fprintf(trace, "renderer %s, OpenGL %s\n", glGetString(GL_RENDERER), glGetString(GL_VERSION));
        }
        std::fprintf(trace, "swap %lx %ld %lld %016llx %lld\n", drawable, count.swaps, t, (unsigned long long)sum,
                     t - count.current_ns - read_back);
        std::fflush(trace);
        keep_pixels(drawable, count.swaps);
    }
    write_counts(t);
}

extern "C" Bool glXMakeCurrent(Display *dpy, GLXDrawable drawable, GLXContext context)
{
    using Fn = Bool (*)(Display *, GLXDrawable, GLXContext);
    static Fn real = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, "glXMakeCurrent"));
    if (drawable) count_of(drawable).current_ns = now_ns();
    return real(dpy, drawable, context);
}

extern "C" Bool glXMakeContextCurrent(Display *dpy, GLXDrawable draw, GLXDrawable read, GLXContext context)
{
    using Fn = Bool (*)(Display *, GLXDrawable, GLXDrawable, GLXContext);
    static Fn real = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, "glXMakeContextCurrent"));
    if (draw) count_of(draw).current_ns = now_ns();
    return real(dpy, draw, read, context);
}

extern "C" int XNextEvent(Display *dpy, XEvent *event)
{
    using Fn = int (*)(Display *, XEvent *);
    static Fn real = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, "XNextEvent"));
    const int r = real(dpy, event);
    if (event->type == KeyPress)
        if (FILE *f = trace_file()) {
            std::fprintf(f, "key %u %lld\n", event->xkey.keycode, now_ns());
            std::fflush(f);
        }
    return r;
}
