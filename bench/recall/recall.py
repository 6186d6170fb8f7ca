#!/usr/bin/env python3
"""Recall benchmark: which reference minutiae the default engine finds, where it loses the others,
and which of its own minutiae no reference has.

usage: bench/recall/recall.py [--build DIR] [--generated N] [--pictures DIR] [--jobs N] [SET_DIR ...]

References. On real prints (SET_DIR of PNG files) the minutiae that FingerJetFX and mindtct agree on
(paired within 12 px and 30 degrees, one to one): neither alone is truth, but a minutia two
extractors of different designs both see is there far more often than not. The consensus takes
the mean position and direction, and the type where both name the same one ("other" where they
differ). On generated prints (--generated N fingers of 8 impressions, made by zarn-fingergen) the
generator's solid truth minutiae. Without SET_DIR it takes the visible sets in ../shared/data.

Per set it prints:
- recall (references we find within 12 px and 30 degrees) and the share we miss, by region (the
  border band within 32 px of our mask's edge, the interior), by reference type and by local
  clarity (low < 0.4 <= mid < 0.7 <= high);
- for each missed reference, the stage that lost it: outside our mask, a filter (by name) or the
  cap on the count, spur pruning, the ridge map (binarisation and thinning; "reversed" where the
  skeleton has a minutia there the other way round), "reversed" or "misdirected" where a minutia
  of ours is there with the opposite or another direction, "merged" where ours went to a
  neighbouring reference;
- precision: the share of ours that pair with a reference, and with either peer's minutiae; also
  by distance to our mask's edge (under 16 px, 16-32 px, the interior);
- crowding: the share of minutiae with another of the same template within 10 px, ours beside
  FingerJetFX's and mindtct's.
--pictures DIR draws the images with the most ridge-map losses (image, binary, skeleton; references
green if found, red if missed; ours blue if paired, orange if not).
The peer tools are looked for in $PEERS/bin (default /tmp/zarn-peers); without them the real sets
are skipped with a line that says so.
"""
import argparse
import collections
import concurrent.futures
import glob
import math
import os
import statistics
import struct
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
DEFAULT_SETS = [os.path.join(ROOT, "..", "shared", "data", s) for s in ("fvc2002-db1b", "fvc2004-db1b")]
PEER_BIN = os.path.join(os.environ.get("PEERS", "/tmp/zarn-peers"), "bin")
CACHE = os.path.join(tempfile.gettempdir(), "zarn-recall-cache")
SAME_DISTANCE, SAME_ANGLE = 12.0, 30.0
BORDER_BAND = 32.0
EDGE = 16.0  # precision drops within about two blocks of the mask's edge
EDGE_BANDS = ("under %.0f px" % EDGE, "%.0f-%.0f px" % (EDGE, BORDER_BAND), "interior")
CROWDED = 10.0


def angle_diff(a, b):
    d = abs(a - b) % 360.0
    return min(d, 360.0 - d)


def pair(a, b, distance=SAME_DISTANCE, angle=SAME_ANGLE):
    """One-to-one pairs (i, j) of two lists of (x, y, degrees, ...), nearest first."""
    near = []
    for i, p in enumerate(a):
        for j, q in enumerate(b):
            d = math.hypot(p[0] - q[0], p[1] - q[1])
            if d <= distance and angle_diff(p[2], q[2]) <= angle:
                near.append((d, i, j))
    near.sort()
    used_a, used_b, pairs = set(), set(), []
    for _, i, j in near:
        if i not in used_a and j not in used_b:
            used_a.add(i); used_b.add(j); pairs.append((i, j))
    return pairs


def iso_minutiae(data):
    """First view of an ISO/IEC 19794-2:2005 record: [(x, y, degrees, type)], y down."""
    if len(data) < 28 or data[:8] != b"FMR\0 20\0":
        raise ValueError("not a finger minutiae record")
    count, out = data[27], []
    for i in range(count):
        xw, yw, angle, _ = struct.unpack(">HHBB", data[28 + 6 * i:34 + 6 * i])
        kind = {1: "ending", 2: "bifurcation"}.get(xw >> 14, "other")
        out.append((xw & 0x3FFF, yw & 0x3FFF, angle * 360.0 / 256, kind))
    return out


