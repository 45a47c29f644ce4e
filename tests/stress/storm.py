#!/usr/bin/env python3
"""An input storm: thousands of random keys, clicks, drags, window resizes and
popup-menu choices sent to the program, which must stay up, print nothing but
well-formed reports, raise no sanitizer report and leave with status 0 on "q".

    storm.py PLOK_TIME PANEL_LAYOUT [--seed N] [--actions N]

The run is fixed by the seed (printed first): rerun with --seed to see the
same storm again. "q", "Q" and the Quit button are kept for the end. A key
typed while a spinner's field is being edited goes to that field, so reports
can only be counted from above: no more of each kind than its keys were sent.
"""
import argparse
import random
import sys
import time

from stresslib import (MENU_ENTRIES, SUBMENU_ITEMS, Batch, OutputError, Program, XSession,
                       parse_reports, read_layout, sanitizer_report, start, wait_for)

KEYSYMS = {" ": "space", "!": "exclam", '"': "quotedbl", "#": "numbersign", "$": "dollar",
           "%": "percent", "&": "ampersand", "'": "apostrophe", "(": "parenleft",
           ")": "parenright", "*": "asterisk", "+": "plus", ",": "comma", "-": "minus",
           ".": "period", "/": "slash", ":": "colon", ";": "semicolon", "<": "less",
           "=": "equal", ">": "greater", "?": "question", "@": "at", "[": "bracketleft",
           "\\": "backslash", "]": "bracketright", "^": "asciicircum", "_": "underscore",
           "`": "grave", "{": "braceleft", "|": "bar", "}": "braceright", "~": "asciitilde"}
PRINTABLE = [chr(c) for c in range(32, 127) if chr(c) not in "qQ"]
# Control characters (Ctrl+letter, but never Ctrl+Q), keys with no character
# (GLUT's special keys, which the program does not take) and the keys that end
# a field's edit.
CONTROL = (["Tab", "Return", "BackSpace", "Escape", "Delete", "KP_Enter", "shift+Tab",
            "ctrl+bracketleft", "Up", "Down", "Left", "Right", "F1", "F10", "Home", "End",
            "Page_Up", "Insert"] + [f"ctrl+{c}" for c in "abcdefghijklmnoprstuvwxyz"])
FIELD_KEYS = list("0123456789") + ["minus", "minus", "BackSpace", "Return", "Tab", "Escape"]
MENU_WAIT = 6  # seconds a menu may take to come, behind earlier input
FRAME = 0.07   # seconds: about a frame of the sanitized program, so the panel sees each change


def keysym(c):
    return KEYSYMS.get(c, c)


