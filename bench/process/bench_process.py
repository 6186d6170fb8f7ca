#!/usr/bin/env python3
"""Whole-process cost of the tool, as users meet it: one process per image.

Times start, decode, extraction, printing and exit of `zarn-cli IMAGE` over many
runs, interleaved with a reference command on the same images, and reports the
median wall and CPU time, minor page faults and peak memory of each (measured by
wait4, so the decoding child is included). Also times `zarn-cli --version`
against an empty C program, the floor of any process start, and what the decoding
child costs: `zarn-decode-once` (beside the tool) decoding each image in its own
process and in the child, interleaved. And three impressions of one finger (a set's
first three images) enrolled in one run against the same three in single-image runs.

usage: bench_process.py [--tool PATH] [--runs N] [--reference CMD] [--images N] [SET_DIR...]
  SET_DIR   folders of PNG images (default: samples/, and each set under
            ../shared/data beside the project when it exists)
  CMD       a shell-free command with {png}, {pgm} (a binary PGM copy, made
            with pngtopnm) and {out} (a scratch file), for example
            '/tmp/zarn-peers/bin/fjfx_extract {pgm} {out}'
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def peak_mb(argv, scratch):
    """Peak resident memory of one run, from GNU time (wait4's figure would
    include this interpreter's own memory, kept across the exec)."""
    report = os.path.join(scratch, "peak.txt")
    subprocess.run(["/usr/bin/time", "-f", "%M", "-o", report] + argv,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
    with open(report) as f:
        return int(f.read().split()[-1]) / 1024


def run_once(argv):
    """Wall ms, CPU ms and minor faults of one process."""
    start = time.perf_counter()
    pid = os.posix_spawn(argv[0], argv, os.environ,
                         file_actions=[(os.POSIX_SPAWN_OPEN, 1, os.devnull, os.O_WRONLY, 0),
                                       (os.POSIX_SPAWN_OPEN, 2, os.devnull, os.O_WRONLY, 0)])
    _, status, usage = os.wait4(pid, 0)
    wall = (time.perf_counter() - start) * 1000
    if os.waitstatus_to_exitcode(status) != 0:
        raise RuntimeError("failed: " + " ".join(argv))
    cpu = (usage.ru_utime + usage.ru_stime) * 1000
    return wall, cpu, usage.ru_minflt


def summary(samples, peak):
    walls, cpus, faults = zip(*samples)
    return statistics.median(walls), statistics.median(cpus), statistics.median(faults), peak


def images_of(folder, count):
    names = sorted(n for n in os.listdir(folder) if n.lower().endswith(".png"))
    return [os.path.join(folder, n) for n in names[:count]]


def image_size(path):
    with open(path, "rb") as f:
        header = f.read(24)
    return int.from_bytes(header[16:20], "big"), int.from_bytes(header[20:24], "big")


def reference_argv(template, png, scratch):
    words = template.split()
    pgm = os.path.join(scratch, os.path.basename(png)[:-4] + ".pgm")
    if any("{pgm}" in w for w in words) and not os.path.exists(pgm):
        with open(pgm, "wb") as f:
            subprocess.run(["pngtopnm", png], stdout=f, check=True)
    out = os.path.join(scratch, "reference.out")
    return [w.replace("{png}", png).replace("{pgm}", pgm).replace("{out}", out) for w in words]


def empty_program(scratch):
    source = os.path.join(scratch, "empty.c")
    binary = os.path.join(scratch, "empty")
    with open(source, "w") as f:
        f.write("int main(void) { return 0; }\n")
    subprocess.run(["cc", "-O2", "-o", binary, source], check=True)
    return binary


def row(name, stats, ref=None):
    wall, cpu, faults, rss = stats
    text = "%-34s %8.1f %8.1f %8d %8.1f" % (name, wall, cpu, faults, rss)
    if ref:
        text += "   x%.2f wall, x%.2f CPU" % (wall / ref[0], cpu / ref[1])
    print(text, flush=True)


def decode_cost(decoder, images, runs, scratch):
    """Rows for decoding alone, in the process and in the child, and their difference:
    the price of isolating the decoder, which every image pays."""
    if not os.path.exists(decoder):
        return
    modes = {"--in-process": [], "--isolated": []}
    for _ in range(runs):
        for png in images:
            for mode, samples in modes.items():
                samples.append(run_once([decoder, mode, png]))
    alone = summary(modes["--in-process"], peak_mb([decoder, "--in-process", images[0]], scratch))
    child = summary(modes["--isolated"], peak_mb([decoder, "--isolated", images[0]], scratch))
    row("  decoding alone, in process", alone)
    row("  decoding alone, in the child", child, alone)
    print("%-34s %8.1f %8.1f %8d   the child's cost" %
          ("", child[0] - alone[0], child[1] - alone[1], child[2] - alone[2]))


def several_in_one_run(tool, images, runs, scratch):
    """Three impressions in one run of the tool against three single-image runs,
    interleaved: CPU, faults and peak memory summed over the singles."""
    three = images[:3]
    if len(three) < 3:
        return
    together, apart = [], []
    for _ in range(runs):
        together.append(run_once([tool] + three))
        singles = [run_once([tool, png]) for png in three]
        apart.append(tuple(sum(s[i] for s in singles) for i in range(3)))
    apart_stats = summary(apart, max(peak_mb([tool, png], scratch) for png in three))
    row("  three single-image runs", apart_stats)
    row("  the three in one run", summary(together, peak_mb([tool] + three, scratch)),
        apart_stats)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--tool", default=os.path.join(ROOT, "build", "bin", "zarn-cli"))
    parser.add_argument("--runs", type=int, default=20, help="runs of each command per image")
    parser.add_argument("--images", type=int, default=10, help="images taken from each set")
    parser.add_argument("--reference", help="command to interleave with the tool")
    parser.add_argument("sets", nargs="*")
    args = parser.parse_args()

    sets = args.sets or [os.path.join(ROOT, "samples")]
    if not args.sets:
        data = os.path.join(os.path.dirname(ROOT), "shared", "data")
        if os.path.isdir(data):
            sets += sorted(os.path.join(data, d) for d in os.listdir(data)
                           if os.path.isdir(os.path.join(data, d)))
        else:
            print("(no real image sets beside the project; bundled samples only)")
    reference = args.reference
    if reference:
        command = reference.split()[0]
        if not (os.path.exists(command) or shutil.which(command)):
            print("reference %s is missing: timing the tool alone" % command)
            reference = None
        elif "{pgm}" in reference and not shutil.which("pngtopnm"):
            print("pngtopnm (netpbm) is missing: timing the tool alone")
            reference = None

    with tempfile.TemporaryDirectory() as scratch:
        print("%-34s %8s %8s %8s %8s" % ("median per process", "wall ms", "CPU ms", "faults",
                                         "peak MB"))
        empty = empty_program(scratch)
        starts = {"empty": [], "version": []}
        for _ in range(args.runs * 5):
            starts["empty"].append(run_once([empty]))
            starts["version"].append(run_once([args.tool, "--version"]))
        empty_stats = summary(starts["empty"], peak_mb([empty], scratch))
        row("empty C program", empty_stats)
        row("zarn-cli --version",
            summary(starts["version"], peak_mb([args.tool, "--version"], scratch)), empty_stats)

        for folder in sets:
            images = images_of(folder, args.images)
            if not images:
                continue
            width, height = image_size(images[0])
            ours, theirs = [], []
            for _ in range(args.runs):
                for png in images:
                    ours.append(run_once([args.tool, png]))
                    if reference:
                        theirs.append(run_once(reference_argv(reference, png, scratch)))
            name = "%s (%dx%d, %d images)" % (os.path.basename(folder.rstrip("/")), width,
                                              height, len(images))
            ref_stats = None
            if reference:
                ref_stats = summary(theirs,
                                    peak_mb(reference_argv(reference, images[0], scratch), scratch))
            our_stats = summary(ours, peak_mb([args.tool, images[0]], scratch))
            row("zarn-cli " + name, our_stats, ref_stats)
            decode_cost(os.path.join(os.path.dirname(args.tool), "zarn-decode-once"), images,
                        args.runs, scratch)
            several_in_one_run(args.tool, images, args.runs, scratch)
            if reference:
                row("reference " + name, ref_stats)
                per_second = 1000 / ref_stats[0]
                print("%-34s %8.1f templates/s on one core, reference %.1f" %
                      ("", 1000 / our_stats[0], per_second))


if __name__ == "__main__":
    sys.exit(main())
