"""A virtual X server of a test's own, and programs driven in it with xdotool.
Every wait polls a condition with a deadline; nothing waits a fixed time.

    python3 tests/x.py CMD [ARGS...]     runs a command on a fresh Xvfb
"""
import ctypes
import os
import re
import subprocess
import sys
import tempfile
import time


def wait_for(cond, timeout=60.0, what="condition"):
    deadline = time.monotonic() + timeout
    while not (value := cond()):
        if time.monotonic() > deadline:
            raise AssertionError(f"timed out waiting for {what}")
        time.sleep(0.03)
    return value


def panel_layout(binary):
    """Where the program's panel puts its controls, as the panel_layout program
    prints it: ({(name, n): {part: (x, y, w, h)}} for the n'th control of that
    name, and the panel's width)."""
    layout, out = {}, subprocess.run([binary], check=True, capture_output=True, text=True).stdout
    for line in out.splitlines()[1:]:
        name = re.match(r'\s*\w+ "([^"]*)"', line)[1]
        layout[name, 1 + sum(k[0] == name for k in layout)] = {
            part: tuple(map(int, r)) for part, *r in re.findall(r"(\S+)=(\d+),(\d+),(\d+),(\d+)", line)}
    return layout, int(out.splitlines()[0].split("=")[1])


class WindowAttributes(ctypes.Structure):  # Xlib's XSetWindowAttributes, as far as backing_store
    _fields_ = [(name, ctypes.c_ulong) for name in ("background_pixmap", "background_pixel", "border_pixmap",
                                                    "border_pixel")] + \
               [(name, ctypes.c_int) for name in ("bit_gravity", "win_gravity", "backing_store")]


class App(subprocess.Popen):  # a started program; `out` and `err` are what it has printed so far
    def __init__(self, argv, env):
        self.files = [tempfile.TemporaryFile() for _ in range(2)]
        super().__init__(argv, env=env, stdin=subprocess.DEVNULL, stdout=self.files[0], stderr=self.files[1])

    out = property(lambda self: os.pread(self.files[0].fileno(), 1 << 26, 0).decode("latin-1"))
    err = property(lambda self: os.pread(self.files[1].fileno(), 1 << 26, 0).decode("latin-1"))


class XSession:  # Xvfb on a free display; stops it and every started program on exit
    def __init__(self, *options):  # e.g. "+bs", so that windows may keep their pixels (keep_pixels)
        self.options = options

    def __enter__(self):
        # -noreset: the server would otherwise reset when its last client
        # leaves and refuse a program connecting just then. -r: no autorepeat,
        # so that a key is pressed once however long the server takes.
        r, w = os.pipe()
        self.xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(w), "-screen", "0", "1280x1024x24",
                                      "-nolisten", "tcp", "-noreset", "-r", *self.options], pass_fds=(w,),
                                     stderr=subprocess.DEVNULL)
        os.close(w)
        with os.fdopen(r) as f:
            self.env = dict(os.environ, DISPLAY=":" + f.readline().strip())
        self.apps = []
        return self

    def __exit__(self, *exc):
        for p in self.apps + [self.xvfb]:
            p.kill()
            p.wait()

    def start(self, argv, env=None):
        self.apps.append(App(argv, dict(self.env, **(env or {}))))
        return self.apps[-1]

    def run(self, *args):
        return subprocess.run([str(a) for a in args], env=self.env, capture_output=True, text=True).stdout

    xdotool = lambda self, *args: self.run("xdotool", *args)  # noqa: E731

    def window(self, name, app):  # the visible window titled `name`; fails at once if the program ends
        def find():
            assert app.poll() is None, f"the program ended ({app.returncode}): {app.err}"
            return self.xdotool("search", "--onlyvisible", "--name", f"^{name}$").split()[:1]
        win = int(wait_for(find, what=f"window {name!r}")[0])
        assert f'"{name}"' in self.run("xwininfo", "-id", win), "the title's case differs"
        return win

    def geometry(self, win):  # (x, y, width, height) on the screen
        info = dict(line.strip().split(": ", 1) for line in self.run("xwininfo", "-id", win).splitlines()
                    if ": " in line)
        return tuple(int(info[k]) for k in ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height"))

    def children(self, win=None):  # ids of a window's (or the screen's) direct children
        lines = self.run("xwininfo", "-children", *(("-id", win) if win else ("-root",))).splitlines()
        return [int(line.split()[0], 16) for line in lines if line.strip().startswith("0x")]

    def keep_pixels(self, *wins):
        """The X server keeps what the windows show while they are mapped, as a compositing desktop
        does: another window over them and taken away, or a menu closed, exposes nothing."""
        x11 = ctypes.CDLL("libX11.so.6")
        x11.XOpenDisplay.restype = ctypes.c_void_p
        dpy = ctypes.c_void_p(x11.XOpenDisplay(self.env["DISPLAY"].encode()))
        for win in wins:  # CWBackingStore, WhenMapped
            x11.XChangeWindowAttributes(dpy, ctypes.c_ulong(win), ctypes.c_ulong(1 << 6),
                                        ctypes.byref(WindowAttributes(backing_store=1)))
        x11.XCloseDisplay(dpy)

    def key(self, *keys):
        """Keys go to the window under the pointer (no window manager: focus follows it)."""
        self.xdotool("key", "--delay", 20, *keys)

    def move(self, x, y):
        # --sync waits for a motion: step aside first, or a move to where the pointer is stalls.
        self.xdotool("mousemove", x + 1, y, "mousemove", "--sync", x, y)

    def click(self, x, y, button=1):
        self.move(x, y)
        self.xdotool("click", button)

    def drag(self, x0, y0, x1, y1):  # a press, two moves and a release in one command, as fast as X takes them
        self.move(x0, y0)
        self.xdotool("mousedown", 1, "mousemove", (x0 + x1) // 2, (y0 + y1) // 2, "mousemove", x1, y1, "mouseup", 1)

    def menus(self):  # geometries of the open popup menus (mapped override-redirect windows)
        attrs = {wid: self.run("xwininfo", "-id", wid) for wid in self.children()}
        return [self.geometry(w) for w, a in attrs.items() if "IsViewable" in a and "Redirect State: yes" in a]

    def choose(self, x, y, *steps):
        """Opens the right-button menu at (x, y) and walks it: each step is
        (index, count) in the menu that opened last; the last one is clicked."""
        self.click(x, y, 3)
        known = []
        for n, (index, count) in enumerate(steps):
            known.append(wait_for(lambda: next((m for m in self.menus() if m not in known), None), what="a menu"))
            mx, my, mw, mh = known[-1]
            (self.move if n + 1 < len(steps) else self.click)(mx + mw // 2, my + mh * (2 * index + 1) // (2 * count))
        wait_for(lambda: not self.menus(), what="the popup menu to close")

    def pixels(self, win, crop):  # the RGB bytes of a part (x, y, w, h) of a window, as X shows it
        x, y, w, h = crop
        return subprocess.run(["import", "-window", str(win), "-crop", f"{w}x{h}+{x}+{y}", "-depth", "8", "rgb:-"],
                              env=self.env, capture_output=True, check=True).stdout


if __name__ == "__main__":
    with XSession() as x:
        sys.exit(subprocess.run(sys.argv[1:], env=x.env).returncode)
