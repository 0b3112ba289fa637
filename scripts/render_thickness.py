"""Renders a thickness map from verdask's VTK view (-vtk) to a PNG picture.

    /usr/bin/python3 scripts/render_thickness.py view.vtk picture.png

Needs Debian's python3-vtk9 and python3-matplotlib.
"""
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import vtk  # noqa: E402
from vtk.util.numpy_support import vtk_to_numpy  # noqa: E402

reader = vtk.vtkDataSetReader()
reader.SetFileName(sys.argv[1])
reader.Update()
mesh = reader.GetOutput()
points = vtk_to_numpy(mesh.GetPoints().GetData())
triangles = vtk_to_numpy(mesh.GetCells().GetConnectivityArray()).reshape(-1, 3)
thickness = vtk_to_numpy(mesh.GetPointData().GetArray("thickness"))

figure = plt.figure(figsize=(9, 5), dpi=110)
for place, azimuth in ((1, -60), (2, 120)):
    axes = figure.add_subplot(1, 2, place, projection="3d")
    surface = axes.plot_trisurf(points[:, 0], points[:, 1], points[:, 2], triangles=triangles,
                                cmap="viridis", linewidth=0, antialiased=False)
    surface.set_array(thickness[triangles].mean(axis=1))
    surface.set_clim(thickness.min(), thickness.max())
    axes.view_init(elev=15, azim=azimuth)
    axes.set_box_aspect((1, 1, 4))
    axes.set_axis_off()
figure.colorbar(surface, ax=figure.axes, shrink=0.7, label="cortical thickness")
figure.suptitle("verdask: thickness over the example mesh (two sides)")
figure.savefig(sys.argv[2])
