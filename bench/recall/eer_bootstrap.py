#!/usr/bin/env python3
"""How sure a difference of EER between two extractors on one set is: the set's fingers are
drawn with replacement, and the EER difference is taken again on each draw from the same scores.

usage: bench/recall/eer_bootstrap.py SET_NAME [A B] [--draws N]

Reads the templates and scores that ../shared/peers/eval_visible.py left in its work folder
($TMPDIR/zarn-eval-visible/SET_NAME/{A,B}; A and B default to ours and fjfx): bozorth3 is run
again on every pair of the .xyt files, OpenAFIS's scores are read from oafis.scores. Run
eval_visible.py on the set first, with --peers and --cli, so both folders hold the same images.
"""
import argparse
import itertools
import os
import random
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "match"))
from bench_match import rates  # noqa: E402

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "interop"))
import interop  # noqa: E402


def bozorth_scores(folder, names):
    pairs = list(itertools.combinations(names, 2))
    path = lambda n: os.path.join(folder, n + ".xyt")  # noqa: E731
    with tempfile.TemporaryDirectory() as scratch:
        scores = interop.bozorth_scores([(path(a), path(b)) for a, b in pairs], scratch)
    return {pair: [s] for pair, s in zip(pairs, scores)}


def openafis_scores(folder):
    """Both directions of each pair, as the matcher gives them."""
    scores = {}
    for line in open(os.path.join(folder, "oafis.scores")):
        a, b, s = line.split()
        scores.setdefault(tuple(sorted((a, b))), []).append(int(s))
    return scores


def eer_of_draw(scores, impressions, fingers):
    genuine, impostor = [], []
    for i, f in enumerate(fingers):
        for pair in itertools.combinations(impressions[f], 2):
            genuine += scores[tuple(sorted(pair))]
        for g in fingers[i + 1:]:
            if g != f:  # a finger drawn twice is not its own impostor
                for a in impressions[f]:
                    for b in impressions[g]:
                        impostor += scores[tuple(sorted((a, b)))]
    return rates(genuine, impostor)[0]


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("set_name")
    parser.add_argument("a", nargs="?", default="ours")
    parser.add_argument("b", nargs="?", default="fjfx")
    parser.add_argument("--draws", type=int, default=200)
    args = parser.parse_args()
    a, b = args.a, args.b
    work = os.path.join(tempfile.gettempdir(), "zarn-eval-visible", args.set_name)
    names = sorted(f[:-4] for f in os.listdir(os.path.join(work, a)) if f.endswith(".xyt"))
    impressions = {}
    for n in names:
        impressions.setdefault(n.split("_")[0], []).append(n)
    fingers = sorted(impressions)
    rng = random.Random(1)
    draws = [[rng.choice(fingers) for _ in fingers] for _ in range(args.draws)]
    judges = [("bozorth3", lambda e: bozorth_scores(os.path.join(work, e), names))]
    if all(os.path.exists(os.path.join(work, e, "oafis.scores")) for e in (a, b)):
        judges.append(("OpenAFIS", lambda e: openafis_scores(os.path.join(work, e))))
    for judge, load in judges:
        sa, sb = load(a), load(b)
        whole = 100 * (eer_of_draw(sa, impressions, fingers) - eer_of_draw(sb, impressions, fingers))
        diffs = sorted(100 * (eer_of_draw(sa, impressions, d) - eer_of_draw(sb, impressions, d)) for d in draws)
        low, high = diffs[int(0.05 * len(diffs))], diffs[int(0.95 * len(diffs)) - 1]
        worse = 100.0 * sum(x > 0 for x in diffs) / len(diffs)
        print("%s %s: EER %s - %s %+.2f points, 90%% interval %+.2f .. %+.2f, %s worse in %.0f%% of %d draws" % (
            args.set_name, judge, a, b, whole, low, high, a, worse, len(diffs)))


if __name__ == "__main__":
    main()
