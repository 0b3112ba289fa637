"""Feeds verdask the example bone written by other tools' writers and checks
that every format gives the thickness of the .hmascii/.surf/.vtk run:

- surfaces by VTK's STL (ASCII, binary), PLY, OBJ, legacy (4.2 and 5.1, ASCII
  and binary) and XML PolyData writers (ascii, inline, appended raw and
  base64, compressed and not), and meshio's OFF writer;
- normals with "-": carried by the cortical file, or computed from its
  triangles and turned round when its triangles wind inwards;
- meshes by meshio's Abaqus and Gmsh (4.1, 2.2) writers and LS-DYNA decks in
  fixed and free format, with own node and element numbers, shuffled.

    python3 formats_check.py <verdask binary> <directory with the four inputs>
"""
import gzip
import os
import random
import re
import subprocess
import sys
import tempfile

import meshio
import numpy
import vtk
from vtk.util.numpy_support import numpy_to_vtk

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)


def run(binary, work, inputs, options=()):
    done = subprocess.run([binary] + list(inputs) + list(options), cwd=work,
                          capture_output=True, text=True)
    rows = {}
    if done.returncode == 0:
        for line in open(os.path.join(work, "ans.log")).read().splitlines()[1:]:
            number, rest = line.split("\t\t")
            rows[int(number)] = tuple(float(v) for v in rest.split("\t"))
    return done, rows


def read_example(examples):
    def surf(name):
        lines = open(os.path.join(examples, name)).read().splitlines()
        at = next(k for k, line in enumerate(lines) if line.startswith("Vertices"))
        count = int(lines[at].split()[1])
        points = [[float(v) for v in line.split()[:3]] for line in lines[at + 1:at + 1 + count]]
        triangles = [[int(v) - 1 for v in line.split()[:3]] for line in lines[at + 1 + count:]
                     if len(line.split()) == 3 and not line[0].isalpha()]
        return numpy.array(points), numpy.array(triangles)

    text = open(os.path.join(examples, "mesh.hmascii")).read()
    nodes = {int(m[0]): [float(m[1]), float(m[2]), float(m[3])]
             for m in re.findall(r"\*node\((\d+),([^,]+),([^,]+),([^,]+)", text)}
    elements = [[int(c) for c in m]
                for m in re.findall(r"\*tri3\(\d+,\d+,(\d+),(\d+),(\d+)", text)]
    normals = vtk.vtkPolyDataReader()
    normals.SetFileName(os.path.join(examples, "norm.vtk"))
    normals.Update()
    return surf("cort.surf"), surf("trab.surf"), nodes, elements, normals.GetOutput()


def polydata(points, triangles, normals=None):
    data = vtk.vtkPolyData()
    data.SetPoints(vtk.vtkPoints())
    data.GetPoints().SetData(numpy_to_vtk(points, deep=True))
    cells = vtk.vtkCellArray()
    for triangle in triangles:
        cells.InsertNextCell(3, [int(v) for v in triangle])
    data.SetPolys(cells)
    if normals is not None:
        data.GetPointData().SetNormals(normals)
    return data


def xml_writer(mode, compressed, base64=False):
    def configure(writer):
        getattr(writer, f"SetDataModeTo{mode}")()
        if not compressed:
            writer.SetCompressorTypeToNone()
        writer.SetEncodeAppendedData(base64)
    return vtk.vtkXMLPolyDataWriter, ".vtp", configure


SURFACE_WRITERS = {
    # name: (writer, extension, configure, coordinates kept in double precision)
    "stl-binary": (vtk.vtkSTLWriter, ".stl", lambda w: w.SetFileTypeToBinary(), False),
    "stl-ascii": (vtk.vtkSTLWriter, ".stl", lambda w: w.SetFileTypeToASCII(), False),
    "ply": (vtk.vtkPLYWriter, ".ply", lambda w: None, False),
    "obj": (vtk.vtkOBJWriter, ".obj", lambda w: None, True),
    "vtk-5.1-ascii": (vtk.vtkPolyDataWriter, ".vtk", lambda w: None, True),
    "vtk-5.1-binary": (vtk.vtkPolyDataWriter, ".vtk", lambda w: w.SetFileTypeToBinary(), True),
    "vtk-4.2-binary": (vtk.vtkPolyDataWriter, ".vtk",
                       lambda w: (w.SetFileVersion(42), w.SetFileTypeToBinary()), True),
    "vtp-ascii": xml_writer("Ascii", False) + (True,),
    "vtp-inline": xml_writer("Binary", False) + (True,),
    "vtp-inline-zlib": xml_writer("Binary", True) + (True,),
    "vtp-appended": xml_writer("Appended", False) + (True,),
    "vtp-appended-zlib": xml_writer("Appended", True) + (True,),
    "vtp-appended-base64-zlib": xml_writer("Appended", True, True) + (True,),
    "off-meshio": (None, ".off", "off", True),
}


