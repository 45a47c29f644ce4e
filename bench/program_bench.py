#!/usr/bin/env python3
"""How soon a key shows on screen, and what the program costs while nothing
happens. Not a test: it prints figures, and fails only when it cannot measure.

    python3 bench/program_bench.py BUILD_DIR [--scenes 10,30,20/150,30/300]
        [--presses N] [--seconds S] [--rounds N]

Runs under a virtual X server of its own. Frames are buffer swaps, counted
and traced per window by BUILD_DIR/bench/libswap_counter.so (preloaded).

Scenes: 10x10 and 30x30 empty, 20x20 with 150 bricks, 30x30 with 300 ("30/300"),
each in a program of its own: the size chosen from the popup menu, the bricks
(2x2, the cursor's own footprint) dropped by keys in a snake over the board,
a second layer once the first is full, and counted in the "p" report.

At rest, in each scene: the 3-D view's frames per second and the CPU the
program uses (user + system time of all its threads, llvmpipe's included, as
a fraction of one core), over S seconds with the pixel trace paused. What
else kept the machine busy then is printed too: other programs skew everything.

Press -> changed frame, in each scene at rest: N presses of d, a, w, s,
space in turn with the cursor in the middle of the board (the moves cancel
out; space stacks another brick, which always changes the picture). The
bench sends each press itself through XTest and takes the time on
CLOCK_MONOTONIC (the swap trace's clock) just before it, then XSync, so the
press is in the X server. The latency runs to the return of the first swap of
the 3-D view whose pixels differ from the frame shown before the press; it
includes the trace's read-back of that frame's pixels (about 1 ms). Each next
press comes 150-350 ms (random) after the change has shown, so that presses
fall at random phases of the frames; where a frame takes longer than 200 ms,
the random part spans a frame (the frame interval at rest). "Unread" is the
median time from the press until the program takes the key from the X
server: what it waited there, behind the frame in progress.

The panel at rest, on the 10x10 board: the program against
BUILD_DIR/bench/plok_time_without_panel (the same main.cpp with the panel
left windowless), alternating for N rounds, and the panel's own swaps (at
rest there should be none).
"""
import argparse
import ctypes
import os
import random
import statistics
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests"))
from x import XSession, wait_for  # noqa: E402

SCENES = {"10": (10, 0), "30": (30, 0), "20/150": (20, 150), "30/300": (30, 300)}
SIZE_ITEM = {10: 0, 20: 1, 30: 2}   # in the popup menu's "Base Size" (5th of 8 entries)
PRESSES = ["d", "a", "w", "s", "space"]
OTHER_LOAD = []   # cores busy besides the program and the X server, in each rest measure
clock_ns = lambda: time.clock_gettime_ns(time.CLOCK_MONOTONIC)  # noqa: E731


class Keyboard:  # key presses sent through XTest on a connection of our own
    def __init__(self, display):
        self.x11, self.xtst = ctypes.CDLL("libX11.so.6"), ctypes.CDLL("libXtst.so.6")
        self.x11.XOpenDisplay.restype = ctypes.c_void_p
        self.x11.XKeysymToKeycode.restype = ctypes.c_ubyte
        self.dpy = ctypes.c_void_p(self.x11.XOpenDisplay(display.encode()))
        assert self.dpy.value, "no X connection"

    def fake(self, key, down):
        code = self.x11.XKeysymToKeycode(self.dpy, self.x11.XStringToKeysym(key.encode()))
        self.xtst.XTestFakeKeyEvent(self.dpy, code, down, 0)

    def press(self, key):
        """Presses and releases `key`. Returns the time just before the press,
        which the X server has by the time this returns."""
        t = clock_ns()
        self.fake(key, True)
        self.x11.XSync(self.dpy, 0)
        self.fake(key, False)
        self.x11.XFlush(self.dpy)
        return t

    def type(self, keys):  # many keys at once, as fast as the server takes them
        for key in keys:
            self.fake(key, True)
            self.fake(key, False)
        self.x11.XSync(self.dpy, 0)


class Trace:  # the swap trace as the program writes it: the view's swaps and the keys it read
    def __init__(self, path, win):
        self.path, self.win, self.rest, self.renderer = path, win, b"", "?"
        self.swaps, self.keys, self.f = [], [], None

    def poll(self):
        if self.f is None:
            if not os.path.exists(self.path):
                return
            self.f = open(self.path, "rb")
        lines = (self.rest + self.f.read()).split(b"\n")
        self.rest = lines.pop()
        for line in map(bytes.decode, lines):
            kind, *fields = line.split()
            if kind == "renderer":
                self.renderer = line[len("renderer "):]
            elif kind == "swap" and int(fields[0], 16) == self.win:
                self.swaps.append((int(fields[2]), fields[3]))
            elif kind == "key":
                self.keys.append(int(fields[1]))

    def changed_after(self, t):
        """The time of the first swap after t that differs from the frame shown at t, or None."""
        self.poll()
        shown = [s for ts, s in self.swaps if ts < t][-1:]
        return next((ts for ts, s in self.swaps if ts >= t and [s] != shown), None)

    def still(self, since):  # two frames in a row alike, both after `since`
        self.poll()
        last = [s for ts, s in self.swaps if ts > since][-2:]
        return len(last) == 2 and last[0] == last[1]


