#!/usr/bin/env python3
"""No leaks: a session through every part of the program ends on "q" with status 0
and no LeakSanitizer report; and (lsan.supp covering only libraries under
freeglut) a leak of our own in a GLUT callback, leak_canary's, is still reported.

    leaks.py PLOK_TIME PANEL_LAYOUT LEAK_CANARY
"""
import re
import sys
import time

from stresslib import Batch, Program, XSession, parse_reports, sanitizer_env, sanitizer_report

FRAME = 0.1


def canary(x, binary):
    app = x.start([binary], sanitizer_env(binary))
    code, err = app.wait_exit(120), app.err
    leaks = re.findall(r"(Direct|Indirect) leak of (\d+) byte", err)
    if code == 0 or leaks != [("Direct", "100")] or "lose_a_hundred_bytes" not in err:
        return (f"the canary's leak was not reported alone (status {code}, leaks {leaks}):\n"
                f"{err[-6000:]}")


def session(x, binary, layout_binary):
    p = Program(x, binary, layout_binary)
    app, view, corner = p.app, p.view_point(0.3, 0.5), p.view_point(0.05, 0.05)

    def control(kind, name, n=1, fx=0.5, fy=0.5):
        return p.control_point((kind, name, n), fx, fy)

    def keys(*names):
        Batch(x).move(*view, sync=True).keys(list(names)).send()

    def drag(start_at, offsets):
        b = Batch(x).move(*start_at, sync=True).add("mousedown", 1)
        for dx, dy in offsets:
            b.sleep(FRAME).move(start_at[0] + dx, start_at[1] + dy)
        b.sleep(FRAME).add("mouseup", 1).sleep(FRAME).send()

    def click(point, button=1):
        Batch(x).click(*point, button).sleep(2 * FRAME).send()

    keys("h", "v", "space", "w", "d", "space", "space", "a", "a", "s", "space", "p")
    for name in ("Undo Last", "Rotate Block", "Clear Board", "Undo Last"):
        click(control("button", name))
    keys("space", "w", "w", "space")
    # Spinners: arrows clicked and held, a field typed into and left by Enter.
    click(control("spinner-up", "Width:"))
    Batch(x).move(*control("spinner-up", "Length:"), sync=True).add("mousedown", 1).sleep(1.0) \
        .add("mouseup", 1).sleep(FRAME).send()
    click(control("spinner-down", "Length:"))
    x0, y0, w, h = p.layout[("spinner", "Width:", 1)]
    px, py = p.panel_origin()
    click((px + x0 + w - 13 - 20, py + y0 + h // 2))
    Batch(x).keys(["BackSpace", "3", "Return"], 20).sleep(FRAME).send()
    # Listboxes: opened and an item below chosen.
    for n, name in ((1, "Color:"), (2, "Color:"), (1, "Size:")):
        bx, by = control("listbox", name, n, 0.8, 0.5)
        click((bx, by))
        click((bx, by + 36))
    drag(control("rotation", "View"), [(10, 5), (25, 8), (30, -10)])
    drag(control("translation", "Translate XY"), [(8, 3), (15, -6)])
    drag(control("translation", "Translate Z"), [(0, -10), (0, 12)])
    click(control("button", "Reset"))
    # The popup menu, every kind of entry.
    menu_at = p.view_point(0.35, 0.4)
    for entry, item in (("Width", 2), ("Length", 0), ("Color", 1), ("Base Color", 2),
                        ("Base Size", 1), ("Rotate", None), ("Undo", None), ("Base Size", 2),
                        ("Clear", None)):
        p.choose(menu_at, entry, item, away=corner)
    keys("space", "d", "space", "p", "v")
    # A resize there and back, the panel following the window's edge.
    Batch(x).add("windowsize", "--sync", p.win, 500, 300).sleep(0.5) \
        .add("windowsize", "--sync", p.win, 800, 600).sleep(0.5).send()
    click(view)
    p.await_report(lambda: keys("h"), "the help text at the end", timeout=120)
    keys("q")
    code = app.wait_exit(180)
    parse_reports(app.out)
    if code != 0 or sanitizer_report(app.err) or app.err:
        return f"status {code} after q; stderr:\n{app.err[-8000:]}"


def main():
    binary, layout_binary, canary_binary = sys.argv[1:4]
    started = time.monotonic()
    with XSession() as x:
        failure = canary(x, canary_binary) or session(x, binary, layout_binary)
    if failure:
        print(failure, file=sys.stderr)
        return 1
    print(f"no leaks; the canary's still seen ({time.monotonic() - started:.0f} s)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
