"""CT phantoms of known cortical thickness, for -measure ct.

    python3 ct_phantoms.py OUT SHAPE [--sigma 0.8] [--voxel 0.6] [--noise 0.02] [--nodes 6000]
                           [--format nii.gz|nii|mha|nrrd] [--seed 1] [--iso] [--size NX NY NZ]

SHAPE is tube (a cylinder of radius 12 mm whose wall runs from 0.3 to 4 mm thick round its
circumference) or spheres (a sphere of radius 15 mm and an inner one shifted off its centre,
the wall 0.3 to 4 mm thick). The densities (soft tissue 50 outside, cortex 1500, marrow 300
inside) are laid on a grid three times finer than the voxels, with each cell's share of the
surfaces it straddles, blurred by a Gaussian of sigma mm (the scanner's point-spread
function), sampled at the voxel centres, given Gaussian noise of the fraction of the cortical
density and stored as int16 in the LPS frame (a NIfTI file's header says RAS, as NIfTI does).

Writes into OUT: ct.<format>; cort.vtk, the outer surface with its outward normals, which is
the mesh and the cortical surface; truth.txt, each node's thickness along its inward normal;
and with --iso the surface route's inputs: the half-maximum iso-surface of the image
(VTK's vtkFlyingEdges3D) split into its outer sheet (iso_outer.vtk), where the density rises
inwards, and its inner sheet (iso_inner.vtk), where it falls.
--size makes a large image for timing: the tube, of a radius a third of the image's width,
runs through an image of that many voxels, its densities those of the blurred step across
each surface (no finer grid), written a slab at a time; its nodes keep 10 mm from the ends.
Debian's python3 with numpy and scipy; --iso also needs python3-vtk9.
"""
import argparse
import gzip
import os
import struct

import numpy as np
from scipy import ndimage, spatial

OUTSIDE, CORTEX, INSIDE = 50.0, 1500.0, 300.0
FINE = 3  # fine cells per voxel
MARGIN = 7.0  # mm of image beyond the outer surface


def tube_thickness(theta):
    return 0.3 + 3.7 * (0.5 - 0.5 * np.cos(theta))


