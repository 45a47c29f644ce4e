"""What the storm, replay, leak and soak tests share: the program started under
a sanitizer's options, the panel's layout, the popup menu, and a strict reader
of everything the program prints."""
import ctypes
import glob
import os
import re
import subprocess
import sys
import threading

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "lib"))
from xsession import App, XSession, wait_for  # noqa: E402,F401

VERSION_LINE = "GLUI version: 2.30\n"
HELP_LINES = ["Table of contents:", "___________________", "Block Movement Controls:",
              "  W  ", " A D ", "  S  ", "Space : Place block", "p : Print Height Matrix",
              "v : Print View Matrix", "r : Reset the transformation matricies",
              "q : Exit the program"]
BOARD_SIZES = (10, 20, 30)
MENU_ENTRIES = ["Width", "Length", "Color", "Base Color", "Base Size", "Rotate", "Clear", "Undo"]
SUBMENU_ITEMS = {"Width": 4, "Length": 4, "Color": 3, "Base Color": 3, "Base Size": 3}

# Sanitizers: stop at the first error, and leaks checked at exit with the
# suppressions for the GL driver's own (see lsan.supp).
SANITIZER_ENV = {
    "ASAN_OPTIONS": "abort_on_error=0:halt_on_error=1:detect_leaks=1",
    "UBSAN_OPTIONS": "print_stacktrace=1:halt_on_error=1",
    "LSAN_OPTIONS": "suppressions=" + os.path.join(HERE, "lsan.supp") + ":print_suppressions=0",
}


def sanitizer_env(binary):
    """SANITIZER_ENV, and for a sanitized program the GL driver preloaded (after
    the sanitizer's runtime, which must come first): the driver is otherwise
    unloaded at exit, before LeakSanitizer names the frames of its leaks."""
    env = dict(SANITIZER_ENV)
    ldd = subprocess.run(["ldd", binary], stdout=subprocess.PIPE, text=True).stdout
    runtime = re.search(r"libasan\.so[.\d]* => (\S+)", ldd)
    if runtime:
        drivers = glob.glob("/usr/lib/*/dri/swrast_dri.so") + glob.glob("/usr/lib*/dri/swrast_dri.so")
        env["LD_PRELOAD"] = " ".join([runtime.group(1)] + drivers[:1])
    return env


class DrainedApp(App):
    """An App whose wait_exit also waits until its output pipes are read to
    the end: a report written just before exit is then in .out/.err."""

    def __init__(self, argv, env):
        before = set(threading.enumerate())
        super().__init__(argv, env)
        self._pumps = [t for t in threading.enumerate() if t not in before]

    def wait_exit(self, timeout=60.0):
        code = super().wait_exit(timeout)
        for t in self._pumps:
            t.join(timeout)
        return code


def start(x, argv, extra_env=None):
    app = DrainedApp(argv, {**x.env, **sanitizer_env(argv[0]), **(extra_env or {})})
    x.apps.append(app)
    return app


def read_layout(layout_binary):
    """{(kind, name, n): (x, y, w, h)} in panel pixels, and the panel's width."""
    out = subprocess.run([layout_binary], check=True, stdout=subprocess.PIPE, text=True).stdout
    controls, seen, width = {}, {}, None
    for line in out.splitlines():
        fields = line.split("|")
        if fields[0] == "width":
            width = int(fields[1])
            continue
        key = (fields[0], fields[1])
        seen[key] = seen.get(key, 0) + 1
        controls[key + (seen[key],)] = tuple(int(v) for v in fields[2:6])
    return controls, width


class Batch:
    """xdotool commands chained into one call: starting xdotool costs about as
    much as a dozen events, so a test builds a run of them and sends it at once."""

    def __init__(self, x):
        self.x, self.args = x, []

    def add(self, *args):
        self.args += [str(a) for a in args]
        return self

    def move(self, px, py, sync=False):
        """sync: until the pointer is there. xdotool's --sync waits for the
        pointer to move, so a pointer already there would stall it (for 15 s):
        a step one pixel aside first makes sure that it moves."""
        px, py = int(px), int(py)
        if sync:
            self.add("mousemove", px + 1 if px < 1000 else px - 1, py)
        return self.add("mousemove", *(["--sync"] if sync else []), px, py)

    def click(self, px, py, button=1):
        return self.move(px, py, sync=True).add("click", button)

    def keys(self, names, delay=0):
        return self.add("key", "--delay", delay, *names) if names else self

    def sleep(self, seconds):
        return self.add("sleep", f"{seconds:.3f}")

    def send(self):
        if self.args:
            self.x.xdotool(*self.args)
        self.args = []


