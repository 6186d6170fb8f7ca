#!/usr/bin/env python3
"""What the enrollment's false match rate would refuse and let in, rate by rate.

An impression joins an enrollment when it matches one other impression at the rate chosen
(kEnrollFalseMatchRate in engine/match/merge.h); this measures candidate rates before one is
chosen, from zarn-match's scores of single-impression templates (the better of the two
directions of a pair, as an enrollment of either order could meet it):
  refused  genuine enrollments of impressions 1-3 and 4-6 of each finger in which an
           impression matches neither of the other two
  let in   of every two impressions of a finger that match each other, joined by each
           impression of another finger of the same set: the share of those intruders that
           match either of the two (two comparisons per intruder)
on the real sets (default: those under ../shared/data beside the project) and on generated
fingers (zarn-fingergen, hard). For generated fingers it also counts the pairs of different
fingers with some comparison at 1 in 10,000 or better, and, when the peer tools are built
($PEERS, default /tmp/zarn-peers), how often NIST bozorth3 scores different fingers of each
kind 30 or more on the same templates: a matcher of another design, to tell a weakness of
ours from prints that resemble one another.

usage: operating_point.py [--build DIR] [--fingers N] [SET_DIR...]
"""
import argparse
import itertools
import math
import os
import subprocess
import sys
import tempfile

from enroll_real import PEERS, bozorth_scores, write_xyt

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "match"))
from real_sets import ROOT, default_sets  # noqa: E402

RATES = (1e-3, 5e-4, 2e-4, 1e-4)  # candidates; the score of rate r is -10 log10 r
LOOK_ALIKE_SCORE = 40


def templates(cli, images, out):
    """{(finger, impression): template path} for the images the extractor accepts."""
    paths = {}
    for image in images:
        name = os.path.basename(image)[:-4]
        result = subprocess.run([cli, image], capture_output=True, text=True)
        if result.returncode == 0:
            path = os.path.join(out, name + ".hex")
            with open(path, "w") as f:
                f.write(result.stdout)
            finger, impression = name.rsplit("_", 1)
            paths[(finger, int(impression))] = path
    return paths


def all_scores(build, paths):
    """zarn-match's score of every ordered pair of the templates."""
    keys = sorted(paths)
    scores = {}
    for probe in keys:
        others = [k for k in keys if k != probe]
        out = subprocess.run([os.path.join(build, "bin", "zarn-match"), paths[probe]] +
                             [paths[k] for k in others], capture_output=True,
                             text=True).stdout.splitlines()
        for key, line in zip(others, out):
            score = line.split(" ")[0]
            scores[(probe, key)] = float(score) if score != "-" else 0.0
    return keys, scores


def measure(name, keys, scores, genuine_triples):
    best = lambda a, b: max(scores.get((a, b), 0.0), scores.get((b, a), 0.0))
    fingers = sorted({f for f, _ in keys})
    own = {f: [k for k in keys if k[0] == f] for f in fingers}
    print("-- %s: %d fingers, %d templates" % (name, len(fingers), len(keys)))
    for rate in RATES:
        threshold = -10 * math.log10(rate)
        refused = triples = 0
        for f in fingers:
            for triple in genuine_triples:
                members = [(f, k) for k in triple]
                if all(m in keys for m in members):
                    triples += 1
                    refused += any(all(best(m, o) < threshold for o in members if o != m)
                                   for m in members)
        intruders = let_in = 0
        for f in fingers:
            for a, b in itertools.combinations(own[f], 2):
                if best(a, b) < threshold:
                    continue
                for x in keys:
                    if x[0] != f:
                        intruders += 1
                        let_in += max(best(x, a), best(x, b)) >= threshold
        print("  1 in %-6d (score %4.1f): refused %2d of %2d  let in %4d of %5d intruders "
              "(%.2f%%)" % (round(1 / rate), threshold, refused, triples, let_in, intruders,
                             100 * let_in / max(1, intruders)))
    impostor = [s for (a, b), s in scores.items() if a[0] != b[0]]
    alike = {tuple(sorted((a[0], b[0]))) for (a, b), s in scores.items()
             if a[0] != b[0] and s >= LOOK_ALIKE_SCORE}
    print("  impostor comparisons at %d or more: %d of %d; pairs of fingers with one: %d of %d"
          % (LOOK_ALIKE_SCORE, sum(s >= LOOK_ALIKE_SCORE for s in impostor), len(impostor),
             len(alike), len(fingers) * (len(fingers) - 1) // 2))


def bozorth_impostors(name, paths, scratch):
    if not os.path.exists(os.path.join(PEERS, "bin", "bozorth3")):
        return
    xyt = {}
    for key, path in paths.items():
        xyt[key] = path[:-4] + ".xyt"
        with open(path) as f:
            write_xyt(bytes.fromhex(f.read().strip()), xyt[key])
    pairs = [(a, b) for a, b in itertools.combinations(sorted(paths), 2) if a[0] != b[0]]
    scores = bozorth_scores([(xyt[a], xyt[b]) for a, b in pairs], scratch)
    print("  bozorth3 on the same templates: different fingers score 30 or more in %d of %d "
          "(%.3f%%)" % (sum(s >= 30 for s in scores), len(scores),
                        100 * sum(s >= 30 for s in scores) / max(1, len(scores))))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build", default=os.path.join(ROOT, "build"))
    parser.add_argument("--fingers", type=int, default=30, help="generated fingers")
    parser.add_argument("sets", nargs="*")
    args = parser.parse_args()
    cli = os.path.join(args.build, "bin", "zarn-cli")
    with tempfile.TemporaryDirectory() as scratch:
        generated = os.path.join(scratch, "generated")
        subprocess.run([os.path.join(args.build, "bin", "zarn-fingergen"), "-o", generated, "-n",
                        str(args.fingers), "-i", "3", "-s", "7", "-d", "hard"], check=True,
                       stdout=subprocess.DEVNULL)
        sources = [("generated fingers, hard", generated, [(1, 2, 3)])]
        sources += [(os.path.normpath(s), s, [(1, 2, 3), (4, 5, 6)])
                    for s in (args.sets or default_sets())]
        for n, (name, folder, triples) in enumerate(sources):
            out = os.path.join(scratch, "templates%d" % n)
            os.makedirs(out)
            images = [os.path.join(folder, f) for f in sorted(os.listdir(folder))
                      if f.endswith(".png")]
            paths = templates(cli, images, out)
            keys, scores = all_scores(args.build, paths)
            measure(name, keys, scores, triples)
            bozorth_impostors(name, paths, scratch)
    return 0


if __name__ == "__main__":
    sys.exit(main())
