#!/usr/bin/env python3
"""The code's structure, checked: includes run down the layer order (board,
render, glui, ui, app; tests/ and bench/ may include anything), no module
includes another that includes it back, and no block of six or more lines of
code stands twice.

    scripts/check-layers.py               # the working tree
    scripts/check-layers.py --base main   # the working tree, and what is new since main

A module is a header with its source file (render/layer.h and
render/layer.cpp). A block is six lines of code in a row, compared with blank
lines, comments, includes, imports and lone punctuation left out and white
space folded. Prints what it finds; exits 1 where an include points up the
order or modules include each other in a cycle, and, with --base, where a
repeated block is new since REV (it stood in fewer places there)."""

import argparse
import collections
import os
import re
import subprocess
import sys

LAYERS = ["board", "render", "glui", "ui", "app"]  # each may include those before it
FREE = ["tests", "bench", "scripts"]  # may include anything
# Code files: C++ (.h, and .c with whatever follows), Python and shell.
CXX, SCRIPT = re.compile(r"\.(h|c[a-z+]*)$"), re.compile(r"\.(py|sh)$")
BLOCK = 6
ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def git(*args):
    return subprocess.run(["git", "-C", ROOT, *args], check=True, capture_output=True, text=True).stdout


def tree(rev):
    """{path: text} of the code, at `rev` or (None) as the working tree holds it."""
    if rev:
        paths = git("ls-tree", "-r", "--name-only", rev).split("\n")
    elif os.path.isdir(os.path.join(ROOT, ".git")) or os.path.isfile(os.path.join(ROOT, ".git")):
        paths = git("ls-files", "--cached", "--others", "--exclude-standard").split("\n")
    else:
        paths = [os.path.relpath(os.path.join(d, f), ROOT) for d, _, fs in os.walk(ROOT) for f in fs]
    files = {}
    for path in paths:
        if path.split("/")[0] in LAYERS + FREE and (CXX.search(path) or SCRIPT.search(path)):
            if rev:
                files[path] = git("show", f"{rev}:{path}")
            elif os.path.isfile(os.path.join(ROOT, path)):
                with open(os.path.join(ROOT, path), encoding="utf-8", errors="replace") as f:
                    files[path] = f.read()
    return files


def includes(files):
    """(file, line, included file) for every include of a project file."""
    found = []
    for path, text in files.items():
        if not CXX.search(path):
            continue
        for number, line in enumerate(text.split("\n"), 1):
            m = re.match(r'\s*#\s*include\s+"([^"]+)"', line)
            if not m:
                continue
            for target in (m.group(1), os.path.normpath(os.path.join(os.path.dirname(path), m.group(1)))):
                if target in files:
                    found.append((path, number, target))
                    break
    return found


def upward(found):
    def layer(path):
        top = path.split("/")[0]
        return LAYERS.index(top) if top in LAYERS else None

    return [(p, n, t) for p, n, t in found if layer(p) is not None and layer(t) is not None and layer(t) > layer(p)]


def module(path):
    return os.path.splitext(path)[0]


def cycles(found):
    """The sets of modules that include each other round a loop (Tarjan's)."""
    edges = collections.defaultdict(set)
    for p, _, t in found:
        if module(p) != module(t):
            edges[module(p)].add(module(t))
    nodes = sorted(set(edges) | {t for ts in edges.values() for t in ts})
    index, low, stack, on, out = {}, {}, [], set(), []

    def visit(v):
        index[v] = low[v] = len(index)
        stack.append(v)
        on.add(v)
        for w in sorted(edges[v]):
            if w not in index:
                visit(w)
                low[v] = min(low[v], low[w])
            elif w in on:
                low[v] = min(low[v], index[w])
        if low[v] == index[v]:
            group = []
            while True:
                w = stack.pop()
                on.discard(w)
                group.append(w)
                if w == v:
                    break
            if len(group) > 1:
                out.append(tuple(sorted(group)))

    for v in nodes:
        if v not in index:
            visit(v)
    return sorted(out)


def code_lines(path, text):
    """(line number, folded text) of the lines that count in a block."""
    out = []
    comment = "#" if SCRIPT.search(path) else "//"
    in_block_comment = False
    for number, line in enumerate(text.split("\n"), 1):
        s = line.strip()
        if comment == "//":
            if in_block_comment:
                in_block_comment = "*/" not in s
                continue
            if s.startswith("/*"):
                in_block_comment = "*/" not in s
                continue
            if s.startswith("#"):
                continue
        if s.startswith(comment) or re.match(r"(import|from)\s", s):
            continue
        cut = s.find(" " + comment + " ")
        s = " ".join((s[:cut] if cut >= 0 else s).split())
        if re.fullmatch(r"[{}()\[\];,.:]*", s):
            continue
        out.append((number, s))
    return out


def blocks(files):
    """{block of BLOCK folded lines: [(file, first line, last line)]}."""
    places = collections.defaultdict(list)
    for path, text in sorted(files.items()):
        lines = code_lines(path, text)
        for i in range(len(lines) - BLOCK + 1):
            window = lines[i:i + BLOCK]
            places[tuple(s for _, s in window)].append((path, window[0][0], window[-1][0]))
    return places


def runs(places, keep):
    """Repeated blocks that `keep` accepts, those that overlap in both places joined."""
    pairs = collections.defaultdict(list)  # (place a, place b) runs, by file pair
    for key, where in places.items():
        if len(where) < 2 or not keep(key):
            continue
        for a in where:
            for b in where:
                if a < b:
                    pairs[(a[0], b[0])].append((a[1], a[2], b[1], b[2]))
    out = []
    for (fa, fb), spans in pairs.items():
        spans.sort()
        joined = []
        for s in spans:
            if joined and s[0] <= joined[-1][1] and s[2] <= joined[-1][3] and s[2] >= joined[-1][2]:
                j = joined[-1]
                joined[-1] = (j[0], max(j[1], s[1]), j[2], max(j[3], s[3]))
            else:
                joined.append(s)
        out += [f"{fa}:{a0}-{a1} ~ {fb}:{b0}-{b1}" for a0, a1, b0, b1 in joined]
    return sorted(out)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--base", metavar="REV", help="also say what is new since REV")
    args = parser.parse_args()

    files = tree(None)
    found = includes(files)
    failed = False

    up = upward(found)
    print(f"{len(files)} files, {len(found)} includes; layers {' < '.join(LAYERS)}")
    print(f"includes pointing up the layer order: {len(up) or 'none'}")
    for p, n, t in up:
        print(f"  {p}:{n} includes {t}")
    failed |= bool(up)

    loops = cycles(found)
    print(f"modules that include each other in a cycle: {len(loops) or 'none'}")
    for loop in loops:
        print("  " + ", ".join(loop))
    failed |= bool(loops)

    places = blocks(files)
    repeated = runs(places, lambda key: True)
    print(f"blocks of {BLOCK} or more lines that stand twice: {len(repeated) or 'none'}")
    for r in repeated:
        print("  " + r)

    if args.base:
        before = blocks(tree(args.base))
        new = runs(places, lambda key: len(places[key]) > len(before.get(key, ())))
        print(f"of those, new since {args.base} (in more places than there): {len(new) or 'none'}")
        for r in new:
            print("  " + r)
        failed |= bool(new)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
