"""What the stress tests share: the program started under the sanitizers' options,
where things are on the screen, the popup menu, and a strict reader of its output."""
import argparse
import ctypes
import glob
import os
import re
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "lib"))
from xsession import Batch, XSession, read_layout, wait_for  # noqa: E402,F401

VERSION_LINE = "GLUI version: 2.30\n"
HELP_LINES = ["Table of contents:", "___________________", "Block Movement Controls:",
              "  W  ", " A D ", "  S  ", "Space : Place block", "p : Print Height Matrix",
              "v : Print View Matrix", "r : Reset the transformation matricies",
              "q : Exit the program"]
BOARD_SIZES = (10, 20, 30)
MENU_ENTRIES = ["Width", "Length", "Color", "Base Color", "Base Size", "Rotate", "Clear", "Undo"]
SUBMENU_ITEMS = {"Width": 4, "Length": 4, "Color": 3, "Base Color": 3, "Base Size": 3}

X11 = ctypes.CDLL("libX11.so.6")
X11.XOpenDisplay.restype, X11.XOpenDisplay.argtypes = ctypes.c_void_p, [ctypes.c_char_p]
X11.XDefaultRootWindow.restype, X11.XDefaultRootWindow.argtypes = ctypes.c_ulong, [ctypes.c_void_p]
_u, _i = ctypes.c_ulong, ctypes.c_int
X11.XTranslateCoordinates.argtypes = [ctypes.c_void_p, _u, _u, _i, _i, ctypes.POINTER(_i),
                                      ctypes.POINTER(_i), ctypes.POINTER(_u)]
X11.XKeysymToString.restype, X11.XKeysymToString.argtypes = ctypes.c_char_p, [_u]


def arguments(*names, **options):
    """The positional arguments, and --options: an int default, or False for a flag."""
    ap = argparse.ArgumentParser()
    for name in names:
        ap.add_argument(name)
    for name, default in options.items():
        ap.add_argument("--" + name, **({"action": "store_true"} if default is False
                                        else {"type": int, "default": default}))
    return ap.parse_args()


def sanitizer_env(binary):
    """Stop at the first error; leaks checked at exit, minus the GL driver's own
    (lsan.supp). A sanitized program gets the driver preloaded after the sanitizer's
    runtime: it is otherwise unloaded before LeakSanitizer names its frames."""
    env = {"ASAN_OPTIONS": "abort_on_error=0:halt_on_error=1:detect_leaks=1",
           "UBSAN_OPTIONS": "print_stacktrace=1:halt_on_error=1",
           "LSAN_OPTIONS": f"suppressions={HERE}/lsan.supp:print_suppressions=0"}
    ldd = subprocess.run(["ldd", binary], stdout=subprocess.PIPE, text=True).stdout
    runtime = re.search(r"libasan\.so[.\d]* => (\S+)", ldd)
    if runtime:
        drivers = glob.glob("/usr/lib/*/dri/swrast_dri.so") + glob.glob("/usr/lib*/dri/swrast_dri.so")
        env["LD_PRELOAD"] = " ".join([runtime.group(1)] + drivers[:1])
    return env


