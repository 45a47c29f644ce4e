#!/usr/bin/env python3
"""How soon input shows on screen, how the program keeps up while the view
is dragged, what it costs while nothing happens and what memory it holds.
Not a test: it prints figures, and fails only when it cannot measure.

    python3 bench/program_bench.py BUILD_DIR [--parts start,rest,keys,move,turn-keys,actions,big,memory]
        [--older OLD_BUILD_DIR,...] [--scenes 10,30,20/150,30/300] [--presses N] [--seconds S]
        [--rounds N] [--starts N] [--drag-seconds S] [--turns N] [--shim LIBSWAP_COUNTER]

Runs under a virtual X server of its own. Frames are buffer swaps, counted
and traced per window by the preloaded BUILD_DIR/bench/libswap_counter.so
(--shim: another, e.g. this build's for an older BUILD_DIR; what an older
build or counter lacks is left out). The bench sends every key, click and
pointer motion itself through XTest, the time taken on CLOCK_MONOTONIC (the
trace's clock) just before it, then XSync. Latencies run to the return of the
first swap of the 3-D view whose pixels differ from the frame shown before the
event, the trace's read-back of its pixels included (about 1 ms). The panel's
controls are where BUILD_DIR/tests/panel_layout says.

Scenes, each in a program of its own: 10x10 and 30x30 empty, 20x20 with 150
bricks, 30x30 with 300, 3,000 or 6,000 or 20x20 with 300 ("30/300",
"30/3000", "30/6000", "20/300"): the size chosen from the popup menu, 2x2
bricks dropped by keys in a snake, a layer at a time (225 on the 30x30
board), counted in the "p" report.

start (--starts times, this build, BUILD_DIR/bench/bare_window and each
--older build in turn, under this build's counter; with Mesa's on-disk shader
cache as it is, warm after the first start, and without it,
MESA_SHADER_CACHE_DISABLE): from just before the program is started to the
return of the 3-D view's first buffer swap whose pixels are the start
picture, the one it rests on (a quick frame counts where at most 2% of its
pixels differ from it by more than 3% of the colour range, as in the render
test), and to that picture's first swap; then its resident memory at rest
(VmRSS): medians, with the fastest and slowest or least and most.

rest: once the view is at rest, over S seconds: the buffer swaps per second
of the 3-D view and of the panel, the CPU of the program (all threads, as a
fraction of a core) and of the X server (what else kept the machine busy is
printed too). On the 10x10 board and at 30x30 with 300 bricks, each with
framebuffer objects and without them (Mesa told to offer GL 2.1 without
ARB_framebuffer_object, where every frame is drawn in full), each for this
build, each --older build and, at 10x10 with framebuffer objects,
BUILD_DIR/bench/plok_time_without_panel (main.cpp with the panel left
windowless); N rounds in turn, medians.

keys (--scenes, the first four by default): the view's frames/s and CPU at
rest over S seconds with the pixel trace paused, then N presses of d, a, w, s,
space in turn, each 150-350 ms (or a frame interval) after the last showed.
"Unread": from the press until the program took the key from the X server.

move (--scenes, 30, 30/300, 30/3000 and 30/6000 by default): from the exact picture at rest,
each of the View ball and the Translate XY and Z pads pressed in its middle
and held while the pointer circles it (24 px out, once a second, 100 motions
a second, --drag-seconds), then released; Reset between them. While
dragging: the view's swaps per second, the intervals between them counted
from the press (median; longest, the wait from the last to the release too),
how many new pictures it showed; the panel's frames per second and drawing
time (median; the counter writes in each swap line the time from the last
glXMakeCurrent/glXMakeContextCurrent naming the window to the swap's return,
less its read-back: a panel frame that finds its window still current counts
from that earlier call, a wait for input included). After the release the
view is at rest once one picture has been the last shown for 2 s (frames may
stop while the exact picture is refined): the time from the release to that
picture's first swap. The same drags in BUILD_DIR/bench/plok_time_exact_only
(a layer that never draws a quick frame) give an exact full frame, their
median interval; the drags end alike, so both programs should settle on the
same pixels (shown).

turn-keys (30/300, --turns times): a short drag of the ball (5 motions of
4 px, right then left in turn) and d or a 20 ms after its release, while the
exact picture is being made; press -> changed frame as for keys, where that
frame may show the turn alone; so also press -> the first changed frame that
began (its window made current, as the counter tells) after the key was read.

actions (20/300): clicks on the panel from the exact picture at rest, button
pressed and released at once: the "Size:" list opened (not timed), then 30x30
and back to 20x20, twice, 300 bricks on the board; "Undo Last" five times;
"Clear Board" once; the "p" report checks what they did.

big (30/6000): 27 layers stand higher than the 30x30 camera, so the cursor on
top is out of view from where the model is built. The cursor is brought to
the front row (s, 15 times) and the model pushed away with the Translate Z
pad, BIG_PUSH px up in drags of 300 (3 units a drag, 0.005 a pixel): the
cursor's front then shows over the model's front face, as its grey pixels in
the view tell (checked). From the exact picture at rest: N presses of d and a
in turn, press -> changed frame as for keys; then clicks on the panel, press
-> first changed frame: the plate's "Color:" list to Red and back to Green,
"Undo Last" three times, "Clear Board" once.

memory (--rounds rounds, this build and each --older build in turn, at
30/300, 30/3000 and 30/6000, the cursor brought into view at 6,000 as for
big): each control dragged for --drag-seconds, its frames/s and the release
-> exact picture; 1 s after the last, the first key after rest and 10 more
(d and a), press -> changed frame; then at rest VmRSS and VmHWM and the
resident pages by mapping (/proc/PID/smaps: heap, anonymous, each file's
code, "text", and data, largest first; this build's first round). Medians,
with the least and the most.
"""
import argparse
import ctypes
import math
import os
import random
import statistics
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests"))
from x import XSession, panel_layout, wait_for  # noqa: E402

