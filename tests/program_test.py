#!/usr/bin/env python3
"""The program as a person uses it, under a virtual X server of its own: every
key, panel control and popup menu entry, judged by what it prints and shows.

    program_test.py PLOK_TIME PANEL_LAYOUT --diff SEED [STEPS] [--load]   the differential session
"""
import concurrent.futures
import glob
import math
import os
import random
import re
import subprocess
import tempfile
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from x import XSession, panel_layout, wait_for  # noqa: E402

BINARY, LAYOUT_BINARY = sys.argv[1:3]
VERSION = "GLUI version: 2.30\n"
HELP = ("Table of contents:\n___________________\nBlock Movement Controls:\n  W  \n A D \n  S  \n"
        "Space : Place block\np : Print Height Matrix\nv : Print View Matrix\n"
        "r : Reset the transformation matricies\nq : Exit the program\n")
IDENTITY = "\n1 0 0 0 \n0 1 0 0 \n0 0 1 0 \n0 0 0 1 \n"
MENU = ["Width", "Length", "Color", "Base Color", "Base Size", "Rotate", "Clear", "Undo"]
SUBMENU = {"Width": 4, "Length": 4, "Color": 3, "Base Color": 3, "Base Size": 3}
IN_FULL = {"MESA_GL_VERSION_OVERRIDE": "2.1",  # a GL without framebuffer objects: every frame drawn in full
           "MESA_EXTENSION_OVERRIDE": "-GL_ARB_framebuffer_object"}
COUNTER = os.path.join(os.path.dirname(BINARY), "../bench/libswap_counter.so")  # counts each window's frames


# {(name, n): {part: (x, y, w, h)}}: where the n'th control of that name and its parts sit in the panel.
LAYOUT, PANEL_WIDTH = panel_layout(LAYOUT_BINARY)


def program_env(swaps):
    """Swaps counted; sanitizers stop at the first report, leaks checked at exit but Mesa's (lsan.supp)."""
    runtime = re.findall(r"libasan\.so\S* => (\S+)", subprocess.run(["ldd", BINARY], capture_output=True, text=True).stdout)
    return {"ASAN_OPTIONS": "halt_on_error=1:detect_leaks=1", "UBSAN_OPTIONS": "halt_on_error=1:print_stacktrace=1",
            "LSAN_OPTIONS": f"suppressions={HERE}/lsan.supp:print_suppressions=0", "PLOK_SWAP_COUNTS": swaps,
            # Mesa's driver after ASan's runtime, so that its frames keep their names for the suppressions.
            "LD_PRELOAD": " ".join(runtime + glob.glob("/usr/lib/*/dri/swrast_dri.so")[:len(runtime)] + [COUNTER])}


