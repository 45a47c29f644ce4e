#!/usr/bin/env python3
"""Builds a small model in the program under a virtual X server and saves a
screenshot of the window: scripts/screenshot.py BINARY OUT.png"""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "lib"))
from xsession import XSession, wait_for  # noqa: E402


def main(binary, out):
    with XSession() as x:
        app = x.start([binary])
        win = x.wait_window("PLOK Time")
        app.wait_output(lambda o: o.endswith("\n"))
        panel = wait_for(lambda: x.children(win))[0]
        wait_for(lambda: x.geometry(panel)[2] > 100)
        left, top, _, _ = x.geometry(win)
        x.xdotool("mousemove", "--sync", left + 250, top + 300)
        # A blue wall along the front, a tower on its left end and a bridge over it.
        x.key("w", "w", "d", "d")
        for _ in range(3):
            x.key("space", "d", "d")
        x.key("a", "a", "a", "a", "a", "a")
        for _ in range(3):
            x.key("space")
        x.key("w", "w", "w", "d", "d", "d", "space", "space")
        x.key("s", "s", "s", "s", "a", "a", "a", "a")
        x.key("p")
        app.wait_output(lambda o: o.count("\n") >= 11)
        x.screenshot(win, out)
        x.key("q")
        app.wait_exit()


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
