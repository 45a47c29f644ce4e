// Counts the buffer swaps of each window of the program it is preloaded into:
//
//   LD_PRELOAD=build/bench/libswap_counter.so PLOK_SWAP_COUNTS=/tmp/counts plok_time
//
// PLOK_SWAP_COUNTS: a file rewritten (atomically, by rename) at most every
//   50 ms, on a swap: "<CLOCK_MONOTONIC ns>" on the first line, then one
//   "<drawable, hex> <swaps>" line per window. Another process reads it while
//   the program runs; as the main window is redrawn on every idle turn, the
//   file stays fresh.
// PLOK_SWAP_TRACE: a file that gets one line per swap, "swap <drawable>
//   <swaps> <ns> <checksum>", where the checksum (FNV-1a) covers the pixels
//   of the viewport about to be shown, and one line per key press read from
//   the X server, "key <keycode> <ns>". Reading the pixels back costs time:
//   for latency runs only, not for frame rates.
//
// Nothing else changes: the real glXSwapBuffers and XNextEvent are called.
#include <GL/gl.h>
#include <GL/glx.h>
#include <X11/Xlib.h>
#include <dlfcn.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

namespace {

struct Window_count {
    unsigned long drawable;
    long swaps;
};

std::vector<Window_count> counts;
long long last_write_ns = 0;
std::vector<unsigned char> pixels;

long long now_ns()
{
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1000000000LL + t.tv_nsec;
}

FILE *trace_file()
{
    static FILE *f = [] {
        const char *path = std::getenv("PLOK_SWAP_TRACE");
        return path && *path ? std::fopen(path, "w") : nullptr;
    }();
    return f;
}

long &swaps_of(unsigned long drawable)
{
    for (Window_count &c : counts)
        if (c.drawable == drawable) return c.swaps;
    counts.push_back({drawable, 0});
    return counts.back().swaps;
}

void write_counts(long long t)
{
    static const char *path = std::getenv("PLOK_SWAP_COUNTS");
    if (!path || !*path) return;
    const std::string tmp = std::string(path) + ".tmp";
    FILE *f = std::fopen(tmp.c_str(), "w");
    if (!f) return;
    std::fprintf(f, "%lld\n", t);
    for (const Window_count &c : counts) std::fprintf(f, "%lx %ld\n", c.drawable, c.swaps);
    std::fclose(f);
    std::rename(tmp.c_str(), path);
}

// FNV-1a over the back buffer's pixels inside the current viewport.
uint32_t back_buffer_checksum()
{
    GLint vp[4];
    glGetIntegerv(GL_VIEWPORT, vp);
    if (vp[2] <= 0 || vp[3] <= 0) return 0;
    pixels.resize(size_t(vp[2]) * vp[3] * 4);
    GLint align;
    glGetIntegerv(GL_PACK_ALIGNMENT, &align);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(vp[0], vp[1], vp[2], vp[3], GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    glPixelStorei(GL_PACK_ALIGNMENT, align);
    uint32_t h = 2166136261u;
    for (unsigned char b : pixels) h = (h ^ b) * 16777619u;
    return h;
}

}  // namespace

extern "C" void glXSwapBuffers(Display *dpy, GLXDrawable drawable)
{
    using Fn = void (*)(Display *, GLXDrawable);
    static Fn real = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, "glXSwapBuffers"));
    long &swaps = swaps_of(drawable);
    if (FILE *f = trace_file()) {
        const uint32_t sum = back_buffer_checksum();
        std::fprintf(f, "swap %lx %ld %lld %08x\n", drawable, swaps + 1, now_ns(), sum);
    }
    real(dpy, drawable);
    ++swaps;
    const long long t = now_ns();
    if (t - last_write_ns >= 50000000LL) {
        last_write_ns = t;
        write_counts(t);
    }
}

extern "C" int XNextEvent(Display *dpy, XEvent *event)
{
    using Fn = int (*)(Display *, XEvent *);
    static Fn real = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, "XNextEvent"));
    const int r = real(dpy, event);
    if (event->type == KeyPress)
        if (FILE *f = trace_file()) std::fprintf(f, "key %u %lld\n", event->xkey.keycode, now_ns());
    return r;
}