def write_surface(work, stem, kind, data):
    writer_class, extension, configure, _ = SURFACE_WRITERS[kind]
    path = os.path.join(work, stem + extension)
    if writer_class is None:  # meshio's writer, for a format VTK does not write
        points = numpy.array([data.GetPoint(k) for k in range(data.GetNumberOfPoints())])
        cells = numpy.array([[data.GetCell(c).GetPointId(k) for k in range(3)]
                             for c in range(data.GetNumberOfCells())])
        meshio.write(path, meshio.Mesh(points, [("triangle", cells)]), file_format=configure)
        return path
    writer = writer_class()
    writer.SetInputData(data)
    writer.SetFileName(path)
    configure(writer)
    writer.Write()
    return path


def close(a, b, digits):
    return all(abs(x - y) <= 2 * 10 ** -digits * max(1.0, abs(x)) for x, y in zip(a, b))


def check_surfaces(binary, examples, work, example, base):
    (cortical, trabecular) = example[0], example[1]
    mesh, normals = os.path.join(examples, "mesh.hmascii"), os.path.join(examples, "norm.vtk")
    for kind, (_, _, _, exact) in SURFACE_WRITERS.items():
        paths = [write_surface(work, f"{stem}-{kind}", kind, polydata(*surface))
                 for stem, surface in (("cort", cortical), ("trab", trabecular))]
        args = [mesh, paths[0], normals, paths[1]]
        if kind.startswith("stl"):
            # STL keeps no vertex order: norm.vtk's POINTS no longer match, which is refused.
            done, _ = run(binary, work, args)
            check(done.returncode == 247 and "Refused: the normals file's point" in done.stdout,
                  f"{kind}: normals of another vertex order not refused: {done.stdout[-300:]}")
            args.append("-force")
        done, rows = run(binary, work, args)
        check(done.returncode == 0, f"{kind}: exit {done.returncode}: {done.stdout[-300:]}")
        check(f"Found {len(cortical[0])} vertices in {paths[0]} file" in done.stdout,
              f"{kind}: the cortical count line")
        # Float coordinates round the last digit; STL keeps no vertex order, so
        # norm.vtk's normals fit it no more and only the thickness is compared.
        if not rows:
            continue
        same = rows == base if exact else all(
            close(rows[n][:1], base[n][:1], 3) and
            (kind.startswith("stl") or abs(rows[n][1] - base[n][1]) <= 0.05) for n in base)
        check(set(rows) == set(base) and same, f"{kind}: ans.log differs from the .surf run's")
        if kind == "stl-binary":  # compressed, through zlib, as the plain files
            for path in paths:
                with open(path, "rb") as plain, gzip.open(path + ".gz", "wb") as packed:
                    packed.write(plain.read())
            _, packed_rows = run(binary, work, [mesh, paths[0] + ".gz", normals, paths[1] + ".gz"],
                                 ["-force"])
            check(packed_rows == rows, "stl-binary.gz: ans.log differs from the plain files'")


def check_normals(binary, examples, work, example, base):
    (cortical, trabecular), normals = example[:2], example[4].GetPointData().GetNormals()
    mesh = os.path.join(examples, "mesh.hmascii")
    trab = write_surface(work, "trab-n", "vtk-5.1-binary", polydata(*trabecular))
    carried = write_surface(work, "cort-n", "vtk-5.1-binary", polydata(*cortical, normals))
    done, rows = run(binary, work, [mesh, carried, "-", trab])
    check(f"Took {len(cortical[0])} normals from {carried}" in done.stdout and rows == base,
          f"normals carried by the cortical file: {done.stdout[-200:]}")
    outward, inward = (write_surface(work, f"cort-{way}", "stl-binary",
                                     polydata(cortical[0], triangles))
                       for way, triangles in (("out", cortical[1]), ("in", cortical[1][:, ::-1])))
    computed = [run(binary, work, [mesh, path, "-", trab]) for path in (outward, inward)]
    check(all(f"Computed {len(cortical[0])} normals from the triangles of" in done.stdout
              for done, _ in computed), "computed normals: the count line")
    check("turned round" in computed[1][0].stderr and "turned round" not in computed[0][0].stderr,
          "computed normals: turned round only when the triangles wind inwards")
    # The example's normals were computed the same way, to a degree or two.
    check(computed[0][1] == computed[1][1] and
          all(abs(computed[0][1][n][1] - base[n][1]) < 3 for n in base),
          "computed normals: angles of both windings agree with the example's")


def own_numbers(nodes, elements):
    """Shuffled nodes with new numbers, and elements numbered from 5001 in reverse."""
    order = sorted(nodes)
    random.Random(7).shuffle(order)
    number = {n: 100 + 7 * k for k, n in enumerate(order)}
    return order, number, {9000 - e: corners for e, corners in enumerate(elements)}


