"""The module against the tool: the same thickness, angle and bytes, and the tool's failures.

Run by ctest with the module as built on PYTHONPATH, and the tool, make_bone and the
example's folder in VERDASK_BINARY, MAKE_BONE_BINARY and VERDASK_EXAMPLES.
"""
import math
import os
import subprocess
import threading
import time

import numpy as np
import pytest

import verdask

TOOL = os.environ["VERDASK_BINARY"]
MAKE_BONE = os.environ["MAKE_BONE_BINARY"]
EXAMPLES = os.environ["VERDASK_EXAMPLES"]


def cut_hole(bone, holed, radius):
    """The bone with every trabecular vertex within `radius` of its first one gone, and
    their triangles: its trabecular surface as an OBJ file, its other inputs as they were."""
    trabecular = verdask.read_surface(os.path.join(bone, "trab.surf"))
    keep = np.linalg.norm(trabecular.points - trabecular.points[0], axis=1) > radius
    number = np.cumsum(keep)  # each kept point's number in the file, from 1
    triangles = trabecular.triangles[keep[trabecular.triangles].all(axis=1)]
    with open(os.path.join(holed, "trab.obj"), "w") as obj:
        obj.writelines("v %r %r %r\n" % tuple(p) for p in trabecular.points[keep])
        obj.writelines("f %d %d %d\n" % tuple(number[t]) for t in triangles)
    for name in ("mesh.hmascii", "cort.surf", "norm.vtk"):
        os.symlink(os.path.join(bone, name), os.path.join(holed, name))


@pytest.fixture(scope="session")
def bones(tmp_path_factory):
    """The example bone, a generated one and that one with a hole in its trabecular
    surface, by name: their folders."""
    generated = tmp_path_factory.mktemp("generated")
    subprocess.run([MAKE_BONE, str(generated), "400", "3000", "5"], check=True)
    holed = tmp_path_factory.mktemp("holed")
    cut_hole(str(generated), str(holed), 15.0)
    return {"example": EXAMPLES, "generated": str(generated), "holed": str(holed)}


def inputs(folder):
    trabecular = "trab.obj" if os.path.exists(os.path.join(folder, "trab.obj")) else "trab.surf"
    return [os.path.join(folder, name) for name in ("mesh.hmascii", "cort.surf", "norm.vtk", trabecular)]


def run_tool(work, arguments):
    return subprocess.run([TOOL, *arguments], cwd=work, capture_output=True, text=True)


def angle_text(angle):
    return "-nan" if math.isnan(angle) else f"{angle:.2f}"


class FlatFaces:
    """A surface as PyVista holds one: .points and .faces in VTK's flat cell layout."""

    def __init__(self, surface):
        self.points = surface.points.astype(np.float64)
        triangles = surface.triangles
        self.faces = np.hstack([np.full((len(triangles), 1), 3), triangles]).ravel()


@pytest.mark.parametrize(
    "bone, measure, threads, duck, computed_normals, maps",
    [
        ("example", "vertex", 1, False, False, {}),
        ("example", "surface", 2, True, False, {}),
        ("generated", "vertex", 2, True, True, {}),
        ("generated", "surface", 1, False, False, {}),
        ("holed", "vertex", 2, False, False, {}),
        ("holed", "normal", 1, False, False, {"fill": True, "smooth": 4.0, "sections": 3}),
    ],
)
def test_thickness_angle_and_bytes_are_the_tools(bones, tmp_path, bone, measure, threads, duck,
                                                 computed_normals, maps):
    mesh, cortical, normals, trabecular = inputs(bones[bone])
    if computed_normals:
        normals = None
    arguments = [mesh, cortical, normals or "-", trabecular, "-measure", measure,
                 "-nodal", "nodal.inp", "-inp", "shell.inp", "-vtk", "view.vtk"]
    for key, value in maps.items():
        arguments += ["-" + key] + ([] if value is True else [str(value)])
    tool = run_tool(tmp_path, arguments)
    assert tool.returncode == 0

    surfaces = [verdask.read_surface(path) for path in (cortical, trabecular)]
    if duck:
        surfaces = [FlatFaces(surface) for surface in surfaces]
    result = verdask.measure(verdask.read_mesh(mesh), surfaces[0], normals=normals,
                             trabecular=surfaces[1], measure=measure, threads=threads, **maps)
    result.write_cards(tmp_path / "module.k")
    result.write_inp(tmp_path / "module.inp", command_line=[TOOL, *arguments])
    result.write_view(tmp_path / "module.vtk")

    nodal = (tmp_path / "nodal.inp").read_text().splitlines()[1:]
    assert result.thickness.dtype == np.float32
    assert list(result.thickness) == [np.float32(line.split(",")[1]) for line in nodal]
    answers = (tmp_path / "ans.log").read_text().splitlines()[1:]
    assert [angle_text(a) for a in result.angle] == [line.split("\t")[-1] for line in answers]
    assert (tmp_path / "module.k").read_bytes() == (tmp_path / "out.k").read_bytes()
    assert (tmp_path / "module.inp").read_bytes() == (tmp_path / "shell.inp").read_bytes()
    assert (tmp_path / "module.vtk").read_bytes() == (tmp_path / "view.vtk").read_bytes()
    warned = [line.split("warning: ", 1)[1] for line in tool.stderr.splitlines() if "warning: " in line]
    assert result.warnings == warned
    # The hole is found, and with -fill its nodes filled.
    assert (10 in result.quality or 11 in result.quality) == (bone == "holed")
    assert (11 in result.quality) == ("fill" in maps)