def fjfx_minutiae(png, work):
    pgm, ist = os.path.join(work, "in.pgm"), os.path.join(work, "out.ist")
    subprocess.run("pngtopnm '%s' > '%s'" % (png, pgm), shell=True, check=True)
    r = subprocess.run([PEER_BIN + "/fjfx_extract", pgm, ist], capture_output=True)
    return iso_minutiae(open(ist, "rb").read()) if r.returncode == 0 else []


def mindtct_minutiae(png, work, height):
    """mindtct's minutiae in the record's conventions: y down, and its directions turned half a
    turn, since it points a minutia the other way (measured: FingerJetFX's and its directions for
    the same minutiae differ by 180 degrees, spread about 10)."""
    root = os.path.join(work, "mt")
    if subprocess.run([PEER_BIN + "/mindtct", png, root], capture_output=True).returncode != 0:
        return []
    types = []
    for line in open(root + ".min"):
        fields = line.split(":")
        if len(fields) > 4 and fields[4].strip() in ("RIG", "BIF"):
            types.append("ending" if fields[4].strip() == "RIG" else "bifurcation")
    out = []
    for k, line in enumerate(open(root + ".xyt")):
        x, y, t = (int(v) for v in line.split()[:3])
        out.append((x, height - y, (t + 180) % 360, types[k] if k < len(types) else "other"))
    return out


def png_height(png):
    with open(png, "rb") as f:
        head = f.read(24)
    return struct.unpack(">I", head[20:24])[0]


def peer_minutiae(png):
    """(FingerJetFX's, mindtct's) minutiae of one image, cached: the peers never change."""
    key = os.path.join(CACHE, "%s-%d.txt" % (os.path.abspath(png).replace("/", "_"), os.path.getmtime(png)))
    if os.path.exists(key):
        lists = ([], [])
        for line in open(key):
            which, x, y, a, kind = line.split()
            lists[int(which)].append((float(x), float(y), float(a), kind))
        return lists
    with tempfile.TemporaryDirectory() as work:
        fjfx = fjfx_minutiae(png, work)
        mindtct = mindtct_minutiae(png, work, png_height(png))
    with open(key, "w") as f:
        for which, lst in enumerate((fjfx, mindtct)):
            for x, y, a, kind in lst:
                f.write("%d %s %s %s %s\n" % (which, x, y, a, kind))
    return fjfx, mindtct


def consensus(fjfx, mindtct):
    refs = []
    for i, j in pair(fjfx, mindtct):
        a, b = fjfx[i], mindtct[j]
        sx = math.cos(math.radians(a[2])) + math.cos(math.radians(b[2]))
        sy = math.sin(math.radians(a[2])) + math.sin(math.radians(b[2]))
        kind = a[3] if a[3] == b[3] else "other"
        refs.append(((a[0] + b[0]) / 2, (a[1] + b[1]) / 2, math.degrees(math.atan2(sy, sx)) % 360, kind))
    return refs


def run_stages(build, png, refs, picture=None):
    with tempfile.NamedTemporaryFile("w", suffix=".txt", delete=False) as f:
        for x, y, a, kind in refs:
            f.write("%.1f %.1f %.1f %s\n" % (x, y, a, kind))
        path = f.name
    try:
        args = [os.path.join(build, "bin", "zarn-recall-stages"), png, path] + ([picture] if picture else [])
        out = subprocess.run(args, capture_output=True, text=True, check=True).stdout
    finally:
        os.remove(path)
    result = {"refs": [], "ours": [], "valley": [], "failed": False}
    for line in out.splitlines():
        f = line.split()
        if f[0] == "failed":
            result["failed"] = True
        elif f[0] == "ref":
            result["refs"].append({"type": f[4], "fate": f[5], "border": float(f[6]), "clarity": float(f[7]),
                                   "dual": int(f[8]), "at": (float(f[1]), float(f[2]), float(f[3]))})
        elif f[0] == "valley":
            result["valley"].append(f[5])
        elif f[0] == "ours":
            result["ours"].append((float(f[1]), float(f[2]), float(f[3]), f[4], int(f[5]), f[6], float(f[7]), int(f[8]),
                                   float(f[9])))
    return result