def write_meshes(work, nodes, elements, order, number, numbered):
    points = numpy.array([nodes[n] for n in order])
    position = {n: k for k, n in enumerate(order)}
    triangles = numpy.array([[position[c] for c in t] for t in elements])
    paths = {}
    for kind, extension in (("abaqus", ".inp"), ("gmsh", ".msh"), ("gmsh22", ".msh")):
        paths[kind] = os.path.join(work, f"mesh-{kind}{extension}")
        meshio.write(paths[kind], meshio.Mesh(points, [("triangle", triangles)]),
                     file_format=kind, **({} if kind == "abaqus" else {"binary": False}))
    # meshio numbers nodes 1..N: give the Abaqus file its own numbers and a solid to leave out.
    text = open(paths["abaqus"]).read().split("*ELEMENT")
    nodes_part = re.sub(r"^(\d+),", lambda m: f"{number[order[int(m[1]) - 1]]},", text[0],
                        flags=re.M)
    lines = [f"{e}, " + ", ".join(str(number[c]) for c in corners)
             for e, corners in numbered.items()]
    solid = f"*Element, type=C3D4\n1, {number[order[0]]}, {number[order[1]]}, " \
            f"{number[order[2]]}, {number[order[3]]}\n"
    with open(paths["abaqus"], "w") as out:
        out.write(nodes_part + "*ELEMENT, TYPE=S3, ELSET=Cortex\n" + "\n".join(lines) + "\n" + solid)
    for kind, fixed in (("dyna-fixed", True), ("dyna-free", False)):
        paths[kind] = os.path.join(work, f"mesh-{kind}.k")
        with open(paths[kind], "w") as out:
            out.write("*KEYWORD\n$ written by the test\n*NODE\n")
            for n in order:
                x, y, z = nodes[n]
                out.write(f"{number[n]:8d}{x:16.9g}{y:16.9g}{z:16.9g}\n" if fixed
                          else f"{number[n]}, {x!r}, {y!r}, {z!r}\n")
            out.write("*ELEMENT_SHELL\n")
            for e, (a, b, c) in numbered.items():
                out.write(f"{e:8d}{3:8d}{number[a]:8d}{number[b]:8d}{number[c]:8d}{number[c]:8d}\n"
                          if fixed else f"{e},3,{number[a]},{number[b]},{number[c]},{number[c]}\n")
            out.write("*END\n")
    return paths


def check_meshes(binary, examples, work, example, base):
    nodes, elements = example[2], example[3]
    order, number, numbered = own_numbers(nodes, elements)
    paths = write_meshes(work, nodes, elements, order, number, numbered)
    surfaces = [os.path.join(examples, name) for name in ("cort.surf", "norm.vtk", "trab.surf")]
    original = {v: k for k, v in number.items()}
    for kind, path in paths.items():
        own = kind.startswith("dyna") or kind == "abaqus"
        done, rows = run(binary, work, [path] + surfaces, ["-vtk", "view.vtu", "-nodal", "n.inp"])
        check(done.returncode == 0, f"{kind}: exit {done.returncode}: {done.stdout[-300:]}")
        # Rows follow the file's node order and carry its numbers.
        expected = [number[n] if own else k + 1 for k, n in enumerate(order)]
        check(list(rows) == expected, f"{kind}: ans.log rows are not the file's nodes in order")
        digits = 3 if kind == "dyna-fixed" else 9
        check(all(close(rows[r], base[original[r] if own else order[r - 1]], digits)
                  for r in rows), f"{kind}: thickness differs from the .hmascii run's")
        deck = open(os.path.join(work, "out.k")).read().splitlines()[4:-1]
        cards = [[int(card[k:k + 8]) for k in range(0, 48, 8)] for card in deck[0::2]]
        expected_cards = ([[e, 1 if kind.startswith("abaqus") else 3] + [number[c] for c in t] +
                           [number[t[2]]] for e, t in numbered.items()] if own else None)
        check(not own or cards == expected_cards, f"{kind}: out.k lacks the own numbers")
        table = open(os.path.join(work, "n.inp")).read().splitlines()[1:]
        view = meshio.read(os.path.join(work, "view.vtu"))
        check([int(line.split(",")[0]) for line in table] == list(rows) and
              (not own or list(view.point_data["node"]) == list(rows)),
              f"{kind}: the nodal table and the view lack the own numbers")
        check(("left out of the deck, not being shells: 1 C3D4" in done.stderr) == (kind == "abaqus"),
              f"{kind}: the solid left out is named on stderr")


def main():
    binary, examples = sys.argv[1], sys.argv[2]
    example = read_example(examples)
    with tempfile.TemporaryDirectory() as work:
        inputs = [os.path.join(examples, name)
                  for name in ("mesh.hmascii", "cort.surf", "norm.vtk", "trab.surf")]
        done, base = run(binary, work, inputs)
        check(done.returncode == 0 and base, "the .surf run failed")
        check_surfaces(binary, examples, work, example, base)
        check_normals(binary, examples, work, example, base)
        check_meshes(binary, examples, work, example, base)
    for failure in failures:
        print("FAILED:", failure)
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
