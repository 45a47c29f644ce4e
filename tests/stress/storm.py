#!/usr/bin/env python3
"""An input storm of random keys, clicks, drags, resizes and menu choices (but
no "q", "Q" or Quit until the end): the program must stay up, print only
well-formed reports, no more of each kind than its keys were sent (a spinner's
field may take some), raise no sanitizer report and end with status 0 on "q".

    storm.py PLOK_TIME PANEL_LAYOUT [--seed N] [--actions N]
"""
import random
import sys
import time

from stresslib import (MENU_ENTRIES, SUBMENU_ITEMS, X11, Batch, Program, XSession, arguments,
                       parse_reports, sanitizer_report)

PRINTABLE = [X11.XKeysymToString(c).decode() for c in range(32, 127) if chr(c) not in "qQ"]
# Control characters (never Ctrl+Q), GLUT's special keys (which the program
# does not take) and the keys that end a field's edit.
CONTROL = (["Tab", "Return", "BackSpace", "Escape", "Delete", "KP_Enter", "shift+Tab",
            "ctrl+bracketleft", "Up", "Down", "Left", "Right", "F1", "F10", "Home", "End",
            "Page_Up", "Insert"] + [f"ctrl+{c}" for c in "abcdefghijklmnoprstuvwxyz"])
FIELD_KEYS = list("0123456789") + ["minus", "minus", "BackSpace", "Return", "Tab", "Escape"]
MENU_WAIT = 6  # seconds a menu may take to come, behind earlier input
FRAME = 0.07   # about a frame of the sanitized program, so the panel sees each change


