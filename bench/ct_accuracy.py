"""Errors of CT thickness maps against the phantom's truth, by thickness band.

    python3 ct_accuracy.py TRUTH VOXEL LABEL VIEW [LABEL VIEW ...]

VIEW is a run's legacy -vtk view. A node counts as found where its quality is 0 (measured)
and it lies within half a voxel of the cortical point it was measured from (the surface
route's outer sheet has holes where the blurred cortex never reaches the threshold); the
bias and RMS error are over the found nodes. Prints one Markdown table row per run and band.
"""
import sys

import numpy as np

BANDS = [('< 1 mm', 0, 1), ('1-2 mm', 1, 2), ('> 2 mm', 2, 99)]


def view_arrays(path):
    """The point arrays of a legacy view: thickness and each FIELD array, by name."""
    arrays = {}
    with open(path) as f:
        words = f.read().split('\n')
    i = 0
    while i < len(words):
        line = words[i].split()
        if line[:2] == ['SCALARS', 'thickness']:
            count = int(words[i - 1].split()[1]) if words[i - 1].startswith('POINT_DATA') else None
            arrays['thickness'] = np.array(words[i + 2:i + 2 + count], float)
            i += 2 + count
            continue
        if len(line) == 4 and line[1] == '1' and line[0] in (
                'angle', 'cortical_vertex', 'mesh_to_cortical', 'quality'):
            count = int(line[2])
            arrays[line[0]] = np.array(words[i + 1:i + 1 + count], float)
            i += 1 + count
            continue
        i += 1
    return arrays


def main():
    truth = np.loadtxt(sys.argv[1])
    voxel = float(sys.argv[2])
    print('| run | band | nodes | found | bias mm | RMS mm |')
    print('|---|---|---|---|---|---|')
    for label, path in zip(sys.argv[3::2], sys.argv[4::2]):
        view = view_arrays(path)
        found = (view['quality'] == 0) & (view['mesh_to_cortical'] <= voxel / 2)
        error = view['thickness'] - truth
        for band, low, high in BANDS:
            inside = (truth >= low) & (truth < high)
            used = inside & found
            bias = error[used].mean() if used.any() else float('nan')
            rms = np.sqrt((error[used] ** 2).mean()) if used.any() else float('nan')
            share = 100.0 * used.sum() / max(1, inside.sum())
            print(f'| {label} | {band} | {inside.sum()} | {share:.0f} % | {bias:+.3f} | {rms:.3f} |')


if __name__ == '__main__':
    main()
