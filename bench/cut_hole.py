"""Cuts a hole into a bone's trabecular surface, as a segmentation that lost thin cortex
leaves one: every vertex within RADIUS of the surface point nearest CENTRE (default
13.5,0,100: make_bone's mid-shaft at angle 0) goes with its triangles. With a FRAGMENT
radius above 0, four loose flat discs of that radius are added midway through a make_bone
bone's cortex at angle pi, 40, 70, 130 and 160 along its shaft, as the stray pieces a
segmentation leaves.

    python3 bench/cut_hole.py <bone dir> <out dir> <radius> [fragment radius] [x,y,z]

The other inputs and truth.txt are linked from the bone; the truth stays the intact
bone's. Prints the hole's centre.
"""
import math
import os
import sys

bone, out, radius = sys.argv[1], sys.argv[2], float(sys.argv[3])
fragment = float(sys.argv[4]) if len(sys.argv) > 4 else 0.0
centre = [float(v) for v in sys.argv[5].split(",")] if len(sys.argv) > 5 else [13.5, 0.0, 100.0]
os.makedirs(out, exist_ok=True)
for name in ("mesh.hmascii", "cort.surf", "norm.vtk", "truth.txt"):
    target = os.path.join(out, name)
    if not os.path.lexists(target):
        os.symlink(os.path.abspath(os.path.join(bone, name)), target)

lines = open(os.path.join(bone, "trab.surf")).read().split("\n")
start = next(k for k, line in enumerate(lines) if line.startswith("Vertices"))
count = int(lines[start].split()[1])
points = [tuple(map(float, line.split())) for line in lines[start + 1:start + 1 + count]]
near = min(points, key=lambda p: sum((a - b) ** 2 for a, b in zip(p, centre)))
keep = [sum((a - b) ** 2 for a, b in zip(p, near)) > radius * radius for p in points]
number, kept = {}, []
for k, p in enumerate(points):
    if keep[k]:
        number[k + 1] = len(kept) + 1
        kept.append(p)
tri = next(k for k, line in enumerate(lines) if line.startswith("Triangles"))
triangles = [list(map(int, line.split())) for line in lines[tri + 1:] if len(line.split()) == 3]
triangles = [[number[c] for c in t] for t in triangles if all(keep[c - 1] for c in t)]
# Fragments at angle pi, along the shaft, where make_bone's depth is 2.25: its outer
# radius there less half the depth.
for z in (40.0, 70.0, 130.0, 160.0) if fragment > 0 else ():
    middle = 13.5 + 1.5 * math.sin(2 * math.pi * z / 200 * 1.5) - 2.25 / 2
    first = len(kept) + 1
    kept.append((-middle, 0.0, z))
    for k in range(12):
        angle = 2 * math.pi * k / 12
        kept.append((-middle, fragment * math.cos(angle), z + fragment * math.sin(angle)))
        triangles.append([first, first + 1 + k, first + 1 + (k + 1) % 12])
with open(os.path.join(out, "trab.surf"), "w") as surf:
    surf.write("# HyperSurface 0.1 ASCII\n\nVertices %d\n" % len(kept))
    surf.writelines("%r %r %r\n" % p for p in kept)
    surf.write("NBranchingPoints 0\nNVerticesOnCurves 0\nBoundaryCurves 0\nPatches 1\n{\n"
               "InnerRegion Inside\nOuterRegion Exterior\nBoundaryID 0\nBranchingPoints 0\n\n")
    surf.write("Triangles %d\n" % len(triangles))
    surf.writelines("%d %d %d\n" % tuple(t) for t in triangles)
    surf.write("}\n")
print("%r,%r,%r" % near)
