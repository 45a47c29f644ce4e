#!/usr/bin/env python3
"""The program as a person uses it: started under a virtual X server of its
own and driven with xdotool, keys, clicks and the popup menu.

    test_program.py PLOK_TIME_BINARY PANEL_LAYOUT_BINARY
"""
import os
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "lib"))
from xsession import XSession, read_layout, send_close_request, wait_for  # noqa: E402

BINARY = LAYOUT_BINARY = LAYOUT = PANEL_WIDTH = None
VERSION_LINE = "GLUI version: 2.30\n"
HELP = ("Table of contents:\n___________________\nBlock Movement Controls:\n"
        "  W  \n A D \n  S  \nSpace : Place block\np : Print Height Matrix\n"
        "v : Print View Matrix\nr : Reset the transformation matricies\nq : Exit the program\n")
IDENTITY = "\n1 0 0 0 \n0 1 0 0 \n0 0 1 0 \n0 0 0 1 \n"


def matrix(rows):
    """A height report as the program prints it, from rows of numbers."""
    return "".join("".join(f" {h}" for h in row) + "\n" for row in rows)


def empty_rows(n):
    return [[0] * n for _ in range(n)]


class Program(unittest.TestCase):
    """One fresh program per test."""

    def setUp(self):
        self.x = XSession().__enter__()
        self.addCleanup(self.x.__exit__, None, None, None)
        self.app = self.x.start([BINARY])
        self.addCleanup(self.tell_output)
        self.win = self.x.wait_window("PLOK Time", self.app)
        self.app.wait_output(lambda out: out.endswith("\n"), what="the version line")
        self.left, self.top, self.width, self.height = self.x.geometry(self.win)
        self.panel = wait_for(lambda: self.x.children(self.win), what="the panel subwindow")[0]
        # The panel takes its width once its controls exist.
        wait_for(lambda: self.x.geometry(self.panel)[2] >= PANEL_WIDTH, what="the panel's width")
        self.over_view()

    def tell_output(self):
        """What the program printed, when a test fails."""
        outcome = getattr(self, "_outcome", None)
        if outcome and not outcome.success:
            sys.stderr.write(f"--- program stdout:\n{self.app.out}\n--- stderr:\n{self.app.err}\n")

    def over_view(self):
        """Keys reach the window under the pointer: put it over the 3-D view."""
        self.x.move(self.left + 250, self.top + 300)

    def keys_printing(self, keys, lines):
        """Types keys and returns what they print, once `lines` lines have come."""
        start = len(self.app.out)
        self.x.key(*keys)
        wait_for(lambda: self.app.out[start:].count("\n") >= lines, what=f"{lines} lines after {keys}")
        return self.app.out[start:]

    def height_report(self, size=10):
        return self.keys_printing(["p"], size)

    def click_control(self, kind, name, n=1, part=None):
        """Clicks the middle of a panel control (or a point in it: part=(fx, fy))."""
        x, y, w, h = LAYOUT[(kind, name, n)]
        fx, fy = part or (0.5, 0.5)
        px, py, _, _ = self.x.geometry(self.panel)
        self.x.click(px + x + int(w * fx), py + y + int(h * fy))
        self.over_view()

    # ---- Start-up -----------------------------------------------------------

    def test_opens_the_window_with_the_panel_on_the_right_and_prints_the_version(self):
        self.assertEqual((self.left, self.top, self.width, self.height), (200, 100, 800, 600))
        px, py, pw, ph = self.x.geometry(self.panel)
        self.assertEqual((px + pw, py, ph), (1000, 100, 600))
        self.assertEqual(pw, PANEL_WIDTH)
        self.assertTrue(120 <= pw <= 300, pw)
        self.assertEqual(self.app.out, VERSION_LINE)

    # ---- Keys and reports ---------------------------------------------------

    def test_keys_move_and_place_bricks_and_print_exact_reports(self):
        self.assertEqual(self.keys_printing(["h"], 11), HELP)
        self.assertEqual(self.keys_printing(["v"], 5), IDENTITY)
        self.assertEqual(self.height_report(), matrix(empty_rows(10)))
        # Two bricks: one at the corner, one a row back and a column right, on top of it.
        self.x.key("space", "w", "d", "space", "W", "A", "Escape")
        rows = empty_rows(10)
        rows[0][:2] = [1, 1]
        rows[1][:3] = [1, 2, 2]
        rows[2][1:3] = [2, 2]
        self.assertEqual(self.height_report(), matrix(rows))
        # Moves stop at the edge: ten "a" and "s" land on the corner, the brick lands on two stacks.
        self.x.key(*(["a", "s"] * 10), "space")
        rows[0][:2] = [3, 3]
        rows[1][:2] = [3, 3]
        self.assertEqual(self.height_report(), matrix(rows))

    def test_a_placed_brick_shows_in_the_view(self):
        def blue_pixels():
            with tempfile.TemporaryDirectory() as d:
                path = self.x.screenshot(self.win, os.path.join(d, "view.png"))
                out = subprocess.run(
                    ["convert", path, "-crop", f"{self.width - 250}x{self.height}+0+0",
                     "-fx", "b > 0.25 && b > 2*r && b > 2*g ? 1 : 0", "-format", "%[fx:mean]",
                     "info:"], check=True, stdout=subprocess.PIPE, text=True).stdout
                return float(out)
        self.assertLess(blue_pixels(), 0.001)
        self.x.key("space")  # a blue brick: the colour the program starts with
        wait_for(lambda: blue_pixels() > 0.01, what="a blue brick on screen")

    def test_q_quits_with_status_zero(self):
        self.x.key("q")
        self.assertEqual(self.app.wait_exit(), 0)
        self.assertEqual(self.app.out, VERSION_LINE)

    def test_closing_the_window_ends_the_program_quietly(self):
        send_close_request(self.x.env["DISPLAY"], self.win)
        self.assertEqual(self.app.wait_exit(), 0)
        self.assertEqual(self.app.out, VERSION_LINE)

    # ---- The panel --------------------------------------------------------------

    def test_panel_buttons(self):
        self.x.key("space", "w", "w", "w", "space")
        self.click_control("button", "Undo Last")
        rows = empty_rows(10)
        rows[0][:2] = rows[1][:2] = [1, 1]
        self.assertEqual(self.height_report(), matrix(rows))

        self.click_control("button", "Clear Board")
        self.assertEqual(self.height_report(), matrix(empty_rows(10)))

        # Length 3 through the spinner's up arrow, then rotated to width 3, length 2,
        # placed where the cursor stands: rows 3 to 5.
        self.click_control("spinner-up", "Length:")
        self.click_control("button", "Rotate Block")
        self.x.key("space")
        rows = empty_rows(10)
        for r in range(3, 6):
            rows[r][:2] = [1, 1]
        self.assertEqual(self.height_report(), matrix(rows))

        self.click_control("button", "Quit")
        self.assertEqual(self.app.wait_exit(), 0)

    def test_dragging_the_view_ball_turns_the_view(self):
        x, y, w, h = LAYOUT[("rotation", "View", 1)]
        px, py, _, _ = self.x.geometry(self.panel)
        cx, cy = px + x + w // 2, py + y + h // 2
        # One command, no pauses: press, moves and release may all come between two frames.
        self.x.xdotool("mousemove", cx - 15, cy, "mousedown", 1, "mousemove", cx, cy,
                       "mousemove", cx + 15, cy, "mouseup", 1)
        self.over_view()
        report = self.keys_printing(["v"], 5)
        self.assertNotEqual(report, IDENTITY)
        first_column = [float(v) for v in report.split("\n")[1].split()]
        self.assertLess(first_column[0], 0.99)  # turned about the vertical axis
        self.click_control("button", "Reset")
        self.assertEqual(self.keys_printing(["v"], 5), IDENTITY)

    # ---- The popup menu -------------------------------------------------------

    def test_popup_menu_changes_the_board_and_the_panel_follows(self):
        at = (self.left + 250, self.top + 300)
        self.x.choose_from_menu(*at, (4, 8), (1, 3))  # Base Size, 20x20
        self.over_view()
        self.assertEqual(self.height_report(20), matrix(empty_rows(20)))
        # Width 3 from the menu; the Width spinner's next step counts from 3.
        self.x.choose_from_menu(*at, (0, 8), (2, 4))
        self.click_control("spinner-up", "Width:")
        self.x.key("space")
        rows = empty_rows(20)
        for r in range(4):
            rows[r][:2] = [1, 1]
        self.assertEqual(self.height_report(20), matrix(rows))
        self.x.choose_from_menu(*at, (7, 8))  # Undo
        self.over_view()
        self.assertEqual(self.height_report(20), matrix(empty_rows(20)))

    def test_a_menu_change_shows_in_an_open_field_and_ending_the_edit_keeps_it(self):
        at = (self.left + 250, self.top + 300)
        self.x.choose_from_menu(*at, (0, 8), (3, 4))  # Width 4; length is 2
        self.click_control("spinner", "Width:", part=(0.65, 0.5))  # in the field, nothing typed
        self.x.choose_from_menu(*at, (5, 8))  # Rotate: width 2, length 4
        self.x.click(*at)  # ends the edit
        self.x.key("space")
        rows = empty_rows(10)
        rows[0][:4] = rows[1][:4] = [1] * 4
        self.assertEqual(self.height_report(), matrix(rows))


def main():
    global BINARY, LAYOUT_BINARY, LAYOUT, PANEL_WIDTH
    BINARY, LAYOUT_BINARY = sys.argv[1], sys.argv[2]
    LAYOUT, PANEL_WIDTH = read_layout(LAYOUT_BINARY)
    unittest.main(argv=sys.argv[:1] + sys.argv[3:], verbosity=2)


if __name__ == "__main__":
    main()