class Program:
    """The program started in an XSession, and where things are on the screen."""

    def __init__(self, x, binary, layout_binary, extra_env=None):
        self.layout, panel_width = read_layout(layout_binary)
        self.x = x
        self.app = app = x.start([binary], {**sanitizer_env(binary), **(extra_env or {})})
        try:
            self.win = int(x.wait_window("PLOK Time", app, timeout=120))
            app.wait_output(lambda out: out.endswith("\n"), timeout=120, what="the version line")
        except AssertionError as e:
            raise AssertionError(f"{e}; the program's status: {app.proc.poll()}, stdout "
                                 f"{app.out[-500:]!r}, stderr {app.err[-3000:]!r}") from None
        self.dpy = X11.XOpenDisplay(x.env["DISPLAY"].encode())
        assert self.dpy, "cannot open the display"
        self.root = X11.XDefaultRootWindow(self.dpy)
        self.left, self.top, self.width, self.height = x.geometry(self.win)
        self.panel = wait_for(lambda: x.children(self.win), timeout=120, what="the panel")[0]
        wait_for(lambda: x.geometry(self.panel)[2] >= panel_width, timeout=120,
                 what="the panel's width")

    def window_at(self, px, py):
        """The top-level window at a screen point: far quicker than xdotool or xwininfo."""
        dx, dy, child = _i(), _i(), _u()
        X11.XTranslateCoordinates(self.dpy, self.root, self.root, px, py, ctypes.byref(dx),
                                  ctypes.byref(dy), ctypes.byref(child))
        return child.value

    def panel_origin(self):
        return self.x.geometry(self.panel)[:2]

    def control_point(self, key, fx=0.5, fy=0.5):
        x, y, w, h = self.layout[key]
        px, py = self.panel_origin()
        return px + x + int(w * fx), py + y + int(h * fy)

    def view_point(self, fx=0.3, fy=0.5):
        """A point of the 3-D view, as fractions of its width and height."""
        view_w = self.width - self.x.geometry(self.panel)[2]
        return self.left + int(view_w * fx), self.top + int(self.height * fy)

    def await_report(self, send, what, kind=None, timeout=60):
        """Calls send(), then waits for a new last report (of `kind`) and returns it."""
        before = len(parse_reports(self.app.out, complete=False))
        send()

        def new():
            reports = parse_reports(self.app.out, complete=False)
            return len(reports) > before and kind in (None, reports[-1][0]) and reports[-1]
        return wait_for(new, timeout, what)

    # The popup menu: freeglut maps it at the pointer when the right button goes down over
    # the 3-D view; a submenu opens to the right of an entry while the pointer rests on it.

    def open_menu(self, at, timeout=30):
        """Opens the menu at a screen point; returns (window, geometry)."""
        self.menus_gone(at, timeout)
        Batch(self.x).move(*at, sync=True).add("mousedown", 3, "mouseup", 3).send()
        menu = wait_for(lambda: self.window_at(*at) not in (0, self.win) and self.window_at(*at),
                        timeout, what="the popup menu")
        return menu, self.x.geometry(menu)

    @staticmethod
    def entry_point(geometry, index, entries):
        x, y, w, h = geometry
        step = h / entries
        return x + min(30, w // 2), y + int(step * index + step / 2)

    def choose(self, at, entry, item=None, away=None, timeout=30):
        """Opens the menu at `at`, picks `entry` (its item'th item, for a submenu)
        and puts the pointer at `away`. A menu that does not come raises
        AssertionError, with every menu closed."""
        try:
            menu, geometry = self.open_menu(at, timeout)
            point = self.entry_point(geometry, MENU_ENTRIES.index(entry), len(MENU_ENTRIES))
            if item is not None:
                Batch(self.x).move(*point, sync=True).send()
                right = (geometry[0] + geometry[2] + 4, point[1])
                sub = wait_for(lambda: self.window_at(*right) not in (0, self.win, menu)
                               and self.window_at(*right), timeout, what=f"the {entry} submenu")
                point = self.entry_point(self.x.geometry(sub), item, SUBMENU_ITEMS[entry])
            b = Batch(self.x).click(*point)
        except AssertionError:
            self.close_menus(away or at)
            raise
        b.send()
        self.menus_gone(point, timeout)   # and so the choice is made
        if away:
            Batch(self.x).move(*away, sync=True).send()

    def menus_gone(self, point, timeout):
        wait_for(lambda: self.window_at(*point) in (0, self.win), timeout,
                 what="the menus to close")

    def close_menus(self, at):
        """A left click on the 3-D view closes an open menu."""
        Batch(self.x).click(*at).sleep(0.2).send()


NUMBER = r"-?(?:\d+\.?\d*|\.\d+)(?:e[+-]?\d+)?|-?inf|-?nan"
VIEW_ROW = re.compile(rf"(?:(?:{NUMBER}) ){{4}}")
HEIGHT_ROW = re.compile(r"(?: \d+)+")


def parse_reports(out, complete=True):
    """[(kind, value)] of everything printed after the version line: help texts,
    view matrices (rotations) and height matrices, each checked strictly; raises
    AssertionError at anything else. complete=False leaves out a report still being
    written."""
    if not out.startswith(VERSION_LINE):
        raise AssertionError(f"does not start with the version line: {out[:80]!r}")
    lines = out[len(VERSION_LINE):].split("\n")
    tail = lines.pop()   # after the last newline
    if tail and complete:
        raise AssertionError(f"an unfinished line at the end: {tail!r}")
    reports, i = [], 0

    def fail(why):
        context = "\n".join(lines[max(0, i - 3):i + 5])
        raise AssertionError(f"{why} at line {i + 2} of the output:\n{context}")

    while i < len(lines):
        line = lines[i]
        kind = ("help" if line == HELP_LINES[0] else "view" if line == "" else
                "heights" if HEIGHT_ROW.fullmatch(line) else fail("an unexpected line"))
        n = {"help": len(HELP_LINES), "view": 5}.get(kind) or len(line.split())
        if kind == "heights" and n not in BOARD_SIZES:
            fail(f"a height row of {n} cells")
        if len(lines) - i < n and not complete:
            break
        rows = lines[i:i + n]
        if kind == "help" and rows != HELP_LINES:
            fail("a broken help text")
        if kind == "view" and (len(rows) < 5 or not all(VIEW_ROW.fullmatch(r) for r in rows[1:])):
            fail("a broken view matrix")
        if kind == "heights" and (len(rows) < n or not all(
                HEIGHT_ROW.fullmatch(r) and len(r.split()) == n for r in rows)):
            fail(f"a broken {n}x{n} height matrix")
        value = None if kind == "help" else [[(float if kind == "view" else int)(v) for v in r.split()]
                                             for r in rows[kind == "view":]]
        if kind == "view":
            check_rotation(value, fail)
        reports.append((kind, value))
        i += n
    return reports


def check_rotation(m, fail):
    """The printed matrix is row i = elements 4i..4i+3 of a column-major rotation."""
    cols = [[m[c][r] for r in range(3)] for c in range(3)]
    if any(abs(sum(cols[a][k] * cols[b][k] for k in range(3)) - (a == b)) > 2e-3
           for a in range(3) for b in range(3)):
        fail("a view matrix that is not a rotation")
    if any(abs(m[c][3]) > 1e-6 for c in range(3)) or any(abs(v) > 1e-6 for v in m[3][:3]) \
            or m[3][3] != 1.0:
        fail("a view matrix with a shift")


def sanitizer_report(err):
    """The first lines of a sanitizer's report on stderr, or None."""
    for marker in ("ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "runtime error:",
                   "SUMMARY: "):
        k = err.find(marker)
        if k >= 0:
            return err[max(0, err.rfind("\n", 0, k)):][:6000]
    return None