def read_counts(path):
    """(time of writing, {window: swaps}) from the counter's file."""
    while True:
        try:
            with open(path) as f:
                lines = f.read().split("\n")
            return int(lines[0]), {int(w, 16): int(n) for w, n in (l.split() for l in lines[1:] if l)}
        except (FileNotFoundError, ValueError, IndexError):
            time.sleep(0.02)


def cpu_seconds(pid=None):
    """User and system time of a process, all its threads (llvmpipe's too);
    with no pid, the busy time of the whole machine."""
    if pid is None:
        with open("/proc/stat") as f:
            user, nice, system, idle, iowait, *busy = map(int, f.readline().split()[1:9])
        return (user + nice + system + sum(busy)) / os.sysconf("SC_CLK_TCK")
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


class Program:  # a program started under the counter, the pointer resting over its 3-D view
    def __init__(self, x, binary, shim, tmp, trace=False):
        self.x, self.counts = x, os.path.join(tmp, f"counts{clock_ns()}")
        env = {"LD_PRELOAD": shim, "PLOK_SWAP_COUNTS": self.counts}
        if trace:
            env["PLOK_SWAP_TRACE"] = self.counts + ".trace"
        self.app = x.start([binary], env)
        self.win = x.window("PLOK Time", self.app)
        left, top = x.geometry(self.win)[:2]
        self.view = (left + 250, top + 300)
        x.move(*self.view)
        self.trace = Trace(env.get("PLOK_SWAP_TRACE"), self.win)
        wait_for(lambda: read_counts(self.counts)[1].get(self.win, 0) >= 1, 120, "a first frame")

    def at_rest(self, seconds):
        """Over `seconds`: frames per second of the view, cores busy, swaps of
        other windows; and cores busy besides the program and the X server."""
        pause = self.trace.path and open(self.trace.path + ".pause", "w")
        time.sleep(1.0)
        pids = (self.app.pid, self.x.xvfb.pid, None)
        (t0, c0), cpu0, w0 = read_counts(self.counts), [cpu_seconds(p) for p in pids], time.monotonic()
        time.sleep(seconds)
        (t1, c1), cpu1, w1 = read_counts(self.counts), [cpu_seconds(p) for p in pids], time.monotonic()
        if pause:
            os.remove(pause.name)
        frames = c1.get(self.win, 0) - c0.get(self.win, 0)
        others = sum(n - c0.get(w, 0) for w, n in c1.items() if w != self.win)
        program, xvfb, machine = ((b - a) / (w1 - w0) for a, b in zip(cpu0, cpu1))
        OTHER_LOAD.append(max(0.0, machine - program - xvfb))
        return frames / max(1e-9, (t1 - t0) / 1e9), program, others, OTHER_LOAD[-1]

    def heights(self, n):  # the "p" report, as rows of numbers
        start = len(self.app.out)
        self.x.key("p")
        wait_for(lambda: self.app.out[start:].count("\n") >= n, 600, "the height report")
        return [list(map(int, line.split())) for line in self.app.out[start:].splitlines()[:n]]

    def quit(self):
        self.x.key("q")
        self.app.wait(60)


