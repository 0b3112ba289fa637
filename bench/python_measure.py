"""Times the Python module on a benchmark set, beside the tool's run of the same bone.

    /usr/bin/time -v /usr/bin/python3 bench/python_measure.py bench/data/M [OPTIONS as key=value]

Reads the four inputs, measures and writes out.k into the set's folder python/, printing the
wall time of each step; /usr/bin/time gives the peak memory of the whole.
"""
import os
import sys
import time

import verdask

folder = sys.argv[1]
options = dict(argument.split("=", 1) for argument in sys.argv[2:])
if "threads" in options:
    options["threads"] = int(options["threads"])
os.makedirs(os.path.join(folder, "python"), exist_ok=True)


def timed(label, step):
    start = time.perf_counter()
    value = step()
    print(f"{label:8s} {time.perf_counter() - start:.3f} s")
    return value


path = lambda name: os.path.join(folder, name)
mesh = timed("mesh", lambda: verdask.read_mesh(path("mesh.hmascii")))
cortical = timed("cortical", lambda: verdask.read_surface(path("cort.surf")))
trabecular = timed("trabecular", lambda: verdask.read_surface(path("trab.surf")))
result = timed("measure", lambda: verdask.measure(mesh, cortical, trabecular, path("norm.vtk"), **options))
timed("out.k", lambda: result.write_cards(path("python/out.k")))
