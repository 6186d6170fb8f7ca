#!/usr/bin/env python3
"""How much of an OpenAFIS EER is the order of the minutiae in the records: the same ISO records
are scored again with their minutiae in several random orders, which an ISO record leaves free.
bozorth3 gives the same scores in any order; OpenAFIS does not.

usage: bench/recall/openafis_orders.py SET_NAME... [--who ours,fjfx] [--orders N]

Reads the ISO records that ../shared/peers/eval_visible.py left in its work folder
($TMPDIR/zarn-eval-visible/SET_NAME/WHO/*.ist): run it on the sets first (with --cli, and --peers
for FingerJetFX's). For each set and extractor it prints the EER in the records' own order, and
the mean, lowest and highest over N random orders (the same N orders for every run, so two builds
are compared on equal terms).
"""
import argparse
import os
import random
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "match"))
from bench_match import rates  # noqa: E402

PEER_BIN = os.path.join(os.environ.get("PEERS", "/tmp/zarn-peers"), "bin")
HEADER = 24  # record header; a view's own header of 4 bytes follows
MINUTIA = 6


def reorder(record, rng):
    """The record with the first view's minutiae shuffled; anything after them is kept."""
    count = record[HEADER + 3]
    start = HEADER + 4
    minutiae = [record[start + MINUTIA * i:start + MINUTIA * (i + 1)] for i in range(count)]
    rng.shuffle(minutiae)
    return record[:start] + b"".join(minutiae) + record[start + MINUTIA * count:]


def openafis_eer(folder):
    scores = os.path.join(folder, "oafis.scores")
    subprocess.run([os.path.join(PEER_BIN, "oafis"), "score", folder, scores], capture_output=True, check=True)
    genuine, impostor = [], []
    for line in open(scores):
        a, b, s = line.split()
        (genuine if a.split("_")[0] == b.split("_")[0] else impostor).append(int(s))
    return 100.0 * rates(genuine, impostor)[0]


def order_eers(records, orders):
    """OpenAFIS EER (percent) of the .ist files `records` as made, then in each of `orders` random
    orders; the k-th order of a record is the same in every run."""
    eers = []
    with tempfile.TemporaryDirectory() as work:
        for k in range(orders + 1):
            folder = os.path.join(work, str(k))
            os.makedirs(folder)
            for path in records:
                name = os.path.basename(path)
                data = open(path, "rb").read()
                if k:  # order 0 is the records as made
                    data = reorder(data, random.Random("%s %d" % (name, k)))
                with open(os.path.join(folder, name), "wb") as f:
                    f.write(data)
            eers.append(openafis_eer(folder))
            shutil.rmtree(folder)
    return eers


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("sets", nargs="+")
    parser.add_argument("--who", default="ours,fjfx")
    parser.add_argument("--orders", type=int, default=8)
    args = parser.parse_args()
    print("%-18s %-6s %8s %8s %16s" % ("set", "who", "as made", "mean", "lowest-highest"))
    for name in args.sets:
        name = os.path.basename(name.rstrip("/"))
        for who in args.who.split(","):
            source = os.path.join(tempfile.gettempdir(), "zarn-eval-visible", name, who)
            records = sorted(f for f in os.listdir(source) if f.endswith(".ist")) if os.path.isdir(source) else []
            if not records:
                print("%-18s %-6s no ISO records: run eval_visible.py on the set first" % (name, who))
                continue
            eers = order_eers([os.path.join(source, r) for r in records], args.orders)
            shuffled = eers[1:]
            print("%-18s %-6s %7.2f%% %7.2f%% %7.2f-%.2f%%" % (
                name, who, eers[0], sum(shuffled) / len(shuffled), min(shuffled), max(shuffled)))


if __name__ == "__main__":
    main()