def crowded_share(minutiae):
    if len(minutiae) < 2:
        return 0, len(minutiae)
    n = 0
    for i, p in enumerate(minutiae):
        if any(math.hypot(p[0] - q[0], p[1] - q[1]) < CROWDED for j, q in enumerate(minutiae) if j != i):
            n += 1
    return n, len(minutiae)


def clarity_bin(c):
    return "low" if c < 0.4 else "mid" if c < 0.7 else "high"


class Tally:
    def __init__(self):
        self.groups = collections.defaultdict(lambda: [0, 0])  # name -> [found, all]
        self.fates = collections.Counter()
        self.ours = [0, 0, 0]  # paired to references, paired to either peer, all
        self.ours_by_edge = collections.defaultdict(lambda: [0, 0, 0])  # the same by distance to the edge
        self.crowded = collections.defaultdict(lambda: [0, 0])
        # what the valley skeleton says: name -> [dual of the same type, of the other type, all]
        self.dual = collections.defaultdict(lambda: [0, 0, 0])
        # where ours sit against the references of the same type: type -> [(along, across, degrees)]
        self.placement = collections.defaultdict(list)
        # direction differences of paired minutiae of the same type: (who, against, type) -> [degrees]
        self.turns = collections.defaultdict(list)
        self.valley_only = [0, 0]  # valley minutiae with no ridge candidate near: paired, all
        self.images = self.failed = 0

    def add_refs(self, refs):
        for r in refs:
            found = r["fate"] == "found"
            region = "border band" if r["border"] < BORDER_BAND else "interior"
            for g in ("all", region, "type " + r["type"], "clarity " + clarity_bin(r["clarity"])):
                self.groups[g][0] += found
                self.groups[g][1] += 1
            if not found:
                self.fates[r["fate"]] += 1
            for g in ("references found" if found else "references missed", "missed: " + r["fate"]):
                if g == "missed: found":
                    continue
                self.dual[g][2] += 1
                if r["dual"]:
                    self.dual[g][r["dual"] - 1] += 1

    def add_placement(self, refs, ours):
        for kind in ("ending", "bifurcation"):
            a = [r["at"] for r in refs if r["type"] == kind]
            b = [o[:3] for o in ours if o[3] == kind]
            for i, j in pair(a, b):
                (rx, ry, ra), (x, y, deg) = a[i], b[j]
                ux, uy = math.cos(math.radians(ra)), -math.sin(math.radians(ra))  # y runs down
                dx, dy = x - rx, y - ry
                self.placement[kind].append((dx * ux + dy * uy, dy * ux - dx * uy, angle_diff(deg, ra)))

    def add_turns(self, lists):
        """lists: {who: minutiae}; every two of them paired one to one, same type only."""
        names = sorted(lists)
        for a_i, a in enumerate(names):
            for b in names[a_i + 1:]:
                la, lb = lists[a], lists[b]
                for i, j in pair(la, lb):
                    if la[i][3] == lb[j][3]:
                        self.turns[(a, b, la[i][3])].append(angle_diff(la[i][2], lb[j][2]))

    def add_ours(self, ours):
        for o in ours:
            g = "ours " + ("paired" if o[5] == "paired" else "unpaired")
            self.dual[g][2] += 1
            if o[7]:
                self.dual[g][o[7] - 1] += 1

    def report(self, title):
        print("== %s: %d images, %d failed to extract" % (title, self.images, self.failed))
        found, total = self.groups["all"]
        if total:
            print("recall %.1f%% of %d references; missed %.1f%%" % (100.0 * found / total, total, 100.0 - 100.0 * found / total))
        for g in sorted(self.groups):
            if g != "all":
                f, t = self.groups[g]
                print("  %-20s recall %5.1f%% of %5d" % (g, 100.0 * f / t, t))
        missed = sum(self.fates.values())
        if missed:
            print("missed references by where they were lost (%d):" % missed)
            for fate, n in self.fates.most_common():
                print("  %-20s %5d  %5.1f%%" % (fate, n, 100.0 * n / missed))
        paired, paired_peer, ours = self.ours
        if ours:
            print("precision %.1f%% against the references, %.1f%% against either peer's or the truth's minutiae (%d of ours)" % (
                100.0 * paired / ours, 100.0 * paired_peer / ours, ours))
            for band in EDGE_BANDS:
                paired, paired_peer, n = self.ours_by_edge[band]
                if n:
                    print("  %-20s precision %5.1f%% / %5.1f%% of %5d (from our mask's edge)" % (
                        band, 100.0 * paired / n, 100.0 * paired_peer / n, n))
        if self.dual:
            print("the valley skeleton's dual minutia (same type / the other type) there for:")
            for g in sorted(self.dual, key=lambda g: (g.startswith("missed"), -self.dual[g][2])):
                same, other, t = self.dual[g]
                if t >= 10:
                    print("  %-26s %5.1f%% / %5.1f%% of %5d" % (g, 100.0 * same / t, 100.0 * other / t, t))
        for kind, offsets in sorted(self.placement.items()):
            if len(offsets) >= 10:
                along, across, turn = ([o[k] for o in offsets] for k in range(3))
                print("placement of ours paired with %s references (%d): along %+.1f px (spread %.1f), across spread %.1f px, direction spread %.1f degrees" % (
                    kind, len(offsets), statistics.mean(along), statistics.pstdev(along), statistics.pstdev(across),
                    math.sqrt(sum(t * t for t in turn) / len(turn))))
        for (a, b, kind), turns in sorted(self.turns.items()):
            print("directions, %s against %s, %s: %.1f degrees rms over %d pairs" % (
                a, b, kind, math.sqrt(sum(t * t for t in turns) / len(turns)), len(turns)))
        if self.valley_only[1]:
            print("  valley minutiae with no ridge candidate within %.0f px: %d, %.1f%% of them a reference" % (
                SAME_DISTANCE, self.valley_only[1], 100.0 * self.valley_only[0] / self.valley_only[1]))
        for who in ("ours", "fjfx", "mindtct"):
            n, t = self.crowded[who]
            if t:
                print("crowded (another within %.0f px): %-8s %5.1f%% of %d" % (CROWDED, who, 100.0 * n / t, t))


