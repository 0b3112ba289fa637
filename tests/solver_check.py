"""Proves the complete decks in a solver: a tube phantom (outer radius 10, inner 8, length
100), meshed with triangles and again with quadrilaterals, some elements facing inwards, goes
through verdask -inp; CalculiX's ccx bends it as a cantilever under a tip load, and the tip
deflection must match thin-wall beam theory at the mid-wall radius. The same deck with the
offset taken out, or with every element facing inwards, must miss it. The README's own
model block runs in ccx as the README prints it, around the deck under the name it gives
(the phantom's node numbers are the README's: 1, 2, 3 on the fixed end, 1281 at the tip).
The tube meshed in .inp with two element sets keeps them as two sets with their own
sections and materials, and bends as the one-set deck does. A tube whose bore is off the
axis (a wall of 1.5 to 2.5) bends with its thickness in four classes (-sections 4) within 2 %
of its deck with the thickness at every node. The LS-DYNA deck (-deck), with
no solver at hand, is read back by its fixed columns.

    python3 solver_check.py <verdask binary>
"""
import math
import os
import re
import subprocess
import sys
import tempfile

OUTER, INNER, LENGTH, LOAD, MODULUS = 10.0, 8.0, 100.0, 100.0, 17000.0
README = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "README.md")
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)


def ring_grid(radius, around, along):
    """Points of a cylinder, ring by ring, and the cells between them as corner tuples."""
    points = [(radius * math.cos(2 * math.pi * i / around), radius * math.sin(2 * math.pi * i / around),
               LENGTH * j / along) for j in range(along + 1) for i in range(around)]
    cells = [(j * around + i, j * around + (i + 1) % around, (j + 1) * around + (i + 1) % around,
              (j + 1) * around + i) for j in range(along) for i in range(around)]
    return points, cells


def write_surface(path, radius, shift=0.0):
    points, _ = ring_grid(radius, 128, 200)
    points = [(x + shift, y, z) for x, y, z in points]
    with open(path, "w") as out:
        out.write(f"# HyperSurface 0.1 ASCII\n\nVertices {len(points)}\n")
        out.writelines("%r %r %r\n" % p for p in points)
    return points


def write_inputs(work, quads):
    """The phantom's four inputs; every seventh element's corners run the other way."""
    cortical = write_surface(os.path.join(work, "cort.surf"), OUTER)
    write_surface(os.path.join(work, "trab.surf"), INNER)
    with open(os.path.join(work, "norm.vtk"), "w") as out:
        out.write(f"# vtk DataFile Version 3.0\ntube\nASCII\nDATASET POLYDATA\nPOINT_DATA {len(cortical)}\n"
                  "NORMALS Normals double\n")
        out.writelines("%r %r 0\n" % (x / OUTER, y / OUTER) for x, y, _ in cortical)
    points, cells = ring_grid(OUTER, 32, 40)
    elements = cells if quads else [t for a, b, c, d in cells for t in ((a, b, c), (a, c, d))]
    with open(os.path.join(work, "mesh.hmascii"), "w") as out:
        out.write("BEGIN DATA\nBEGIN NODES\n")
        out.writelines("*node(%d,%r,%r,%r,0,0,0)\n" % (k + 1, *p) for k, p in enumerate(points))
        out.write("END NODES\n")
        for e, corners in enumerate(elements):
            corners = [c + 1 for c in corners]
            if e % 7 == 3:
                corners.reverse()
            keyword = "quad4" if quads else "tri3"
            out.write(f"*{keyword}({e + 1},1,{','.join(map(str, corners))})\n")
        out.write("END DATA\n")
    return points


