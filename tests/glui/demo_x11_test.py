#!/usr/bin/env python3
"""glui_demo in a real window under Xvfb, clicked and typed at with xdotool. Positions
come from `glui_demo --layout`, so the listing the program's own end-to-end tests rely
on is checked here too.  Usage: demo_x11_test.py GLUI_DEMO"""
import os
import re
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "lib"))
from xsession import XSession, wait_for  # noqa: E402

demo = sys.argv[1]
layout = subprocess.run([demo, "--layout"], check=True, capture_output=True, text=True).stdout
sub_x = int(re.search(r"subwindow x=(\d+)", layout).group(1))
centres = {}  # "Width:/up" -> the middle of that part of the control, in the subwindow
for line in layout.splitlines()[1:]:
    name = re.match(r'\s*\w+ "([^"]*)"', line).group(1)
    for part, rx, ry, rw, rh in re.findall(r"(\S+)=(-?\d+),(-?\d+),(\d+),(\d+)", line):
        centres.setdefault(f"{name}/{part}", (int(rx) + int(rw) // 2, int(ry) + int(rh) // 2))


def drive(x, app):
    win = x.wait_window("GLUI demo")
    app.wait_output(lambda o: "ready" in o)
    (wx, wy, *size), sub = x.geometry(win), x.children(win)
    assert size == [800, 600] and len(sub) == 1, (size, sub)
    geo = lambda: x.geometry(sub[0])  # noqa: E731
    wait_for(lambda: (geo()[0] - wx, *geo()[2:]) == (sub_x, 800 - sub_x, 600), 10,
             "the subwindow at the right edge, as wide as its controls, once the main loop runs")
    sx, sy = geo()[:2]
    at = lambda key: (sx + centres[key][0], sy + centres[key][1])  # noqa: E731
    view, idle = (wx + 200, wy + 200), (wx + 100, wy + 100)

    def act(where, keys=(), pattern=None, what="", click=True):
        """Points at `where` and clicks there, types `keys`, waits for `pattern` in what follows."""
        start = len(app.out)
        x.xdotool("mousemove", "--sync", *where, *(("click", 1) if click else ()))
        if keys:
            x.key(*keys)
        return pattern and app.wait_output(lambda o: re.search(pattern, o[start:]), 10, what)

    act(at("Rotate Block/rect"), (), "callback 3 window=main", "a button calls back, main window current")
    act(at("Width:/up"), (), "value 10 width=3 ", "one step up from 2")
    act(at("Length:/down"), (), "value 11 width=3 length=3 ", "one step down from 4")
    act(at("Width:/field"), ("2", "5", "Return"), "value 10 width=10 ", "typed 25 clamped to 10")
    act(view, ("a",), "key a window=main", "a key over the 3-D view is the program's", click=False)
    act(at("Rotate Block/rect"), ("b", "space"), "(?s)key b window=main.*key   window=main",
        "keys over the panel, none taken by a control, even space after a button click", click=False)
    act(at("Length:/field"))
    act(view, ("7",), click=False)
    act(view, (), "(?s)value 11 width=10 length=7 .*mouse 0 1 200 200",
        "an edited field takes keys typed over the view; a click there commits and reaches the program")
    act(at("Size:/box"))
    time.sleep(0.3)
    act(at("Size:/item:20x20"), (), "size 0 item=2", "a choice from the drop-down")
    bx, by = at("View/ball")
    x.drag(bx, by, bx + 20, by)
    app.wait_output(lambda o: re.search(r"moved 20 .* m8=0\.[1-9]", o), 10,
                    "a rightward drag turns +z towards +x")

    # Idle, the panel draws nothing while the 3-D view keeps redrawing.
    act(idle, click=False)
    time.sleep(0.5)
    drawn = -int(act(idle, ("question",), r"frames (\d+)", "frame count", click=False)[1])
    time.sleep(1.5)
    drawn += int(act(idle, ("question",), r"frames (\d+)", "frame count", click=False)[1])
    assert drawn == 0, f"idle panel drew {drawn} frames in 1.5 s"
    act(at("Quit/rect"))
    assert app.wait_exit(10) == 0


for attempt in (1, 2):
    with XSession() as x:
        app = x.start([demo])
        try:
            drive(x, app)
            break
        except BaseException:
            # Seldom, under load, a fresh Xvfb refuses the first client: once more.
            if attempt == 2 or "failed to open display" not in app.err:
                print("demo stdout:\n" + app.out + "\ndemo stderr:\n" + app.err)
                raise