class Pointer:
    """Which top-level window is under the pointer: XQueryPointer on a
    connection of our own, far quicker than starting xdotool or xwininfo."""

    def __init__(self, display):
        x11 = self.x11 = ctypes.CDLL("libX11.so.6")
        x11.XOpenDisplay.restype = ctypes.c_void_p
        x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x11.XDefaultRootWindow.restype = ctypes.c_ulong
        x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        u, i = ctypes.c_ulong, ctypes.c_int
        x11.XQueryPointer.argtypes = [ctypes.c_void_p, u, ctypes.POINTER(u), ctypes.POINTER(u),
                                      ctypes.POINTER(i), ctypes.POINTER(i), ctypes.POINTER(i),
                                      ctypes.POINTER(i), ctypes.POINTER(ctypes.c_uint)]
        x11.XTranslateCoordinates.argtypes = [ctypes.c_void_p, u, u, i, i, ctypes.POINTER(i),
                                              ctypes.POINTER(i), ctypes.POINTER(u)]
        self.dpy = x11.XOpenDisplay(display.encode())
        if not self.dpy:
            raise RuntimeError("cannot open display " + display)
        self.root = x11.XDefaultRootWindow(self.dpy)

    def window_at(self, px, py):
        """The top-level window at a screen point, wherever the pointer is."""
        u, i = ctypes.c_ulong, ctypes.c_int
        dx, dy, child = i(), i(), u()
        self.x11.XTranslateCoordinates(self.dpy, self.root, self.root, px, py, ctypes.byref(dx),
                                       ctypes.byref(dy), ctypes.byref(child))
        return child.value

    def window(self):
        u, i = ctypes.c_ulong, ctypes.c_int
        root, child, rx, ry, wx, wy, mask = u(), u(), i(), i(), i(), i(), ctypes.c_uint()
        self.x11.XQueryPointer(self.dpy, self.root, ctypes.byref(root), ctypes.byref(child),
                               ctypes.byref(rx), ctypes.byref(ry), ctypes.byref(wx),
                               ctypes.byref(wy), ctypes.byref(mask))
        return child.value


