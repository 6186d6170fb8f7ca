#!/usr/bin/env python3
"""Byte-identity check for speed-only changes: two builds of the tool must print the same
template, message and exit status for every image.

usage: same_templates.py --base DIR [--new DIR] [--work DIR] [--jobs N] [SET_DIR...]
  --base DIR  a saved build (its bin/ and lib/ copied before the change, for example
              `cp -a build/bin build/lib /tmp/base/`)
  --new DIR   the build under test [build]
  SET_DIR     folders of PNG images (default: samples/ and each set under ../shared/data
              beside the project when it exists)

Besides the sets it checks generated prints (zarn-fingergen, all difficulties, several
sizes) and degraded copies (degrade_images: dark, dry, faint, noisy, grainy, scaled,
cropped) of the first images of each set, both made with the new build's tools into
--work. Prints each difference and a count; exits 1 when anything differs.
"""
import argparse
import concurrent.futures
import os
import shutil
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
DEGRADED_PER_SET = 12
# (width, height, seed): odd and even sizes, below and above a typical sensor.
GENERATED = [(400, 400, 1), (388, 374, 2), (640, 480, 3), (301, 517, 4), (1000, 1000, 5)]


def pngs(folder):
    return sorted(os.path.join(folder, n) for n in os.listdir(folder) if n.lower().endswith(".png"))


def default_sets():
    sets = [os.path.join(ROOT, "samples")]
    data = os.path.join(os.path.dirname(ROOT), "shared", "data")
    if os.path.isdir(data):
        sets += sorted(os.path.join(data, d) for d in os.listdir(data)
                       if os.path.isdir(os.path.join(data, d)))
    return sets


def generated_prints(new, work):
    images = []
    for width, height, seed in GENERATED:
        out = os.path.join(work, "generated", "%dx%d" % (width, height))
        if not os.path.isdir(out):
            subprocess.run([os.path.join(new, "bin", "zarn-fingergen"), "--out", out, "--fingers",
                            "3", "--impressions", "3", "--seed", str(seed), "--difficulty", "mixed",
                            "--width", str(width), "--height", str(height)],
                           check=True, stdout=subprocess.DEVNULL)
        images += pngs(out)
    return images


def degraded_copies(new, work, folder):
    name = os.path.basename(os.path.normpath(folder))
    subset = os.path.join(work, "subset", name)
    out = os.path.join(work, "degraded", name)
    if not os.path.isdir(out):
        os.makedirs(subset, exist_ok=True)
        for path in pngs(folder)[:DEGRADED_PER_SET]:
            shutil.copy(path, subset)
        subprocess.run([os.path.join(new, "bin", "degrade_images"), subset, out], check=True,
                       stdout=subprocess.DEVNULL)
    images = []
    for condition in sorted(os.listdir(out)):
        if os.path.isdir(os.path.join(out, condition)):
            images += pngs(os.path.join(out, condition))
    return images


def run(build, image):
    done = subprocess.run([os.path.join(build, "bin", "zarn-cli"), image], capture_output=True)
    return done.returncode, done.stdout, done.stderr


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--base", required=True)
    parser.add_argument("--new", default=os.path.join(ROOT, "build"))
    parser.add_argument("--work", default=os.path.join(tempfile.gettempdir(), "zarn-same"))
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("sets", nargs="*")
    args = parser.parse_args()

    sets = args.sets or default_sets()
    images = []
    for folder in sets:
        images += pngs(folder)
    images += generated_prints(args.new, args.work)
    for folder in sets:
        if os.path.abspath(folder) != os.path.join(ROOT, "samples"):
            images += degraded_copies(args.new, args.work, folder)

    def compare(image):
        return image, run(args.base, image), run(args.new, image)

    differ = templates = 0
    with concurrent.futures.ThreadPoolExecutor(args.jobs) as pool:
        for image, base, new in pool.map(compare, images):
            templates += base[0] == 0
            if base != new:
                differ += 1
                print("DIFFERS %s: base status %d, new status %d" % (image, base[0], new[0]))
    print("%d images compared (%d made a template, the others an error), %d differ" %
          (len(images), templates, differ))
    return 1 if differ else 0


if __name__ == "__main__":
    sys.exit(main())
