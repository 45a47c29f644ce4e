#!/usr/bin/env python3
"""A seeded run of keys and popup-menu choices, whose whole output must be what
board_replay computes for it with the program's own board and key code. A "p"
ends every segment, so a difference points at where the two parted.

    replay.py PLOK_TIME PANEL_LAYOUT BOARD_REPLAY [--seed N] [--segments N]
"""
import random
from itertools import accumulate
import subprocess
import sys
import time

from stresslib import VERSION_LINE, Batch, Program, XSession, arguments, parse_reports

MOVES = "wsad"
OTHER_KEYS = "vhrWASDx1"   # reports, the eye reset, and keys that do nothing
# Menu entries with items: board_replay's step=n is item n-1 (Color lists Red, Blue, Green).
ITEMS = {"width": ("Width", 4), "length": ("Length", 4), "base_size": ("Base Size", 3),
         "color": ("Color", 3)}


def menu_step(rng):
    """(board_replay step, menu entry, submenu item or None)."""
    kind = rng.choice(["width", "length", "base_size", "base_size", "rotate", "undo",
                       "clear", "color"])
    if kind not in ITEMS:
        return kind, kind.capitalize(), None
    entry, count = ITEMS[kind]
    n = rng.randint(1, count)
    return f"{kind}={n}", entry, n - 1


def make_run(rng, segments):
    """[(kind, payload)]: ("keys", [key, ...]) and ("menu", (step, entry, item))."""
    run = []
    for _ in range(segments):
        keys = [rng.choice(MOVES) if rng.random() < 0.7 else "space"
                for _ in range(rng.randint(8, 30))]
        if rng.random() < 0.15:
            keys.insert(rng.randrange(len(keys)), rng.choice(OTHER_KEYS))
        run.append(("keys", keys + ["p"]))
        if rng.random() < 0.6:
            run.append(("menu", menu_step(rng)))
    return run


def main():
    args = arguments("binary", "layout", "replay", seed=20240611, segments=24)
    print(f"replay seed {args.seed} (rerun with --seed {args.seed})", flush=True)
    run = make_run(random.Random(args.seed), args.segments)
    steps = [k for kind, payload in run for k in (payload if kind == "keys" else payload[:1])]
    expected = VERSION_LINE + subprocess.run([args.replay, *steps], check=True,
                                             stdout=subprocess.PIPE, text=True).stdout
    started = time.monotonic()
    with XSession() as x:
        prog = Program(x, args.binary, args.layout)
        app = prog.app
        menu_at = prog.view_point(0.35, 0.45)
        keys_at = prog.view_point(0.12, 0.2)   # above and left of every menu
        Batch(x).move(*keys_at, sync=True).send()
        for kind, payload in run:
            if kind == "keys":
                Batch(x).keys(payload).send()
            else:
                prog.choose(menu_at, *payload[1:], away=keys_at)
        try:
            app.wait_output(lambda out: len(out) >= len(expected), timeout=120,
                            what="every report")
        finally:
            got = app.out
            Batch(x).keys(["q"]).send()
            code = app.wait_exit(120)

    if got != expected:
        mine, theirs = parse_reports(got, complete=False), parse_reports(expected)
        n = next((n for n, (a, b) in enumerate(zip(mine, theirs)) if a != b), None)
        if n is not None:   # the run up to the segment that printed report n
            printed = accumulate(sum(p.count(k) for k in "pvh") if kind == "keys" else 0
                                 for kind, p in run)
            end = next(i for i, c in enumerate(printed) if c > n)
            print(f"report {n} differs; the run up to it:", *(f"  {k}: {p}" for k, p in run[:end + 1]),
                  sep="\n", file=sys.stderr)
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