def build_keys(n, bricks):
    """Keys that drop `bricks` 2x2 bricks in a snake over an n by n board from
    the corner (0, 0), a layer at a time, then leave the cursor mid-board."""
    keys, per_row, home = [], n // 2, ["a"] * n + ["s"] * n
    for i in range(bricks):
        if i and i % (per_row * per_row) == 0:
            keys += home
        keys.append("space")
        row, col = divmod(i % (per_row * per_row), per_row)
        if col < per_row - 1:
            keys += ["d" if row % 2 == 0 else "a"] * 2
        elif row < per_row - 1:
            keys += ["w", "w"]
    return keys + home + ["d", "w"] * (n // 2 - 1)


def scene(x, kb, args, shim, tmp, name):
    n, bricks = SCENES[name]
    p = Program(x, args.program, shim, tmp, trace=True)
    if n != 10:
        x.choose(*p.view, (4, 8), (SIZE_ITEM[n], 3))
        x.move(*p.view)
    kb.type(build_keys(n, bricks))
    placed = sum(map(sum, p.heights(n))) // 4
    assert placed == bricks, f"{placed} bricks on the board, not {bricks}"
    since = clock_ns()
    wait_for(lambda: p.trace.still(since), 600, "a still view")
    fps, cores, _, load = p.at_rest(args.seconds)
    print(f"  at rest: {fps:.1f} frames/s, {cores:.2f} cores (besides it and X: {load:.2f} cores)")
    millis, reads, missed = [], [], 0
    for i in range(args.presses):
        t = kb.press(PRESSES[i % len(PRESSES)])
        try:
            shown = wait_for(lambda: p.trace.changed_after(t), 20, "a changed frame")
            millis.append((shown - t) / 1e6)
            reads.append((next((k for k in p.trace.keys if k >= t), shown) - t) / 1e6)
        except AssertionError:
            missed += 1
        time.sleep(0.15 + random.uniform(0, max(0.2, 1 / fps if fps else 0)))
    p.quit()
    assert millis, "no press changed the view"
    return fps, cores, millis, reads, missed, p.trace.renderer


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("build")
    ap.add_argument("--scenes", default=",".join(SCENES))
    ap.add_argument("--presses", type=int, default=25)
    ap.add_argument("--seconds", type=float, default=5.0)
    ap.add_argument("--rounds", type=int, default=3)
    args = ap.parse_args()
    args.program = os.path.join(args.build, "app", "plok_time")
    bare = os.path.join(args.build, "bench", "plok_time_without_panel")
    shim = os.path.abspath(os.path.join(args.build, "bench", "libswap_counter.so"))
    random.seed(1)

    with tempfile.TemporaryDirectory() as tmp, XSession() as x:
        kb = Keyboard(x.env["DISPLAY"])
        print(f"{os.cpu_count()} cores, load average {os.getloadavg()[0]:.2f} at the start; "
              f"at rest: {args.seconds:g} s a measure; {args.presses} presses a scene")
        print(f"\nAt rest on the 10x10 board, with the panel and without ({args.rounds} rounds):")
        rest = {True: [], False: []}
        panel_swaps = 0
        for r in range(args.rounds):
            for panel in ([True, False] if r % 2 == 0 else [False, True]):
                p = Program(x, args.program if panel else bare, shim, tmp)
                fps, cores, others, load = p.at_rest(args.seconds)
                p.quit()
                rest[panel].append((fps, cores))
                panel_swaps += others if panel else 0
                print(f"  {'with' if panel else 'without'} panel: {fps:.1f} frames/s, {cores:.2f} cores "
                      f"(besides it and X: {load:.2f} cores)", flush=True)
        med = {k: [statistics.median(v[i] for v in rest[k]) for i in (0, 1)] for k in rest}
        rows, renderer = [], "?"
        for name in args.scenes.split(","):
            print(f"\nScene {name}:", flush=True)
            fps, cores, millis, reads, missed, renderer = scene(x, kb, args, shim, tmp, name)
            print(f"  press -> changed frame, ms: {' '.join(f'{m:.0f}' for m in millis)}; no change: {missed}")
            print(f"  press -> key read, ms: {' '.join(f'{m:.0f}' for m in reads)}", flush=True)
            rows.append((name, fps, cores, millis, reads, missed))

        print(f"\nRenderer: {renderer}\n")
        print("| scene | frames/s at rest | cores at rest | press → changed frame, median | worst "
              "| of which unread, median | no change |")
        print("|---|---|---|---|---|---|---|")
        for name, fps, cores, millis, reads, missed in rows:
            n, bricks = SCENES[name]
            label = f"{n}x{n}, " + (f"{bricks} bricks" if bricks else "empty")
            ms = lambda v: f"{v:.0f} ms"  # noqa: E731
            print(f"| {label} | {fps:.1f} | {cores:.2f} | {ms(statistics.median(millis))} | {ms(max(millis))} "
                  f"| {ms(statistics.median(reads))} | {missed} of {len(millis) + missed} |")
        print("\n| 10x10, empty, at rest (medians) | with panel | without panel |\n|---|---|---|")
        print(f"| frames per second | {med[True][0]:.1f} | {med[False][0]:.1f} |")
        print(f"| cores busy | {med[True][1]:.2f} | {med[False][1]:.2f} |")
        print(f"| panel swaps | {panel_swaps} in {args.rounds * args.seconds:g} s | |")
        print(f"\nBusy besides the program and X in the rest measures: up to {max(OTHER_LOAD):.2f} "
              f"of {os.cpu_count()} cores; other programs skew the figures above.")


if __name__ == "__main__":
    main()
