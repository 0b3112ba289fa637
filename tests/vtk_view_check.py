"""Reads verdask's VTK view back with VTK's own reader and checks it, and the
run summary, against ans.log and out.k of the same run.

    python3 vtk_view_check.py <verdask binary> <directory with the four inputs>
"""
import math
import os
import re
import subprocess
import sys
import tempfile

import vtk
from vtk.util.numpy_support import vtk_to_numpy


def scientific3(value):
    """'%0.3e' with a three-digit exponent, as the logs write it."""
    mantissa, exponent = f"{value:0.3e}".split("e")
    return f"{mantissa}e{exponent[0]}{int(exponent[1:]):03d}"


def main():
    binary, inputs = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    failures = []

    def check(condition, what):
        if not condition:
            failures.append(what)

    with tempfile.TemporaryDirectory() as work:
        args = [binary] + [os.path.join(inputs, n)
                           for n in ("mesh.hmascii", "cort.surf", "norm.vtk", "trab.surf")]
        run = subprocess.run(args + ["-vtk", "view.vtk", "-summary", "-min", "2", "-max", "3.5"],
                             cwd=work, capture_output=True, text=True)
        check(run.returncode == 0, f"exit code {run.returncode}")
        answers = open(os.path.join(work, "ans.log")).read().splitlines()[1:]
        deck = open(os.path.join(work, "out.k")).read().splitlines()
        reader = vtk.vtkPolyDataReader()
        reader.SetFileName(os.path.join(work, "view.vtk"))
        reader.ReadAllScalarsOn()
        reader.Update()
        data = reader.GetOutput()

    cards = [line for line in deck[4:-1]]
    elements, thickness_cards = cards[0::2], cards[1::2]
    thickness = vtk_to_numpy(data.GetPointData().GetArray("thickness"))
    angles = vtk_to_numpy(data.GetPointData().GetArray("angle"))
    cortical = vtk_to_numpy(data.GetPointData().GetArray("cortical_vertex"))
    check(data.GetNumberOfPoints() == len(answers), "point count")
    check(data.GetNumberOfPolys() == len(elements), "cell count")
    check(len(thickness) == len(answers) and len(angles) == len(answers), "array lengths")
    log_values = [line.split("\t\t")[1].split("\t") for line in answers]
    for i, (value, angle) in enumerate(log_values):
        check(scientific3(float(thickness[i])) == value, f"thickness of vertex {i + 1} vs ans.log")
        # VTK's ASCII reader takes no nan: such an angle is written as -1.
        check(angles[i] == -1 if angle == "nan" else f"{angles[i]:2.2f}" == angle,
              f"angle of vertex {i + 1} vs ans.log")
    check(min(cortical) >= 1, "cortical vertex numbers from 1")
    polys = vtk_to_numpy(data.GetPolys().GetData()).reshape(-1, 4)
    for element, card, poly in zip(elements, thickness_cards, polys):
        nodes = [int(element[k:k + 8]) for k in range(16, 48, 8)]
        check(list(poly[1:]) == [n - 1 for n in nodes[:3]], f"triangle {element[:8].strip()}")
        for k, node in enumerate(nodes):
            check(f"{float(thickness[node - 1]):16.8f}" == card[16 * k:16 * k + 16],
                  f"thickness of node {node} vs out.k")

    # The summary, against figures worked out from ans.log alone.
    figures = dict(re.findall(r"^([a-z ]+?) +: ([-0-9.]+)$", run.stdout, re.M))
    values = [float(v) for v, _ in log_values]
    mean = sum(values) / len(values)
    deviation = math.sqrt(sum((v - mean) ** 2 for v in values) / len(values))
    check(int(figures["mesh vertices"]) == len(values), "summary vertex count")
    check(int(figures["triangles"]) == len(elements), "summary triangle count")
    for name, want in (("thickness minimum", min(values)), ("thickness maximum", max(values)),
                       ("thickness mean", mean), ("thickness std dev", deviation)):
        check(abs(float(figures[name]) - want) <= 1e-3 * max(1.0, abs(want)), f"summary {name}")
    check(int(figures["raised to minimum"]) == values.count(2.0), "summary raised to minimum")
    check(int(figures["lowered to maximum"]) == values.count(3.5), "summary lowered to maximum")
    check(int(figures["angles not a number"]) == sum(a == "nan" for _, a in log_values),
          "summary not-a-number angles")
    bins = [int(n) for n in re.findall(r"^ +[-0-9.]+ - +[-0-9.]+ : +(\d+)", run.stdout, re.M)]
    check(len(bins) == 10 and sum(bins) == len(values), "histogram bins")
    if failures:
        print("\n".join(failures[:20]))
        sys.exit(1)
    print(f"view and summary agree with ans.log and out.k for {len(values)} vertices")


main()