SCENES = {"10": (10, 0), "30": (30, 0), "20/150": (20, 150), "30/300": (30, 300), "20/300": (20, 300),
          "30/3000": (30, 3000), "30/6000": (30, 6000)}
KEY_SCENES, MOVE_SCENES = "10,30,20/150,30/300", "30,30/300,30/3000,30/6000"
MEMORY_SCENES = ["30/300", "30/3000", "30/6000"]
PARTS = ["start", "rest", "keys", "move", "turn-keys", "actions", "big", "memory"]
REST_SCENES = ["10", "30/300"]
IN_FULL = {"MESA_GL_VERSION_OVERRIDE": "2.1", "MESA_EXTENSION_OVERRIDE": "-GL_ARB_framebuffer_object"}
BIG_PUSH = 2400   # px the Translate Z pad is dragged up in the big scene: 12 units away
SIZE_ITEM = {10: 0, 20: 1, 30: 2}   # in the popup menu's "Base Size" (5th of 8 entries)
PRESSES = ["d", "a", "w", "s", "space"]
CONTROLS = [("View", "ball"), ("Translate XY", "pad"), ("Translate Z", "pad")]
MOTION = 0.01     # s between pointer motions while dragging
SETTLE = 2.0      # s one picture stays the last shown before the view counts as at rest
OTHER_LOAD = []   # cores busy besides the program and the X server, in each rest measure
LAYOUT = {}       # where the panel's controls sit: {(name, n): {part: (x, y, w, h)}}
clock_ns = lambda: time.clock_gettime_ns(time.CLOCK_MONOTONIC)  # noqa: E731
ms = lambda ns: ns / 1e6  # noqa: E731


class Input:  # keys, the left button and the pointer, sent through XTest on a connection of our own
    def __init__(self, display):
        self.x11, self.xtst = ctypes.CDLL("libX11.so.6"), ctypes.CDLL("libXtst.so.6")
        self.x11.XOpenDisplay.restype = ctypes.c_void_p
        self.x11.XKeysymToKeycode.restype = ctypes.c_ubyte
        self.dpy = ctypes.c_void_p(self.x11.XOpenDisplay(display.encode()))
        assert self.dpy.value, "no X connection"

    def fake(self, key, down):
        code = self.x11.XKeysymToKeycode(self.dpy, self.x11.XStringToKeysym(key.encode()))
        self.xtst.XTestFakeKeyEvent(self.dpy, code, down, 0)

    def button(self, down):
        self.xtst.XTestFakeButtonEvent(self.dpy, 1, down, 0)

    def timed(self, send, then=lambda: None):
        """Calls send(), then then(). Returns the time just before send(),
        whose event the X server has by the time this returns."""
        t = clock_ns()
        send()
        self.x11.XSync(self.dpy, 0)
        then()
        self.x11.XFlush(self.dpy)
        return t

    def press(self, key):  # a key pressed and released; the time of the press
        return self.timed(lambda: self.fake(key, True), lambda: self.fake(key, False))

    def click(self):  # the left button pressed and released at once; the time of the press
        return self.timed(lambda: self.button(True), lambda: self.button(False))

    def move(self, x, y):
        return self.timed(lambda: self.xtst.XTestFakeMotionEvent(self.dpy, -1, x, y, 0))

    def type(self, keys):  # many keys at once, as fast as the server takes them
        for key in keys:
            self.fake(key, True)
            self.fake(key, False)
        self.x11.XSync(self.dpy, 0)

    def drag(self, start, path):
        """The left button pressed at `start`, the pointer moved to each offset
        of `path` from there, one every MOTION seconds, and released a MOTION
        after the last. Returns the times of the press and of the release."""
        x0, y0 = start
        self.move(x0, y0)
        time.sleep(0.2)  # the panel shows the pointer over it first
        press = self.timed(lambda: self.button(True))
        for i, step in enumerate(path + [None], 1):
            time.sleep(max(0.0, (press - clock_ns()) / 1e9 + i * MOTION))
            if step:
                self.move(x0 + step[0], y0 + step[1])
        return press, self.timed(lambda: self.button(False))


