#!/usr/bin/env python3
"""The whole program's frame rate with its panel and without, and how soon a
key shows on screen. Not a test: it prints figures.

    python3 bench/program_bench.py BUILD_DIR [--rounds N] [--seconds S]

Runs under a virtual X server of its own. Frames are buffer swaps, counted
per window by build/bench/libswap_counter.so (preloaded).

Frame rate: build/app/plok_time (the program, its panel idle, the pointer
over the 3-D view) against build/bench/plok_time_without_panel (the same
main.cpp with the panel left windowless, its width still kept free, so the
3-D view and its viewport are the same). The two alternate, A B B A A B ...,
each measured for S seconds after a warm-up; the figure is the median of
each round's ratio, so load from other programs falls on both sides. The
process's CPU time per frame (llvmpipe's threads included) is compared the
same way: it moves much less than wall time when other programs load the
machine. The
panel's own swaps in the measured time are counted too: at rest it should
draw none.

Latency: keys that move the cursor brick ("d", then "a", alternating, a
third of a second apart). For each, from the moment the program reads the
key press from the X server (XNextEvent returns it) to the first swap of
the 3-D view whose pixels differ from the frame shown before the key: in
frames (1 = the very next frame shows it) and in milliseconds.
"""
import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests"))
from x import XSession, wait_for  # noqa: E402


def read_counts(path):
    while True:
        try:
            with open(path) as f:
                lines = f.read().split("\n")
            return int(lines[0]), {int(w, 16): int(n) for w, n in (l.split() for l in lines[1:] if l)}
        except (FileNotFoundError, ValueError, IndexError):
            time.sleep(0.02)


def cpu_seconds(pid):
    """User and system time of a process, all its threads (llvmpipe's too)."""
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def start(x, binary, shim, env):
    app = x.start([binary], dict(env, LD_PRELOAD=shim))
    win = x.window("PLOK Time", app)
    left, top, width, height = x.geometry(win)
    x.xdotool("mousemove", "--sync", left + 200, top + 300)   # over the 3-D view
    return app, win


def frame_rate(x, binary, shim, seconds, tmp):
    path = os.path.join(tmp, "counts")
    if os.path.exists(path):
        os.remove(path)
    app, win = start(x, binary, shim, {"PLOK_SWAP_COUNTS": path})
    wait_for(lambda: read_counts(path)[1].get(win, 0) >= 30, 120, "a warm-up")
    time.sleep(1.0)
    t0, c0 = read_counts(path)
    cpu0 = cpu_seconds(app.pid)
    time.sleep(seconds)
    t1, c1 = read_counts(path)
    cpu1 = cpu_seconds(app.pid)
    x.xdotool("key", "q")
    app.wait(60)
    frames = c1[win] - c0[win]
    fps = frames / ((t1 - t0) / 1e9)
    others = sum(c1[w] - c0.get(w, 0) for w in c1 if w != win)
    return fps, 1000 * (cpu1 - cpu0) / max(1, frames), others


def latency(x, binary, shim, presses, tmp):
    path = os.path.join(tmp, "trace")
    app, win = start(x, binary, shim, {"PLOK_SWAP_TRACE": path})
    time.sleep(2.0)
    for i in range(presses):
        x.xdotool("key", "d" if i % 2 == 0 else "a")
        time.sleep(0.33)
    x.xdotool("key", "q")
    app.wait(60)
    swaps, keys = [], []
    with open(path) as f:
        for line in f:
            fields = line.split()
            if fields[0] == "swap" and int(fields[1], 16) == win:
                swaps.append((int(fields[3]), fields[4]))
            elif fields[0] == "key":
                keys.append(int(fields[2]))
    frames, millis = [], []
    for t in keys[:-1]:   # the last is "q"
        before = [s for s in swaps if s[0] < t]
        after = [s for s in swaps if s[0] >= t]
        if not before or not after:
            continue
        shown = before[-1][1]
        for n, (ts, checksum) in enumerate(after, 1):
            if checksum != shown:
                frames.append(n)
                millis.append((ts - t) / 1e6)
                break
    return frames, millis


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("build")
    ap.add_argument("--rounds", type=int, default=6)
    ap.add_argument("--seconds", type=float, default=5.0)
    ap.add_argument("--presses", type=int, default=30)
    args = ap.parse_args()
    program = os.path.join(args.build, "app", "plok_time")
    bare = os.path.join(args.build, "bench", "plok_time_without_panel")
    shim = os.path.abspath(os.path.join(args.build, "bench", "libswap_counter.so"))

    with tempfile.TemporaryDirectory() as tmp, XSession() as x:
        renderer = [l.strip() for l in x.run("glxinfo", "-B").splitlines()
                    if "renderer string" in l or "OpenGL version string" in l]
        print("\n".join(renderer))
        print(f"{os.cpu_count()} cores; {args.rounds} rounds of {args.seconds:.0f} s each side")
        with_panel, without, ratios, cpu_ratios, panel_swaps = [], [], [], [], 0
        for r in range(args.rounds):
            order = [(program, True), (bare, False)]
            if r % 2:
                order.reverse()
            got, cpu = {}, {}
            for binary, panel in order:
                fps, cpu_ms, others = frame_rate(x, binary, shim, args.seconds, tmp)
                got[panel], cpu[panel] = fps, cpu_ms
                if panel:
                    panel_swaps += others
            with_panel.append(got[True])
            without.append(got[False])
            ratios.append(got[True] / got[False])
            cpu_ratios.append(cpu[True] / cpu[False])
            print(f"  round {r + 1}: with panel {got[True]:.1f} fps ({cpu[True]:.1f} ms CPU a frame), "
                  f"without {got[False]:.1f} fps ({cpu[False]:.1f} ms); fps ratio {ratios[-1]:.3f}, "
                  f"CPU ratio {cpu_ratios[-1]:.3f}", flush=True)
        print(f"frames per second, median: with the panel {statistics.median(with_panel):.1f}, "
              f"without {statistics.median(without):.1f}; median ratio {statistics.median(ratios):.3f} "
              f"(panel cost {100 * (1 - statistics.median(ratios)):+.1f}%)")
        print(f"CPU time a frame (all threads), median ratio with/without the panel: "
              f"{statistics.median(cpu_ratios):.3f}")
        print(f"panel swaps while at rest: {panel_swaps} in {args.rounds * args.seconds:.0f} s")
        frames, millis = latency(x, program, shim, args.presses, tmp)
        hist = {n: frames.count(n) for n in sorted(set(frames))}
        print(f"key to screen: {len(frames)} presses; frames after the key was read: {hist}; "
              f"median {statistics.median(millis):.0f} ms, max {max(millis):.0f} ms "
              f"(with the pixel read-back of the trace in every frame)")


if __name__ == "__main__":
    main()
