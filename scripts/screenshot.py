#!/usr/bin/env python3
"""Builds a small model in the program under a virtual X server and saves a
screenshot of the window: scripts/screenshot.py BINARY OUT.png"""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests"))
from x import XSession, wait_for  # noqa: E402



def main(binary, out):
    with XSession() as x:
        app = x.start([binary])
        win = x.window("PLOK Time", app)
        wait_for(lambda: app.out.endswith("\n"))
        panel = wait_for(lambda: x.children(win))[0]
        wait_for(lambda: x.geometry(panel)[2] > 100)
        left, top, _, _ = x.geometry(win)
        x.move(left + 250, top + 300)
        at = (left + 150, top + 150)
        menu = {"width": (0, 8), "length": (1, 8), "color": (2, 8)}
        colors = {"red": (0, 3), "blue": (1, 3), "green": (2, 3)}

        def brick(color, width, length):
            x.choose(*at, menu["color"], colors[color])
            x.choose(*at, menu["width"], (width - 1, 4))
            x.choose(*at, menu["length"], (length - 1, 4))
            x.move(left + 250, top + 300)

        # A red wall at the back, a green step in front of it, a blue tower on the right.
        brick("red", 1, 4)
        x.key(*"dddwwwwww", "space", "space", "space")
        brick("green", 2, 2)
        x.key(*"aass", "space", "d", "space")
        brick("blue", 2, 2)
        x.key(*"ddddsss", "space", "space", "w", "space", "a")
        x.key(*"ssssssaaaaaaaa")  # the grey cursor at the front left corner
        x.key("p")
        wait_for(lambda: app.out.count("\n") >= 11)
        x.run("import", "-window", win, out)
        x.key("q")
        app.wait(60)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