def circle(seconds, radius=24):
    """Offsets of a pointer going round the press point once a second, a
    motion every MOTION seconds, spiralling out over the first ten."""
    path = []
    for i in range(1, round(seconds / MOTION) + 1):
        r, angle = min(1, i / 10) * radius, 2 * math.pi * i * MOTION
        path.append((round(r * math.cos(angle)), round(r * math.sin(angle))))
    return path


class Trace:  # the swap trace as the program writes it: the view's swaps, the other windows', the keys read
    def __init__(self, path, win):
        self.path, self.win, self.rest, self.renderer = path, win, b"", "?"
        self.swaps, self.others, self.keys, self.f = [], [], [], None
        self.began = {}  # when the view's frame that each swap shows began, by swap time, where the counter tells

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
            elif kind == "swap":  # with the drawing time where the counter writes it
                win, ts, drawn = int(fields[0], 16), int(fields[2]), int(fields[4]) if len(fields) > 4 else None
                if win == self.win:
                    self.swaps.append((ts, fields[3]))
                    self.began[ts] = drawn and ts - drawn
                else:
                    self.others.append((ts, drawn))
            elif kind == "key":
                self.keys.append(int(fields[1]))

    def changed_after(self, t, began=0):
        """The time of the first swap after t that differs from the frame shown
        at t, of a frame begun after `began` where the counter tells; or None."""
        self.poll()
        shown = [s for ts, s in self.swaps if ts < t][-1:]
        return next((ts for ts, s in self.swaps if ts >= t and [s] != shown and (self.began[ts] or began) >= began),
                    None)

    def settled(self):
        """(time, checksum) of the first swap of the picture shown last, once
        no other has come for SETTLE seconds; else None."""
        self.poll()
        i = len(self.swaps)
        while i > 1 and self.swaps[i - 2][1] == self.swaps[-1][1]:
            i -= 1
        return i and clock_ns() - self.swaps[i - 1][0] >= SETTLE * 1e9 and self.swaps[i - 1]


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


def memory(pid):
    """VmRSS and VmHWM in MiB, and the resident MiB of each kind of mapping,
    largest first: [heap], anonymous, a file's text (executable) or data."""
    with open(f"/proc/{pid}/status") as f:
        status = {k: int(v.split()[0]) / 1024 for k, v in (line.split(":", 1) for line in f) if k.startswith("Vm")}
    held, what = {}, None
    with open(f"/proc/{pid}/smaps") as f:
        for line in f:
            head = line.split()
            if not head[0].endswith(":"):  # a mapping: range, permissions, offset, device, inode[, path]
                path = head[5] if len(head) > 5 else ""
                what = (path if path.startswith("[") else "anonymous" if not path else
                        os.path.basename(path) + (" text" if "x" in head[1] else " data"))
            elif head[0] == "Rss:":
                held[what] = held.get(what, 0) + int(head[1]) / 1024
    return status["VmRSS"], status["VmHWM"], sorted(held.items(), key=lambda kv: -kv[1])


class Program:  # a program started under the counter, the pointer resting over its 3-D view
    renderer = "?"  # as the last traced program named it

    def __init__(self, x, binary, shim, tmp, trace=False, env=None, keep=0):
        self.x, self.counts, self.in_full = x, os.path.join(tmp, f"counts{clock_ns()}"), bool(env)
        env = dict(env or {}, LD_PRELOAD=shim, PLOK_SWAP_COUNTS=self.counts)
        if trace:
            env["PLOK_SWAP_TRACE"] = self.counts + ".trace"
        if keep:  # the pixels of the first swaps
            env["PLOK_SWAP_KEEP"] = str(keep)
        self.started = clock_ns()
        self.app = x.start([binary], env)
        self.win = x.window("PLOK Time", self.app)
        left, top = x.geometry(self.win)[:2]
        self.view = (left + 250, top + 300)
        x.move(*self.view)
        self.trace = Trace(env.get("PLOK_SWAP_TRACE"), self.win)
        wait_for(lambda: read_counts(self.counts)[1].get(self.win, 0) >= 1, 120, "a first frame")

    def at_rest(self, seconds):
        """Over `seconds`: swaps per second of the view and of the other
        windows (the panel's), cores busy in the program and in the X server,
        and cores busy besides them."""
        pause = self.trace.path and open(self.trace.path + ".pause", "w")
        time.sleep(1.0)
        pids = (self.app.pid, self.x.xvfb.pid, None)
        c0, cpu0, w0 = read_counts(self.counts)[1], [cpu_seconds(p) for p in pids], time.monotonic()
        time.sleep(seconds)
        c1, cpu1, w1 = read_counts(self.counts)[1], [cpu_seconds(p) for p in pids], time.monotonic()
        if pause:
            os.remove(pause.name)
        frames = c1.get(self.win, 0) - c0.get(self.win, 0)
        others = sum(n - c0.get(w, 0) for w, n in c1.items() if w != self.win)
        program, xvfb, machine = ((b - a) / (w1 - w0) for a, b in zip(cpu0, cpu1))
        OTHER_LOAD.append(max(0.0, machine - program - xvfb))
        return dict(fps=frames / (w1 - w0), panel_fps=others / (w1 - w0), cores=program, x_cores=xvfb,
                    load=OTHER_LOAD[-1])

    def start_picture(self):
        """ms from just before the start to the view's first swap whose pixels are
        the picture it rests on, or within 2% of it, and to that picture's first swap."""
        rest_at, rest_sum = self.settle()
        shown = [s for _, s in self.trace.swaps]
        kept = lambda n: open(f"{self.trace.path}.{self.win:x}.{n + 1}", "rb").read().split(b"\n", 1)[1]  # noqa: E731
        resting = shown.index(rest_sum)  # the first swap of the picture it rests on
        first = next(n for n in range(resting + 1) if shown[n] == rest_sum or off(kept(n), kept(resting)) <= 0.02)
        return ms(self.trace.swaps[first][0] - self.started), ms(rest_at - self.started)

    def point(self, name, part="rect", n=1):  # the middle of a part of the n'th control so named, on the screen
        left, top = self.x.geometry(self.x.children(self.win)[0])[:2]
        x, y, w, h = LAYOUT[name, n][part]
        return left + x + w // 2, top + y + h // 2

    def settle(self):  # (time of its first swap, checksum) of the picture the view rests on
        return wait_for(self.trace.settled, 60, "the view at rest")

    def heights(self, n):  # the "p" report, as rows of numbers
        start = len(self.app.out)
        self.x.key("p")
        wait_for(lambda: self.app.out[start:].count("\n") >= n, 600, "the height report")
        return [list(map(int, line.split())) for line in self.app.out[start:].splitlines()[:n]]

    def quit(self):
        if self.trace.renderer != "?" and not self.in_full:
            Program.renderer = self.trace.renderer
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


