#!/usr/bin/env python3
"""Interoperability benchmark: how well an independent matcher (NIST bozorth3) reads our
templates, beside the templates of two open extractors (mindtct and FingerJetFX OSE).

usage: bench/interop/interop.py [--cli PATH] [--jobs N] [SET_DIR ...]

Each SET_DIR holds impressions named FINGER_IMPRESSION.png (101_1.png ...). Every pair of
impressions is scored: same finger for genuine scores, different fingers for impostor scores.
Per set it prints, for each extractor, the EER, the FNMR at FMR 1%, failures to enroll and the
median minutiae, then the cross EER of our templates scored against FingerJetFX's. Without
SET_DIR it takes the visible development sets in ../shared/data beside the project root.
The peer tools are looked for in $PEERS/bin (default /tmp/zarn-peers); without them the
benchmark says so and exits 0.
"""
import argparse
import bisect
import concurrent.futures
import itertools
import os
import statistics
import struct
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
DEFAULT_SETS = [os.path.join(ROOT, "..", "shared", "data", s) for s in ("fvc2002-db1b", "fvc2004-db1b")]
PEER_BIN = os.path.join(os.environ.get("PEERS", "/tmp/zarn-peers"), "bin")
PEER_TOOLS = ("bozorth3", "mindtct", "fjfx_extract")


def parse_record(data):
    """First view of an ISO/IEC 19794-2:2005 record: (image height, [(x, y, degrees, quality)])."""
    if len(data) < 26 or data[:8] != b"FMR\0 20\0":
        raise ValueError("not a finger minutiae record")
    if struct.unpack(">I", data[8:12])[0] != len(data):
        raise ValueError("record length does not match its size")
    height = struct.unpack(">H", data[16:18])[0]
    if data[22] < 1:
        raise ValueError("record without a view")
    count = data[27]
    body = data[28:28 + 6 * count]
    if len(body) != 6 * count:
        raise ValueError("record cut short")
    minutiae = []
    for i in range(count):
        xw, yw, angle, quality = struct.unpack(">HHBB", body[6 * i:6 * i + 6])
        minutiae.append((xw & 0x3FFF, yw & 0x3FFF, angle * 360.0 / 256, quality))
    return height, minutiae


def write_xyt(path, height, minutiae):
    # bozorth3 measures y up from the bottom edge; the record measures it down from the top.
    with open(path, "w") as out:
        for x, y, degrees, quality in minutiae:
            out.write("%d %d %d %d\n" % (x, height - y, round(degrees) % 360, quality))


def count_lines(path):
    with open(path) as f:
        return sum(1 for _ in f)


def extract_ours(cli, png, xyt):
    """Like the peers, keeps the record beside the .xyt (as .ist) for other matchers."""
    run = subprocess.run([cli, png], capture_output=True, text=True, timeout=120)
    if run.returncode != 0:
        return None
    try:
        record = bytes.fromhex(run.stdout.strip())
        height, minutiae = parse_record(record)
    except ValueError:
        return None
    with open(xyt[:-4] + ".ist", "wb") as out:
        out.write(record)
    write_xyt(xyt, height, minutiae)
    return len(minutiae)


def extract_fjfx(png, xyt):
    pgm, record = xyt[:-4] + ".pgm", xyt[:-4] + ".ist"
    with open(pgm, "wb") as out:
        if subprocess.run(["pngtopnm", png], stdout=out, stderr=subprocess.DEVNULL).returncode:
            return None
    run = subprocess.run([os.path.join(PEER_BIN, "fjfx_extract"), pgm, record], capture_output=True)
    os.remove(pgm)
    if run.returncode != 0 or not os.path.exists(record):
        return None
    with open(record, "rb") as f:
        height, minutiae = parse_record(f.read())
    write_xyt(xyt, height, minutiae)
    return len(minutiae)


def extract_mindtct(png, xyt):
    root = xyt[:-4]
    run = subprocess.run([os.path.join(PEER_BIN, "mindtct"), png, root], capture_output=True)
    for ext in (".min", ".brw", ".dm", ".lcm", ".lfm", ".hcm", ".qm"):
        if os.path.exists(root + ext):
            os.remove(root + ext)
    if run.returncode != 0 or not os.path.exists(xyt):
        return None
    return count_lines(xyt)


def extract_all(extract, images, folder, jobs, cached):
    """xyt path per image (None for a failure to enroll); peers' results are kept between runs."""
    os.makedirs(folder, exist_ok=True)

    def one(png):
        stem = os.path.splitext(os.path.basename(png))[0]
        xyt = os.path.join(folder, stem + ".xyt")
        failed = xyt[:-4] + ".failed"
        if cached and os.path.exists(failed):
            return None
        if cached and os.path.exists(xyt) and os.path.getmtime(xyt) >= os.path.getmtime(png):
            return xyt
        for stale in (xyt, failed):
            if os.path.exists(stale):
                os.remove(stale)
        if extract(png, xyt) is None:
            open(failed, "w").close()
            return None
        return xyt

    with concurrent.futures.ThreadPoolExecutor(jobs) as pool:
        return dict(zip(images, pool.map(one, images)))


