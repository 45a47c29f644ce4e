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
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
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

// Pixels are read back a strip of rows at a time into this buffer, so that
// the counter's own memory stays small beside the program's it measures.
constexpr size_t STRIP_BYTES = 96 * 1024;
unsigned char strip[8 + STRIP_BYTES];  // 8: the bytes short of a word carried to the next strip

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

// A swap's pixels kept for a file written after the swap (so that writing
// it does not delay the swap), in pages of their own, given back at once.
struct Kept {
    int width = 0, height = 0;
    unsigned char *pixels = nullptr;
    void take(int w, int h)
    {
        void *p = mmap(nullptr, size_t(w) * h * 4, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED) return;
        width = w, height = h, pixels = static_cast<unsigned char *>(p);
    }
    // To "<trace>.<drawable, hex>.<swap>": "<width> <height>\n" and then the
    // rows, bottom up, four bytes a pixel (B, G, R, A).
    void write(unsigned long drawable, long swap)
    {
        if (!pixels) return;
        static const char *trace = std::getenv("PLOK_SWAP_TRACE");
        char path[4096];
        std::snprintf(path, sizeof path, "%s.%lx.%ld", trace, drawable, swap);
        if (FILE *f = std::fopen(path, "wb")) {
            std::fprintf(f, "%d %d\n", width, height);
            std::fwrite(pixels, 1, size_t(width) * height * 4, f);
            std::fclose(f);
        }
        munmap(pixels, size_t(width) * height * 4);
        pixels = nullptr;
    }
};

bool keeps(long swap)
{
    static const long keep = std::getenv("PLOK_SWAP_KEEP") ? std::atol(std::getenv("PLOK_SWAP_KEEP")) : 0;
    return swap <= keep;
}

// FNV-1a, a 64-bit word at a time, over the back buffer's pixels inside the
// current viewport (read in the renderer's own BGRA order: a plain copy),
// the last word padded with zeros. The window's back buffer, what the swap
// shows, also when the program left a framebuffer object bound for reading
// (asked only of GL 3.0 and later, so that the counter raises no GL error of
// its own).
uint64_t back_buffer_checksum(Kept *keep)
{
    GLint vp[4];
    glGetIntegerv(GL_VIEWPORT, vp);
    if (vp[2] <= 0 || vp[3] <= 0) return 0;
    static const bool has_framebuffers = std::atoi(reinterpret_cast<const char *>(glGetString(GL_VERSION))) >= 3;
    static const auto bind = reinterpret_cast<PFNGLBINDFRAMEBUFFERPROC>(
        glXGetProcAddress(reinterpret_cast<const GLubyte *>("glBindFramebuffer")));
    GLint align, read_framebuffer = 0;
    if (has_framebuffers) glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &read_framebuffer);
    if (read_framebuffer) bind(GL_READ_FRAMEBUFFER, 0);
    glGetIntegerv(GL_PACK_ALIGNMENT, &align);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    if (keep) keep->take(vp[2], vp[3]);
    const size_t row = size_t(vp[2]) * 4;
    const int rows = int(std::max<size_t>(1, STRIP_BYTES / row));
    uint64_t h = 14695981039346656037ull;
    size_t carried = 0;
    for (int y = 0; y < vp[3]; y += rows) {
        const int n = std::min(rows, vp[3] - y);
        if (row * n > STRIP_BYTES) break;  // a row wider than the strip: not a window of this program
        glReadPixels(vp[0], vp[1] + y, vp[2], n, GL_BGRA, GL_UNSIGNED_BYTE, strip + carried);
        if (keep && keep->pixels) std::memcpy(keep->pixels + row * y, strip + carried, row * n);
        const size_t bytes = carried + row * n;
        size_t i = 0;
        for (; i + 8 <= bytes; i += 8) {
            uint64_t w;
            std::memcpy(&w, strip + i, 8);
            h = (h ^ w) * 1099511628211ull;
        }
        carried = bytes - i;
        std::memmove(strip, strip + i, carried);
    }
    uint64_t w = 0;
    std::memcpy(&w, strip, carried);
    h = (h ^ w) * 1099511628211ull;
    glPixelStorei(GL_PACK_ALIGNMENT, align);
    if (read_framebuffer) bind(GL_READ_FRAMEBUFFER, read_framebuffer);
    return h;
}

}  // namespace

extern "C" void glXSwapBuffers(Display *dpy, GLXDrawable drawable)
{
    using Fn = void (*)(Display *, GLXDrawable);
    static Fn real = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, "glXSwapBuffers"));
    FILE *trace = trace_file();
    Window_count &count = count_of(drawable);
    const long long read_ns = now_ns();
    Kept kept;
    const uint64_t sum = trace ? back_buffer_checksum(keeps(count.swaps + 1) ? &kept : nullptr) : 0;
    const long long read_back = now_ns() - read_ns;
    real(dpy, drawable);
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
        kept.write(drawable, count.swaps);
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