class Session:  # the program started in an XSession, with its window, panel and view

    def __init__(self, x, env=None, kept=False):  # kept: the X server keeps what its windows show
        self.swaps_file = os.path.join(tempfile.mkdtemp(), "swaps")
        self.kept, self.name = kept, "without framebuffer objects" if env else "with framebuffer objects"
        self.x, self.app = x, x.start([BINARY], dict(program_env(self.swaps_file), **(env or {})))
        self.win = x.window("PLOK Time", self.app)
        wait_for(lambda: self.app.out.endswith("\n"), what="the version line")
        self.left, self.top, self.width, self.height = x.geometry(self.win)
        self.panel = wait_for(lambda: x.children(self.win), what="the panel")[0]
        wait_for(lambda: x.geometry(self.panel)[2] == PANEL_WIDTH, what="the panel's width")
        self.view, self.printed = (self.left + 250, self.top + 300), 0
        self.over_view()
        if kept:
            x.keep_pixels(self.win, self.panel)

    over_view = lambda self: self.x.move(*self.view)  # noqa: E731

    def wait(self, cond, what, timeout=30):
        try:
            return wait_for(cond, timeout, what)
        except AssertionError as e:  # with what the program printed
            raise AssertionError(f"{e}\n--- stdout ends:\n{self.app.out[-300:]}\n--- stderr:\n{self.app.err[-3000:]}")

    def point(self, name, part="rect", n=1, fx=0.5, fy=0.5):
        x, y, w, h = LAYOUT[name, n][part]
        px, py = self.x.geometry(self.panel)[:2]
        return px + x + int(w * fx), py + y + int(h * fy)

    def click(self, name, part="rect", n=1, item=None):  # a control's part, or a list's item; then back to the view
        self.x.click(*self.point(name, part, n))
        if item:
            self.x.click(*self.point(name, "item:" + item, n))
        self.over_view()

    def drag(self, name, part, dx, dy):  # from a control's part, as fast as X takes it; then back to the view
        x, y = self.point(name, part)
        self.x.drag(x, y, x + dx, y + dy)
        self.over_view()

    def hover(self, name):  # the pointer over a control, which shows it at once; then back to the view
        before = self.panel_shot()
        self.x.move(*self.point(name))
        self.wait(lambda: self.panel_shot() != before, f"{name} to show the pointer over it")
        self.over_view()

    def menu(self, entry, item=None):
        steps = [(MENU.index(entry), len(MENU))] + ([(item, SUBMENU[entry])] if item is not None else [])
        self.x.choose(*self.view, *steps)
        self.over_view()

    def counts(self):  # {window: frames shown}, the view's and the panel's
        words = open(self.swaps_file).read().split()[1:] if os.path.exists(self.swaps_file) else []
        return {int(w, 16): int(n) for w, n in zip(words[::2], words[1::2])}

    def shot(self):  # the 3-D view's pixels
        return self.x.pixels(self.win, (0, 0, self.width - PANEL_WIDTH, self.height))

    def panel_shot(self):
        return self.x.pixels(self.panel, (0, 0, PANEL_WIDTH, self.height))

    def activity(self):  # what changes while the program does anything: frames, its main thread waking or running
        task = f"/proc/{self.app.pid}/task/{self.app.pid}"
        with open(task + "/status") as f:
            switches = [line for line in f if "ctxt_switches:" in line]
        with open(task + "/stat") as f:
            cpu = f.read().rsplit(")", 1)[1].split()[11:13]  # user and system ticks
        with open(task + "/syscall") as f:  # waiting in GLUT's select() (x86-64: 23, 270), or else
            return self.counts(), switches, cpu, f.read().split()[0]

    def quiet(self, what, seconds):  # once nothing has happened for `seconds` (sanitizers, a software GL: slow)
        seen = [None, 0.0]

        def long_enough():
            now = self.activity()
            if now != seen[0]:
                seen[:] = now, time.monotonic()
            return time.monotonic() - seen[1] >= seconds and now[3] in ("23", "270")
        self.wait(long_enough, f"the program at rest after {what}", 60)

    def rest(self, what):
        """At rest the program sleeps: once it has been quiet for a second, the next two seconds bring
        no frame of the view or the panel, and its main thread neither wakes nor runs."""
        self.quiet(what, 1)
        before = self.activity()
        time.sleep(2)
        assert self.activity() == before, f"after {what}, at rest: {before} then {self.activity()}"

    def at_rest(self, lines, asleep=None):
        """At rest (asleep after `asleep`: rest), the view and panel, again once the window is unmapped and mapped
        (drawn anew, kept pixels dropped), and what it printed since, "p" and "v" now typed ending it (`lines`)."""
        self.rest(asleep) if asleep else self.quiet("the last input", 0.1)
        seen = [self.shot(), self.panel_shot()]
        self.x.xdotool("windowunmap", "--sync", self.win, "windowmap", "--sync", self.win)
        self.quiet("the window mapped again", 0.1)
        self.x.key("p", "v")
        deadline = time.monotonic() + 20  # then what came is compared
        wait_for(lambda: self.app.out[self.printed:].count("\n") >= lines or time.monotonic() > deadline)
        out, self.printed = self.app.out[self.printed:], len(self.app.out)
        return seen + [self.shot(), self.panel_shot(), out]

    def burst(self, keys):
        """Keys as fast as X takes them; fails unless the window received just those (xev sees what it is sent)."""
        xev = self.x.start(["xev", "-id", str(self.win), "-event", "keyboard"])
        got = lambda: " ".join(re.findall(r"KeyPress event.*?keysym \w+, (\w+)\)", xev.out, re.S))  # noqa: E731
        self.wait(lambda: self.x.key("F1") or "F1" in got(), "xev listening")  # F1 and F2 do nothing
        self.x.xdotool("key", "--delay", 0, *keys, "F2")
        received = self.wait(lambda: got().endswith("F2") and got(), "F2 after the keys").split("F1")[-1].split()[:-1]
        xev.kill()
        assert received == keys, f"the X server delivered {len(received)} of {len(keys)} keys, not the program"


