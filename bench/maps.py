"""Errors of thickness maps near a hole and elsewhere, and the nodes flagged.

    python3 bench/maps.py <truth.txt> <centre x,y,z> <intact run dir> <label> <run dir> ...

Each run dir holds nodal.inp (the thickness at full precision) and view.vtk (points and
quality). Per run: RMS and largest error of the nodes within 15 mm of the hole's centre and
of the others; the nodes flagged at_hole and outlier (or filled from them), those among them
within 15 mm, and, against the intact run of the same measure, the nodes the hole truly
moved (by more than 0.05 mm) and how many of them were flagged.
"""
import sys

NEAR, MOVED = 15.0, 0.05
FLAGS = {5: "outlier", 6: "at_hole", 7: "filled"}


def nodal(run):
    return [float(line.split(",")[1]) for line in open(run + "/nodal.inp").read().splitlines()[1:]]


def view(run):
    lines = open(run + "/view.vtk").read().split("\n")
    at = next(k for k, line in enumerate(lines) if line.startswith("POINTS"))
    count = int(lines[at].split()[1])
    points = [tuple(map(float, line.split())) for line in lines[at + 1:at + 1 + count]]
    at = next(k for k, line in enumerate(lines) if line.startswith("quality "))
    return points, [int(line) for line in lines[at + 1:at + 1 + count]]


def stats(errors):
    if not errors:
        return "%7s %7s" % ("-", "-")
    return "%7.3f %7.3f" % ((sum(e * e for e in errors) / len(errors)) ** 0.5,
                            max(map(abs, errors)))


truth = [float(line.split()[1]) for line in open(sys.argv[1]).read().splitlines()[1:]]
centre = [float(v) for v in sys.argv[2].split(",")]
intact = nodal(sys.argv[3])
print("%-22s %15s %15s %8s %8s %8s %9s" % ("run", "near RMS  max", "else RMS  max", "flagged",
                                          "far off", "moved", "moved+fl"))
for label, run in zip(sys.argv[4::2], sys.argv[5::2]):
    thickness = nodal(run)
    points, quality = view(run)
    near = [sum((a - b) ** 2 for a, b in zip(p, centre)) < NEAR * NEAR for p in points]
    errors = [t - want for t, want in zip(thickness, truth)]
    flagged = [q in FLAGS for q in quality]
    moved = [abs(t - i) > MOVED for t, i in zip(nodal(run.rsplit("-fill", 1)[0]) if "-fill" in run
                                              else thickness, intact)]
    print("%-22s %15s %15s %8d %8d %8d %9d" % (
        label, stats([e for e, n in zip(errors, near) if n]),
        stats([e for e, n in zip(errors, near) if not n]), sum(flagged),
        sum(f and not n for f, n in zip(flagged, near)), sum(moved),
        sum(m and f for m, f in zip(moved, flagged))))