def test_the_version_is_the_tools():
    tool = subprocess.run([TOOL, "--version"], capture_output=True, text=True, check=True)
    assert tool.stdout == f"verdask {verdask.__version__}\n"


@pytest.fixture(scope="module")
def example():
    mesh, cortical, normals, trabecular = inputs(EXAMPLES)
    return (verdask.read_mesh(mesh), verdask.read_surface(cortical), normals,
            verdask.read_surface(trabecular))


SQUARE = np.array([[0, 0, 0], [1, 0, 0], [1, 1, 0], [0, 1, 0]], dtype=float)
TRIANGLES = np.array([[0, 1, 2], [0, 2, 3]])


class Faces:
    def __init__(self, points, faces):
        self.points, self.faces = points, faces


@pytest.mark.parametrize(
    "argument, value, message",
    [
        ("cortical", (SQUARE[:, :2], TRIANGLES), "cortical points: expected shape (n, 3), got (4, 2)"),
        ("cortical", (SQUARE.astype(complex), TRIANGLES), "cortical points: expected real numbers, got dtype complex128"),
        ("cortical", (np.where(np.arange(12).reshape(4, 3) == 6, np.nan, SQUARE), TRIANGLES),
         "cortical points: row 2 is (nan, 1, 0), not finite numbers within 1e150"),
        ("cortical", (np.zeros((0, 3)), TRIANGLES[:0]), "cortical points: the surface is empty"),
        ("trabecular", (SQUARE, TRIANGLES.astype(float)), "trabecular triangles: expected whole numbers, got dtype float64"),
        ("trabecular", (SQUARE, [[0, 1, 2], [0, 2, 4]]), "trabecular triangles: row 1 names point 4, outside 0..3"),
        ("trabecular", Faces(SQUARE, [3, 0, 1, 2, 3, 0, 2]), "trabecular faces: row 1 (at 4) has 3 corners, past the end"),
        ("trabecular", Faces(SQUARE, [3, 0, 1, 2, 3, 0, 2, -1]), "trabecular faces: row 1 names point -1, outside 0..3"),
        ("normals", np.zeros((3, 3)), "normals: expected shape (2988, 3), got (3, 3)"),
        ("normals", np.full((2988, 3), np.inf), "normals: row 0 is (inf, inf, inf), not finite numbers within 1e150"),
    ],
)
def test_bad_arrays_name_the_argument_and_the_first_bad_row(example, argument, value, message):
    mesh, cortical, normals, trabecular = example
    given = {"mesh": mesh, "cortical": cortical, "trabecular": trabecular, "normals": normals}
    given[argument] = value
    with pytest.raises(ValueError) as error:
        verdask.measure(**given)
    assert str(error.value) == message


def negated_normals(source, target):
    """The normals file with every normal turned round, its POINTS as they were."""
    lines = open(source).read().splitlines()
    start = next(i for i, line in enumerate(lines) if line.startswith("NORMALS")) + 1
    lines[start:] = [" ".join(repr(-float(v)) for v in line.split()) for line in lines[start:]]
    target.write_text("\n".join(lines) + "\n")
    return str(target)


def broken_surface(tmp_path):
    lines = open(os.path.join(EXAMPLES, "cort.surf")).read().splitlines()
    first = next(i for i, line in enumerate(lines) if line.startswith("Vertices")) + 1
    lines[first + 4] = "1.0 two 3.0"
    (tmp_path / "broken.surf").write_text("\n".join(lines) + "\n")
    return str(tmp_path / "broken.surf")


@pytest.mark.parametrize("case", ["broken surface", "surfaces swapped", "strict, normals inverted"])
def test_the_tools_refusals_carry_its_message_and_exit_status(tmp_path, case):
    mesh, cortical, normals, trabecular = inputs(EXAMPLES)
    options = {}
    if case == "broken surface":
        cortical = broken_surface(tmp_path)
    elif case == "surfaces swapped":
        cortical, trabecular = trabecular, cortical
    else:
        normals = negated_normals(normals, tmp_path / "inverted.vtk")
        options = {"strict": True}
    tool = run_tool(tmp_path, [mesh, cortical, normals, trabecular] + ["-" + key for key in options])
    assert tool.returncode != 0
    with pytest.raises(verdask.Error) as error:
        verdask.measure(verdask.read_mesh(mesh), verdask.read_surface(cortical),
                        verdask.read_surface(trabecular), normals, **options)
    assert error.value.status == tool.returncode
    printed = tool.stdout.splitlines() + tool.stderr.splitlines()
    lines = str(error.value).splitlines()
    assert lines and all(line in printed for line in lines)
    assert lines[-1] == tool.stdout.splitlines()[-1]


def test_a_second_thread_runs_during_a_long_measure(tmp_path):
    subprocess.run([MAKE_BONE, str(tmp_path), "20000", "100000", "7"], check=True)
    mesh, cortical, _, trabecular = inputs(str(tmp_path))
    mesh, cortical, trabecular = (verdask.read_mesh(mesh), verdask.read_surface(cortical),
                                  verdask.read_surface(trabecular))
    ticks, stop = [0], threading.Event()

    def tick():
        while not stop.is_set():
            ticks[0] += 1
            time.sleep(0.001)  # lets go of the GIL, and asks for it back

    ticker = threading.Thread(target=tick)
    ticker.start()
    try:
        before = ticks[0]
        verdask.measure(mesh, cortical, trabecular, measure="symmetric", threads=1)
        during = ticks[0] - before
    finally:
        stop.set()
        ticker.join()
    # Held throughout, the GIL would let the ticker in once or twice at most.
    assert during >= 10
