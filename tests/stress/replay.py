#!/usr/bin/env python3
"""A seeded run of keys and popup-menu choices typed into the program, whose
whole output must be what board_replay computes for the same run with the
program's own board and key code.

    replay.py PLOK_TIME PANEL_LAYOUT BOARD_REPLAY [--seed N] [--segments N]

Every few keys a "p" shows the height matrix, so a difference points at the
segment where the program and the model parted.
"""
import argparse
import random
import subprocess
import sys
import time

from stresslib import VERSION_LINE, Batch, Program, XSession, parse_reports, read_layout, start

MOVES = "wsad"
OTHER_KEYS = "vhrWASDx1"   # reports, the eye reset, and keys that do nothing
COLORS = [1, 2, 3]         # the Color submenus list Red, Blue, Green


def menu_step(rng):
    """(board_replay step, menu entry, submenu item or None)."""
    kind = rng.choice(["width", "length", "base_size", "base_size", "rotate", "undo",
                       "clear", "color"])
    if kind in ("width", "length"):
        n = rng.randint(1, 4)
        return f"{kind}={n}", kind.capitalize(), n - 1
    if kind == "base_size":
        n = rng.randint(1, 3)
        return f"base_size={n}", "Base Size", n - 1
    if kind == "color":
        i = rng.randrange(3)
        return f"color={COLORS[i]}", "Color", i
    return kind, kind.capitalize(), None


def make_run(rng, segments):
    """[(kind, payload)]: ("keys", [key, ...]) and ("menu", (step, entry, item))."""
    run = []
    for _ in range(segments):
        keys = [rng.choice(MOVES) if rng.random() < 0.7 else " " for _ in range(rng.randint(8, 30))]
        if rng.random() < 0.15:
            keys.insert(rng.randrange(len(keys)), rng.choice(OTHER_KEYS))
        run.append(("keys", keys + ["p"]))
        if rng.random() < 0.6:
            run.append(("menu", menu_step(rng)))
    return run


def steps_of(run):
    steps = []
    for kind, payload in run:
        steps += [("space" if k == " " else k) for k in payload] if kind == "keys" else [payload[0]]
    return steps


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("binary")
    ap.add_argument("layout")
    ap.add_argument("replay")
    ap.add_argument("--seed", type=int, default=20240611)
    ap.add_argument("--segments", type=int, default=24)
    args = ap.parse_args()
    print(f"replay seed {args.seed} (rerun with --seed {args.seed})", flush=True)

    rng = random.Random(args.seed)
    run = make_run(rng, args.segments)
    steps = steps_of(run)
    expected = subprocess.run([args.replay, *steps], check=True, stdout=subprocess.PIPE,
                              text=True).stdout
    expected = VERSION_LINE + expected
    layout, panel_width = read_layout(args.layout)

    started = time.monotonic()
    with XSession() as x:
        app = start(x, [args.binary])
        prog = Program(x, app, layout, panel_width)
        menu_at = prog.view_point(0.35, 0.45)
        keys_at = prog.view_point(0.12, 0.2)   # above and left of every menu
        Batch(x).move(*keys_at, sync=True).send()
        for kind, payload in run:
            if kind == "keys":
                Batch(x).keys([("space" if k == " " else k) for k in payload]).send()
            else:
                _, entry, item = payload
                prog.choose(menu_at, entry, item, away=keys_at)
        try:
            app.wait_output(lambda out: len(out) >= len(expected), timeout=120,
                            what="every report")
        finally:
            got = app.out
            Batch(x).keys(["q"]).send()
            code = app.wait_exit(120)

    if got != expected:
        mine, theirs = parse_reports(got, complete=False), parse_reports(expected)
        for n, (a, b) in enumerate(zip(mine, theirs)):
            if a != b:
                print(f"report {n} differs; the run up to it:", file=sys.stderr)
                reports = 0
                for kind, payload in run:
                    print(f"  {kind}: {payload}", file=sys.stderr)
                    if kind == "keys":
                        reports += sum(payload.count(k) for k in "pvh")
                    if reports > n:
                        break
                break
        print(f"--- program:\n{got}\n--- model:\n{expected}", file=sys.stderr)
        return 1
    if code != 0 or app.err:
        print(f"exit status {code}, stderr:\n{app.err}", file=sys.stderr)
        return 1
    reports = parse_reports(got)
    sizes = sorted({len(v) for k, v in reports if k == "heights"})
    print(f"{len(steps)} steps, {sum(k == 'menu' for k, _ in run)} menu choices, "
          f"{len(reports)} reports agree, boards {sizes} ({time.monotonic() - started:.0f} s)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
