#!/usr/bin/env python3
"""Degradation benchmark: the real sets made worse in the ways skin and sensors vary (dark,
dry, faint, noisy, grainy background, scaled by 0.85 and 1.15, cropped), our templates beside
FingerJetFX's, each scored by bozorth3, by zarn-match and, where the peer tools include it, by
OpenAFIS. It shows whether an extraction change holds up away from the clean sets; it is not a
set to tune constants to.

usage: bench/degrade/degrade.py [--build DIR] [--jobs N] [--only NAME,...] [SET_DIR ...]

Per set and condition (clean first) it prints the EER of ours and of FingerJetFX under each
matcher, failures to enroll and median minutiae. Every pair of impressions is scored once.
OpenAFIS's EER moves with the order of the minutiae in a record, so it is given as the mean over
8 random orders (bench/recall/openafis_orders.py). Failed images are left out of OpenAFIS's
pairs, as eval_visible.py's figure does not exist for them.
Without SET_DIR it takes the visible sets in ../shared/data; without the peer tools
($PEERS/bin, default /tmp/zarn-peers) it says so and exits 0. Degraded images and
FingerJetFX's templates are kept in $TMPDIR/zarn-degrade between runs.
"""
import argparse
import concurrent.futures
import os
import statistics
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))),
                                "interop"))
import interop  # noqa: E402

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))),
                                "recall"))
import openafis_orders  # noqa: E402

WORK = os.path.join(tempfile.gettempdir(), "zarn-degrade")
OAFIS = os.path.join(interop.PEER_BIN, "oafis")
ORDERS = 8
FIGURES = 5  # bozorth3, zarn-match, failures to enroll, median minutiae, OpenAFIS (or -1)


def degraded_folders(build, folder, out):
    """Condition name -> image folder; the copies are made again when the tool is newer."""
    tool = os.path.join(build, "bin", "degrade_images")
    stamp = os.path.join(out, "made")
    if not os.path.exists(stamp) or os.path.getmtime(stamp) < os.path.getmtime(tool):
        subprocess.run([tool, folder, out], check=True)
        open(stamp, "w").close()
    names = sorted(d for d in os.listdir(out) if os.path.isdir(os.path.join(out, d)))
    return [("clean", folder)] + [(d, os.path.join(out, d)) for d in names]


def zarn_match_scores(match, records, fingers, jobs):
    """zarn-match scores of every unordered pair, genuine and impostor; a failed template
    scores 0, as does a template zarn-match cannot use."""
    images = sorted(records)
    finger = {png: f for f, pngs in fingers.items() for png in pngs}

    def probe(i):
        a = images[i]
        later = images[i + 1:]
        scores = dict.fromkeys(later, 0.0)
        gallery = [records[b][:-4] + ".ist" for b in later if records[b]]
        if records[a] and gallery:
            run = subprocess.run([match, records[a][:-4] + ".ist"] + gallery,
                                 capture_output=True, text=True)
            by_path = {}
            for line in run.stdout.splitlines():
                score, path = line.split(" ", 1)
                by_path[path] = 0.0 if score == "-" else float(score)
            for b in later:
                if records[b]:
                    scores[b] = by_path.get(records[b][:-4] + ".ist", 0.0)
        return [(finger[a] == finger[b], s) for b, s in scores.items()]

    genuine, impostor = [], []
    with concurrent.futures.ThreadPoolExecutor(jobs) as pool:
        for pairs in pool.map(probe, range(len(images))):
            for same, s in pairs:
                (genuine if same else impostor).append(s)
    return genuine, impostor


