#!/usr/bin/env python3
"""A search's first look, measured where it can fail: probes whose mates hide among many
other fingers.

The gallery holds, once each, impressions 2-8 of every finger of the real sets (each
probe's mates, NNN_K.png: finger NNN, impression K), shuffled among moved copies of
templates of generated fingers up to N templates (default 10,000); the probes are
impression 1 of each finger. Reports how often a mate is not compared fully (the first
look passed it over; bench's first_look judges it as zarn-match does), and how often
zarn-match's top 1 and top 5 with the first look differ from the exact search
(--shortlist 0). The default shortlist is kept only if at least 99.5% of the mates are
compared fully.

usage: first_look.py [--build DIR] [--gallery N] [--shortlist S[,S...]] [SET_DIR...]
"""
import argparse
import os
import random
import subprocess
import sys
import tempfile

from bench_match import moved_record, templates_of
from real_sets import ROOT, default_sets


def finger_of(path):
    return os.path.basename(path).split("_")[0]


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)
    return path


def build_gallery(build, sets, size, scratch):
    cli = os.path.join(build, "bin", "zarn-cli")
    probes, gallery = [], []
    for folder in sets:
        tag = os.path.basename(folder.rstrip("/"))
        names = sorted(n for n in os.listdir(folder) if n.endswith(".png"))
        records = templates_of(cli, [os.path.join(folder, n) for n in names])
        if len(records) != len(names):
            sys.exit("some images of %s did not enroll" % folder)
        for name, record in zip(names, records):
            path = os.path.join(scratch, "%s-%s.fmr" % (tag, name[:-4]))
            write(path, record)
            (probes if name[:-4].endswith("_1") else gallery).append(path)
    generated = os.path.join(scratch, "generated")
    subprocess.run([os.path.join(build, "bin", "zarn-fingergen"), "-o", generated, "-n", "50",
                    "-i", "4", "-s", "11"], check=True, stdout=subprocess.DEVNULL)
    fillers = templates_of(cli, [os.path.join(generated, n) for n in sorted(os.listdir(generated))
                                 if n.endswith(".png")])
    rng = random.Random(3)
    for n in range(size - len(gallery)):
        gallery.append(write(os.path.join(scratch, "filler_%05d.fmr" % n),
                             moved_record(fillers[n % len(fillers)], rng)))
    rng.shuffle(gallery)
    return probes, gallery


def top_lists(match, probe_list, gallery_list, k, extra):
    out = subprocess.run([match, "--probe-list", probe_list, "--gallery-list", gallery_list,
                          "--top", str(k)] + extra, capture_output=True, text=True, check=True)
    lists = {}
    for line in out.stdout.splitlines():
        _, probe, path = line.split(" ")
        lists.setdefault(probe, []).append(path)
    return lists


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build", default=os.path.join(ROOT, "build"))
    parser.add_argument("--gallery", type=int, default=10000)
    parser.add_argument("--shortlist", default="75", help="shortlist sizes, comma-separated")
    parser.add_argument("sets", nargs="*")
    args = parser.parse_args()
    sets = args.sets or default_sets()
    if not sets:
        print("first look: no real image sets beside the project; skipped")
        return 0
    with tempfile.TemporaryDirectory() as scratch:
        probes, gallery = build_gallery(args.build, sets, args.gallery, scratch)
        probe_list = write(os.path.join(scratch, "probes.txt"), "\n".join(probes).encode())
        gallery_list = write(os.path.join(scratch, "gallery.txt"), "\n".join(gallery).encode())
        mates = [(p, g) for p in probes for g in gallery
                 if os.path.basename(g).startswith(os.path.basename(p).rsplit("_", 1)[0] + "_")]
        match = os.path.join(args.build, "bin", "zarn-match")
        exact = {k: top_lists(match, probe_list, gallery_list, k, ["--shortlist", "0"])
                 for k in (1, 5)}
        for size in [int(s) for s in args.shortlist.split(",")]:
            admitted = subprocess.run(
                [os.path.join(args.build, "bin", "first_look"), str(size), probe_list,
                 gallery_list], capture_output=True, text=True, check=True).stdout.splitlines()
            passed = {tuple(line.split(" ")) for line in admitted}
            missed = [pair for pair in mates if pair not in passed]
            kept = 1 - len(missed) / len(mates)
            differ = []
            for k in (1, 5):
                quick = top_lists(match, probe_list, gallery_list, k, ["--shortlist", str(size)])
                differ.append(sum(quick.get(p) != exact[k].get(p) for p in probes))
            print("shortlist %d, gallery of %d, %d probes: %d of %d mates not compared fully "
                  "(%.2f%%; %.0f templates compared fully a probe); the top 1 differs from the "
                  "exact search's for %d probes, the top 5 for %d; %s" %
                  (size, len(gallery), len(probes), len(missed), len(mates),
                   100 * len(missed) / len(mates), len(admitted) / len(probes), differ[0],
                   differ[1], "keeps 99.5%" if kept >= 0.995 else "below 99.5%"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
