#!/usr/bin/env python3
"""Multi-impression enrollment on real prints, as a user meets it.

For each set folder (NNN_K.png: finger NNN, impression K; default: the sets under
../shared/data beside the project when it exists):
  refused    genuine enrollments of impressions 1-3 and 4-6 of each finger that end in an
             error (the tool says "Wrong enroll count" when an impression does not align)
  let in     enrollments of impressions 1-2 of a finger plus impression 1 of the next
             finger that still produce a template
  FNMR       at FMR 1%, of impression 1 alone and of the merged template of 1-3, each
             compared with impressions 4-8 of every finger: by zarn-match (always) and by
             NIST bozorth3 when the peer tools are built ($PEERS, default /tmp/zarn-peers)
A refused enrollment counts as a template that matches nothing.

usage: enroll_real.py [--build DIR] [SET_DIR...]
"""
import argparse
import os
import struct
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "match"))
from real_sets import ROOT, default_sets  # noqa: E402

PEERS = os.environ.get("PEERS", "/tmp/zarn-peers")


def enroll(cli, images):
    result = subprocess.run([cli] + images, capture_output=True, text=True)
    return bytes.fromhex(result.stdout.strip()) if result.returncode == 0 else None


def write_xyt(record, path):
    """bozorth3's text form of a record's first view: x, y up from the bottom, degrees, quality."""
    lines = []
    if record:
        height = struct.unpack(">H", record[16:18])[0]
        count = record[27]
        for i in range(count):
            a, b, angle, quality = struct.unpack(">HHBB", record[28 + 6 * i:34 + 6 * i])
            lines.append("%d %d %d %d" % (a & 0x3FFF, height - (b & 0x3FFF),
                                          round(angle * 360 / 256) % 360, quality))
    with open(path, "w") as f:
        f.write("\n".join(lines) + ("\n" if lines else ""))


def fnmr_at_1_percent(genuine, impostor):
    ranked = sorted(impostor, reverse=True)
    threshold = ranked[int(0.01 * len(ranked))]
    return sum(g <= threshold for g in genuine) / len(genuine)


def zarn_match_scores(build, pairs):
    """Scores of (template, probe) pairs; a missing template scores nothing."""
    match = os.path.join(build, "bin", "zarn-match")
    by_template = {}
    for n, (template, probe) in enumerate(pairs):
        by_template.setdefault(template, []).append((n, probe))
    scores = [0.0] * len(pairs)
    for template, entries in by_template.items():
        if template is None:
            continue
        out = subprocess.run([match, template] + [p for _, p in entries], capture_output=True,
                             text=True).stdout.splitlines()
        for (n, _), line in zip(entries, out):
            score = line.split(" ")[0]
            scores[n] = float(score) if score != "-" else 0.0
    return scores


def bozorth_scores(pairs, scratch):
    listing = os.path.join(scratch, "pairs.lis")
    with open(listing, "w") as f:
        for template, probe in pairs:
            f.write(template + "\n" + probe + "\n")
    out = subprocess.run([os.path.join(PEERS, "bin", "bozorth3"), "-M", listing],
                         capture_output=True, text=True, check=True).stdout.split()
    return [int(s) for s in out]


def evaluate(build, folder, scratch):
    cli = os.path.join(build, "bin", "zarn-cli")
    name = os.path.basename(folder.rstrip("/"))
    image = lambda f, k: os.path.join(folder, "%s_%d.png" % (f, k))
    fingers = sorted({n.split("_")[0] for n in os.listdir(folder) if n.endswith(".png")})
    refused = sum(enroll(cli, [image(f, k) for k in ks]) is None
                  for f in fingers for ks in ((1, 2, 3), (4, 5, 6)))
    following = {f: fingers[(i + 1) % len(fingers)] for i, f in enumerate(fingers)}
    let_in = sum(enroll(cli, [image(f, 1), image(f, 2), image(following[f], 1)]) is not None
                 for f in fingers)

    out = os.path.join(scratch, name)
    os.makedirs(out)
    files = {}  # (kind, finger[, impression]) -> (record path or None, xyt path)

    def keep(key, record):
        base = os.path.join(out, "_".join(str(k) for k in key))
        path = None
        if record:
            path = base + ".fmr"
            with open(path, "wb") as f:
                f.write(record)
        write_xyt(record, base + ".xyt")
        files[key] = (path, base + ".xyt")

    for f in fingers:
        keep(("single", f), enroll(cli, [image(f, 1)]))
        keep(("merged", f), enroll(cli, [image(f, k) for k in (1, 2, 3)]))
        for k in range(4, 9):
            keep(("probe", f, k), enroll(cli, [image(f, k)]))
    columns = []
    have_bozorth = os.path.exists(os.path.join(PEERS, "bin", "bozorth3"))
    for kind in ("single", "merged"):
        pairs = [(f, g, k) for f in fingers for g in fingers for k in range(4, 9)]
        genuine_mask = [f == g for f, g, _ in pairs]
        ours = zarn_match_scores(build, [(files[(kind, f)][0], files[("probe", g, k)][0] or
                                          os.devnull) for f, g, k in pairs])
        row = [fnmr_at_1_percent([s for s, m in zip(ours, genuine_mask) if m],
                                 [s for s, m in zip(ours, genuine_mask) if not m])]
        if have_bozorth:
            theirs = bozorth_scores([(files[(kind, f)][1], files[("probe", g, k)][1])
                                     for f, g, k in pairs], scratch)
            row.append(fnmr_at_1_percent([s for s, m in zip(theirs, genuine_mask) if m],
                                         [s for s, m in zip(theirs, genuine_mask) if not m]))
        columns.append(row)
    text = "%-14s refused %2d/%d  let in %2d/%d  FNMR@FMR1%% zarn-match: single %5.1f%% merged %5.1f%%" % (
        name, refused, 2 * len(fingers), let_in, len(fingers), 100 * columns[0][0],
        100 * columns[1][0])
    if have_bozorth:
        text += "  bozorth3: single %5.1f%% merged %5.1f%%" % (100 * columns[0][1],
                                                               100 * columns[1][1])
    else:
        text += "  (bozorth3 not built under %s)" % PEERS
    print(text, flush=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build", default=os.path.join(ROOT, "build"))
    parser.add_argument("sets", nargs="*")
    args = parser.parse_args()
    sets = args.sets or default_sets()
    if not sets:
        print("no real image sets beside the project: nothing to measure")
        return 0
    with tempfile.TemporaryDirectory() as scratch:
        for folder in sets:
            evaluate(args.build, folder, scratch)
    return 0


if __name__ == "__main__":
    sys.exit(main())