class Program:
    """The started program and where things are on the screen."""

    def __init__(self, x, app, layout, panel_width):
        self.x, self.app, self.layout = x, app, layout
        try:
            self.win = int(x.wait_window("PLOK Time", timeout=120))
            app.wait_output(lambda out: out.endswith("\n"), timeout=120, what="the version line")
        except AssertionError as e:
            raise AssertionError(f"{e}; the program's status: {app.proc.poll()}, stdout "
                                 f"{app.out[-500:]!r}, stderr {app.err[-3000:]!r}") from None
        self.pointer = Pointer(x.env["DISPLAY"])
        self.left, self.top, self.width, self.height = x.geometry(self.win)
        self.panel = wait_for(lambda: x.children(self.win), timeout=120, what="the panel")[0]
        wait_for(lambda: x.geometry(self.panel)[2] >= panel_width, timeout=120,
                 what="the panel's width")

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

    # ---- The popup menu: freeglut maps it as an override-redirect window at
    # the pointer when the right button goes down over the 3-D view; a submenu
    # opens to the right of its entry while the pointer rests on the entry.

    def menu_under_pointer(self, other_than=()):
        """The menu window under the pointer (a top-level window that is not
        the program's), or 0."""
        w = self.pointer.window()
        return w if w not in (0, self.win, *other_than) else 0

    def open_menu(self, at, timeout=30):
        """Opens the menu at a screen point; returns (window, geometry)."""
        self.menus_gone(at, timeout)
        Batch(self.x).move(*at, sync=True).add("mousedown", 3, "mouseup", 3).send()
        menu = wait_for(self.menu_under_pointer, timeout, what="the popup menu")
        return menu, self.x.geometry(menu)

    @staticmethod
    def entry_point(geometry, index, entries):
        x, y, w, h = geometry
        step = h / entries
        return x + min(30, w // 2), y + int(step * index + step / 2)

    def choose(self, at, entry, item=None, away=None, timeout=30):
        """Opens the menu at `at` and picks `entry` (its item'th item, from 0,
        for a submenu); then puts the pointer at `away`. Raises
        AssertionError when a menu does not come, with every menu closed."""
        try:
            menu, geometry = self.open_menu(at, timeout)
            point = self.entry_point(geometry, MENU_ENTRIES.index(entry), len(MENU_ENTRIES))
            if item is not None:
                # Rest on the entry until its submenu is there, on the right.
                Batch(self.x).move(*point, sync=True).send()
                right = (geometry[0] + geometry[2] + 4, point[1])
                sub = wait_for(lambda: self.pointer.window_at(*right) not in (0, self.win, menu)
                               and self.pointer.window_at(*right), timeout,
                               what=f"the {entry} submenu")
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
        """Waits until no menu covers a point of the 3-D view."""
        wait_for(lambda: self.pointer.window_at(*point) in (0, self.win), timeout,
                 what="the menus to close")

    def close_menus(self, at):
        """A left click on the 3-D view closes an open menu."""
        Batch(self.x).click(*at).sleep(0.2).send()


# ---- What the program prints ---------------------------------------------------

NUMBER = r"-?(?:\d+\.?\d*|\.\d+)(?:e[+-]?\d+)?|-?inf|-?nan"
VIEW_ROW = re.compile(rf"(?:(?:{NUMBER}) ){{4}}")


class OutputError(AssertionError):
    pass


def parse_reports(out, complete=True):
    """Splits everything the program printed into its reports, checking each
    strictly: the version line first, then help texts, view matrices (a
    rotation: orthonormal, no translation) and height matrices of a board's
    rows. Returns [(kind, value)]; raises OutputError at anything else.
    complete=False: a last report still being written is left out."""
    if not out.startswith(VERSION_LINE):
        raise OutputError(f"does not start with the version line: {out[:80]!r}")
    lines = out[len(VERSION_LINE):].split("\n")
    tail = lines.pop()   # after the last newline
    if tail and complete:
        raise OutputError(f"an unfinished line at the end: {tail!r}")
    reports, i = [], 0

    def fail(why):
        context = "\n".join(lines[max(0, i - 3):i + 5])
        raise OutputError(f"{why} at line {i + 2} of the output:\n{context}")

    while i < len(lines):
        line = lines[i]
        if line == HELP_LINES[0]:
            if len(lines) - i < len(HELP_LINES) and not complete:
                break
            if lines[i:i + len(HELP_LINES)] != HELP_LINES:
                fail("a broken help text")
            reports.append(("help", None))
            i += len(HELP_LINES)
        elif line == "":
            if len(lines) - i < 5 and not complete:
                break
            rows = lines[i + 1:i + 5]
            if len(rows) < 4 or not all(VIEW_ROW.fullmatch(r) for r in rows):
                fail("a broken view matrix")
            m = [[float(v) for v in r.split()] for r in rows]
            check_rotation(m, fail)
            reports.append(("view", m))
            i += 5
        elif re.fullmatch(r"(?: \d+)+", line):
            n = len(line.split())
            if n not in BOARD_SIZES:
                fail(f"a height row of {n} cells")
            if len(lines) - i < n and not complete:
                break
            rows = lines[i:i + n]
            if len(rows) < n or not all(re.fullmatch(r"(?: \d+)+", r) and len(r.split()) == n
                                        for r in rows):
                fail(f"a broken {n}x{n} height matrix")
            reports.append(("heights", [[int(v) for v in r.split()] for r in rows]))
            i += n
        else:
            fail("an unexpected line")
    return reports


def check_rotation(m, fail):
    """The printed matrix is row i = elements 4i..4i+3 of a column-major rotation."""
    cols = [[m[c][r] for r in range(3)] for c in range(3)]
    for a in range(3):
        for b in range(3):
            dot = sum(cols[a][k] * cols[b][k] for k in range(3))
            if abs(dot - (1.0 if a == b else 0.0)) > 2e-3:
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
