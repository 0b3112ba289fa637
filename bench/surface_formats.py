"""Writes a .surf surface as binary STL and binary little-endian PLY, for the read benchmark.

    python3 surface_formats.py <in.surf> <out stem>
"""
import sys

import numpy


def read_surf(path):
    with open(path) as surf:
        lines = surf.read().splitlines()
    at = next(k for k, line in enumerate(lines) if line.startswith("Vertices"))
    count = int(lines[at].split()[1])
    points = numpy.loadtxt(lines[at + 1:at + 1 + count], usecols=(0, 1, 2))
    rows = [line for line in lines[at + 1 + count:]
            if line and (line[0].isdigit() or line[0] == " ")]
    triangles = numpy.loadtxt(rows, usecols=(0, 1, 2), dtype=numpy.int64) - 1
    return points, triangles


def main():
    points, triangles = read_surf(sys.argv[1])
    stem = sys.argv[2]
    facets = numpy.zeros(len(triangles), dtype=[("normal", "<f4", 3), ("corners", "<f4", (3, 3)),
                                                 ("attribute", "<u2")])
    facets["corners"] = points[triangles]
    with open(stem + ".stl", "wb") as stl:
        stl.write(b"binary STL of " + sys.argv[1].encode()[:60].ljust(66))
        stl.write(numpy.uint32(len(triangles)).tobytes())
        stl.write(facets.tobytes())
    faces = numpy.zeros(len(triangles), dtype=[("count", "u1"), ("corners", "<i4", 3)])
    faces["count"] = 3
    faces["corners"] = triangles
    with open(stem + ".ply", "wb") as ply:
        ply.write(f"ply\nformat binary_little_endian 1.0\nelement vertex {len(points)}\n"
                  "property double x\nproperty double y\nproperty double z\n"
                  f"element face {len(triangles)}\nproperty list uchar int vertex_indices\n"
                  "end_header\n".encode())
        ply.write(points.astype("<f8").tobytes())
        ply.write(faces.tobytes())


if __name__ == "__main__":
    main()
