"""Errors of a thickness map near a hole and elsewhere, and the nodes flagged.

    python3 bench/maps.py <truth.txt> <hole centre x,y,z> <intact run> <label> <run> ...

Each run folder holds nodal.inp (the thickness at full precision) and view.vtk (the nodes
and their quality). Per run: the RMS and largest error of the nodes within 15 mm of the
hole's centre and of the others; the nodes flagged at_hole and outlier, or filled from
them, and how many of those lie further than 15 mm from the hole; and, against the intact
run of the same measure, the nodes the hole truly moved (by more than 0.05 mm: a run's
own thickness, or with -fill its run without) and how many of them were flagged.
"""
import os
import sys

NEAR, MOVED = 15.0, 0.05
OUTLIER, AT_HOLE, FILLED = 9, 10, 11


def thickness(run):
    lines = open(os.path.join(run, "nodal.inp")).read().splitlines()[1:]
    return [float(line.split(",")[1]) for line in lines]


def nodes_and_quality(run):
    lines = open(os.path.join(run, "view.vtk")).read().split("\n")
    at = next(k for k, line in enumerate(lines) if line.startswith("POINTS"))
    count = int(lines[at].split()[1])
    points = [tuple(map(float, line.split())) for line in lines[at + 1:at + 1 + count]]
    at = next(k for k, line in enumerate(lines) if line.startswith("quality "))
    return points, [int(line) for line in lines[at + 1:at + 1 + count]]


def errors(values):
    if not values:
        return "%7s %7s" % ("-", "-")
    rms = (sum(e * e for e in values) / len(values)) ** 0.5
    return "%7.3f %7.3f" % (rms, max(map(abs, values)))


truth = [float(line.split()[1]) for line in open(sys.argv[1]).read().splitlines()[1:]]
centre = [float(v) for v in sys.argv[2].split(",")]
intact = thickness(sys.argv[3])
print("%-24s %15s %15s %7s %7s %7s %7s %6s %8s" % (
    "run", "near RMS   max", "else RMS   max", "at_hole", "outlier", "filled", "far off",
    "moved", "flagged"))
for label, run in zip(sys.argv[4::2], sys.argv[5::2]):
    values = thickness(run)
    points, quality = nodes_and_quality(run)
    near = [sum((a - b) ** 2 for a, b in zip(p, centre)) < NEAR * NEAR for p in points]
    error = [t - want for t, want in zip(values, truth)]
    flagged = [q in (OUTLIER, AT_HOLE, FILLED) for q in quality]
    unfilled = thickness(run[:-len("-fill")]) if run.endswith("-fill") else values
    moved = [abs(t - i) > MOVED for t, i in zip(unfilled, intact)]
    print("%-24s %15s %15s %7d %7d %7d %7d %6d %8d" % (
        label, errors([e for e, n in zip(error, near) if n]),
        errors([e for e, n in zip(error, near) if not n]), quality.count(AT_HOLE),
        quality.count(OUTLIER), quality.count(FILLED),
        sum(f and not n for f, n in zip(flagged, near)), sum(moved),
        sum(m and f for m, f in zip(moved, flagged))))
