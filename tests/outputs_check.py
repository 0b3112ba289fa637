"""Reads verdask's extra outputs back with other people's readers and checks
every value against ans.log, table.log and out.k of the same run:

- the -vtk view, legacy (.vtk) and XML (.vtu, .vtp), with VTK's readers and meshio;
- the -json run record with python's json module, against -summary and the inputs;
- the -nodal table.

    python3 outputs_check.py <verdask binary> <directory with the four inputs>
"""
import hashlib
import json
import math
import os
import re
import shutil
import subprocess
import sys
import tempfile

import meshio
import numpy
import vtk
from vtk.util.numpy_support import vtk_to_numpy

INPUTS = ("mesh.hmascii", "cort.surf", "norm.vtk", "trab.surf")
ARRAYS = ("angle", "cortical_vertex", "mesh_to_cortical", "quality", "thickness")
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)


def scientific3(value):
    """'%0.3e' with a three-digit exponent, as the logs write it."""
    mantissa, exponent = f"{value:0.3e}".split("e")
    return f"{mantissa}e{exponent[0]}{int(exponent[1:]):03d}"


def run(binary, inputs, work, options):
    args = [binary] + [os.path.join(inputs, name) for name in INPUTS] + options
    done = subprocess.run(args, cwd=work, capture_output=True, text=True)
    check(done.returncode == 0, f"exit code {done.returncode} for {options}")
    lines = lambda name: open(os.path.join(work, name)).read().splitlines()
    answers = [line.split("\t\t")[1].split("\t") for line in lines("ans.log")[1:]]
    cortical = [int(line.split("\t")[1]) for line in lines("table.log")[1:]]
    elements = lines("out.k")[4:-1][0::2]
    triangles = [[int(e[k:k + 8]) - 1 for k in range(16, 40, 8)] for e in elements]
    return done.stdout, answers, cortical, triangles


def vtk_read(reader, path):
    reader.SetFileName(path)
    reader.Update()
    data = reader.GetOutput()
    arrays = {name: vtk_to_numpy(data.GetPointData().GetArray(name))
              for name in ARRAYS if data.GetPointData().GetArray(name) is not None}
    scalars = data.GetPointData().GetScalars()
    check(scalars is not None and scalars.GetName() == "thickness", f"{path}: active scalars")
    cells = data.GetPolys() if isinstance(data, vtk.vtkPolyData) else data.GetCells()
    cells = vtk_to_numpy(cells.GetConnectivityArray()).reshape(-1, 3)
    return data.GetNumberOfPoints(), cells, arrays


def meshio_read(path):
    mesh = meshio.read(path)
    arrays = {name: numpy.ravel(mesh.point_data[name]) for name in ARRAYS if name in mesh.point_data}
    return len(mesh.points), mesh.cells_dict["triangle"], arrays


def check_view(name, view, answers, cortical, triangles, nan_as):
    points, cells, arrays = view
    check(points == len(answers), f"{name}: point count")
    check(cells.tolist() == triangles, f"{name}: triangles")
    check(sorted(arrays) == list(ARRAYS), f"{name}: arrays {sorted(arrays)}")
    if len(arrays) < len(ARRAYS):
        return
    for i, (thickness, angle) in enumerate(answers):
        check(scientific3(float(arrays["thickness"][i])) == thickness, f"{name}: thickness {i + 1}")
        got = arrays["angle"][i]
        if angle in ("nan", "-nan"):
            check(math.isnan(got) if nan_as is None else got == nan_as, f"{name}: nan angle {i + 1}")
        else:
            check(f"{got:2.2f}" == angle, f"{name}: angle {i + 1}")
        check(int(arrays["cortical_vertex"][i]) == cortical[i], f"{name}: cortical vertex {i + 1}")
        check(arrays["mesh_to_cortical"][i] >= 0, f"{name}: mesh to cortical {i + 1}")
        check(0 <= arrays["quality"][i] <= 7, f"{name}: quality {i + 1}")