CODE = {"Red": 1, "Blue": 2, "Green": 3}  # colour codes, in the popup menu's order
NAME = {n: name for name, n in CODE.items()}
TURNED = r"(\n(\S+ ){4}){4}\n"  # what "v" prints for a turned view
SLEEPS = ("the start", "menu Base Color", "keys", "View", "popup dismissed", "arrow held", "typed", "hide")
WEIGHTS = {"menu Clear": 0.2, "Clear Board": 0.2, "View": 2, "Translate Z": 2, "arrow held": 0}  # after a pass


class Board:
    """The board as board/board.cpp keeps it: cursor, footprint, colours, size, the bricks (their extents and
    the heights each covered), the heights of the whole 30x30 matrix (a brick may reach past a smaller
    board); whether the view is turned; what the program should have printed since the last rest."""

    def __init__(self):
        self.x = self.z = 0
        self.w = self.l = 2
        self.size, self.color, self.base, self.turned = 10, CODE["Blue"], CODE["Green"], False
        self.h, self.bricks, self.printed = [[0] * 30 for _ in range(30)], [], [VERSION]

    def key(self, k):  # printed None: a turned view's matrix
        if k in ("a", "d") and (self.x + self.l < self.size if k == "d" else self.x > 0):
            self.x += 1 if k == "d" else -1
        elif k in ("w", "s") and (self.z + self.w < self.size if k == "w" else self.z > 0):
            self.z += 1 if k == "w" else -1
        elif k == "space":  # on the highest cell under it, in the matrix
            cells = [(r, c) for r in range(self.z, min(self.z + self.w, 30))
                     for c in range(self.x, min(self.x + self.l, 30))]
            top = 1 + max((self.h[r][c] for r, c in cells), default=0)
            self.bricks.append((self.x + self.l, self.z + self.w, [(r, c, self.h[r][c]) for r, c in cells]))
            for r, c in cells:
                self.h[r][c] = top
        elif k in ("p", "v", "h", "H"):
            self.printed.append(HELP if k in "hH" else (None if self.turned else IDENTITY) if k == "v" else
                                "".join("".join(f" {n}" for n in row[:self.size]) + "\n" for row in self.h[:self.size]))

    def undo(self):  # every cell back as it was before the last brick
        for r, c, n in self.bricks.pop()[2] if self.bricks else ():
            self.h[r][c] = n

    def clear(self):
        self.h, self.bricks = [[0] * 30 for _ in range(30)], []

    def resize(self, size):  # refused while a brick reaches past it; the cursor pulled back onto it
        if all(ex <= size and ez <= size for ex, ez, _ in self.bricks):
            self.size, self.x, self.z = size, min(self.x, max(0, size - self.l)), min(self.z, max(0, size - self.w))

    def shows(self):  # what the panel's controls show
        return {("Width:", 1, "field"): str(self.w), ("Length:", 1, "field"): str(self.l), ("Size:", 1, "box"):
                f"{self.size}x{self.size}", ("Color:", 1, "box"): NAME[self.color], ("Color:", 2, "box"):
                NAME[self.base]}


