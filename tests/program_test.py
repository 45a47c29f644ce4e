#!/usr/bin/env python3
"""The program as a person uses it, under a virtual X server of its own: every
key, panel control and popup menu entry, judged by what it prints and shows.

    program_test.py PLOK_TIME PANEL_LAYOUT [TEST...]        the end-to-end test
    program_test.py PLOK_TIME PANEL_LAYOUT --storm SEED SECONDS
"""
import glob
import math
import os
import random
import re
import subprocess
import tempfile
import sys
import threading
import time
import unittest

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
RED, GREEN, BLUE = 0, 1, 2
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


def grid(n, *bricks):
    """The height report of an n by n board with (row, column, width, length) bricks dropped in order."""
    rows = [[0] * n for _ in range(n)]
    for z, x, w, ln in bricks:
        top = 1 + max(rows[r][c] for r in range(z, z + w) for c in range(x, x + ln))
        for r in range(z, z + w):
            rows[r][x:x + ln] = [top] * ln
    return "".join("".join(f" {h}" for h in row) + "\n" for row in rows)


def count(shot, channel):  # pixels of a colour: that channel bright and well above the other two
    px = [shot[i::3][::2] for i in range(3)]
    return sum(1 for p in zip(*px) if p[channel] > 60 and 2 * max(p[:channel] + p[channel + 1:], default=0)
               < p[channel])


class Session:  # the program started in an XSession, with its window, panel and view

    def __init__(self, x, env=None):
        self.swaps_file = os.path.join(tempfile.mkdtemp(), "swaps")
        self.kept = False  # whether the X server keeps what the program's windows show
        self.x, self.app = x, x.start([BINARY], dict(program_env(self.swaps_file), **(env or {})))
        self.win = x.window("PLOK Time", self.app)
        wait_for(lambda: self.app.out.endswith("\n"), what="the version line")
        self.left, self.top, self.width, self.height = x.geometry(self.win)
        self.panel = wait_for(lambda: x.children(self.win), what="the panel")[0]
        wait_for(lambda: x.geometry(self.panel)[2] == PANEL_WIDTH, what="the panel's width")
        self.view = (self.left + 250, self.top + 300)
        self.over_view()

    over_view = lambda self: self.x.move(*self.view)  # noqa: E731

    def wait(self, cond, what, timeout=30):
        try:
            return wait_for(cond, timeout, what)
        except AssertionError as e:  # with what the program printed
            raise AssertionError(f"{e}\n--- stdout ends:\n{self.app.out[-300:]}\n--- stderr:\n{self.app.err[-3000:]}")

    def report(self, keys, lines):
        """What keys typed over the view print, once `lines` lines have come."""
        start = len(self.app.out)
        self.x.key(*keys)
        return self.wait(lambda: self.app.out[start:].count("\n") >= lines and self.app.out[start:],
                         f"{lines} lines after {keys}")

    def point(self, name, part="rect", n=1, fx=0.5, fy=0.5):
        x, y, w, h = LAYOUT[name, n][part]
        px, py = self.x.geometry(self.panel)[:2]
        return px + x + int(w * fx), py + y + int(h * fy)

    def click(self, name, part="rect", n=1, item=None):  # a control's part, or a list's item; then back to the view
        self.x.click(*self.point(name, part, n))
        if item:
            self.x.click(*self.point(name, "item:" + item, n))
        self.over_view()

    def menu(self, entry, item=None):
        steps = [(MENU.index(entry), len(MENU))] + ([(item, SUBMENU[entry])] if item is not None else [])
        self.x.choose(*self.view, *steps)
        self.over_view()

    def counts(self):  # {window: frames shown}, the view's and the panel's
        try:
            with open(self.swaps_file) as f:
                lines = f.read().split()[1:]
        except FileNotFoundError:
            lines = []
        return {int(w, 16): int(n) for w, n in zip(lines[::2], lines[1::2])}

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
        return self.counts(), switches, cpu

    def quiet(self, what, seconds):  # once nothing has happened for `seconds` (sanitizers, a software GL: slow)
        seen = [None, 0.0]

        def long_enough():
            now = self.activity()
            if now != seen[0]:
                seen[:] = now, time.monotonic()
            return time.monotonic() - seen[1] >= seconds
        self.wait(long_enough, f"the program at rest after {what}", 60)

    def still(self):  # the view at rest: while the program works, its main thread wakes far oftener
        self.quiet("the last input", 0.3)
        return self.shot()

    def rest(self, what):
        """At rest the program sleeps: once it has been quiet for a second, the next two seconds bring
        no frame of the view or the panel, and its main thread neither wakes nor runs."""
        self.quiet(what, 1)
        before = self.activity()
        time.sleep(2)
        assert self.activity() == before, f"after {what}, at rest: {before} then {self.activity()}"

    def shows(self, cond, what):  # the first picture of the view for which cond holds
        return self.wait(lambda: cond(p := self.shot()) and p, what)