class Storm:
    def __init__(self, x, prog, rng, layout):
        self.x, self.p, self.rng, self.layout = x, prog, rng, layout
        self.sent = {"p": 0, "v": 0, "h": 0}
        self.keys_sent = self.actions = self.menu_choices = self.menu_misses = 0
        self.resized = False
        self.refresh()
        self.controls = [k for k in layout if not (k[0] == "button" and k[1] == "Quit")
                         and k[0] not in ("panel", "column")]
        self.quit_rect = layout[("button", "Quit", 1)]
        self.menu_points = [prog.view_point(fx, fy) for fx, fy in
                            ((0.1, 0.1), (0.35, 0.3), (0.2, 0.55))]

    def refresh(self):
        self.px, self.py, self.pw, self.ph = self.x.geometry(self.p.panel)
        self.wx, self.wy, self.ww, self.wh = self.x.geometry(self.p.win)

    # ---- Where ----------------------------------------------------------------

    def in_quit(self, sx, sy):
        x, y, w, h = self.quit_rect
        return self.px + x - 2 <= sx < self.px + x + w + 2 and self.py + y - 2 <= sy < self.py + y + h + 2

    def view_point(self):
        r = self.rng
        vw = max(1, self.ww - self.pw)
        return self.wx + r.randrange(vw), self.wy + r.randrange(max(1, self.wh))

    def panel_point(self):
        while True:
            pt = (self.px + self.rng.randrange(max(1, self.pw)),
                  self.py + self.rng.randrange(max(1, min(self.ph, self.wh))))
            if not self.in_quit(*pt):
                return pt

    def anywhere(self):
        r = self.rng.random()
        if r < 0.6:
            return self.view_point()
        if r < 0.9:
            return self.panel_point()
        return self.rng.randrange(1280), self.rng.randrange(self.wy + self.wh + 40, 1024)

    def control_point(self, key, fx, fy):
        x, y, w, h = self.layout[key]
        return self.px + x + int(w * fx), self.py + y + int(h * fy)

    # ---- Sending ------------------------------------------------------------------

    def count_keys(self, names):
        self.keys_sent += len(names)
        for n in names:
            k = n.lower()
            if k in self.sent:
                self.sent[k] += 1

    def random_keys(self, n):
        r = self.rng
        names = []
        for _ in range(n):
            u = r.random()
            if u < 0.45:
                names.append(keysym(r.choice("wasd ")))
            elif u < 0.9:
                names.append(keysym(r.choice(PRINTABLE)))
            else:
                names.append(r.choice(CONTROL))
        return names

    def keys(self, b, names, delay=0):
        self.count_keys(names)
        b.keys(names, delay)

    # ---- Actions ------------------------------------------------------------------

    def act_keys(self):
        b = Batch(self.x).move(*self.anywhere(), sync=True)
        self.keys(b, self.random_keys(self.rng.randint(5, 40)), self.rng.choice([0, 0, 3]))
        b.send()

    def act_view_mouse(self):
        r, b = self.rng, Batch(self.x)
        button = r.choice([1, 1, 2, 4, 5])
        if r.random() < 0.5 or button > 3:
            b.click(*self.view_point(), button)
        else:
            b.move(*self.view_point(), sync=True).add("mousedown", button)
            for _ in range(r.randint(1, 6)):
                b.sleep(FRAME / 2).move(*self.view_point())
            b.add("mouseup", button)
        b.send()

    def act_panel(self):
        r, b = self.rng, Batch(self.x)
        key = r.choice(self.controls)
        kind = key[0]
        if kind == "button":
            b.click(*self.control_point(key, r.uniform(0.1, 0.9), r.uniform(0.1, 0.9)))
        elif kind in ("spinner-up", "spinner-down"):
            b.move(*self.control_point(key, 0.5, 0.5), sync=True).add("mousedown", 1)
            style = r.random()
            if style < 0.4:
                b.sleep(FRAME)
            elif style < 0.7:
                b.sleep(r.uniform(0.3, 1.5))   # held: repeats by time
            else:
                x0, y0 = self.control_point(key, 0.5, 0.5)
                for _ in range(r.randint(2, 8)):   # dragged up and down
                    b.sleep(FRAME).move(x0 + r.randint(-10, 10), y0 + r.randint(-60, 60))
            b.add("mouseup", 1)
        elif kind == "spinner":
            x, y, w, h = self.layout[key]
            # The text field sits left of the arrows, which are 13 px wide.
            fx = self.px + x + w - 13 - r.randint(3, 40)
            b.click(fx, self.py + y + h // 2).sleep(FRAME)
            b.move(fx, self.py + y + h // 2 + 1)
            names = [r.choice(FIELD_KEYS) for _ in range(r.randint(1, 12))]
            if r.random() < 0.3:
                names += self.random_keys(r.randint(1, 8))
            self.keys(b, names, 2)
        elif kind == "listbox":
            box = self.control_point(key, r.uniform(0.6, 0.95), 0.5)
            b.click(*box).sleep(FRAME * 2)
            if r.random() < 0.8:   # an item of the list that opened below, or near it
                item = (box[0] + r.randint(-20, 10), box[1] + 18 + 17 * r.randrange(4) + r.randint(-4, 4))
                if not self.in_quit(*item):
                    b.click(*item)
        elif kind in ("rotation", "translation"):
            x0, y0 = self.control_point(key, r.uniform(0.1, 0.9), r.uniform(0.1, 0.7))
            b.move(x0, y0, sync=True).add("mousedown", 1)
            for _ in range(r.randint(1, 10)):
                b.sleep(FRAME).move(x0 + r.randint(-90, 90), y0 + r.randint(-90, 90))
            b.sleep(FRAME).add("mouseup", 1)
        else:
            b.click(*self.panel_point(), r.choice([1, 1, 2, 3]))
        b.sleep(FRAME).send()

    def act_panel_anywhere(self):
        r, b = self.rng, Batch(self.x)
        for _ in range(r.randint(1, 4)):
            b.click(*self.panel_point(), r.choice([1, 1, 1, 2, 3, 4, 5])).sleep(FRAME)
        b.send()

    def act_menu(self):
        r = self.rng
        if self.resized:
            return self.act_view_mouse()
        at = r.choice(self.menu_points)
        entry = r.choice(MENU_ENTRIES)
        away = self.p.view_point(0.05, 0.05)
        try:
            if r.random() < 0.2:   # opened and left: by keys and a click elsewhere
                self.p.open_menu(at, timeout=MENU_WAIT)
                b = Batch(self.x)
                if r.random() < 0.5:
                    self.keys(b, self.random_keys(r.randint(1, 5)))
                b.click(*self.anywhere(), r.choice([1, 3])).sleep(FRAME)
                b.send()
                self.p.close_menus(away)
                return
            item = r.randrange(SUBMENU_ITEMS[entry]) if entry in SUBMENU_ITEMS else None
            self.p.choose(at, entry, item, away=away, timeout=MENU_WAIT)
            self.menu_choices += 1
        except AssertionError:
            # The program was still busy with earlier input; the storm goes on.
            self.p.close_menus(away)
            self.menu_misses += 1

    def act_resize(self):
        r, b = self.rng, Batch(self.x)
        if self.resized and r.random() < 0.5:
            b.add("windowsize", "--sync", self.p.win, 800, 600).sleep(FRAME * 2).send()
            self.resized = False
        else:
            w, h = r.choice([(r.randint(1, 260), r.randint(1, 200)), (r.randint(200, 1200), r.randint(100, 900))])
            b.add("windowsize", "--sync", self.p.win, w, h).sleep(FRAME * 2).send()
            self.resized = True
        self.refresh()

    def step(self):
        u = self.rng.random()
        if u < 0.40:
            self.act_keys()
        elif u < 0.52:
            self.act_view_mouse()
        elif u < 0.80:
            self.act_panel()
        elif u < 0.87:
            self.act_panel_anywhere()
        elif u < 0.97:
            self.act_menu()
        else:
            self.act_resize()
        self.actions += 1

    def settle(self):
        """Back to the program's size, every edit ended and every menu closed;
        then "h" until the help text comes: all input before it is handled."""
        if self.resized:
            Batch(self.x).add("windowsize", "--sync", self.p.win, 800, 600).send()
            self.resized = False
            self.refresh()
        view = self.p.view_point(0.3, 0.5)
        for attempt in range(10):
            before = len(parse_reports(self.p.app.out, complete=False))
            b = Batch(self.x).click(*view).keys(["Escape"]).sleep(FRAME).click(*view)
            self.keys(b, ["Escape", "h"])
            b.send()
            try:
                wait_for(lambda: self.last_report(before) == "help", timeout=30, what="the help text")
                return
            except AssertionError:
                continue
        raise AssertionError("the program takes no keys after the storm")

    def last_report(self, before):
        reports = parse_reports(self.p.app.out, complete=False)
        return reports[-1][0] if len(reports) > before else None


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("binary")
    ap.add_argument("layout")
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--actions", type=int, default=450)
    args = ap.parse_args()
    print(f"storm seed {args.seed}, {args.actions} actions (rerun with --seed {args.seed})", flush=True)
    layout, panel_width = read_layout(args.layout)
    started = time.monotonic()

    with XSession() as x:
        app = start(x, [args.binary])
        prog = Program(x, app, layout, panel_width)
        storm = Storm(x, prog, random.Random(args.seed), layout)

        def alive():
            if app.proc.poll() is not None:
                raise AssertionError(f"the program ended (status {app.proc.returncode}) "
                                     f"at action {storm.actions}:\n{app.err[-6000:]}")
            report = sanitizer_report(app.err)
            if report:
                raise AssertionError(f"a sanitizer report at action {storm.actions}:\n{report}")

        try:
            for n in range(args.actions):
                storm.step()
                alive()
                if n % 50 == 49:
                    parse_reports(app.out, complete=False)
                    print(f"  {n + 1} actions, {storm.keys_sent} keys, "
                          f"{time.monotonic() - started:.0f} s", flush=True)
            storm.settle()
            alive()
            before = len(parse_reports(app.out))
            Batch(x).keys(["p"]).send()
            storm.count_keys(["p"])
            wait_for(lambda: storm.last_report(before) == "heights", timeout=60, what="the last height matrix")
            Batch(x).keys(["q"]).send()
            code = app.wait_exit(180)
        except (AssertionError, OutputError) as e:
            print(f"FAILED (seed {args.seed}): {e}", file=sys.stderr)
            print(f"--- stderr:\n{app.err[-6000:]}\n--- stdout (end):\n{app.out[-3000:]}", file=sys.stderr)
            return 1

    failures = []
    if code != 0:
        failures.append(f"exit status {code} after q")
    if app.err:
        failures.append("stderr is not empty:\n" + app.err[-6000:])
    try:
        reports = parse_reports(app.out)
    except OutputError as e:
        failures.append(str(e))
        reports = []
    kinds = {k: sum(1 for r in reports if r[0] == k) for k in ("help", "view", "heights")}
    for kind, key in (("help", "h"), ("view", "v"), ("heights", "p")):
        if kinds[kind] > storm.sent[key]:
            failures.append(f"{kinds[kind]} {kind} reports from {storm.sent[key]} keys")
    if failures:
        print(f"FAILED (seed {args.seed}):\n" + "\n".join(failures), file=sys.stderr)
        return 1
    sizes = sorted({len(v) for k, v in reports if k == "heights"})
    print(f"storm passed: {storm.actions} actions, {storm.keys_sent} keys, "
          f"{storm.menu_choices} menu choices ({storm.menu_misses} menus late), reports {kinds} "
          f"(boards {sizes}), {time.monotonic() - started:.0f} s")
    return 0


if __name__ == "__main__":
    sys.exit(main())