def open_scene(x, inp, binary, shim, tmp, name, env=None):
    """A traced program showing scene `name`, at rest."""
    n, bricks = SCENES[name]
    p = Program(x, binary, shim, tmp, trace=True, env=env)
    if n != 10:
        x.choose(*p.view, (4, 8), (SIZE_ITEM[n], 3))
        x.move(*p.view)
    inp.type(build_keys(n, bricks))
    placed = sum(map(sum, p.heights(n))) // 4
    assert placed == bricks, f"{placed} bricks on the board, not {bricks}"
    wait_for(p.trace.settled, 600, "the view at rest")
    return p


def timed_change(p, t, millis, reads=None):
    """Adds to `millis` the time from t to the first changed frame, to `reads`
    the time from t until the program took the key; returns when it took it."""
    shown = wait_for(lambda: p.trace.changed_after(t), 20, "a changed frame")
    millis.append(ms(shown - t))
    read = next((k for k in p.trace.keys if k >= t), shown)
    if reads is not None:
        reads.append(ms(read - t))
    return read


def presses(x, inp, args, shim, tmp, name):
    p = open_scene(x, inp, args.program, shim, tmp, name)
    rest = p.at_rest(args.seconds)
    fps, cores = rest["fps"], rest["cores"]
    print(f"  at rest: {fps:.1f} frames/s, {cores:.3f} cores (besides it and X: {rest['load']:.2f} cores)")
    millis, reads, missed = [], [], 0
    for i in range(args.presses):
        try:
            timed_change(p, inp.press(PRESSES[i % len(PRESSES)]), millis, reads)
        except AssertionError:
            missed += 1
        time.sleep(0.15 + random.uniform(0, max(0.2, 1 / fps if fps else 0)))
    p.quit()
    assert millis, "no press changed the view"
    return fps, cores, millis, reads, missed


def drag_controls(p, inp, args, after=lambda: None):
    """Each of CONTROLS dragged round in the program `p`, `after()` following each: {control: figures}."""
    out = {}
    p.settle()
    for control, part in CONTROLS:
        before = p.trace.swaps[-1][1]
        press, release = inp.drag(p.point(control, part), circle(args.drag_seconds))
        rest_at, picture = p.settle()
        frames = [(ts, s) for ts, s in p.trace.swaps if press < ts <= release]
        times = [ts for ts, _ in frames]
        gaps = [b - a for a, b in zip([press] + times, times)]
        drawn = [d for ts, d in p.trace.others if press < ts <= release]
        seconds = (release - press) / 1e9
        out[control] = f = dict(
            fps=len(frames) / seconds, pictures=len({s for _, s in frames} - {before}),
            longest=ms(max(gaps + [release - ([press] + times)[-1]])),  # the wait since the last frame too
            median=ms(statistics.median(gaps)) if gaps else None,
            panel_fps=len(drawn) / seconds,
            panel_ms=ms(statistics.median(drawn)) if drawn and None not in drawn else None,
            picture=picture, to_exact=ms(rest_at - release))
        print(f"  {control}: {f['fps']:.1f} frames/s, {f['pictures']} new pictures, intervals from the press (ms): "
              f"{' '.join(f'{ms(g):.0f}' for g in gaps)}; panel {f['panel_fps']:.1f} frames/s; "
              f"release -> exact picture {f['to_exact']:.0f} ms"
              + (f" (its frame begun {ms(p.trace.began[rest_at] - release):.0f} ms after the release)"
                 if p.trace.began[rest_at] else ""), flush=True)
        after()
    return out