class Program(unittest.TestCase):
    def setUp(self):
        self.x = XSession().__enter__()
        self.addCleanup(self.x.__exit__)
        self.s = Session(self.x)

    def assertHeights(self, expected, size=10):
        self.assertEqual(self.s.report(["p"], size), expected)

    def test_keys_and_popup_menu(self):
        s = self.s
        self.assertEqual((self.s.left, s.top, s.width, s.height), (200, 100, 800, 600))
        px, py, pw, ph = self.x.geometry(s.panel)
        self.assertEqual((px + pw, py, pw, ph), (1000, 100, PANEL_WIDTH, 600))
        # The view fills what the panel leaves, on black, with the whole window's aspect: the
        # camera looks at the plate's middle, 2.46 from the eye, so the middle row shows the plate
        # 2.5 wide there, centred.
        shot, view = s.still(), s.width - PANEL_WIDTH
        self.assertEqual(shot[:3 * view], bytes(3 * view), "the sky is not black")
        row = shot[3 * view * (s.height // 2):][:3 * view]
        plate = [x for x in range(view) if row[3 * x + 1] > 60 and 2 * max(row[3 * x], row[3 * x + 2]) < row[3 * x + 1]]
        half = 1.25 / math.hypot(2.25, 1) / (s.width / s.height) * view / 2
        self.assertLess(abs(plate[0] - (view / 2 - half)) + abs(plate[-1] - (view / 2 + half)), 4, (plate[0], plate[-1]))
        self.assertEqual(s.report(["h"], 11) + s.report(["H"], 11), HELP + HELP)
        self.assertEqual(s.report(["v"], 5), IDENTITY)
        self.assertHeights(grid(10))
        # Upper-case moves and unknown keys do nothing; moves stop at every edge.
        self.x.key("space", "w", "d", "space", "W", "A", "S", "D", "P", "V", "Escape")
        self.assertHeights(grid(10, (0, 0, 2, 2), (1, 1, 2, 2)))
        self.x.key(*["a", "s"] * 3, "space", *["d", "w"] * 10, "space")
        self.assertHeights(grid(10, (0, 0, 2, 2), (1, 1, 2, 2), (0, 0, 2, 2), (8, 8, 2, 2)))
        # Every footprint from the menu, one brick each, from the corner back.
        s.menu("Clear")
        self.assertHeights(grid(10))
        self.x.key(*["a", "s"] * 10)
        for w, ln in ((1, 4), (2, 3), (3, 2), (4, 1)):
            s.menu("Width", w - 1)
            s.menu("Length", ln - 1)
            self.x.key("space", *["w"] * w)
        s.menu("Rotate")  # 4 by 1 becomes 1 by 4
        self.x.key("space", "space")
        s.menu("Undo")
        bricks = [(0, 0, 1, 4), (1, 0, 2, 3), (3, 0, 3, 2), (6, 0, 4, 1), (6, 0, 1, 4)]
        self.assertHeights(grid(10, *bricks))
        s.menu("Base Size", 2)
        self.assertHeights(grid(30, *bricks), 30)
        s.menu("Base Size", 1)
        self.assertHeights(grid(20, *bricks), 20)

        # Colours: the plate fills most of the view; a new brick adds its colour.
        self.x.key(*["d"] * 4)
        for item, color in enumerate((RED, BLUE, GREEN)):
            base = (BLUE, GREEN, RED)[item]
            s.menu("Base Color", (item + 1) % 3)
            s.shows(lambda p: count(p, base) > 15000, f"the plate in colour {base}")
            s.menu("Color", item)
            before = count(s.still(), color)
            self.x.key("space", *["d"] * 4)
            shot = s.shows(lambda p: count(p, color) > before + 300, f"a brick in colour {color}")
        # The green brick shows its studs over its box: more than one shade.
        shades = {shot[i:i + 3] for i in range(0, len(shot), 3)}
        self.assertGreater(len([c for c in shades if c[1] > 2 * max(c[0], c[2]) + 20]), 2)

        s.menu("Clear")
        self.assertHeights(grid(20), 20)
        self.x.key("q")
        self.assertEqual(s.app.wait(60), 0)

    def test_panel(self):
        s = self.s
        s.click("Size:", "box", item="20x20")  # each click counts before the keys after it
        s.click("Width:", "up")      # 3
        s.click("Length:", "down")   # 1
        s.click("Rotate Block")      # width 1, length 3
        self.x.key("space", "w")
        # Typed values are clamped; a quick drag on an arrow steps by the pixels dragged.
        s.click("Length:", "field")
        self.x.key("2", "5", "Return")
        x, y = s.point("Width:", "up")
        self.x.drag(x, y, x, y - 16)  # a step on the press, then one each 4 px: width 1 + 1 + 4
        s.over_view(), self.x.key("space")
        self.assertHeights(grid(20, (0, 0, 1, 3), (1, 0, 6, 10)), 20)
        s.click("Undo Last"), s.click("Undo Last")
        self.assertHeights(grid(20), 20)
        s.click("Width:", "field")   # opened, nothing typed: a change elsewhere wins
        s.menu("Rotate")
        self.x.click(*s.view), self.x.key("space")
        self.assertHeights(grid(20, (1, 0, 10, 6)), 20)
        s.x.move(*s.point("Width:", "down"))  # held, an arrow repeats: down from 10 to 1
        self.x.xdotool("mousedown", 1, "sleep", 2, "mouseup", 1)
        s.over_view(), self.x.key("space")
        self.assertHeights(grid(20, (1, 0, 10, 6), (1, 0, 1, 6)), 20)
        s.click("Clear Board")
        self.assertHeights(grid(20), 20)

        # The colour lists, the ball and the pads, all seen in the view.
        s.click("Color:", "box", 2, "Blue"), s.click("Color:", "box", item="Red")
        s.shows(lambda p: count(p, BLUE) > 15000, "a blue plate")
        before = count(s.still(), RED)
        self.x.key("space")
        start = s.shows(lambda p: count(p, RED) > before + 300, "a red brick")
        for name, part in (("View", "ball"), ("Translate XY", "pad"), ("Translate Z", "pad")):
            x, y = s.point(name, part)
            self.x.drag(x, y, x + 30, y + 10), s.over_view()
            s.shows(lambda p: p != start, f"the view moved by {name}")
            s.click("Reset")
            s.shows(lambda p: p == start, "the view back after Reset")
        s.click("Quit")
        self.assertEqual(s.app.wait(60), 0)

    def test_sleeps_at_rest_and_wakes_for_every_input(self):
        """With framebuffer objects; and at the same time without them, on an X server that keeps
        what windows show, so that a change which asks for no frame of its own stays unseen."""
        other = XSession("+bs").__enter__()
        self.addCleanup(other.__exit__)
        in_full, failed = Session(other, IN_FULL), []
        other.keep_pixels(in_full.win, in_full.panel)
        in_full.kept = True

        def run(s):
            try:
                sleeps_and_wakes(s)
            except BaseException as e:  # noqa: B902
                failed.append(e)
        threads = [threading.Thread(target=run, args=(s,)) for s in (self.s, in_full)]
        [t.start() for t in threads], [t.join() for t in threads]
        if failed:
            raise failed[0]

    def test_turned_view_at_rest_is_the_frame_drawn_in_full(self):
        """While the view turns, frames may be quick; at rest the picture is the one a GL without
        framebuffer objects draws, every frame in full."""
        def turned(s):
            s.menu("Base Size", 2)
            self.x.key("space", "d", "d", "w", "space", "space")
            x, y = s.point("View", "ball")
            self.x.drag(x, y, x + 30, y + 12), s.over_view()
            return s.report(["v"], 5), s.still()
        view, picture = turned(self.s)
        self.x.key("q")
        self.assertEqual(self.s.app.wait(60), 0)
        in_full = Session(self.x, IN_FULL)
        again, drawn = turned(in_full)
        self.assertEqual((again, view != IDENTITY), (view, True))
        self.assertTrue(drawn == picture, f"{sum(a != b for a, b in zip(drawn, picture))} values differ")


def sleeps_and_wakes(s):
    """Nothing asks for a frame at rest, whatever came before; every kind of input still shows at once."""
    x, (bx, by), hidden = s.x, s.point("View", "ball"), []
    s.rest("the start")
    start = s.shot()
    s.menu("Base Color", 2)  # the colour it has: the frame it asks for shows what was shown
    s.rest("a menu choice")
    assert s.shot() == start, "the picture at rest after the start is not the one every later frame draws"
    for what, act in (
            ("a key", lambda: x.key("d")),
            ("a drag on the View ball", lambda: (x.drag(bx, by, bx + 20, by + 8), s.over_view())),
            ("the popup menu dismissed", lambda: (x.click(*s.view, 3), s.wait(x.menus, "a menu"),
                                                  x.click(s.left + 20, s.top + 20),
                                                  s.wait(lambda: not x.menus(), "no menu"), s.over_view())),
            ("a spinner arrow held", lambda: (x.move(*s.point("Length:", "up")),
                                              x.xdotool("mousedown", 1, "sleep", 0.6, "mouseup", 1), s.over_view())),
            ("a text field", lambda: (s.click("Width:", "field"), x.key("1", "Return"))),
            ("the window hidden, a key sent to it", lambda: (hidden.append(s.shot()),
                                                             x.xdotool("windowunmap", "--sync", s.win),
                                                             x.xdotool("key", "--window", s.win, "a"))),
            ("the window shown again", lambda: (x.xdotool("windowmap", "--sync", s.win),
                                                s.shows(lambda p: p != hidden[0], "the key's move")))):
        act()
        s.rest(what)
    # A key, a panel button and a menu entry show at once, and so does the panel.
    before = s.shot()
    x.key("space")
    s.shows(lambda p: p != before, "a brick")
    s.click("Undo Last")
    s.shows(lambda p: p == before, "the view without the brick")
    panel = s.still() and s.panel_shot()
    s.menu("Width", 3)
    s.wait(lambda: s.panel_shot() != panel, "the panel showing width 4")
    s.menu("Base Color", 0)
    s.shows(lambda p: count(p, RED) > 5000, "the plate red, round a large cursor")
    red, panel = s.still(), s.panel_shot()
    x.move(*s.point("Undo Last"))
    s.wait(lambda: s.panel_shot() != panel, "the button under the pointer")
    # GLUT's own redisplays: a resize, and another window over the view taken away.
    x.xdotool("windowsize", "--sync", s.win, 900, 700)
    s.shows(lambda p: p != red, "the view in a larger window")
    x.xdotool("windowsize", "--sync", s.win, 800, 600)
    s.shows(lambda p: p == red, "the view back in its size")
    cover = x.start(["xmessage", "-geometry", f"300x200+{s.left + 300}+{s.top + 50}", "over the view"])
    x.window("xmessage", cover)
    if not s.kept:  # where the server keeps the view's pixels, they read as before
        s.shows(lambda p: p != red, "another window over the view")
    cover.kill()
    s.shows(lambda p: p == red, "the view's pixels back")


def storm(seed, seconds):
    """Random keys, clicks, drags, menu choices and resizes for `seconds`: every report
    must be well formed, and "q" must end the program with status 0 (and no leak)."""
    rng, keys = random.Random(seed), list("wasdpvrhWASD5") + ["space", "Return", "BackSpace", "Escape", "F1"]
    with XSession() as x:
        s, deadline = Session(x), time.monotonic() + seconds
        while time.monotonic() < deadline:
            act = rng.random()
            if act < 0.35:
                x.key(*[rng.choice(keys) for _ in range(rng.randint(1, 10))])
            elif act < 0.65:
                name, n = rng.choice([k for k in LAYOUT if k[0] != "Quit"])
                part = rng.choice(list(LAYOUT[name, n]))
                if part.startswith("item:"):
                    x.click(*s.point(name, "box", n))
                x0, y0 = s.point(name, part, n, rng.random(), rng.random())
                x.drag(x0, y0, x0 + rng.randint(-40, 40), y0 + rng.randint(-40, 40))
            elif act < 0.8:
                entry = rng.choice(MENU)
                s.menu(entry, rng.randrange(SUBMENU[entry]) if entry in SUBMENU else None)
            elif act < 0.9:
                x.xdotool("windowsize", s.win, rng.randint(500, 1000), rng.randint(400, 800))
            else:
                x.click(rng.randint(s.left, s.left + 300), rng.randint(s.top, s.top + 500))
            s.over_view()
        x.xdotool("windowsize", s.win, 800, 600), x.key("Escape", "p", "q")
        status, lines = s.app.wait(60), s.app.out.split("\n")
        bad = [ln for ln in lines[1:] if ln not in HELP.split("\n") + [""] and not re.fullmatch(
            r"( \d+){10}|( \d+){20}|( \d+){30}|(-?\d\S* ){4}", ln)]
        assert status == 0 and not bad and lines[0] + "\n" == VERSION, (status, bad[:5], s.app.err[-3000:])


if __name__ == "__main__":
    if "--storm" in sys.argv:
        storm(int(sys.argv[4]), float(sys.argv[5]))
    else:
        unittest.main(argv=sys.argv[:1] + sys.argv[3:], verbosity=2)
