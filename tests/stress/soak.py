#!/usr/bin/env python3
"""Memory over a long session, and a panel that rests while nothing changes.

    soak.py PLOK_TIME PANEL_LAYOUT SWAP_COUNTER_SO [--cycles N] [--frames N] [--tolerance-kb N]

The program runs with bench/'s swap counter preloaded, which counts the
buffer swaps of each window: frames of the 3-D view and of the panel.

1. With the pointer over the 3-D view and nothing else happening, the panel is
   not redrawn at all while the view draws 200 frames; a click on one of its
   buttons redraws it a few times, and then it rests again.
2. Place-and-undo cycles, 50 at a time: 50 spaces stack 50 bricks, 50 clicks
   on "Undo Last" take them off again (each click takes two panel frames:
   press, release), and "p" must then show an empty board (no click lost).
   The 3-D view keeps drawing throughout; then it draws on alone until
   --frames frames have passed.
3. Resident memory (VmRSS) at the end is what it was after the first hundred
   cycles, within 5%; and over the second half of the run it grows by at most
   --tolerance-kb (1 MB). Once warm, the program's RSS climbs for a while in
   512 kB steps (the allocator's arenas, shared with llvmpipe's threads, and
   the driver's pools settling: 2.4 MB over the first 1,500 cycles in one run)
   and then stays flat; a leak keeps climbing, so the second half shows it:
   500 bytes a frame or a kB a cycle pass 1 MB there in the default run (2,000
   cycles, at least 5,000 frames: about three minutes, for the test suite),
   100 bytes a frame in `make soak` (10,000 of each). --verbose prints RSS
   after every 50 cycles.
"""
import argparse
import os
import sys
import tempfile
import time

from stresslib import Batch, Program, XSession, parse_reports, read_layout, start, wait_for

BATCH = 50


class Swaps:
    def __init__(self, path, main_window, panel_window):
        self.path, self.main, self.panel = path, main_window, panel_window

    def read(self):
        """(swaps of the 3-D view's window, swaps of the panel's)."""
        while True:
            try:
                with open(self.path) as f:
                    lines = f.read().split("\n")
                counts = {int(w, 16): int(n) for w, n in (l.split() for l in lines[1:] if l)}
                return counts.get(self.main, 0), counts.get(self.panel, 0)
            except (FileNotFoundError, ValueError):
                time.sleep(0.02)

    def wait_main(self, n, timeout=600):
        return wait_for(lambda: self.read()[0] >= n and self.read(), timeout,
                        what=f"{n} frames of the 3-D view", interval=0.1)

    def wait_panel_rest(self, frames=8, timeout=120):
        """Until the panel has drawn nothing while the view drew `frames` frames."""
        def resting():
            main, panel = self.read()
            later = self.wait_main(main + frames)
            return later[1] == panel and later
        return wait_for(resting, timeout, what="the panel to rest", interval=0)


def rss_kb(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    raise AssertionError("no VmRSS")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("binary")
    ap.add_argument("layout")
    ap.add_argument("counter")
    ap.add_argument("--cycles", type=int, default=2000)
    ap.add_argument("--frames", type=int, default=5000)
    ap.add_argument("--tolerance-kb", type=int, default=1024)
    ap.add_argument("--verbose", action="store_true")
    args = ap.parse_args()
    layout, panel_width = read_layout(args.layout)
    started = time.monotonic()
    failures = []

    with tempfile.TemporaryDirectory() as tmp, XSession() as x:
        counts = os.path.join(tmp, "swaps")
        app = start(x, [args.binary], {"LD_PRELOAD": os.path.abspath(args.counter),
                                       "PLOK_SWAP_COUNTS": counts})
        p = Program(x, app, layout, panel_width)
        swaps = Swaps(counts, p.win, p.panel)
        view = p.view_point(0.3, 0.5)
        Batch(x).move(*view, sync=True).send()

        # 1. The panel at rest.
        swaps.wait_main(100)
        _, panel = swaps.wait_panel_rest()
        main_now, _ = swaps.read()
        main_later, panel_later = swaps.wait_main(main_now + 200)
        if panel_later != panel:
            failures.append(f"the panel drew {panel_later - panel} frames while nothing changed")
        Batch(x).click(*p.control_point(("button", "Reset", 1))).move(*view, sync=True).send()
        main_now, panel_now = swaps.wait_panel_rest()
        if not 2 <= panel_now - panel <= 20:
            failures.append(f"a click on Reset drew the panel {panel_now - panel} times")

        # 2. Place-and-undo cycles.
        undo = p.control_point(("button", "Undo Last", 1))
        empty = None
        baseline = None
        samples = []
        cycles = 0
        while cycles < args.cycles:
            t0 = time.monotonic()
            Batch(x).move(*view, sync=True).keys(["space"] * BATCH) \
                .move(*undo, sync=True).add("click", "--repeat", BATCH, "--delay", 5, 1) \
                .move(*view, sync=True).send()
            wait_for(lambda: swaps.read()[1] >= panel_now + 2 * BATCH, 600,
                     what="the undo clicks", interval=0.1)
            t1 = time.monotonic()
            main_now, panel_now = swaps.wait_panel_rest()
            t2 = time.monotonic()
            before = len(parse_reports(app.out, complete=False))
            Batch(x).keys(["p"]).send()
            wait_for(lambda: len(parse_reports(app.out, complete=False)) > before, 60,
                     what="the height matrix")
            heights = parse_reports(app.out, complete=False)[-1][1]
            empty = empty or [[0] * len(heights)] * len(heights)
            if heights != empty:
                failures.append(f"after {cycles + BATCH} cycles the board is not empty: {heights[:2]}")
                break
            cycles += BATCH
            if cycles == 100:
                baseline = rss_kb(app.proc.pid)
            samples.append((cycles, main_now, rss_kb(app.proc.pid)))
            if args.verbose:
                print(f"  {cycles} cycles, {main_now} frames, VmRSS {samples[-1][2]} kB "
                      f"(clicks {t1 - t0:.1f} s, rest {t2 - t1:.1f} s, p {time.monotonic() - t2:.1f} s)",
                      flush=True)

        # ... and frames alone.
        main_now, _ = swaps.read()
        if main_now < args.frames:
            swaps.wait_main(args.frames, timeout=3600)
        main_now, panel_now = swaps.read()
        final = rss_kb(app.proc.pid)
        samples.append((cycles, main_now, final))
        Batch(x).keys(["q"]).send()
        code = app.wait_exit(60)

    half = min(samples, key=lambda smp: abs(smp[0] - cycles / 2))[2]
    if baseline is None:
        failures.append("fewer than 100 cycles ran")
    elif final - baseline > baseline * 0.05:
        failures.append(f"VmRSS grew by {final - baseline} kB (from {baseline} kB after 100 "
                        f"cycles to {final} kB), over 5%")
    if final - half > args.tolerance_kb:
        failures.append(f"VmRSS grew by {final - half} kB over the second half of the run "
                        f"(from {half} kB to {final} kB), over {args.tolerance_kb} kB")
    if code != 0:
        failures.append(f"exit status {code}")
    peak = max(s[2] for s in samples)
    print(f"{cycles} place-and-undo cycles, {main_now} frames of the view, {panel_now} of the "
          f"panel; VmRSS {baseline} kB after 100 cycles, {half} kB halfway, {final} kB at the end "
          f"(peak {peak} kB); "
          f"{time.monotonic() - started:.0f} s")
    if failures:
        print("FAILED:\n" + "\n".join(failures), file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
