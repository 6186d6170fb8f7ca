#!/usr/bin/env python3
"""zarn-match as users run it: the speed of one search and the accuracy of verification.

speed:    one probe against a gallery of N templates (default 10,000) listed in a file,
          the whole process timed (reading every template included), median of 3 runs;
          then a search of P probes (--probes, default 20) in one run with --probe-list:
          comparisons a second once the gallery is prepared, from the time P probes take
          beyond one probe, with --top 1 and a first look (--shortlist 75), exact
          (--shortlist 0) and with every score, and the time to read and prepare one
          template. Every run on one thread (--threads 1): rates per core.
          The gallery is made of templates (zarn-cli) of generated fingers, and apart of the
          real sets, each placed again under a random rotation and shift.
accuracy: every ordered pair of templates of each set folder given (default: the sets
          under ../shared/data beside the project when it exists), scored by zarn-match;
          EER and FNMR at FMR 1% and 0.01%, with the calibrated threshold's own FMR.

usage: bench_match.py [--build DIR] [--gallery N] [--probes P] [--skip-speed] [SET_DIR...]
"""
import argparse
import math
import os
import random
import statistics
import struct
import subprocess
import sys
import tempfile
import time

from real_sets import ROOT, default_sets


def moved_record(record, rng):
    """The record with its minutiae turned and shifted, dropping those that leave the image."""
    width, height = struct.unpack(">HH", record[14:18])
    views = record[22]
    if views != 1:
        return record
    count = record[27]
    angle = rng.uniform(-0.5, 0.5)
    dx, dy = rng.uniform(-40, 40), rng.uniform(-40, 40)
    cx, cy = width / 2, height / 2
    c, s = math.cos(angle), math.sin(angle)
    minutiae = []
    for i in range(count):
        a, b, direction, quality = struct.unpack(">HHBB", record[28 + 6 * i:34 + 6 * i])
        x, y = (a & 0x3FFF) - cx, (b & 0x3FFF) - cy
        nx, ny = c * x + s * y + cx + dx, -s * x + c * y + cy + dy
        if 0 <= nx < width and 0 <= ny < height:
            turned = (direction + round(angle * 256 / (2 * math.pi))) % 256
            minutiae.append(struct.pack(">HHBB", (a & 0xC000) | int(nx), int(ny), turned,
                                        quality))
    body = record[24:27] + bytes([len(minutiae)]) + b"".join(minutiae) + b"\0\0"
    header = record[:8] + struct.pack(">I", 24 + len(body)) + record[12:24]
    return header + body


def templates_of(cli, images):
    bases = []
    for image in images:
        out = subprocess.run([cli, image], capture_output=True, text=True)
        if out.returncode == 0:
            bases.append(bytes.fromhex(out.stdout.strip()))
    return bases


def speed_bases(build, sets, scratch):
    """Template sources for the search gallery: generated fingers, and the real
    sets when at hand (the generator's prints resemble one another more than
    real fingers do, which makes comparing them slower)."""
    cli = os.path.join(build, "bin", "zarn-cli")
    generated = os.path.join(scratch, "generated")
    subprocess.run([os.path.join(build, "bin", "zarn-fingergen"), "-o", generated, "-n", "50",
                    "-i", "4", "-s", "11"], check=True, stdout=subprocess.DEVNULL)
    sources = [("generated fingers", templates_of(
        cli, [os.path.join(generated, n) for n in sorted(os.listdir(generated))
              if n.endswith(".png")]))]
    real = [os.path.join(folder, n) for folder in sets for n in sorted(os.listdir(folder))
            if n.endswith(".png")]
    if real:
        sources.append(("real prints", templates_of(cli, real)))
    return sources


