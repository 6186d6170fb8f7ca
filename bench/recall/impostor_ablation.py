#!/usr/bin/env python3
"""Which of our minutiae make our highest impostor scores under bozorth3: for each of a set's N
highest-scoring impostor pairs, each minutia of the first template is left out in turn and the
pair scored again. A minutia whose absence costs the score 2 points or more carries the match.
Each such minutia is told by where it lies (within 16 px of our mask's edge, or inside) and
whether either peer (FingerJetFX, mindtct) has a minutia there (12 px, 30 degrees).

usage: bench/recall/impostor_ablation.py SET_DIR [--build DIR] [--pairs N]

Reads the .xyt files that ../shared/peers/eval_visible.py left in its work folder
($TMPDIR/zarn-eval-visible/SET_NAME/{ours,fjfx}): run it on the set first with --peers and --cli
from the same build. The peers' minutiae come from recall.py's cache.
"""
import argparse
import collections
import itertools
import math
import os
import sys
import tempfile

import recall

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "interop"))
import interop  # noqa: E402

CARRIES = 2  # points of score a minutia's absence must cost to count as carrying the match


def impostor_scores(folder, names, scratch):
    fingers = interop.impressions_by_finger(names)
    pairs = [(a, b) for f, g in itertools.combinations(sorted(fingers), 2) for a in fingers[f] for b in fingers[g]]
    path = lambda n: os.path.join(folder, n + ".xyt")  # noqa: E731
    return sorted(zip(interop.bozorth_scores([(path(a), path(b)) for a, b in pairs], scratch), pairs), reverse=True)


def describe(build, png, xyt_lines, carrying):
    """(where, seen by a peer) of each carrying .xyt line: ours found by position in the stages' list."""
    fjfx, mindtct = recall.peer_minutiae(png)
    ours = recall.run_stages(build, png, recall.consensus(fjfx, mindtct))["ours"]
    height = recall.png_height(png)
    seen = {i for i, _ in recall.pair([o[:3] for o in ours], fjfx + mindtct)}
    out = []
    for line in carrying:
        x, y = (float(v) for v in xyt_lines[line].split()[:2])
        y = height - y  # .xyt counts y up from the bottom
        i = min(range(len(ours)), key=lambda k: math.hypot(ours[k][0] - x, ours[k][1] - y))
        out.append(("edge" if ours[i][8] < recall.EDGE else "inside", i in seen))
    return out


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("set_dir")
    parser.add_argument("--build", default=os.path.join(recall.ROOT, "build"))
    parser.add_argument("--pairs", type=int, default=15)
    args = parser.parse_args()
    name = os.path.basename(args.set_dir.rstrip("/"))
    work = os.path.join(tempfile.gettempdir(), "zarn-eval-visible", name)
    ours_dir, fjfx_dir = os.path.join(work, "ours"), os.path.join(work, "fjfx")
    names = sorted(f[:-4] for f in os.listdir(ours_dir) if f.endswith(".xyt"))
    tally = collections.Counter()
    with tempfile.TemporaryDirectory() as scratch:
        top = impostor_scores(ours_dir, names, scratch)[:args.pairs]
        theirs = interop.bozorth_scores(
            [(os.path.join(fjfx_dir, a + ".xyt"), os.path.join(fjfx_dir, b + ".xyt")) for _, (a, b) in top], scratch)
        for (score, (a, b)), fjfx_score in zip(top, theirs):
            lines = open(os.path.join(ours_dir, a + ".xyt")).read().splitlines()
            partial = []
            for i in range(len(lines)):
                path = os.path.join(scratch, "%s-%d.xyt" % (a, i))
                with open(path, "w") as f:
                    f.write("\n".join(lines[:i] + lines[i + 1:]) + "\n")
                partial.append((path, os.path.join(ours_dir, b + ".xyt")))
            costs = [score - s for s in interop.bozorth_scores(partial, scratch)]
            carrying = [i for i, c in enumerate(costs) if c >= CARRIES]
            kinds = describe(args.build, os.path.join(args.set_dir, a + ".png"), lines, carrying)
            tally.update(kinds)
            print("%s %s: ours %d (FingerJetFX %d), %d minutiae, %d carry it: %s" % (
                a, b, score, fjfx_score, len(lines), len(carrying),
                " ".join("-%d%s%s" % (costs[i], "E" if w == "edge" else "", "" if s else "?")
                         for i, (w, s) in sorted(zip(carrying, kinds), key=lambda t: -costs[t[0]]))))
    total = sum(tally.values())
    print("minutiae that carry the %d highest impostor scores: %d" % (len(top), total))
    for (where, seen), n in tally.most_common():
        print("  %-6s %-22s %4d  %5.1f%%" % (where, "seen by a peer" if seen else "seen by neither peer", n,
                                             100.0 * n / total))
    print("(each minutia: -cost; E within %.0f px of the mask's edge; ? seen by neither peer)" % recall.EDGE)


if __name__ == "__main__":
    sys.exit(main())