def write_abaqus_mesh(path, points):
    """The tube's triangles in .inp, the elements of the far half in the set HEAD, the rest
    in SHAFT."""
    _, cells = ring_grid(OUTER, 32, 40)
    triangles = [t for a, b, c, d in cells for t in ((a, b, c), (a, c, d))]
    sets = {"HEAD": [], "SHAFT": []}
    for e, corners in enumerate(triangles):
        head = sum(points[c][2] for c in corners) / 3 > LENGTH / 2
        sets["HEAD" if head else "SHAFT"].append((e + 1, *(c + 1 for c in corners)))
    with open(path, "w") as out:
        out.write("*NODE\n")
        out.writelines("%d, %r, %r, %r\n" % (k + 1, *p) for k, p in enumerate(points))
        for name, elements in sets.items():
            out.write(f"*ELEMENT, TYPE=S3, ELSET={name}\n")
            out.writelines("%d, %d, %d, %d\n" % element for element in elements)


def run_ccx(work, model, text):
    """Runs ccx on the model; what it printed to model.dat, empty when it failed."""
    with open(os.path.join(work, model + ".inp"), "w") as out:
        out.write(text)
    done = subprocess.run(["ccx", model], cwd=work, capture_output=True, text=True)
    check(done.returncode == 0 and "*ERROR" not in done.stdout, f"ccx {model} failed: {done.stdout[-800:]}")
    return open(os.path.join(work, model + ".dat")).read() if done.returncode == 0 else ""


def printed_rows(printed):
    """The node lines of a ccx .dat file: node and three values."""
    return [(int(n), float(a), float(b), float(c)) for n, a, b, c in
            re.findall(r"^\s+(\d+)\s+(\S+)\s+(\S+)\s+(\S+)\s*$", printed, re.M)]


def tip_deflection(work, deck_text, materials=("CORTEX",)):
    """The mean x displacement of the tip nodes of the cantilever built around the deck."""
    with open(os.path.join(work, "shell.inp"), "w") as out:
        out.write(deck_text)
    nodes = re.findall(r"^(\d+), ([^,]+), ([^,]+), ([^,\n]+)$", deck_text.split("*ELEMENT")[0], re.M)
    fixed = [n for n, _, _, z in nodes if abs(float(z)) < 1e-9]
    tip = [n for n, _, _, z in nodes if abs(float(z) - LENGTH) < 1e-9]
    model = "*INCLUDE, INPUT=shell.inp\n"
    model += "".join(f"*MATERIAL, NAME={name}\n*ELASTIC\n{MODULUS!r}, 0.3\n" for name in materials)
    model += "*NSET, NSET=FIXED\n" + "\n".join(fixed) + "\n*NSET, NSET=TIP\n" + "\n".join(tip) + "\n"
    model += "*BOUNDARY\nFIXED, 1, 6\n*STEP\n*STATIC\n*CLOAD\n"
    model += "".join(f"{n}, 1, {LOAD / len(tip)!r}\n" for n in tip)
    model += "*NODE PRINT, NSET=TIP\nU\n*END STEP\n"
    rows = printed_rows(run_ccx(work, "model", model))
    return sum(u for _, u, _, _ in rows) / len(rows) if rows else float("nan")


def readme_model():
    """The README's model block, the one after "A minimal model around it", as printed."""
    return open(README).read().split("A minimal model around it", 1)[1].split("```\n")[1]


def check_readme_model(work, deck_text, points, theory):
    """The README's model as printed, around the deck named as it names it: it runs, and its
    reactions carry the load. With only a print of the loaded node added, that node moves
    along the load, further than the fully clamped tube's tip."""
    check(all(points[n - 1][2] == 0 for n in (1, 2, 3)) and points[1280][2] == LENGTH,
          "the phantom's nodes 1, 2, 3 are on the fixed end and 1281 at the tip")
    with open(os.path.join(work, "shell.inp"), "w") as out:
        out.write(deck_text)
    model = readme_model()
    reactions = printed_rows(run_ccx(work, "readme", model))
    total = [sum(row[k] for row in reactions) for k in (1, 2, 3)]
    check(len(reactions) == 3 and abs(total[0] + LOAD) < 1e-3 * LOAD and
          all(abs(f) < 1e-3 * LOAD for f in total[1:]), f"README model: reactions {reactions}")
    loaded = model.replace("*STEP\n", "*NSET, NSET=LOADED\n1281\n*STEP\n", 1).replace(
        "*END STEP", "*NODE PRINT, NSET=LOADED\nU\n*END STEP")
    moved = [row for row in printed_rows(run_ccx(work, "loaded", loaded)) if row[0] == 1281]
    deflection = moved[0][1] if moved else float("nan")
    check(theory < deflection < LENGTH / 2, f"README model: node 1281 moved {deflection}")
    return deflection