def edge_band(border):
    return EDGE_BANDS[0] if border < EDGE else EDGE_BANDS[1] if border < BORDER_BAND else EDGE_BANDS[2]


def measure_image(build, png, refs, others, picture):
    """The stages' verdicts, and which of ours pair with the minutiae that count for precision."""
    result = run_stages(build, png, refs, picture)
    ours = [(o[0], o[1], o[2]) for o in result["ours"]]
    paired_other = {i for i, _ in pair(ours, others, angle=SAME_ANGLE)}
    return result, paired_other


def run_set(build, name, items, jobs, pictures):
    """items: (png, references, minutiae that count for precision, {who: minutiae} for crowding)."""
    tally = Tally()
    with concurrent.futures.ThreadPoolExecutor(jobs) as pool:
        futures = [pool.submit(measure_image, build, png, refs, others, None) for png, refs, others, _ in items]
        results = [f.result() for f in futures]
    worst = []
    for (png, refs, others, peers), (result, paired_other) in zip(items, results):
        tally.images += 1
        if result["failed"]:
            tally.failed += 1
            continue
        tally.add_refs(result["refs"])
        ours = result["ours"]
        tally.add_ours(ours)
        tally.add_placement(result["refs"], ours)
        if peers:
            tally.add_turns(dict(peers, ours=[o[:4] for o in ours]))
        tally.valley_only[0] += result["valley"].count("paired")
        tally.valley_only[1] += len(result["valley"])
        tally.ours[0] += sum(1 for o in ours if o[5] == "paired")
        tally.ours[1] += len(paired_other)
        tally.ours[2] += len(ours)
        for i, o in enumerate(ours):
            band = tally.ours_by_edge[edge_band(o[8])]
            band[0] += o[5] == "paired"
            band[1] += i in paired_other
            band[2] += 1
        for who, lst in [("ours", ours)] + list(peers.items()):
            n, t = crowded_share(lst)
            tally.crowded[who][0] += n
            tally.crowded[who][1] += t
        worst.append((sum(1 for r in result["refs"] if r["fate"].startswith("ridge-map")), png, refs))
    tally.report(name)
    if pictures:
        os.makedirs(pictures, exist_ok=True)
        for _, png, refs in sorted(worst, reverse=True)[:3]:
            out = os.path.join(pictures, "%s-%s" % (name, os.path.basename(png)))
            run_stages(build, png, refs, out)
            print("picture: %s" % out)
    print()