def speed(build, size, scratch, title, bases):
    rng = random.Random(5)
    gallery_dir = os.path.join(scratch, "gallery-" + title.replace(" ", "-"))
    os.makedirs(gallery_dir)
    paths = []
    for n in range(size):
        path = os.path.join(gallery_dir, "%05d.fmr" % n)
        with open(path, "wb") as f:
            f.write(moved_record(bases[n % len(bases)], rng))
        paths.append(path)
    listing = gallery_dir + ".txt"
    with open(listing, "w") as f:
        f.write("\n".join(paths) + "\n")
    probe = gallery_dir + "-probe.fmr"
    with open(probe, "wb") as f:
        f.write(bases[0])
    match = os.path.join(build, "bin", "zarn-match")
    times = []
    for _ in range(3):
        start = time.perf_counter()
        subprocess.run([match, "--threads", "1", "--gallery-list", listing, probe], check=True,
                       stdout=subprocess.DEVNULL)
        times.append(time.perf_counter() - start)
    best = statistics.median(times)
    print("speed: one probe against %d templates of %s: %.2f s (%.0f us per template), "
          "from %d base templates" % (size, title, best, 1e6 * best / size, len(bases)))
    return listing


def outsider_bases(build, scratch, count):
    """Templates of generated fingers that no gallery holds (another seed): probes a search
    does not find, so it cannot stop early and must look at every gallery template."""
    folder = os.path.join(scratch, "outsiders")
    subprocess.run([os.path.join(build, "bin", "zarn-fingergen"), "-o", folder, "-n",
                    str(count), "-i", "1", "-s", "29"], check=True, stdout=subprocess.DEVNULL)
    return templates_of(os.path.join(build, "bin", "zarn-cli"),
                        [os.path.join(folder, n) for n in sorted(os.listdir(folder))
                         if n.endswith(".png")])


def search_speed(build, listing, probes, scratch, title, bases, label=""):
    """Comparisons a second of a many-probe search once the gallery is read and prepared:
    the extra time of P probes over one probe, per extra comparison; and the time to read
    and prepare a template: what one probe's run takes beyond its comparisons."""
    match = os.path.join(build, "bin", "zarn-match")
    with open(listing) as f:
        size = sum(1 for line in f if line.strip())
    probe_paths = []
    for n in range(probes):
        path = os.path.join(scratch, "%s%s-probe-%03d.fmr" % (title.replace(" ", "-"), label, n))
        with open(path, "wb") as f:
            f.write(bases[(7 * n + 3) % len(bases)])
        probe_paths.append(path)

    def timed(count, top):
        probe_list = os.path.join(scratch, "probes-%d.txt" % count)
        with open(probe_list, "w") as f:
            f.write("\n".join(probe_paths[:count]) + "\n")
        runs = []
        for _ in range(3):
            start = time.perf_counter()
            subprocess.run([match, "--threads", "1", "--probe-list", probe_list] + top +
                           ["--gallery-list", listing], check=True, stdout=subprocess.DEVNULL)
            runs.append(time.perf_counter() - start)
        return statistics.median(runs)

    # With --top 1 --shortlist 75 a first look at every template picks those
    # worth a full comparison (judged a batch of the gallery at a time), and a
    # template that cannot reach a probe's best is not aligned; --shortlist 0
    # (the default) compares every template fully, exact; every score (no
    # --top) shows what a full comparison costs. One thread: rates per core.
    first_look = ["--top", "1", "--shortlist", "75"]
    one, many = timed(1, first_look), timed(probes, first_look)
    rate = (probes - 1) * size / max(1e-9, many - one)
    prepare = max(0.0, one - size / rate) / size
    # (A probe that finds its K best early prepares little of the gallery: the preparing
    # time is told only for probes the gallery does not hold.)
    print("speed: %d probes against %d templates of %s in one run: %.2f s; %.0f comparisons "
          "a second once the gallery is prepared; one probe: %.2f s%s" %
          (probes, size, title, many, rate, one,
           "; %.0f us to read and prepare a template" % (1e6 * prepare) if label else ""))
    exact = ["--top", "1", "--shortlist", "0"]
    one, many = timed(1, exact), timed(probes, exact)
    print("speed: the same with --shortlist 0 (every template compared fully): %.2f s; %.0f "
          "comparisons a second" % (many, (probes - 1) * size / max(1e-9, many - one)))
    if not label:
        one, many = timed(1, []), timed(probes, [])
        print("speed: the same with every score (no --top): %.2f s; %.0f comparisons a second" %
              (many, (probes - 1) * size / max(1e-9, many - one)))


