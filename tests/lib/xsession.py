"""A virtual X server of a test's own, and a program driven in it with xdotool.

    with XSession() as x:
        app = x.start([binary])
        win = x.wait_window("PLOK Time")
        x.click(300, 300); x.key("w")
        app.wait_output(lambda out: "..." in out)

Every wait polls a condition with a deadline; nothing relies on a fixed sleep.
"""
import os
import subprocess
import threading
import time


class TimeoutError_(AssertionError):
    pass


def wait_for(cond, timeout=60.0, what="condition", interval=0.05):
    deadline = time.monotonic() + timeout
    while True:
        value = cond()
        if value:
            return value
        if time.monotonic() > deadline:
            raise TimeoutError_(f"timed out waiting for {what}")
        time.sleep(interval)


class App:
    """A started program whose standard output is collected as it arrives."""

    def __init__(self, argv, env):
        self.proc = subprocess.Popen(argv, env=env, stdin=subprocess.DEVNULL,
                                     stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self._out = bytearray()
        self._err = bytearray()
        self._lock = threading.Lock()
        self._pumps = [threading.Thread(target=self._pump, args=(stream, buf), daemon=True)
                       for stream, buf in ((self.proc.stdout, self._out),
                                           (self.proc.stderr, self._err))]
        for t in self._pumps:
            t.start()

    def _pump(self, stream, buf):
        for chunk in iter(lambda: stream.read1(4096), b""):
            with self._lock:
                buf.extend(chunk)

    @property
    def out(self):
        with self._lock:
            return self._out.decode("latin-1")

    @property
    def err(self):
        with self._lock:
            return self._err.decode("latin-1")

    def wait_output(self, cond, timeout=60.0, what="output"):
        return wait_for(lambda: cond(self.out), timeout, what)

    def wait_exit(self, timeout=60.0):
        """The exit status, once everything the program wrote has been read."""
        status = self.proc.wait(timeout)
        for t in self._pumps:
            t.join(timeout)
        return status

    def kill(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()


class XSession:
    """Starts Xvfb on a free display; stops it and every started program on exit."""

    def __init__(self, size="1280x1024x24"):
        self.size = size
        self.apps = []

    def __enter__(self):
        # -noreset: by default the server resets when its last client leaves,
        # and a program connecting just then is refused. A server can also lose
        # the race for a display number and die: check that it answers.
        for _ in range(5):
            r, w = os.pipe()
            self.xvfb = subprocess.Popen(
                ["Xvfb", "-displayfd", str(w), "-screen", "0", self.size, "-nolisten", "tcp",
                 "-noreset"],
                pass_fds=(w,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            os.close(w)
            with os.fdopen(r) as f:
                number = f.readline().strip()
            self.env = dict(os.environ, DISPLAY=":" + number)
            if number and self._answers():
                return self
            self.xvfb.kill()
            self.xvfb.wait()
        raise RuntimeError("Xvfb did not start")

    def _answers(self):
        for _ in range(50):
            if self.xvfb.poll() is not None:
                return False
            if subprocess.run(["xdotool", "getdisplaygeometry"], env=self.env,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0:
                return True
            time.sleep(0.1)
        return False

    def __exit__(self, *exc):
        for app in self.apps:
            app.kill()
        self.xvfb.terminate()
        self.xvfb.wait()

    def start(self, argv, extra_env=None):
        env = dict(self.env, **(extra_env or {}))
        app = App(argv, env)
        self.apps.append(app)
        return app

    def run(self, *args, check=True):
        return subprocess.run(list(args), env=self.env, check=check,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                              text=True).stdout

    def xdotool(self, *args):
        return self.run("xdotool", *[str(a) for a in args])

    def wait_window(self, name, app=None, timeout=60.0):
        """The id of the first visible window titled exactly `name`; fails at
        once, with what it printed, when the program or the server has died."""
        def find():
            for proc, who in ((self.xvfb, "Xvfb"), (app and app.proc, "the program")):
                if proc and proc.poll() is not None:
                    raise AssertionError(f"{who} ended with status {proc.returncode} "
                                         f"before the window showed; stderr: {app and app.err}")
            out = self.run("xdotool", "search", "--onlyvisible", "--name", f"^{name}$", check=False)
            ids = out.split()
            return ids[0] if ids else None
        return wait_for(find, timeout, f"window {name!r}")

    def geometry(self, win):
        """(x, y, width, height) of a window, its position on the screen."""
        out = self.run("xwininfo", "-id", str(win))
        info = {}
        for line in out.splitlines():
            if ":" in line:
                k, v = line.split(":", 1)
                info[k.strip()] = v.strip()
        return (int(info["Absolute upper-left X"]), int(info["Absolute upper-left Y"]),
                int(info["Width"]), int(info["Height"]))

    def children(self, win):
        """Ids of a window's direct children, as xwininfo lists them."""
        out = self.run("xwininfo", "-children", "-id", str(win))
        ids = []
        for line in out.splitlines():
            line = line.strip()
            if line.startswith("0x"):
                ids.append(int(line.split()[0], 16))
        return ids

    def key(self, *keys):
        """Key presses through XTEST: they reach the window under the pointer
        (no window manager runs, so focus follows the pointer)."""
        self.xdotool("key", "--delay", 20, *keys)

    def move(self, x, y):
        """Moves the pointer and waits until it is there. (xdotool's --sync
        waits for a motion, so a move to where the pointer already is would
        stall: step aside first.)"""
        self.xdotool("mousemove", x + 1, y)
        self.xdotool("mousemove", "--sync", x, y)

    def click(self, x, y, button=1):
        """A press and release at a screen position."""
        self.move(x, y)
        self.xdotool("click", button)

    def drag(self, x0, y0, x1, y1, steps=10, button=1):
        self.move(x0, y0)
        self.xdotool("mousedown", button)
        for i in range(1, steps + 1):
            self.xdotool("mousemove", "--sync",
                         x0 + (x1 - x0) * i // steps, y0 + (y1 - y0) * i // steps)
        self.xdotool("mouseup", button)

    def menus(self):
        """Geometries of the popup menus that are open (mapped override-redirect windows)."""
        found = []
        for line in self.run("xwininfo", "-root", "-children", check=False).splitlines():
            line = line.strip()
            if not line.startswith("0x"):
                continue
            wid = int(line.split()[0], 16)
            attrs = self.run("xwininfo", "-id", str(wid), check=False)
            if "IsViewable" in attrs and "Override Redirect State: yes" in attrs:
                found.append(self.geometry(wid))
        return found

    def choose_from_menu(self, x, y, *steps):
        """Opens the right-button menu at (x, y) and walks it. Each step is
        (index, count): entry `index` of the `count` entries of the menu that
        opened last; the entries before the last step open submenus, the last
        one is clicked."""
        self.move(x, y)
        self.xdotool("click", 3)
        known = []
        for n, (index, count) in enumerate(steps):
            menu = wait_for(lambda: next((m for m in self.menus() if m not in known), None),
                            what="a popup menu")
            known.append(menu)
            mx, my, mw, mh = menu
            ex, ey = mx + mw // 2, my + mh * index // count + mh // (2 * count)
            if n + 1 < len(steps):
                self.move(ex, ey)
            else:
                self.click(ex, ey)
        # The menu holds the pointer until it has closed.
        wait_for(lambda: not self.menus(), what="the popup menu to close")

    def screenshot(self, win, path):
        """Saves a window's pixels as a PNG (ImageMagick's import)."""
        subprocess.run(["import", "-window", str(win), path], env=self.env, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return path


class Batch:
    """xdotool commands sent in one call (starting xdotool costs about as much
    as a dozen events): Batch(x).click(10, 20).keys(["a"]).sleep(0.1).send()."""

    def __init__(self, x):
        self.x, self.args = x, []

    def add(self, *args):
        self.args += [str(a) for a in args]
        return self

    def move(self, px, py, sync=False):
        """sync: until the pointer is there (a step aside first, as in XSession.move)."""
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


def read_layout(layout_binary):
    """Where the panel puts each control, as panel_layout prints it:
    ({(kind, name, n): (x, y, w, h)} in panel pixels, the panel's width)."""
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


def send_close_request(display, win):
    """Asks a window to close as a window manager's close button does: a
    WM_DELETE_WINDOW client message (no window manager runs under Xvfb)."""
    import ctypes

    class ClientMessage(ctypes.Structure):
        _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong),
                    ("send_event", ctypes.c_int), ("display", ctypes.c_void_p),
                    ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                    ("format", ctypes.c_int), ("data", ctypes.c_long * 5)]

    class Event(ctypes.Union):
        _fields_ = [("xclient", ClientMessage), ("pad", ctypes.c_long * 24)]

    x11 = ctypes.CDLL("libX11.so.6")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XInternAtom.restype = ctypes.c_ulong
    x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                               ctypes.POINTER(Event)]
    x11.XFlush.argtypes = x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
    dpy = x11.XOpenDisplay(display.encode())
    if not dpy:
        raise RuntimeError("cannot open display " + display)
    ev = Event()
    ev.xclient.type = 33  # ClientMessage
    ev.xclient.window = int(win)
    ev.xclient.message_type = x11.XInternAtom(dpy, b"WM_PROTOCOLS", 0)
    ev.xclient.format = 32
    ev.xclient.data[0] = x11.XInternAtom(dpy, b"WM_DELETE_WINDOW", 0)
    x11.XSendEvent(dpy, int(win), 0, 0, ctypes.byref(ev))
    x11.XFlush(dpy)
    x11.XCloseDisplay(dpy)
