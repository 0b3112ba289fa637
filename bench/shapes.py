"""Writes a shape of known cortical thickness as verdask's four inputs and its truth:

    python3 bench/shapes.py <dir> <shape> <surface vertices>

shape: spheres (outer radius 15, inner 12, the inner one rotated and at 0.7 times the
resolution), ellipsoid (semi-axes 20, 14, 10, and its exact inner offset surface 2 along
the normals, at 0.7 times the resolution), tube (outer radius 10, inner 8, length 100). The thickness is the same by
every definition on these shapes, so truth.txt holds it, and an angle of 0, for every mesh
node (as make_bone writes its truth). Same arguments, same bytes.
"""
import math
import sys

import numpy


def grid(rows, columns):
    """Triangles of a rows x columns grid of points, closed around in the columns."""
    cells = []
    for j in range(rows - 1):
        for i in range(columns):
            a, b = j * columns + i, j * columns + (i + 1) % columns
            cells += [(a, b, b + columns), (a, b + columns, a + columns)]
    return cells


def ellipsoid(axes, count, offset=0.0, rotation=None):
    """Points, outward normals and triangles of an ellipsoid (a sphere for equal axes),
    moved `offset` inwards along its normals, in latitude rings without the poles."""
    rows = max(4, int(round(math.sqrt(count / 2))))
    columns = max(8, count // rows)
    points, normals = [], []
    for j in range(rows):
        polar = math.pi * (j + 0.5) / rows
        for i in range(columns):
            azimuth = 2 * math.pi * (i + 0.5 * (j % 2)) / columns
            u = numpy.array([math.sin(polar) * math.cos(azimuth), math.sin(polar) * math.sin(azimuth),
                             math.cos(polar)])
            p = numpy.array(axes) * u
            n = p / numpy.array(axes) ** 2
            n /= numpy.linalg.norm(n)
            points.append(p - offset * n)
            normals.append(n)
    points, normals = numpy.array(points), numpy.array(normals)
    if rotation is not None:
        points, normals = points @ rotation.T, normals @ rotation.T
    # Rings run from the top down: reversed, the triangles face outwards.
    return points, normals, [(a, c, b) for a, b, c in grid(rows, columns)]


def cylinder(radius, count, length=100.0):
    rings = max(4, int(round(math.sqrt(count * length / (2 * math.pi * radius)))))
    columns = max(8, count // rings)
    points, normals = [], []
    for j in range(rings):
        for i in range(columns):
            angle = 2 * math.pi * (i + 0.5 * (j % 2)) / columns
            points.append((radius * math.cos(angle), radius * math.sin(angle), length * j / (rings - 1)))
            normals.append((math.cos(angle), math.sin(angle), 0))
    return numpy.array(points), numpy.array(normals), grid(rings, columns)


def rotation_matrix():
    a, b = 0.7, 0.4
    rz = numpy.array([[math.cos(a), -math.sin(a), 0], [math.sin(a), math.cos(a), 0], [0, 0, 1]])
    rx = numpy.array([[1, 0, 0], [0, math.cos(b), -math.sin(b)], [0, math.sin(b), math.cos(b)]])
    return rx @ rz


def write_surface(path, points, triangles):
    with open(path, "w") as out:
        out.write(f"# HyperSurface 0.1 ASCII\n\nVertices {len(points)}\n")
        out.writelines("%r %r %r\n" % tuple(p) for p in points.tolist())
        out.write(f"Patches 1\n{{\nTriangles {len(triangles)}\n")
        out.writelines("%d %d %d\n" % (a + 1, b + 1, c + 1) for a, b, c in triangles)
        out.write("}\n")


def write_mesh(path, points, triangles):
    with open(path, "w") as out:
        out.write("BEGIN DATA\nBEGIN NODES\n")
        out.writelines("*node(%d,%r,%r,%r,0,0,0)\n" % (k + 1, *p) for k, p in enumerate(points.tolist()))
        out.write("END NODES\n")
        out.writelines("*tri3(%d,1,%d,%d,%d)\n" % (e + 1, a + 1, b + 1, c + 1)
                       for e, (a, b, c) in enumerate(triangles))
        out.write("END DATA\n")


def main():
    folder, shape, count = sys.argv[1], sys.argv[2], int(sys.argv[3])
    if shape == "spheres":
        outer = ellipsoid((15, 15, 15), count)
        inner = ellipsoid((12, 12, 12), int(0.7 * count), rotation=rotation_matrix())
        mesh = ellipsoid((15, 15, 15), 2000)
        thickness = 3.0
    elif shape == "ellipsoid":
        outer = ellipsoid((20, 14, 10), count)
        inner = ellipsoid((20, 14, 10), int(0.7 * count), offset=2.0)
        mesh = ellipsoid((20, 14, 10), 2000)
        thickness = 2.0
    elif shape == "tube":
        outer, inner = cylinder(10, count), cylinder(8, count)
        points, normals, triangles = cylinder(10, 2000)
        keep = (points[:, 2] > 10) & (points[:, 2] < 90)  # away from the open ends
        index = numpy.cumsum(keep) - 1
        triangles = [tuple(index[v] for v in t) for t in triangles if all(keep[v] for v in t)]
        mesh = (points[keep], normals[keep], triangles)
        thickness = 2.0
    else:
        sys.exit(f"unknown shape {shape}")
    write_surface(f"{folder}/cort.surf", outer[0], outer[2])
    write_surface(f"{folder}/trab.surf", inner[0], inner[2])
    with open(f"{folder}/norm.vtk", "w") as out:
        out.write(f"# vtk DataFile Version 3.0\n{shape}\nASCII\nDATASET POLYDATA\n"
                  f"POINT_DATA {len(outer[1])}\nNORMALS Normals double\n")
        out.writelines("%r %r %r\n" % tuple(n) for n in outer[1].tolist())
    write_mesh(f"{folder}/mesh.hmascii", mesh[0], mesh[2])
    with open(f"{folder}/truth.txt", "w") as out:
        out.write("node thickness angle\n")
        out.writelines(f"{k + 1} {thickness!r} 0\n" for k in range(len(mesh[0])))


main()