def rates(genuine, impostor):
    genuine, impostor = sorted(genuine), sorted(impostor, reverse=True)
    best = (2, 0)
    for t in sorted(set(genuine + impostor)):
        fnmr = sum(g < t for g in genuine) / len(genuine)
        fmr = sum(i >= t for i in impostor) / len(impostor)
        if abs(fnmr - fmr) < best[0]:
            best = (abs(fnmr - fmr), (fnmr + fmr) / 2)

    def fnmr_at(fmr):
        index = int(fmr * len(impostor))
        threshold = impostor[index] + 1e-9 if index < len(impostor) else -1
        return sum(g < threshold for g in genuine) / len(genuine)

    return best[1], fnmr_at(0.01), fnmr_at(0.0001)


def accuracy(build, folder, scratch):
    cli = os.path.join(build, "bin", "zarn-cli")
    match = os.path.join(build, "bin", "zarn-match")
    out_dir = os.path.join(scratch, os.path.basename(folder.rstrip("/")))
    os.makedirs(out_dir)
    paths, failed = [], 0
    for name in sorted(os.listdir(folder)):
        if not name.endswith(".png"):
            continue
        out = subprocess.run([cli, os.path.join(folder, name)], capture_output=True, text=True)
        if out.returncode != 0:
            failed += 1
            continue
        path = os.path.join(out_dir, name[:-4] + ".txt")
        with open(path, "w") as f:
            f.write(out.stdout)
        paths.append(path)
    finger = lambda p: os.path.basename(p).split("_")[0]
    genuine, impostor, above40, below40 = [], [], 0, 0
    start = time.perf_counter()
    for probe in paths:
        others = [p for p in paths if p != probe]
        out = subprocess.run([match, "--fmr", "0.0001", probe] + others, capture_output=True,
                             text=True, check=True).stdout.split("\n")
        for line in filter(None, out):
            score, path, decision = line.split(" ")
            if finger(path) == finger(probe):
                genuine.append(float(score))
                below40 += decision == "no-match"
            else:
                impostor.append(float(score))
                above40 += decision == "match"
    seconds = time.perf_counter() - start
    eer, fnmr1, fnmr4 = rates(genuine, impostor)
    print("accuracy %-14s EER %5.2f%%  FNMR@FMR1%% %5.2f%%  FNMR@FMR0.01%% %5.2f%%  "
          "at --fmr 0.0001: FMR %.3f%% (%d of %d) FNMR %.2f%%  failed to enroll %d  (%.0f s)" %
          (os.path.basename(folder.rstrip("/")), 100 * eer, 100 * fnmr1, 100 * fnmr4,
           100 * above40 / len(impostor), above40, len(impostor), 100 * below40 / len(genuine),
           failed, seconds))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build", default=os.path.join(ROOT, "build"))
    parser.add_argument("--gallery", type=int, default=10000)
    parser.add_argument("--probes", type=int, default=20)
    parser.add_argument("--skip-speed", action="store_true")
    parser.add_argument("sets", nargs="*")
    args = parser.parse_args()
    sets = args.sets or default_sets()
    if not sets:
        print("accuracy: no real image sets beside the project; skipped")
    with tempfile.TemporaryDirectory() as scratch:
        if not args.skip_speed:
            outsiders = outsider_bases(args.build, scratch, args.probes)
            for title, bases in speed_bases(args.build, sets, scratch):
                listing = speed(args.build, args.gallery, scratch, title, bases)
                search_speed(args.build, listing, args.probes, scratch, title, bases)
                # A probe whose finger is in the gallery ends its search once its K best have
                # the highest score; probes of other fingers look at every template.
                print("speed: the same, probes of fingers the gallery does not hold:")
                search_speed(args.build, listing, args.probes, scratch, title,
                             outsiders, "-outsider")
        for folder in sets:
            accuracy(args.build, folder, scratch)


if __name__ == "__main__":
    sys.exit(main())