class Tube:
    def __init__(self, radius=12.0, half_length=15.0):
        self.radius, self.half_length = radius, half_length

    def extent(self):
        r = self.radius + MARGIN
        return np.array([-r, -r, -self.half_length]), np.array([r, r, self.half_length])

    def signed(self, x, y, z):
        """Signed distances (positive inside) to the outer and the inner surface."""
        r = np.hypot(x, y)
        inner = self.radius - tube_thickness(np.arctan2(y, x))
        return self.radius - r, inner - r

    def surface(self, nodes):
        around = int(round(np.sqrt(nodes * 2 * np.pi * self.radius / 20.0)))
        along = max(2, -(-nodes // around))
        theta = 2 * np.pi * np.arange(around) / around
        z = np.linspace(-10, 10, along) * max(1.0, (self.half_length - 10) / 10)
        t, zz = np.meshgrid(theta, z)
        points = np.stack([self.radius * np.cos(t), self.radius * np.sin(t), zz], -1).reshape(-1, 3)
        normals = np.stack([np.cos(t), np.sin(t), 0 * t], -1).reshape(-1, 3)
        quads = []
        for j in range(along - 1):
            for i in range(around):
                a, b = j * around + i, j * around + (i + 1) % around
                quads += [(a, b, b + around), (a, b + around, a + around)]
        return points, normals, np.array(quads), tube_thickness(t.reshape(-1))

    def outward(self, p):
        d = p.copy()
        d[:, 2] = 0
        return d / np.linalg.norm(d, axis=1)[:, None]


class Spheres:
    radius = 15.0
    inner = 15.0 - 2.15
    shift = np.array([1.85, 0.0, 0.0])

    def extent(self):
        r = self.radius + MARGIN
        return np.array([-r, -r, -r]), np.array([r, r, r])

    def signed(self, x, y, z):
        outer = self.radius - np.sqrt(x * x + y * y + z * z)
        c = self.shift
        return outer, self.inner - np.sqrt((x - c[0]) ** 2 + (y - c[1]) ** 2 + (z - c[2]) ** 2)

    def surface(self, nodes):
        k = np.arange(nodes) + 0.5
        polar = np.arccos(1 - 2 * k / nodes)
        azimuth = np.pi * (1 + 5 ** 0.5) * k
        normals = np.stack([np.cos(azimuth) * np.sin(polar), np.sin(azimuth) * np.sin(polar),
                            np.cos(polar)], -1)
        points = self.radius * normals
        triangles = spatial.ConvexHull(points).simplices
        # Wound so that each triangle faces outwards.
        a, b, c = (points[triangles[:, i]] for i in range(3))
        flip = np.einsum('ij,ij->i', np.cross(b - a, c - a), a) < 0
        triangles[flip] = triangles[flip][:, ::-1]
        w = points - self.shift
        wu = np.einsum('ij,ij->i', w, normals)
        truth = wu - np.sqrt(wu * wu - np.einsum('ij,ij->i', w, w) + self.inner ** 2)
        return points, normals, triangles, truth

    def outward(self, p):
        return p / np.linalg.norm(p, axis=1)[:, None]


def image_of(shape, sigma, voxel, noise, seed):
    low, high = shape.extent()
    size = np.floor((high - low) / voxel).astype(int) + 1
    h = voxel / FINE
    axes = [low[a] + h * np.arange((size[a] - 1) * FINE + 1) for a in range(3)]
    z, y, x = np.meshgrid(axes[2], axes[1], axes[0], indexing='ij')
    outer, inner = shape.signed(x, y, z)
    del x, y, z
    # Each fine cell's share of what lies inside each surface.
    share_outer = np.clip(0.5 + outer / h, 0, 1)
    share_inner = np.clip(0.5 + inner / h, 0, 1)
    density = (OUTSIDE + (CORTEX - OUTSIDE) * share_outer + (INSIDE - CORTEX) * share_inner)
    density = ndimage.gaussian_filter(density.astype(np.float32), sigma / h, mode='nearest')
    ct = density[::FINE, ::FINE, ::FINE]
    ct = ct + np.random.default_rng(seed).normal(0, noise * CORTEX, ct.shape)
    return np.round(ct).astype(np.int16), low


def large_image(path, tube, size, sigma, voxel, noise, seed):
    """A large tube image, slab by slab: the blurred step across each surface."""
    from scipy.special import ndtr
    origin = -0.5 * voxel * (np.array(size) - 1)
    x = origin[0] + voxel * np.arange(size[0])
    y = origin[1] + voxel * np.arange(size[1])
    yy, xx = np.meshgrid(y, x, indexing='ij')
    outer, inner = tube.signed(xx, yy, 0)
    slab = (OUTSIDE + (CORTEX - OUTSIDE) * ndtr(outer / sigma) + (INSIDE - CORTEX) * ndtr(inner / sigma))
    rng = np.random.default_rng(seed)
    with open(path, 'wb') as f:
        f.write(nifti_header(size, origin, voxel))
        for _ in range(size[2]):
            noisy = slab + rng.normal(0, noise * CORTEX, slab.shape)
            f.write(np.round(noisy).astype('<i2').tobytes())


def nifti_header(size, origin, voxel):
    nx, ny, nz = size
    header = bytearray(348)
    struct.pack_into('<i', header, 0, 348)
    struct.pack_into('<8h', header, 40, 3, nx, ny, nz, 1, 1, 1, 1)
    struct.pack_into('<hh', header, 70, 4, 16)  # int16, 16 bits
    struct.pack_into('<8f', header, 76, 1, voxel, voxel, voxel, 0, 0, 0, 0)
    struct.pack_into('<f', header, 108, 352.0)  # vox_offset
    struct.pack_into('<ff', header, 112, 1.0, 0.0)  # scl_slope, scl_inter
    struct.pack_into('<B', header, 123, 2)  # xyzt_units: mm
    struct.pack_into('<hh', header, 252, 0, 1)  # qform_code 0, sform_code 1
    # RAS: the LPS axes and origin with x and y negated.
    rows = [(-voxel, 0, 0, -origin[0]), (0, -voxel, 0, -origin[1]), (0, 0, voxel, origin[2])]
    for r, row in enumerate(rows):
        struct.pack_into('<4f', header, 280 + 16 * r, *row)
    header[344:348] = b'n+1\0'
    return bytes(header) + b'\0' * 4


def write_nifti(path, ct, origin, voxel):
    nz, ny, nx = ct.shape
    data = nifti_header((nx, ny, nz), origin, voxel) + ct.astype('<i2').tobytes()
    opener = gzip.open if path.endswith('.gz') else open
    with opener(path, 'wb') as f:
        f.write(data)


def write_text_header(path, ct, origin, voxel, nrrd):
    nz, ny, nx = ct.shape
    if nrrd:
        head = ('NRRD0004\ntype: short\ndimension: 3\nspace: left-posterior-superior\n'
                f'sizes: {nx} {ny} {nz}\nspace directions: ({voxel},0,0) (0,{voxel},0) '
                f'(0,0,{voxel})\nendian: little\nencoding: raw\n'
                f'space origin: ({origin[0]},{origin[1]},{origin[2]})\n\n')
    else:
        head = ('ObjectType = Image\nNDims = 3\nBinaryData = True\nBinaryDataByteOrderMSB = False\n'
                f'TransformMatrix = 1 0 0 0 1 0 0 0 1\nOffset = {origin[0]} {origin[1]} {origin[2]}\n'
                f'ElementSpacing = {voxel} {voxel} {voxel}\nDimSize = {nx} {ny} {nz}\n'
                'ElementType = MET_SHORT\nElementDataFile = LOCAL\n')
    with open(path, 'wb') as f:
        f.write(head.encode() + ct.astype('<i2').tobytes())


def write_surface(path, points, triangles, normals=None):
    with open(path, 'w') as f:
        f.write('# vtk DataFile Version 3.0\nct phantom\nASCII\nDATASET POLYDATA\n')
        f.write(f'POINTS {len(points)} double\n')
        np.savetxt(f, points, fmt='%.9g')
        f.write(f'POLYGONS {len(triangles)} {4 * len(triangles)}\n')
        np.savetxt(f, np.hstack([np.full((len(triangles), 1), 3), triangles]), fmt='%d')
        if normals is not None:
            f.write(f'POINT_DATA {len(points)}\nNORMALS normals double\n')
            np.savetxt(f, normals, fmt='%.9g')


def iso_sheets(out, shape, ct, origin, voxel):
    """The half-maximum iso-surface, split by which way the density crosses it."""
    import vtk
    from vtk.util import numpy_support
    image = vtk.vtkImageData()
    nz, ny, nx = ct.shape
    image.SetDimensions(nx, ny, nz)
    image.SetSpacing(voxel, voxel, voxel)
    image.SetOrigin(*origin)
    image.GetPointData().SetScalars(numpy_support.numpy_to_vtk(
        ct.ravel().astype(np.float32), deep=True))
    iso = vtk.vtkFlyingEdges3D()
    iso.SetInputData(image)
    iso.SetValue(0, 0.5 * (OUTSIDE + CORTEX))
    iso.ComputeNormalsOn()
    iso.Update()
    surface = iso.GetOutput()
    points = numpy_support.vtk_to_numpy(surface.GetPoints().GetData()).astype(float)
    cells = numpy_support.vtk_to_numpy(surface.GetPolys().GetData()).reshape(-1, 4)[:, 1:]
    # The filter's normals point down the gradient: outwards where the density rises inwards.
    normals = numpy_support.vtk_to_numpy(surface.GetPointData().GetNormals()).astype(float)
    corner = cells[:, 0]
    rising = np.einsum('ij,ij->i', normals[corner], shape.outward(points[corner])) > 0
    for name, keep in (('iso_outer.vtk', rising), ('iso_inner.vtk', ~rising)):
        used = np.unique(cells[keep])
        index = np.full(len(points), -1)
        index[used] = np.arange(len(used))
        write_surface(os.path.join(out, name), points[used], index[cells[keep]])


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('out')
    parser.add_argument('shape', choices=['tube', 'spheres'])
    parser.add_argument('--sigma', type=float, default=0.8)
    parser.add_argument('--voxel', type=float, default=0.6)
    parser.add_argument('--noise', type=float, default=0.02)
    parser.add_argument('--nodes', type=int, default=6000)
    parser.add_argument('--format', default='nii.gz', choices=['nii.gz', 'nii', 'mha', 'nrrd'])
    parser.add_argument('--seed', type=int, default=1)
    parser.add_argument('--iso', action='store_true')
    parser.add_argument('--size', type=int, nargs=3)
    args = parser.parse_args()
    os.makedirs(args.out, exist_ok=True)
    if args.size:
        tube = Tube(args.voxel * min(args.size[:2]) / 3, args.voxel * (args.size[2] - 1) / 2)
        large_image(os.path.join(args.out, 'ct.nii'), tube, args.size, args.sigma, args.voxel,
                    args.noise, args.seed)
        points, normals, triangles, truth = tube.surface(args.nodes)
        write_surface(os.path.join(args.out, 'cort.vtk'), points, triangles, normals)
        np.savetxt(os.path.join(args.out, 'truth.txt'), truth, fmt='%.9g')
        return
    shape = Tube() if args.shape == 'tube' else Spheres()
    ct, origin = image_of(shape, args.sigma, args.voxel, args.noise, args.seed)
    path = os.path.join(args.out, 'ct.' + args.format)
    if args.format.startswith('nii'):
        write_nifti(path, ct, origin, args.voxel)
    else:
        write_text_header(path, ct, origin, args.voxel, args.format == 'nrrd')
    points, normals, triangles, truth = shape.surface(args.nodes)
    write_surface(os.path.join(args.out, 'cort.vtk'), points, triangles, normals)
    np.savetxt(os.path.join(args.out, 'truth.txt'), truth, fmt='%.9g')
    if args.iso:
        iso_sheets(args.out, shape, ct, origin, args.voxel)


if __name__ == '__main__':
    main()
