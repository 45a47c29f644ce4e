#!/usr/bin/env python3
"""Memory over a long session, and a panel that rests while nothing changes.

    soak.py PLOK_TIME PANEL_LAYOUT SWAP_COUNTER_SO [--cycles N] [--frames N] [--verbose]

bench/'s swap counter, preloaded, counts the frames of the view and the panel.
The panel must not redraw while nothing changes, and only a few times for a
click on Reset. Cycles of 50 spaces and 50 clicks on "Undo Last" must end on an
empty board. VmRSS at the end must be within 5% of its value after 100 cycles
and within 1 MB of its value halfway: once warm, RSS climbs in 512 kB steps for
a while (arenas, the driver's pools), then stays flat; a leak keeps climbing.
"""
import os
import sys
import tempfile
import time

from stresslib import Batch, Program, XSession, arguments, wait_for

BATCH = 50
TOLERANCE_KB = 1024


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
        return int(next(line for line in f if line.startswith("VmRSS:")).split()[1])


def main():
    args = arguments("binary", "layout", "counter", cycles=2000, frames=5000, verbose=False)
    started = time.monotonic()
    failures = []

    with tempfile.TemporaryDirectory() as tmp, XSession() as x:
        counts = os.path.join(tmp, "swaps")
        p = Program(x, args.binary, args.layout, {"LD_PRELOAD": os.path.abspath(args.counter),
                                                  "PLOK_SWAP_COUNTS": counts})
        app, swaps, view = p.app, Swaps(counts, p.win, p.panel), p.view_point(0.3, 0.5)
        Batch(x).move(*view, sync=True).send()

        # 1. The panel at rest.
        swaps.wait_main(100)
        _, panel = swaps.wait_panel_rest()
        panel_later = swaps.wait_main(swaps.read()[0] + 200)[1]
        if panel_later != panel:
            failures.append(f"the panel drew {panel_later - panel} frames while nothing changed")
        Batch(x).click(*p.control_point(("button", "Reset", 1))).move(*view, sync=True).send()
        main_now, panel_now = swaps.wait_panel_rest()
        if not 2 <= panel_now - panel <= 20:
            failures.append(f"a click on Reset drew the panel {panel_now - panel} times")

        # 2. Place-and-undo cycles.
        undo = p.control_point(("button", "Undo Last", 1))
        samples, cycles, empty = [], 0, None
        while cycles < args.cycles:
            Batch(x).move(*view, sync=True).keys(["space"] * BATCH) \
                .move(*undo, sync=True).add("click", "--repeat", BATCH, "--delay", 5, 1) \
                .move(*view, sync=True).send()
            wait_for(lambda: swaps.read()[1] >= panel_now + 2 * BATCH, 600,
                     what="the undo clicks", interval=0.1)
            main_now, panel_now = swaps.wait_panel_rest()
            heights = p.await_report(lambda: Batch(x).keys(["p"]).send(), "the height matrix")[1]
            empty = empty or [[0] * len(heights)] * len(heights)
            if heights != empty:
                failures.append(f"after {cycles + BATCH} cycles the board is not empty: {heights[:2]}")
                break
            cycles += BATCH
            samples.append((cycles, rss_kb(app.proc.pid)))
            if args.verbose:
                print(f"  {cycles} cycles, {main_now} frames, VmRSS {samples[-1][1]} kB", flush=True)

        # ... and frames alone.
        swaps.wait_main(args.frames, timeout=3600)
        main_now, panel_now = swaps.read()
        final = rss_kb(app.proc.pid)
        samples.append((cycles, final))
        Batch(x).keys(["q"]).send()
        code = app.wait_exit(60)

    half = min(samples, key=lambda smp: abs(smp[0] - cycles / 2))[1]
    baseline = next((rss for n, rss in samples if n == 100), None)
    if baseline is None:
        failures.append("fewer than 100 cycles ran")
    elif final - baseline > baseline * 0.05:
        failures.append(f"VmRSS grew by {final - baseline} kB (from {baseline} kB after 100 "
                        f"cycles to {final} kB), over 5%")
    if final - half > TOLERANCE_KB:
        failures.append(f"VmRSS grew by {final - half} kB over the second half of the run "
                        f"(from {half} kB to {final} kB), over {TOLERANCE_KB} kB")
    if code != 0:
        failures.append(f"exit status {code}")
    print(f"{cycles} place-and-undo cycles, {main_now} frames of the view, {panel_now} of the "
          f"panel; VmRSS {baseline} kB after 100 cycles, {half} kB halfway, {final} kB at the end "
          f"(peak {max(s[1] for s in samples)} kB); {time.monotonic() - started:.0f} s")
    if failures:
        print("FAILED:\n" + "\n".join(failures), file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