def flipped(deck_text):
    """The deck with every element's corners reversed: all facing inwards."""
    head, rest = deck_text.split("*SHELL SECTION")
    nodes, elements = head.split("*ELEMENT", 1)
    elements = re.sub(r"^(\d+), ([\d, ]+)$",
                      lambda m: m.group(1) + ", " + ", ".join(reversed(m.group(2).split(", "))),
                      elements, flags=re.M)
    return nodes + "*ELEMENT" + elements + "*SHELL SECTION" + rest


def scientific3(value):
    """'%0.3e' with a three-digit exponent, as the logs write it."""
    mantissa, exponent = f"{value:0.3e}".split("e")
    return f"{mantissa}e{exponent[0]}{int(exponent[1:]):03d}"


def check_dyna_deck(path, answers):
    """Every card within its columns, every element's nodes defined, ids unique, the
    thicknesses those of ans.log, every element facing outwards."""
    lines = open(path).read().split("\n")
    check(lines[0] == "*KEYWORD" and lines[-2] == "*END", "LS-DYNA deck: *KEYWORD ... *END")
    section = lines.index("*NODE")
    nodes = {}
    for line in lines[section + 1:]:
        if line.startswith("$"):
            continue
        if line.startswith("*"):
            break
        check(len(line) == 56, f"LS-DYNA node card of {len(line)} columns")
        node = int(line[0:8])
        check(node not in nodes, f"node {node} twice")
        nodes[node] = [float(line[k:k + 16]) for k in (8, 24, 40)]
    section = lines.index("*SECTION_SHELL")
    check(lines[section + 4][40:50].strip() == "1", "LS-DYNA NLOC is 1")
    start = lines.index("*ELEMENT_SHELL_THICKNESS") + 4
    cards = lines[start:-2]
    ids = set()
    for element, values in zip(cards[0::2], cards[1::2]):
        check(len(element) == 48 and len(values) == 64, "LS-DYNA element cards of 48 and 64 columns")
        number, corners = int(element[0:8]), [int(element[k:k + 8]) for k in range(16, 48, 8)]
        check(number not in ids and all(c in nodes for c in corners), f"element {number}")
        ids.add(number)
        for k, corner in enumerate(corners):
            check(scientific3(float(values[16 * k:16 * k + 16])) == answers[corner - 1],
                  f"thickness of node {corner} in element {number}")
        a, b, c = (nodes[corners[i]] for i in (0, 1, 2))
        normal_x = (b[1] - a[1]) * (c[2] - a[2]) - (b[2] - a[2]) * (c[1] - a[1])
        normal_y = (b[2] - a[2]) * (c[0] - a[0]) - (b[0] - a[0]) * (c[2] - a[2])
        check(normal_x * a[0] + normal_y * a[1] > 0, f"element {number} faces inwards")


def check_sections(work, verdask):
    """The tube with its bore off the axis, bent with the thickness at its nodes and in four
    classes; the deflections, which must agree within 2 %."""
    write_inputs(work, False)
    write_surface(os.path.join(work, "trab.surf"), INNER, 0.5)
    decks = {}
    for name, options in (("nodal", []), ("classes", ["-sections", "4"])):
        done = subprocess.run([verdask, "mesh.hmascii", "cort.surf", "norm.vtk", "trab.surf", "-inp",
                               name + ".inp"] + options, cwd=work, capture_output=True, text=True)
        check(done.returncode == 0, f"verdask {options}: exit {done.returncode}: {done.stdout[-500:]}")
        decks[name] = open(os.path.join(work, name + ".inp")).read()
    sections = re.findall(r"^\*SHELL SECTION, ELSET=(\w+), MATERIAL=CORTEX, OFFSET=0.5\n(\S+)$",
                          decks["classes"], re.M)
    check([name for name, _ in sections] == ["CORTEX_T1", "CORTEX_T2", "CORTEX_T3", "CORTEX_T4"]
          and "*NODAL THICKNESS" not in decks["classes"], f"four class sections: {sections}")
    nodal, classes = (tip_deflection(work, decks[name]) for name in ("nodal", "classes"))
    check(abs(classes / nodal - 1) < 0.02, f"four classes bend {classes}, the nodal deck {nodal}")
    thicknesses = ", ".join(f"{float(t):.3f}" for _, t in sections)
    return (f"bore off the axis: tip deflection {nodal:.4f} with the thickness at every node, "
            f"{classes:.4f} in four classes ({thicknesses})")