def drags(x, inp, args, binary, shim, tmp, name):
    """Each of CONTROLS dragged round in a program showing scene `name`, the view reset after each:
    {control: figures}."""
    p = open_scene(x, inp, binary, shim, tmp, name)

    def reset():
        inp.move(*p.point("Reset"))
        time.sleep(0.2)
        inp.click()
        p.settle()
    out = drag_controls(p, inp, args, reset)
    p.quit()
    return out


def keys_after_turn(x, inp, args, shim, tmp):
    """Press -> changed frame, key read and first changed frame begun after it
    of d and a, each 20 ms after a short drag of the ball."""
    p = open_scene(x, inp, args.program, shim, tmp, "30/300")
    ball, millis, reads, begun = p.point("View", "ball"), [], [], []
    for i in range(args.turns):
        p.settle()
        time.sleep(random.uniform(0.2, 0.6))
        step = 4 if i % 2 == 0 else -4
        release = inp.drag(ball, [(step * k, 0) for k in range(1, 6)])[1]
        time.sleep(max(0.0, (release - clock_ns()) / 1e9 + 0.02))
        t = inp.press("d" if i % 2 == 0 else "a")
        read = timed_change(p, t, millis, reads)
        shown = wait_for(lambda: p.trace.changed_after(t, read), 20, "a frame begun after the key was read")
        begun.append(None if p.trace.began[shown] is None else ms(shown - t))
    p.quit()
    return millis, reads, begun


def timed_click(p, inp, out, what, name, part="rect", n=1):
    """Adds to out[what] the time from a click on a part of the n'th control
    so named (a list's item: the list opened first, not timed), from the
    picture at rest, to the changed frame."""
    if part.startswith("item:"):
        inp.move(*p.point(name, "box", n))
        time.sleep(0.1)
        inp.click()  # opens the list
    inp.move(*p.point(name, part, n))
    p.settle()
    time.sleep(random.uniform(0, 0.3))
    timed_change(p, inp.click(), out.setdefault(what, []))


def actions(x, inp, args, shim, tmp):
    """Click -> changed frame of the panel's size list, Undo Last and Clear
    Board, 300 bricks on a 20x20 board: {what: [ms]}."""
    p, out = open_scene(x, inp, args.program, shim, tmp, "20/300"), {}
    click = lambda *what: timed_click(p, inp, out, *what)  # noqa: E731
    for _ in range(2):
        click("Size 20x20 → 30x30", "Size:", "item:30x30")
        click("Size 30x30 → 20x20", "Size:", "item:20x20")
    for _ in range(5):
        click("Undo Last", "Undo Last")
    x.move(*p.view)
    assert sum(map(sum, p.heights(20))) == 4 * 295, "not 295 bricks on 20x20 after the size changes and undos"
    click("Clear Board", "Clear Board")
    x.move(*p.view)
    assert not any(map(any, p.heights(20))), "Clear Board left bricks"
    p.quit()
    return out