def bozorth_scores(pairs, folder):
    """bozorth3 score per (probe, gallery) pair; a pair with a failed template scores 0."""
    listed = [(a, b) for a, b in pairs if a and b]
    scores = {}
    if listed:
        path = os.path.join(folder, "pairs.lis")
        with open(path, "w") as f:
            for a, b in listed:
                f.write(a + "\n" + b + "\n")
        run = subprocess.run([os.path.join(PEER_BIN, "bozorth3"), "-M", path],
                             capture_output=True, text=True, check=True)
        values = [int(v) for v in run.stdout.split()]
        if len(values) != len(listed):
            sys.exit("bozorth3 gave %d scores for %d pairs" % (len(values), len(listed)))
        scores = dict(zip(listed, values))
    return [scores.get((a, b), 0) for a, b in pairs]


def error_rates(genuine, impostor):
    """(EER, FNMR at FMR 1%): a pair matches when its score is at or above the threshold."""
    genuine, impostor = sorted(genuine), sorted(impostor)

    def fnmr(t):
        return bisect.bisect_left(genuine, t) / len(genuine)

    def fmr(t):
        return (len(impostor) - bisect.bisect_left(impostor, t)) / len(impostor)

    thresholds = sorted(set(genuine + impostor)) + [max(genuine + impostor) + 1]
    gap, eer = min((abs(fnmr(t) - fmr(t)), (fnmr(t) + fmr(t)) / 2) for t in thresholds)
    at_one = min(fnmr(t) for t in thresholds if fmr(t) <= 0.01)
    return eer, at_one


def impressions_by_finger(images):
    fingers = {}
    for png in images:
        finger = os.path.basename(png).split("_")[0]
        fingers.setdefault(finger, []).append(png)
    return fingers


def score_pairs(probe, gallery, fingers, folder, ordered):
    """Genuine and impostor bozorth3 scores of probe templates against gallery templates.
    Unordered pairs when both sides come from one extractor, else every ordered pair."""
    pick = itertools.permutations if ordered else itertools.combinations
    genuine = [(probe[a], gallery[b]) for f in fingers.values() for a, b in pick(f, 2)]
    impostor = [(probe[a], gallery[b]) for f, g in pick(sorted(fingers), 2)
                for a in fingers[f] for b in fingers[g]]
    return bozorth_scores(genuine, folder), bozorth_scores(impostor, folder)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--cli", default=os.path.join(ROOT, "build", "bin", "zarn-cli"))
    parser.add_argument("--jobs", type=int, default=os.cpu_count() or 1)
    parser.add_argument("sets", nargs="*", default=DEFAULT_SETS)
    args = parser.parse_args()

    missing = [t for t in PEER_TOOLS if not os.access(os.path.join(PEER_BIN, t), os.X_OK)]
    if missing:
        print("interop: skipped, no %s in %s (build the peer tools, or set PEERS)"
              % (", ".join(missing), PEER_BIN))
        return 0
    if not os.access(args.cli, os.X_OK):
        sys.exit("interop: no tool at %s (build first, or pass --cli)" % args.cli)
    sets = [s for s in args.sets if os.path.isdir(s)]
    if not sets:
        print("interop: skipped, none of the set folders exists: %s" % " ".join(args.sets))
        return 0

    work = os.path.join(tempfile.gettempdir(), "zarn-interop")
    extractors = [("mindtct", extract_mindtct, True), ("fjfx", extract_fjfx, True),
                  ("ours", lambda png, xyt: extract_ours(args.cli, png, xyt), False)]
    print("%-16s %-12s %7s %8s %4s %6s" % ("set", "templates", "EER", "FNMR@1%", "FTE", "median"))
    for folder in sets:
        name = os.path.basename(os.path.normpath(folder))
        images = sorted(os.path.join(folder, f) for f in os.listdir(folder) if f.endswith(".png"))
        fingers = impressions_by_finger(images)
        templates = {}
        for label, extract, cached in extractors:
            out = os.path.join(work, name, label)
            templates[label] = extract_all(extract, images, out, args.jobs, cached)
            genuine, impostor = score_pairs(templates[label], templates[label], fingers, out, False)
            eer, at_one = error_rates(genuine, impostor)
            made = [x for x in templates[label].values() if x]
            median = statistics.median(count_lines(x) for x in made) if made else 0
            print("%-16s %-12s %6.2f%% %7.2f%% %4d %6.0f" % (
                name, label, 100 * eer, 100 * at_one, len(images) - len(made), median), flush=True)
        genuine, impostor = score_pairs(templates["ours"], templates["fjfx"], fingers,
                                        os.path.join(work, name), True)
        eer, at_one = error_rates(genuine, impostor)
        print("%-16s %-12s %6.2f%% %7.2f%%" % (name, "ours x fjfx", 100 * eer, 100 * at_one),
              flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