def measure(extract, images, fingers, out, cached, match, jobs):
    """(bozorth3 EER, zarn-match EER, failures to enroll, median minutiae, OpenAFIS EER or -1
    without it) of one extractor. A peer's figures are kept while its templates and the
    matchers stay unchanged."""
    saved = os.path.join(out, "figures.txt")
    records = interop.extract_all(extract, images, out, jobs, cached)
    if cached and os.path.exists(saved):
        newest = max(os.path.getmtime(p) for p in [match, os.path.join(
            interop.PEER_BIN, "bozorth3")] + [x for x in records.values() if x])
        if os.path.getmtime(saved) > newest:
            with open(saved) as f:
                figures = [float(v) for v in f.read().split()]
            if len(figures) == FIGURES:
                return figures
    genuine, impostor = interop.score_pairs(records, records, fingers, out, False)
    figures = [interop.error_rates(genuine, impostor)[0]]
    genuine, impostor = zarn_match_scores(match, records, fingers, jobs)
    figures.append(interop.error_rates(genuine, impostor)[0])
    made = [x for x in records.values() if x]
    figures.append(len(images) - len(made))
    figures.append(statistics.median(interop.count_lines(x) for x in made) if made else 0)
    if os.access(OAFIS, os.X_OK) and made:
        eers = openafis_orders.order_eers([x[:-4] + ".ist" for x in made], ORDERS)
        figures.append(sum(eers[1:]) / ORDERS / 100)
    else:
        figures.append(-1)
    with open(saved, "w") as f:
        f.write(" ".join(str(v) for v in figures))
    return figures


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", default=os.path.join(interop.ROOT, "build"))
    parser.add_argument("--jobs", type=int, default=os.cpu_count() or 1)
    parser.add_argument("--only", help="comma-separated conditions (clean, dark, ...)")
    parser.add_argument("sets", nargs="*", default=interop.DEFAULT_SETS)
    args = parser.parse_args()

    tools = ("bozorth3", "fjfx_extract")
    missing = [t for t in tools if not os.access(os.path.join(interop.PEER_BIN, t), os.X_OK)]
    if missing:
        print("degrade: skipped, no %s in %s (build the peer tools, or set PEERS)"
              % (", ".join(missing), interop.PEER_BIN))
        return 0
    cli = os.path.join(args.build, "bin", "zarn-cli")
    match = os.path.join(args.build, "bin", "zarn-match")
    if not all(os.access(p, os.X_OK) for p in (cli, match)):
        sys.exit("degrade: no zarn-cli or zarn-match in %s (build first, or pass --build)"
                 % args.build)
    sets = [s for s in args.sets if os.path.isdir(s)]
    if not sets:
        print("degrade: skipped, none of the set folders exists: %s" % " ".join(args.sets))
        return 0
    only = set(args.only.split(",")) if args.only else None

    print("%-14s %-10s %17s %17s %9s %9s %17s" % ("", "", "bozorth3 EER", "zarn-match EER",
                                                 "FTE", "median", "OpenAFIS EER"))
    print("%-14s %-10s %8s %8s %8s %8s %4s %4s %4s %4s %8s %8s" % (
        "set", "condition", "ours", "fjfx", "ours", "fjfx", "ours", "fjfx", "ours", "fjfx",
        "ours", "fjfx"))
    for folder in sets:
        name = os.path.basename(os.path.normpath(folder))
        for condition, images_dir in degraded_folders(args.build, folder,
                                                      os.path.join(WORK, name, "images")):
            if only and condition not in only:
                continue
            images = sorted(os.path.join(images_dir, f) for f in os.listdir(images_dir)
                            if f.endswith(".png"))
            fingers = interop.impressions_by_finger(images)
            row = {"bozorth3": [], "zarn-match": [], "fte": [], "median": [], "oafis": []}
            for label, extract, cached in (
                    ("ours", lambda png, xyt: interop.extract_ours(cli, png, xyt), False),
                    ("fjfx", interop.extract_fjfx, True)):
                out = os.path.join(WORK, name, condition, label)
                for key, value in zip(row, measure(extract, images, fingers, out, cached,
                                                   match, args.jobs)):
                    row[key].append(value)
            oafis = " ".join("%7.2f%%" % (100 * e) if e >= 0 else "%8s" % "-" for e in row["oafis"])
            print("%-14s %-10s %7.2f%% %7.2f%% %7.2f%% %7.2f%% %4d %4d %4.0f %4.0f %s" % (
                name, condition, *(100 * e for e in row["bozorth3"]),
                *(100 * e for e in row["zarn-match"]), *row["fte"], *row["median"], oafis),
                flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