class Storm:
    def __init__(self, x, prog, rng):
        self.x, self.p, self.rng = x, prog, rng
        self.sent = {"p": 0, "v": 0, "h": 0}
        self.keys_sent = self.actions = self.menu_choices = self.menu_misses = 0
        self.resized = False
        self.refresh()
        self.controls = [k for k in prog.layout if k[:2] != ("button", "Quit")
                         and k[0] not in ("panel", "column")]
        self.menu_points = [prog.view_point(fx, fy) for fx, fy in
                            ((0.1, 0.1), (0.35, 0.3), (0.2, 0.55))]

    def refresh(self):
        self.px, self.py, self.pw, self.ph = self.x.geometry(self.p.panel)
        self.wx, self.wy, self.ww, self.wh = self.x.geometry(self.p.win)

    def in_quit(self, sx, sy):
        x, y, w, h = self.p.layout[("button", "Quit", 1)]
        return self.px + x - 2 <= sx < self.px + x + w + 2 and self.py + y - 2 <= sy < self.py + y + h + 2

    def view_point(self):
        return (self.wx + self.rng.randrange(max(1, self.ww - self.pw)),
                self.wy + self.rng.randrange(max(1, self.wh)))

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

    def random_keys(self, n):
        r = self.rng
        return [r.choice(["w", "a", "s", "d", "space"]) if u < 0.45
                else r.choice(PRINTABLE) if u < 0.9 else r.choice(CONTROL)
                for u in (r.random() for _ in range(n))]

    def keys(self, b, names, delay=0):
        self.keys_sent += len(names)
        for n in names:
            if n.lower() in self.sent:
                self.sent[n.lower()] += 1
        b.keys(names, delay)

    def drag(self, b, x0, y0, moves, dx, dy, rest=0):
        b.move(x0, y0, sync=True).add("mousedown", 1)
        for _ in range(moves):
            b.sleep(FRAME).move(x0 + self.rng.randint(-dx, dx), y0 + self.rng.randint(-dy, dy))
        return (b.sleep(rest) if rest else b).add("mouseup", 1)

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
            b.click(*self.p.control_point(key, r.uniform(0.1, 0.9), r.uniform(0.1, 0.9)))
        elif kind in ("spinner-up", "spinner-down"):
            style = r.random()
            if style < 0.7:   # clicked, or held: repeats by time
                b.move(*self.p.control_point(key, 0.5, 0.5), sync=True).add("mousedown", 1)
                b.sleep(FRAME if style < 0.4 else r.uniform(0.3, 1.5)).add("mouseup", 1)
            else:             # dragged up and down
                self.drag(b, *self.p.control_point(key, 0.5, 0.5), r.randint(2, 8), 10, 60)
        elif kind == "spinner":
            x, y, w, h = self.p.layout[key]
            # The text field sits left of the arrows, which are 13 px wide.
            fx = self.px + x + w - 13 - r.randint(3, 40)
            b.click(fx, self.py + y + h // 2).sleep(FRAME)
            b.move(fx, self.py + y + h // 2 + 1)
            names = [r.choice(FIELD_KEYS) for _ in range(r.randint(1, 12))]
            if r.random() < 0.3:
                names += self.random_keys(r.randint(1, 8))
            self.keys(b, names, 2)
        elif kind == "listbox":
            box = self.p.control_point(key, r.uniform(0.6, 0.95), 0.5)
            b.click(*box).sleep(FRAME * 2)
            if r.random() < 0.8:   # an item of the list that opened below, or near it
                item = (box[0] + r.randint(-20, 10), box[1] + 18 + 17 * r.randrange(4) + r.randint(-4, 4))
                if not self.in_quit(*item):
                    b.click(*item)
        elif kind in ("rotation", "translation"):
            at = self.p.control_point(key, r.uniform(0.1, 0.9), r.uniform(0.1, 0.7))
            self.drag(b, *at, r.randint(1, 10), 90, 90, rest=FRAME)
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
                b.click(*self.anywhere(), r.choice([1, 3])).sleep(FRAME).send()
                self.p.close_menus(away)
                return
            item = r.randrange(SUBMENU_ITEMS[entry]) if entry in SUBMENU_ITEMS else None
            self.p.choose(at, entry, item, away=away, timeout=MENU_WAIT)
            self.menu_choices += 1
        except AssertionError:   # the program was still busy with earlier input
            self.p.close_menus(away)
            self.menu_misses += 1

    def resize(self, w, h):
        Batch(self.x).add("windowsize", "--sync", self.p.win, w, h).sleep(FRAME * 2).send()
        self.resized = (w, h) != (800, 600)
        self.refresh()

    def act_resize(self):
        r = self.rng
        if self.resized and r.random() < 0.5:
            return self.resize(800, 600)
        self.resize(*r.choice([(r.randint(1, 260), r.randint(1, 200)),
                               (r.randint(200, 1200), r.randint(100, 900))]))
        self.resized = True

    def step(self):
        u, acts = self.rng.random(), ((0.40, self.act_keys), (0.52, self.act_view_mouse),
                                      (0.80, self.act_panel), (0.87, self.act_panel_anywhere),
                                      (0.97, self.act_menu), (1.0, self.act_resize))
        next(act for limit, act in acts if u < limit)()
        self.actions += 1

    def settle(self):
        """Edits ended, menus closed, then "h" until the help text shows all input handled."""
        if self.resized:
            self.resize(800, 600)
        view = self.p.view_point(0.3, 0.5)
        for _ in range(10):
            b = Batch(self.x).click(*view).keys(["Escape"]).sleep(FRAME).click(*view)
            self.keys(b, ["Escape", "h"])
            try:
                return self.p.await_report(b.send, "the help text", "help", timeout=30)
            except AssertionError:
                pass
        raise AssertionError("the program takes no keys after the storm")


def main():
    args = arguments("binary", "layout", seed=1, actions=450)
    print(f"storm seed {args.seed}, {args.actions} actions (rerun with --seed {args.seed})", flush=True)
    started = time.monotonic()

    with XSession() as x:
        prog = Program(x, args.binary, args.layout)
        app, storm = prog.app, Storm(x, prog, random.Random(args.seed))

        def alive():
            report = sanitizer_report(app.err)
            if report or app.proc.poll() is not None:
                raise AssertionError(f"at action {storm.actions}, status {app.proc.poll()}, "
                                     f"stderr:\n{report or app.err[-6000:]}")

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
            parse_reports(app.out)
            b = Batch(x)
            storm.keys(b, ["p"])
            prog.await_report(b.send, "the last height matrix", "heights")
            Batch(x).keys(["q"]).send()
            code = app.wait_exit(180)
        except AssertionError as e:
            print(f"FAILED (seed {args.seed}): {e}", file=sys.stderr)
            print(f"--- stderr:\n{app.err[-6000:]}\n--- stdout (end):\n{app.out[-3000:]}", file=sys.stderr)
            return 1

    failures = [f"exit status {code} after q"] * (code != 0) + \
        ["stderr is not empty:\n" + app.err[-6000:]] * bool(app.err)
    try:
        reports = parse_reports(app.out)
    except AssertionError as e:
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
