"""The real image sets the matching benchmarks use by default: each folder of
../shared/data beside the project, when that folder exists (a user's clone has
none, and then only generated prints are measured)."""
import os

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def default_sets():
    data = os.path.join(os.path.dirname(ROOT), "shared", "data")
    if not os.path.isdir(data):
        return []
    return sorted(os.path.join(data, d) for d in os.listdir(data)
                  if os.path.isdir(os.path.join(data, d)))