def cursor_into_view(x, inp, p):
    """At 30/6000 the model stands higher than the camera: the cursor brought to the front row and the
    model pushed away with the Translate Z pad, until the cursor's grey shows over the model (checked)."""
    inp.type(["s"] * 15)  # the front row
    pad = p.point("Translate Z", "pad")
    for _ in range(BIG_PUSH // 300):
        inp.drag(pad, [(0, -k) for k in range(10, 301, 10)])
    p.settle()
    width, height = x.geometry(p.win)[2:]
    view = x.pixels(p.win, (0, 0, width - x.geometry(x.children(p.win)[0])[2], height))
    grey = sum(1 for i in range(0, len(view), 3) if view[i] == view[i + 1] == view[i + 2] > 40)
    assert grey > 20, f"the cursor is not in view ({grey} grey pixels)"
    print(f"  the model pushed {BIG_PUSH * 0.005:g} units away: the cursor shows {grey} grey pixels", flush=True)


def big(x, inp, args, shim, tmp):
    """Press -> changed frame at 30/6000 with the cursor in view: of d and a,
    and of clicks on the plate's colour, Undo Last and Clear Board: {what: [ms]}."""
    p, out = open_scene(x, inp, args.program, shim, tmp, "30/6000"), {}
    cursor_into_view(x, inp, p)
    keys = out.setdefault("d or a", [])
    for i in range(args.presses):
        time.sleep(0.15 + random.uniform(0, 0.2))
        p.settle()
        timed_change(p, inp.press("d" if i % 2 == 0 else "a"), keys)
    click = lambda *what: timed_click(p, inp, out, *what)  # noqa: E731
    for colour in ("Red", "Green"):
        click("the plate's colour", "Color:", "item:" + colour, 2)
    for _ in range(3):
        click("Undo Last", "Undo Last")
    click("Clear Board", "Clear Board")
    x.move(*p.view)
    assert not any(map(any, p.heights(30))), "Clear Board left bricks"
    p.quit()
    return out


def off(a, b):
    """The part of the pixels (B, G, R, A) where two pictures differ by more than
    3% of the colour range, as the root mean square of the three channels."""
    if a == b:
        return 0.0
    bar, count = 3 * (0.03 * 255) ** 2, 0
    for i in range(0, min(len(a), len(b)), 4):
        d0, d1, d2 = a[i] - b[i], a[i + 1] - b[i + 1], a[i + 2] - b[i + 2]
        count += d0 * d0 + d1 * d1 + d2 * d2 > bar
    return count / (len(a) // 4)


def starts(x, args, shim, tmp, programs):
    """{(label, cache): [(ms to the start picture, ms to the picture at rest, MiB resident at rest)]},
    the programs in turn, the shader cache warm and not."""
    out = {}
    for r in range(args.starts):
        for cache, env in (("warm", None), ("cold", {"MESA_SHADER_CACHE_DISABLE": "true"})):
            for label, binary in programs if r % 2 == 0 else programs[::-1]:
                p = Program(x, binary, shim, tmp, trace=True, env=env, keep=8)
                first, exact = p.start_picture()
                time.sleep(1)
                rss = memory(p.app.pid)[0]
                p.quit()
                out.setdefault((label, cache), []).append((first, exact, rss))
                print(f"  {label}, shader cache {cache}: {first:.0f} ms, at rest {exact:.0f} ms, {rss:.1f} MiB",
                      flush=True)
    return out


def lean(x, inp, args, shim, tmp, programs):
    """{(scene, label): [figures]}, the programs in turn in each round: each control dragged, its frames/s
    and the release -> exact picture; then the first key after rest and 10 more, press -> changed frame;
    then at rest the memory (VmRSS, VmHWM, by mapping)."""
    out = {}
    for r in range(args.rounds):
        for name in args.scenes.split(",") if args.scenes else MEMORY_SCENES:
            for label, binary in programs if r % 2 == 0 else programs[::-1]:
                p = open_scene(x, inp, binary, shim, tmp, name)
                if name == "30/6000":
                    cursor_into_view(x, inp, p)
                dragged = drag_controls(p, inp, args).values()
                fps, exact = [f["fps"] for f in dragged], [f["to_exact"] for f in dragged]
                time.sleep(1)
                first, keys = [], []
                timed_change(p, inp.press("d"), first)
                for i in range(10):
                    p.settle()
                    time.sleep(random.uniform(0.1, 0.3))
                    timed_change(p, inp.press("ad"[i % 2]), keys)
                p.settle()
                time.sleep(1)
                held = memory(p.app.pid)
                p.quit()
                out.setdefault((name, label), []).append(dict(
                    rss=held[0], hwm=held[1], mappings=held[2], key=statistics.median(keys), fps=fps,
                    exact=exact, first_key=first[0]))
                print(f"  round {r + 1}, {name}, {label}: {held[0]:.1f} MiB (at most {held[1]:.1f}); keys "
                      f"{statistics.median(keys):.0f} ms; drags {' '.join(f'{f:.1f}' for f in fps)} frames/s, "
                      f"exact after {' '.join(f'{e:.0f}' for e in exact)} ms; the first key after rest "
                      f"{first[0]:.0f} ms", flush=True)
    return out


def resting(x, inp, args, shim, tmp, programs):
    """{(scene, GL, label): [at_rest figures]} in each scene of REST_SCENES, with
    framebuffer objects and without, the programs in turn."""
    out = {}
    for r in range(args.rounds):
        for name in REST_SCENES:
            for gl, env in (("framebuffers", None), ("in full", IN_FULL)):
                for label, binary in programs if r % 2 == 0 else programs[::-1]:
                    if label == "without panel" and (name != "10" or env):
                        continue
                    p = open_scene(x, inp, binary, shim, tmp, name, env)
                    f = p.at_rest(args.seconds)
                    p.quit()
                    out.setdefault((name, gl, label), []).append(f)
                    print(f"  {name}, {gl}, {label}: {f['fps']:.2f} swaps/s, panel {f['panel_fps']:.2f}, "
                          f"{f['cores']:.4f} cores, X {f['x_cores']:.4f} (besides them: {f['load']:.2f})", flush=True)
    return out


def report(args, exact, keys, rest, moves, turn_keys, clicks, held, started=None, big_clicks=None):
    """The figures as Markdown tables."""
    label = lambda name: f"{SCENES[name][0]}x{SCENES[name][0]}, " + (  # noqa: E731
        f"{SCENES[name][1]} bricks" if SCENES[name][1] else "empty")
    fmt = lambda v, digits=0: "—" if v is None else f"{v:.{digits}f} ms"  # noqa: E731
    spread = lambda v, unit="ms", digits=0: (  # noqa: E731
        f"{statistics.median(v):.{digits}f} {unit} ({min(v):.{digits}f}–{max(v):.{digits}f})")
    if started:
        print("\n| program | shader cache | start → start picture | start → picture at rest | memory at rest "
              "(10x10) |\n|---|---|---|---|---|")
        for (program, cache), runs in started.items():
            first, exact, rss = zip(*runs)
            print(f"| {program} | {cache} | {spread(first)} | {spread(exact)} | {spread(rss, 'MiB', 1)} |")
    if keys:
        print("\n| scene | frames/s at rest | cores at rest | press → changed frame, median | worst "
              "| of which unread, median | no change |\n|---|---|---|---|---|---|---|")
        for name, fps, cores, millis, reads, missed in keys:
            print(f"| {label(name)} | {fps:.1f} | {cores:.2f} | {fmt(statistics.median(millis))} "
                  f"| {fmt(max(millis))} | {fmt(statistics.median(reads))} | {missed} of {len(millis) + missed} |")
    if rest:
        print(f"\n| at rest, {args.seconds:g} s (medians of {args.rounds}) | GL | program | view swaps/s "
              "| panel swaps/s | cores | X server cores |\n|---|---|---|---|---|---|---|")
        for (name, gl, program), runs in rest.items():
            med = {k: statistics.median(f[k] for f in runs) for k in runs[0]}
            print(f"| {label(name)} | {gl} | {program} | {med['fps']:.2f} | {med['panel_fps']:.2f} "
                  f"| {med['cores']:.4f} | {med['x_cores']:.4f} |")
    if moves:
        print(f"\n| dragging for {args.drag_seconds:g} s | control | frames/s | longest interval | median interval "
              "| new pictures | panel drawing, median | panel frames/s |\n|---|---|---|---|---|---|---|---|")
        for (name, binary), figures in moves.items():
            for control, f in figures.items():
                print(f"| {label(name)}{'' if binary == args.program else ', exact only'} | {control} "
                      f"| {f['fps']:.1f} | {fmt(f['longest'])} | {fmt(f['median'])} | {f['pictures']} "
                      f"| {fmt(f['panel_ms'], 1)} | {f['panel_fps']:.1f} |")
        print("\n| after the drag | control | release → exact picture | exact full frame (exact only, median "
              "interval) | ratio | the exact only's picture |\n|---|---|---|---|---|---|")
        for (name, binary), figures in moves.items():
            for control, f in figures.items() if binary == args.program else ():
                e = moves.get((name, exact), {}).get(control, {})
                ratio = e.get("median") and f"{f['to_exact'] / e['median']:.2f}"
                same = e and ("yes" if e["picture"][1] == f["picture"][1] else "no")
                print(f"| {label(name)} | {control} | {fmt(f['to_exact'])} | {fmt(e.get('median'))} "
                      f"| {ratio or '—'} | {same or '—'} |")
    if turn_keys:
        millis, reads, begun = turn_keys
        begun = None if None in begun else begun
        print("\n| 30x30, 300 bricks: a key 20 ms after a turn | median | worst | of which unread, median |"
              f"\n|---|---|---|---|\n| press → changed frame ({len(millis)} keys) | {fmt(statistics.median(millis))} "
              f"| {fmt(max(millis))} | {fmt(statistics.median(reads))} |\n| press → changed frame begun after "
              f"the key was read | {fmt(begun and statistics.median(begun))} | {fmt(begun and max(begun))} | |")
    if clicks:
        print("\n| 20x20, 300 bricks: click → changed frame | median | worst | clicks |\n|---|---|---|---|")
        for what, millis in clicks.items():
            print(f"| {what} | {fmt(statistics.median(millis))} | {fmt(max(millis))} | {len(millis)} |")
    if big_clicks:
        print("\n| 30x30, 6,000 bricks, the cursor in view: press → changed frame | median | worst | presses |"
              "\n|---|---|---|---|")
        for what, millis in big_clicks.items():
            print(f"| {what} | {fmt(statistics.median(millis))} | {fmt(max(millis))} | {len(millis)} |")
    if held:
        print("\n| at rest after the drags | program | VmRSS | VmHWM | keys, press → changed frame | drags, "
              "frames/s | drags, release → exact picture | the first key after rest |\n|---|---|---|---|---|---|---|---|")
        for (name, program), runs in held.items():
            get = lambda k: [f[k] for f in runs]  # noqa: E731
            flat = lambda k: [v for f in runs for v in f[k]]  # noqa: E731
            print(f"| {label(name)} | {program} | {spread(get('rss'), 'MiB', 1)} | {spread(get('hwm'), 'MiB', 1)} "
                  f"| {spread(get('key'))} | {spread(flat('fps'), '', 1)} | {spread(flat('exact'))} "
                  f"| {spread(get('first_key'))} |")
        mine = {n: dict(runs[0]["mappings"]) for (n, program), runs in held.items() if program == "this build"}
        names = list(mine)
        first = sorted(mine[names[0]].items(), key=lambda kv: -kv[1])[:6]
        print("\n| this build, resident by mapping | " + " | ".join(label(n) for n in names) + " |\n|---|"
              + "---|" * len(names))
        for what, _ in first:
            print(f"| {what} | " + " | ".join(f"{mine[n].get(what, 0):.1f} MiB" for n in names) + " |")
        print("| the rest | " + " | ".join(
            f"{sum(m for w, m in mine[n].items() if w not in dict(first)):.1f} MiB" for n in names) + " |")
    if OTHER_LOAD:
        print(f"\nBusy besides the program and X in the rest measures: up to {max(OTHER_LOAD):.2f} "
              f"of {os.cpu_count()} cores; other programs skew the figures above.")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("build")
    ap.add_argument("--parts", default=",".join(PARTS))
    ap.add_argument("--scenes")
    ap.add_argument("--presses", type=int, default=25)
    ap.add_argument("--seconds", type=float, default=5.0)
    ap.add_argument("--rounds", type=int, default=3)
    ap.add_argument("--starts", type=int, default=8)
    ap.add_argument("--older", default="", help="older builds to compare with, e.g. release worktrees' build dirs")
    ap.add_argument("--drag-seconds", type=float, default=5.0)
    ap.add_argument("--turns", type=int, default=15)
    ap.add_argument("--shim", help="the swap counter to preload (default: BUILD's)")
    args = ap.parse_args()
    parts = args.parts.split(",")
    assert set(parts) <= set(PARTS), f"parts are {','.join(PARTS)}"
    built = lambda *path: os.path.abspath(os.path.join(args.build, *path))  # noqa: E731
    args.program, bare = built("app", "plok_time"), built("bench", "plok_time_without_panel")
    window = built("bench", "bare_window")
    programs = [("this build", args.program)] + [
        (old, os.path.abspath(os.path.join(old, "app", "plok_time"))) for old in filter(None, args.older.split(","))]
    exact = built("bench", "plok_time_exact_only")
    shim = os.path.abspath(args.shim or built("bench", "libswap_counter.so"))
    if set(parts) & {"move", "turn-keys", "actions", "big", "memory"}:  # the build's layout, or the counter's build's
        layouts = [built("tests", "panel_layout"), os.path.join(os.path.dirname(shim), "..", "tests", "panel_layout")]
        LAYOUT.update(panel_layout(next((f for f in layouts if os.path.exists(f)), layouts[0]))[0])
    if "move" in parts and not os.path.exists(exact):
        print(f"No {exact}: the drags are not compared with exact frames.")
        exact = None
    random.seed(1)

    with tempfile.TemporaryDirectory() as tmp, XSession() as x:
        inp = Input(x.env["DISPLAY"])
        print(f"{os.cpu_count()} cores, load average {os.getloadavg()[0]:.2f} at the start; parts: {args.parts}")
        started = rest = None
        if "start" in parts:
            print(f"\nStarts, {args.starts} of each program in turn, the shader cache warm and cold:", flush=True)
            started = starts(x, args, shim, tmp, programs[:1] + [("bare window", window)] + programs[1:])
        if "rest" in parts:
            print(f"\nAt rest ({args.rounds} rounds of {args.seconds:g} s):", flush=True)
            rest = resting(x, inp, args, shim, tmp, programs + [("without panel", bare)])
        rows = []
        for name in (args.scenes or KEY_SCENES).split(",") if "keys" in parts else []:
            print(f"\nScene {name}, {args.presses} presses:", flush=True)
            fps, cores, millis, reads, missed = presses(x, inp, args, shim, tmp, name)
            print(f"  press -> changed frame, ms: {' '.join(f'{m:.0f}' for m in millis)}; no change: {missed}")
            print(f"  press -> key read, ms: {' '.join(f'{m:.0f}' for m in reads)}", flush=True)
            rows.append((name, fps, cores, millis, reads, missed))
        moves, held = {}, {}
        for name in (args.scenes or MOVE_SCENES).split(",") if "move" in parts else []:
            for binary in filter(None, (args.program, exact)):
                print(f"\nScene {name}, {os.path.basename(binary)}, {args.drag_seconds:g} s drags:", flush=True)
                moves[name, binary] = drags(x, inp, args, binary, shim, tmp, name)
        if "turn-keys" in parts:
            print(f"\nScene 30/300, {args.turns} keys each 20 ms after a short turn:", flush=True)
            turn_keys = keys_after_turn(x, inp, args, shim, tmp)
            for what, millis in zip(("changed frame", "key read", "changed frame begun after that"), turn_keys):
                print(f"  press -> {what}, ms: {' '.join('—' if m is None else f'{m:.0f}' for m in millis)}")
        if "actions" in parts:
            print("\nScene 20/300, clicks on the panel:", flush=True)
            clicks = actions(x, inp, args, shim, tmp)
            for what, millis in clicks.items():
                print(f"  {what}, press -> changed frame, ms: {' '.join(f'{m:.0f}' for m in millis)}")
        if "big" in parts:
            print(f"\nScene 30/6000, the cursor in view, {args.presses} keys and clicks:", flush=True)
            big_clicks = big(x, inp, args, shim, tmp)
            for what, millis in big_clicks.items():
                print(f"  {what}, press -> changed frame, ms: {' '.join(f'{m:.0f}' for m in millis)}")
        if "memory" in parts:
            print(f"\nMemory after drags, {args.rounds} rounds of each program in turn:", flush=True)
            held = lean(x, inp, args, shim, tmp, programs)
        print(f"\nRenderer: {Program.renderer}")
        report(args, exact, rows, rest, moves,
               "turn-keys" in parts and turn_keys, "actions" in parts and clicks, held, started,
               "big" in parts and big_clicks)


if __name__ == "__main__":
    main()