def check_record(record, stdout, inputs, answers, triangles):
    figures = dict(re.findall(r"^([a-z ]+?) +: ([-0-9.]+)$", stdout, re.M))
    thickness = record["thickness"]
    for key, figure in (("minimum", "thickness minimum"), ("mean", "thickness mean"),
                        ("maximum", "thickness maximum"), ("std_dev", "thickness std dev")):
        check(f"{thickness[key]:.6f}" == figures[figure], f"record {key} vs -summary")
    bins = [int(n) for n in re.findall(r"^ +[-0-9.]+ - +[-0-9.]+ : +(\d+)", stdout, re.M)]
    check([b["count"] for b in thickness["histogram"]] == bins, "record histogram vs -summary")
    check(record["counts"]["mesh_vertices"] == int(figures["mesh vertices"]) == len(answers),
          "record mesh vertices")
    check(record["counts"]["triangles"] == int(figures["triangles"]) == len(triangles),
          "record triangles")
    check(record["raised_to_minimum"] == int(figures["raised to minimum"]), "record raised")
    check(record["lowered_to_maximum"] == int(figures["lowered to maximum"]), "record lowered")
    check(record["angles_not_a_number"] == int(figures["angles not a number"]), "record nan angles")
    quality = dict(re.findall(r"([a-z_]+) (\d+)", re.search(r"^quality +: (.*)$", stdout, re.M).group(1)))
    # Both list the CT measure's qualities only in its runs, the maps' only where a node has them.
    listed = {k: str(v) for k, v in record["quality"].items()}
    check(listed == quality and len(listed) >= 5, "record quality vs -summary")
    check(record["exit_code"] == 0 and record["options"]["min"] == 2 and
          record["options"]["nodal"] == "nodal.inp", "record exit code and options")
    for role, name in zip(("mesh", "cortical", "normals", "trabecular"), INPUTS):
        data = open(os.path.join(inputs, name), "rb").read()
        entry = record["inputs"][role]
        check(entry["sha256"] == hashlib.sha256(data).hexdigest() and entry["bytes"] == len(data),
              f"record digest of {name}")
    check(set(record["stage_seconds"]) == {"read", "pass", "deck", "flags", "outputs"},
          "record stages")
    check(record["failure"] is None and record["warnings"] == [], "record failure and warnings")
    line_up = [float(v) for v in re.findall(r"^mesh to cortical +: median ([0-9.]+), 95th "
                                             r"percentile ([0-9.]+), maximum ([0-9.]+)$",
                                             stdout, re.M)[0]]
    check([round(record["mesh_to_cortical"][k], 6) for k in ("median", "percentile_95", "maximum")]
          == line_up, "record mesh to cortical vs -summary")


def main():
    binary, inputs = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    with tempfile.TemporaryDirectory() as work:
        stdout, answers, cortical, triangles = run(
            binary, inputs, work, ["-vtk", "view.vtk", "-summary", "-min", "2", "-max", "3.5",
                                   "-json", "run.json", "-nodal", "nodal.inp"])
        view = os.path.join(work, "view.vtk")
        for name, reader in (("vtkDataSetReader", vtk.vtkDataSetReader()),
                             ("vtkUnstructuredGridReader", vtk.vtkUnstructuredGridReader())):
            check_view(name, vtk_read(reader, view), answers, cortical, triangles, -1)
        check_view("meshio .vtk", meshio_read(view), answers, cortical, triangles, -1)
        record = json.load(open(os.path.join(work, "run.json")))
        check_record(record, stdout, inputs, answers, triangles)
        for entry in record["outputs"].values():
            data = open(os.path.join(work, entry["path"]), "rb").read()
            check(entry["sha256"] == hashlib.sha256(data).hexdigest() and
                  entry["bytes"] == len(data), f"record digest of {entry['path']}")
        check(sorted(record["outputs"]) == ["ans", "nodal", "o", "table", "vtk"], "record outputs")
        nodal = open(os.path.join(work, "nodal.inp")).read().splitlines()
        check(nodal[0] == "*NODAL THICKNESS" and len(nodal) == len(answers) + 1, "nodal lines")
        for i, line in enumerate(nodal[1:]):
            node, value = line.split(", ")
            check(int(node) == i + 1 and scientific3(float(value)) == answers[i][0],
                  f"nodal thickness {i + 1}")

        # Zero normals give angles without a direction: not a number in the XML view.
        zeroed = os.path.join(work, "zeroed")
        os.mkdir(zeroed)
        for name in INPUTS:
            shutil.copy(os.path.join(inputs, name), zeroed)
        text = open(os.path.join(zeroed, "norm.vtk")).read()
        head, tail = text.split("NORMALS", 1)
        tail = re.sub(r"-?[0-9][-+.0-9e]*", "0", tail.split("\n", 1)[1])
        open(os.path.join(zeroed, "norm.vtk"), "w").write(head + "NORMALS n double\n" + tail)
        for view, reader in (("view.vtu", vtk.vtkXMLUnstructuredGridReader()),
                             ("view.vtp", vtk.vtkXMLPolyDataReader())):
            _, answers, cortical, triangles = run(binary, zeroed, work, ["-vtk", view])
            check(all(angle in ("nan", "-nan") for _, angle in answers), "zero normals: nan angles")
            path = os.path.join(work, view)
            check_view(reader.GetClassName(), vtk_read(reader, path), answers, cortical, triangles,
                       None)
            if view.endswith(".vtu"):  # meshio reads no .vtp
                check_view("meshio " + view, meshio_read(path), answers, cortical, triangles, None)
    if failures:
        print("\n".join(failures[:20]))
        sys.exit(1)
    print(f"views, record and nodal table agree with the logs for {len(answers)} vertices")


main()