def real_set_items(set_dir, jobs):
    pngs = sorted(glob.glob(os.path.join(set_dir, "*.png")))
    with concurrent.futures.ThreadPoolExecutor(jobs) as pool:
        peers = list(pool.map(peer_minutiae, pngs))
    items = []
    for png, (fjfx, mindtct) in zip(pngs, peers):
        items.append((png, consensus(fjfx, mindtct), fjfx + mindtct, {"fjfx": fjfx, "mindtct": mindtct}))
    return items


def generated_items(build, fingers, work):
    subprocess.run([os.path.join(build, "bin", "zarn-fingergen"), "--out", work, "--fingers", str(fingers),
                    "--impressions", "8", "--seed", "7", "--difficulty", "mixed"], check=True, capture_output=True)
    items = []
    for png in sorted(glob.glob(os.path.join(work, "*.png"))):
        truth = []
        for line in open(png[:-4] + ".txt"):
            f = line.split()
            if len(f) == 5 and not line.startswith("#"):
                try:
                    truth.append((float(f[0]), float(f[1]), float(f[2]), f[3], int(f[4])))
                except ValueError:
                    continue
        solid = [(x, y, a, k) for x, y, a, k, q in truth if q >= 100]
        items.append((png, solid, [(x, y, a, k) for x, y, a, k, _ in truth], {}))
    return items


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", default=os.path.join(ROOT, "build"))
    parser.add_argument("--generated", type=int, default=10, help="generated fingers (0: none)")
    parser.add_argument("--pictures", help="folder for pictures of the worst cases")
    parser.add_argument("--jobs", type=int, default=os.cpu_count() or 1)
    parser.add_argument("sets", nargs="*")
    args = parser.parse_args()
    os.makedirs(CACHE, exist_ok=True)
    sets = args.sets or [s for s in DEFAULT_SETS if os.path.isdir(s)]
    have_peers = all(os.path.exists(os.path.join(PEER_BIN, t)) for t in ("fjfx_extract", "mindtct"))
    if sets and not have_peers:
        print("peer tools not found in %s: real sets skipped (see ../shared/peers)" % PEER_BIN)
    for set_dir in sets if have_peers else []:
        name = os.path.basename(os.path.normpath(set_dir))
        run_set(args.build, name, real_set_items(set_dir, args.jobs), args.jobs, args.pictures)
    if args.generated:
        with tempfile.TemporaryDirectory() as work:
            run_set(args.build, "generated", generated_items(args.build, args.generated, work), args.jobs, args.pictures)
    return 0


if __name__ == "__main__":
    sys.exit(main())