def main():
    verdask = os.path.abspath(sys.argv[1])
    mid_wall = (OUTER + INNER) / 2
    theory = LOAD * LENGTH ** 3 / (3 * MODULUS * math.pi * mid_wall ** 3 * (OUTER - INNER))
    report = []
    for quads in (False, True):
        with tempfile.TemporaryDirectory() as work:
            points = write_inputs(work, quads)
            done = subprocess.run([verdask, "mesh.hmascii", "cort.surf", "norm.vtk", "trab.surf",
                                   "-inp", "deck.inp", "-deck", "deck.k"], cwd=work,
                                  capture_output=True, text=True)
            check(done.returncode == 0, f"verdask exit {done.returncode}: {done.stdout[-500:]}")
            deck = open(os.path.join(work, "deck.inp")).read()
            right = tip_deflection(work, deck)
            no_offset = tip_deflection(work, deck.replace(", OFFSET=0.5", ""))
            inwards = tip_deflection(work, flipped(deck))
            kind = "quads" if quads else "triangles"
            report.append(f"{kind}: tip deflection {right:.3f} (theory at the mid-wall radius "
                          f"{theory:.3f}); without the offset {no_offset:.3f}; with every element "
                          f"facing inwards {inwards:.3f}")
            check(abs(right / theory - 1) < 0.08, f"{kind}: {right} against {theory}")
            for wrong in (no_offset, inwards):
                check(not abs(wrong / theory - 1) < 0.08, f"{kind}: a wrong deck gave {wrong}")
            answers = [line.split("\t\t")[1].split("\t")[0]
                       for line in open(os.path.join(work, "ans.log")).read().splitlines()[1:]]
            check_dyna_deck(os.path.join(work, "deck.k"), answers)
            if quads:
                continue
            loaded = check_readme_model(work, deck, points, theory)
            write_abaqus_mesh(os.path.join(work, "mesh.inp"), points)
            done = subprocess.run([verdask, "mesh.inp", "cort.surf", "norm.vtk", "trab.surf", "-inp",
                                   "parts.inp", "-part-material", "HEAD=HEAD_BONE,SHAFT=SHAFT_BONE"],
                                  cwd=work, capture_output=True, text=True)
            check(done.returncode == 0, f"verdask exit {done.returncode}: {done.stdout[-500:]}")
            parts = open(os.path.join(work, "parts.inp")).read()
            sections = re.findall(r"^\*SHELL SECTION, ELSET=(\w+), MATERIAL=(\w+),", parts, re.M)
            check(sections == [("HEAD", "HEAD_BONE"), ("SHAFT", "SHAFT_BONE")], f"sections {sections}")
            two = tip_deflection(work, parts, ("HEAD_BONE", "SHAFT_BONE"))
            check(abs(two / right - 1) < 1e-6, f"two sets: {two} against one set's {right}")
            report.append(f"the README's model: node 1281 moved {loaded:.3f}; two sets with "
                          f"their materials: tip deflection {two:.3f}")
    with tempfile.TemporaryDirectory() as work:
        report.append(check_sections(work, verdask))
    if failures:
        print("\n".join(failures[:20]))
        sys.exit(1)
    print("\n".join(report))


main()
