#!/usr/bin/env python3
"""Measures what zarn-match's scores mean and writes the table behind them.

Makes templates with zarn-cli of real sets (folders of NNN_K.png, different NNN
for different fingers; by default the sets under ../shared/data beside the
project when it exists), scores every ordered pair of different fingers with
the matcher (match_scores), those of different sets included (another sensor's
prints of another finger are impostors too), and writes
engine/match/impostor_tail.inc: the
similarity reached by a share 10^-k of those impostor comparisons, for k from 0
in steps of 0.25 as far as the counts allow, then the tail continued along its
last two decades. Generated fingers (zarn-fingergen) are measured beside them
for comparison only: the generator's prints resemble one another more than real
fingers do (about twice the similarity at the same rate), so a table made from
them would understate every real match. They make the table only when no real
set is at hand.

usage: calibrate.py [--build DIR] [--fingers N] [--write] [SET_DIR...]
"""
import argparse
import math
import os
import subprocess
import sys
import tempfile

from real_sets import ROOT, default_sets
# The table stops where fewer impostor scores than this lie above a point:
# beyond, one chance score would move it.
MIN_TAIL_COUNT = 5


def make_templates(cli, images, out_dir):
    paths = []
    for image in images:
        name = os.path.basename(os.path.dirname(image)) + "-" + os.path.basename(image)[:-4]
        result = subprocess.run([cli, image], capture_output=True, text=True)
        if result.returncode == 0:
            path = os.path.join(out_dir, name + ".hex")
            with open(path, "w") as f:
                f.write(result.stdout)
            paths.append(path)
    return paths


def finger_of(path):
    # "<set>-<finger>_<impression>.hex": set and finger together name a finger.
    return os.path.basename(path).rsplit("_", 1)[0]


def scores(build, paths):
    result = subprocess.run([os.path.join(build, "bin", "match_scores")] + paths,
                            capture_output=True, text=True, check=True)
    genuine, impostor = [], []
    for line in result.stdout.splitlines():
        a, b, s = line.split()
        (genuine if finger_of(a) == finger_of(b) else impostor).append(float(s))
    sys.stderr.write(result.stderr)
    return genuine, impostor


def tail_table(impostor):
    ranked = sorted(impostor, reverse=True)
    n = len(ranked)
    table = [(0.0, 0.0)]
    k = 0.25
    while True:
        count = int(n * 10 ** -k)
        if count < MIN_TAIL_COUNT:
            break
        similarity = ranked[count - 1]
        if similarity > table[-1][0]:
            table.append((similarity, math.log10(count / n)))
        k += 0.25
    # Past the measured tail, the chance of a higher similarity keeps falling
    # as it did over the last two decades: a straight line in log FMR,
    # written as a last point at similarity 1.
    start = next(p for p in table if p[1] <= table[-1][1] + 2)
    slope = (table[-1][1] - start[1]) / (table[-1][0] - start[0])
    table.append((1.0, table[-1][1] + slope * (1.0 - table[-1][0])))
    return table


def report(title, table, genuine):
    print("-- " + title)
    for similarity, log10_fmr in table:
        share = sum(g >= similarity for g in genuine) / max(1, len(genuine))
        print("similarity %.4f  FMR 10^%.2f  score %5.1f  genuine reaching it %5.1f%%" %
              (similarity, log10_fmr, -10 * log10_fmr, 100 * share))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build", default=os.path.join(ROOT, "build"))
    parser.add_argument("--fingers", type=int, default=100, help="generated fingers")
    parser.add_argument("--write", action="store_true", help="rewrite engine/match/impostor_tail.inc")
    parser.add_argument("sets", nargs="*")
    args = parser.parse_args()
    sets = args.sets or default_sets()
    cli = os.path.join(args.build, "bin", "zarn-cli")
    with tempfile.TemporaryDirectory() as scratch:
        generated = os.path.join(scratch, "generated")
        subprocess.run([os.path.join(args.build, "bin", "zarn-fingergen"), "-o", generated,
                        "-n", str(args.fingers), "-i", "3", "-s", "7"], check=True,
                       stdout=subprocess.DEVNULL)
        generated_images = [os.path.join(generated, f) for f in sorted(os.listdir(generated))
                            if f.endswith(".png")]
        groups = [[os.path.join(folder, f) for f in sorted(os.listdir(folder))
                   if f.endswith(".png")] for folder in sets]
        generated_out = os.path.join(scratch, "generated-templates")
        os.makedirs(generated_out)
        g, i = scores(args.build, make_templates(cli, generated_images, generated_out))
        report("generated fingers (for comparison)", tail_table(i), g)
        real_out = os.path.join(scratch, "real-templates")
        os.makedirs(real_out)
        paths = [p for images in groups for p in make_templates(cli, images, real_out)]
        if paths:
            genuine, impostor = scores(args.build, paths)
            count = len(paths)
        else:
            genuine, impostor, count = g, i, len(generated_images)
    print("%d templates: %d genuine, %d impostor comparisons" %
          (count, len(genuine), len(impostor)))
    table = tail_table(impostor)
    report("the table's prints", table, genuine)
    # How firmly the data place 1 in 10,000: the few impostor scores around
    # it, each with the score the table gives it.
    ranked = sorted(impostor, reverse=True)
    expected = len(ranked) * 1e-4
    print("1 in 10,000 is %.1f of %d impostor comparisons; the highest:" %
          (expected, len(ranked)))
    for rank, similarity in enumerate(ranked[:8], 1):
        print("  %d. similarity %.4f, FMR by count 10^%.2f" %
              (rank, similarity, math.log10(rank / len(ranked))))
    if args.write:
        path = os.path.join(ROOT, "engine", "match", "impostor_tail.inc")
        with open(path, "w") as f:
            f.write("// similarity, log10 of the false match rate: %d impostor comparisons of\n"
                    "// %d templates of real prints; written by bench/match/calibrate.py\n"
                    % (len(impostor), count))
            for similarity, log10_fmr in table[:-1]:
                f.write("{%.5ff, %.3f},\n" % (similarity, log10_fmr))
            f.write("{%.5ff, %.3f},  // extrapolated\n" % table[-1])
        print("wrote " + path)


if __name__ == "__main__":
    sys.exit(main())