def inputs(b, rng, scale):
    """{kind: () -> (what, act(session))}: each input changes the model b as the program should, to values
    unlike the current ones where it can; scale["burst"] keys at once, drags on pads up to scale["far"] px."""
    def pick(attr, values, step):
        setattr(b, attr, rng.choice([v for v in values if v != getattr(b, attr)] or list(values)))
        return step(getattr(b, attr))

    def keys(ks, what="keys", act=None):
        [b.key(k) for k in ks]
        return f"{what} {' '.join(ks)}", act or (lambda s: s.x.key(*ks))

    def menu(entry, item=None, label=""):
        return f"menu {entry} {label}".strip(), lambda s: s.menu(entry, item)

    def click(name, part="rect", n=1, item=None):
        what = f"panel {name}{' (Base)' * (n == 2)} {item or part}"
        return what.replace(" rect", ""), lambda s: s.click(name, part, n, item)

    def drag(name, part, dx, dy):
        return f"drag {name} {part} by {dx},{dy}", lambda s: s.drag(name, part, dx, dy)

    def arrow(dy=0, held=False):  # a step on the press, then one each 4 px dragged; held, it stops at 1 or 10
        name, part = rng.choice(["Width:", "Length:"]), rng.choice(["up", "down"])
        attr, step = "wl"[name == "Length:"], 1 if part == "up" else -1
        setattr(b, attr, min(max(10 * step if held else getattr(b, attr) + step + int(-dy / 4), 1), 10))
        return (f"held {name} {part}", lambda s: (s.x.move(*s.point(name, part)), s.x.xdotool(
            "mousedown", 1, "sleep", 1.5, "mouseup", 1), s.over_view())) if held else drag(name, part, 0, dy) if dy \
            else click(name, part)

    def typed():  # the first key replaces the text, "-" counts only first; Enter, Tab or Escape ends it
        name, text = rng.choice(["Width:", "Length:"]), ""
        ks = [rng.choice("123456789")] + rng.choices(list("0123456789") + ["minus", "BackSpace"], k=2)
        for k in ks:
            text = text[:-1] if k == "BackSpace" else text + k if k != "minus" else text or "-"
        setattr(b, "wl"[name == "Length:"], min(max(int(text) if text.strip("-") else 0, 1), 10))
        ks.append(rng.choice(["Return", "Tab", "Escape"]))
        return f"typed into {name} {' '.join(ks)}", lambda s: (s.click(name, "field"), s.x.key(*ks))

    def size(step):  # refused while a brick reaches past it
        b.resize(n := rng.choice([n for n in (10, 20, 30) if n != b.size]))
        return step(n)

    def burst():
        ks = rng.choices(["w", "a", "s", "d", "space", "p"], [24, 24, 24, 24, 20, 1], k=scale["burst"])
        return keys(ks, "at once:", lambda s: s.burst(ks))

    def fill():  # a layer of bricks over a 30x30 board, a footprint and colour of its own, row by row
        w, ln, color = rng.randint(1, 3), rng.randint(1, 3), rng.choice(list(CODE))
        steps = [menu("Base Size", 2, "30x30"), menu("Width", w - 1, w), menu("Length", ln - 1, ln),
                 menu("Color", CODE[color] - 1, color)]
        b.resize(30), b.__dict__.update(w=w, l=ln, color=CODE[color])
        ks = ["a"] * 30 + ["s"] * 30
        for row in range(0, 30, w):
            ks += (["space"] + ["da"[row // w % 2]] * ln) * (30 // ln) + ["w"] * w
        what, act = keys(ks, "at once:", lambda s: s.burst(ks))
        return ", ".join(w for w, _ in steps) + ", " + what, lambda s: [a(s) for _, a in steps + [(what, act)]]

    def hide():  # a key sent to the window while it is hidden
        return keys([k := rng.choice(["a", "d", "w", "s", "space"])], "the window hidden; sent to it:", lambda s: (
            s.x.xdotool("windowunmap", "--sync", s.win, "key", "--window", s.win, k, "windowmap", "--sync", s.win)))

    def resize():
        w, h = rng.randint(500, 1000), rng.randint(540, 800)  # every control within the panel
        return f"the window resized to {w}x{h}", lambda s: (
            s.x.xdotool("windowsize", "--sync", s.win, w, h), s.__dict__.update(width=w, height=h))

    far = lambda: rng.choice([-1, 1]) * rng.randint(5, scale["far"])  # noqa: E731
    rotate = lambda: b.__dict__.update(w=b.l, l=b.w)  # noqa: E731
    return {"keys": lambda: keys(rng.choices(list("wasdpvhHWASD5") + ["space"] * 3 + ["Return", "Escape", "F1"],
                                             k=rng.randint(1, 10))),
            "burst": burst, "fill": fill, "r": lambda: keys(["r", "h"]), "hide": hide, "resize": resize,
            "hover": lambda: ("the pointer over Undo Last", lambda s: s.hover("Undo Last")),
            "popup dismissed": lambda: ("the popup menu dismissed", lambda s: (
                s.x.click(*s.view, 3), s.wait(s.x.menus, "a menu"), s.x.click(s.left + 20, s.top + 20),
                s.wait(lambda: not s.x.menus(), "no menu"), s.over_view())),
            "menu Width": lambda: pick("w", range(1, 5), lambda n: menu("Width", n - 1, n)),
            "menu Length": lambda: pick("l", range(1, 5), lambda n: menu("Length", n - 1, n)),
            "menu Color": lambda: pick("color", NAME, lambda n: menu("Color", n - 1, NAME[n])),
            "menu Base Color": lambda: pick("base", NAME, lambda n: menu("Base Color", n - 1, NAME[n])),
            "menu Base Size": lambda: size(lambda n: menu("Base Size", n // 10 - 1, f"{n}x{n}")),
            "menu Rotate": lambda: rotate() or menu("Rotate"), "menu Clear": lambda: b.clear() or menu("Clear"),
            "menu Undo": lambda: b.undo() or menu("Undo"), "arrow": arrow, "typed": typed,
            "arrow dragged": lambda: arrow(rng.choice([-1, 1]) * rng.randint(8, 40)),
            "arrow held": lambda: arrow(held=True),
            "Color list": lambda: pick("color", NAME, lambda n: click("Color:", "box", 1, NAME[n])),
            "Base Color list": lambda: pick("base", NAME, lambda n: click("Color:", "box", 2, NAME[n])),
            "Size list": lambda: size(lambda n: click("Size:", "box", item=f"{n}x{n}")),
            "Rotate Block": lambda: rotate() or click("Rotate Block"),
            "Clear Board": lambda: b.clear() or click("Clear Board"),
            "Undo Last": lambda: b.undo() or click("Undo Last"),
            "View": lambda: setattr(b, "turned", True) or drag("View", "ball", far(), far()),
            "Translate XY": lambda: drag("Translate XY", "pad", far(), far()),
            "Translate Z": lambda: drag("Translate Z", "pad", 0, rng.randint(-scale["far"] // 2, scale["far"])),  # near
            "Reset": lambda: setattr(b, "turned", False) or click("Reset")}


def both(sessions, act):  # act(session) on each session at once: their results, or the first failure raised
    with concurrent.futures.ThreadPoolExecutor(len(sessions)) as pool:
        return [f.result() for f in [pool.submit(act, s) for s in sessions]]


def check_start(s, view):
    """Where the window and its panel lie; in the view beside it, the sky black and, the camera looking at the
    plate's middle 2.46 from the eye with the whole window's aspect, the middle row the green plate 2.5 wide
    there, centred."""
    px, py, pw, ph = s.x.geometry(s.panel)
    assert (s.left, s.top, s.width, s.height, px + pw, py, pw, ph) == (200, 100, 800, 600, 1000, 100, PANEL_WIDTH, 600)
    width = s.width - PANEL_WIDTH
    assert view[:3 * width] == bytes(3 * width), f"{s.name}: the sky is not black"
    row = view[3 * width * (s.height // 2):][:3 * width]
    plate = [x for x in range(width) if row[3 * x + 1] > 60 and 2 * max(row[3 * x], row[3 * x + 2]) < row[3 * x + 1]]
    half = 1.25 / math.hypot(2.25, 1) / (s.width / s.height) * width / 2
    assert plate and abs(plate[0] - (width / 2 - half)) + abs(plate[-1] - (width / 2 + half)) < 4, \
        f"{s.name}: the plate's middle row from {plate[:1]} to {plate[-1:]}, not {width / 2 - half:.0f} to " \
        f"{width / 2 + half:.0f}"


def differ(a, b):  # how many pixels
    return sum(a[i:i + 3] != b[i:i + 3] for i in range(0, min(len(a), len(b)), 3)) + abs(len(a) - len(b)) // 3


def differential(seed, steps=0, load=False):
    """Every kind of input once in the seed's order (300 keys at once among them), then at random up to `steps`
    (2,000 keys at once, over 1,000 bricks, eyes pulled into them), played on the program with framebuffer objects
    and at once on the one without (each frame in full), its X server keeping what windows show. At each rest:
    each view and panel as drawn anew; the two views byte for byte, the panels too; the panels' values, "p" and
    all printed as the model has it, "v" alike; asleep after SLEEPS, first; at "q" status 0 (no leak). At the
    start, where the window, panel and view lie (check_start)."""
    rng, b, scale = random.Random(seed), Board(), {"burst": 300, "far": 60}
    kinds = inputs(b, rng, scale)
    first, history, seen = ["the start"] + rng.sample([k for k in kinds if k != "fill"], len(kinds) - 1), [], {}
    with XSession() as x, XSession("+bs") as y:
        sessions = Session(x), Session(y, IN_FULL, kept=True)
        if load:  # and the machine loaded: a core kept busy
            x.start([sys.executable, "-c", "while True: pass"])

        def finding(problem):
            raise AssertionError(f"step {len(history) - 1} ({history[-1][:300]}): {problem}\nseed {seed}, inputs:\n"
                                 + "".join(f"{n:5}: {w[:300]}\n" for n, w in enumerate(history))
                                 + f"replay: make diff-session SEED={seed} STEPS={len(history) - 1}")
        for n in range(max(steps + 1, len(first))):
            kind = first[n] if n < len(first) else rng.choices(list(kinds), [
                WEIGHTS.get(k, 1) if k != "fill" else 1 + 7 * (len(b.bricks) < 1000) for k in kinds])[0]
            what, act = kinds[kind]() if n else ("the start", None)
            history.append(what), print(f"{n:5}, {len(b.bricks)} bricks: {what[:100]}", flush=True)
            if n >= len(first):
                scale.update(burst=2000, far=300)
            if act:
                both(sessions, act)
            b.key("p"), b.key("v")
            lines = sum(5 if p is None else p.count("\n") for p in b.printed)
            got = both(sessions, lambda s: s.at_rest(lines, n < len(first) and kind in SLEEPS and what))
            for s, (view, panel, view2, panel2, out) in zip(sessions, got):
                if n == 0:
                    check_start(s, view)
                if (view, panel) != (view2, panel2):
                    finding(f"the {('view', 'panel')[view == view2]} {s.name} was stale: drawn anew (its window "
                            f"unmapped and mapped) it changed, {differ(view, view2) or differ(panel, panel2)} pixels")
                if not re.fullmatch("".join(TURNED if p is None else re.escape(p) for p in b.printed), out):
                    finding(f"the program {s.name} printed, ending\n{out[-1200:]}where the model prints\n"
                            + "".join(p or "(a turned view)\n" for p in b.printed)[-1200:]
                            + "(every key sent reached the window: xev)" * ("at once" in what) + s.app.err[-2000:])
            (view, panel, _, _, out), (view2, panel2, _, _, out2) = got
            if view != view2:
                finding(f"the views with framebuffer objects and drawn in full differ: {differ(view, view2)} pixels")
            if (panel, out) != (panel2, out2):
                finding("the two panels differ" if panel != panel2 else f"the two printed\n{out}\nand\n{out2}")
            for (name, number, part), value in b.shows().items():  # each value alike, and unlike the others
                x0, y0, w, h = LAYOUT[name, number][part]
                pixels = b"".join(panel[3 * (PANEL_WIDTH * (y0 + r) + x0):][:3 * w] for r in range(h))
                shown = [v for v, p in seen.items() if p == pixels]
                if seen.setdefault(value, pixels) != pixels or shown not in ([], [value]):
                    finding(f"the panel's {name}{' (Base)' * (number == 2)} shows "
                            f"{' or '.join(shown) or 'something else'}, the board has {value}")
            b.printed = []
        both(sessions, lambda s: s.x.key("q"))
        for s in sessions:
            if s.app.wait(60) or s.app.out[s.printed:]:
                finding(f"the program {s.name} ended with status {s.app.returncode}, printing "
                        f"{s.app.out[s.printed:]!r}:\n{s.app.err[-3000:]}")


if __name__ == "__main__":
    differential(*[int(a) for a in sys.argv[4:] if a != "--load"], load="--load" in sys.argv)
