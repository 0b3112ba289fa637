"""Turns the benchmark's raw lines into one table: medians per size and thread count."""
import statistics
import sys
from collections import defaultdict

samples = defaultdict(lambda: defaultdict(list))
facts = defaultdict(dict)
for line in open(sys.argv[1]):
    size, kind, *pairs = line.split()
    for pair in pairs:
        name, value = pair.split("=")
        if kind == "ties":
            facts[size][name] = value
        else:
            samples[size][f"{kind}.{name}"].append(float(value))

print(f"{'size':4} {'threads':>8} {'wall s':>7} {'RSS MB':>7} {'floor s':>8} {'ratio':>6} "
      f"{'ANN-only s':>10} {'queries':>9} {'ties':>7} {'to ANN':>7} {'same bytes':>10}")
for size, values in samples.items():
    m = {key: statistics.median(v) for key, v in values.items()}
    f = facts[size]
    for kind in ("threads1", "default"):
        wall = m[f"{kind}.wall"]
        print(f"{size:4} {'1' if kind == 'threads1' else 'default':>8} {wall:7.2f} "
              f"{max(values[f'{kind}.rss_kb']) / 1024:7.0f} {m['floor.floor']:8.2f} "
              f"{wall / m['floor.floor']:6.2f} {m['ann.wall']:10.2f} {f['queries']:>9} "
              f"{f['ties']:>7} {f['judged']:>7} {f['same']:>10}")
print("floor: the ANN library alone building both trees and answering one query per mesh vertex "
      "on each; ratio: wall / floor; ANN-only: a whole run with ANN answering every query, as "
      "verdask did before its fast index (its outputs are the ones compared)")
print()
print(f"{'size':4} {'measure':>9} {'threads':>8} {'wall s':>7} {'RSS MB':>7} {'x vertex':>8}")
for size, values in samples.items():
    m = {key: statistics.median(v) for key, v in values.items()}
    for measure in ("surface", "normal", "symmetric"):
        for threads in ("threads1", "default"):
            kind = f"{measure}_{threads}"
            if f"{kind}.wall" in m:
                print(f"{size:4} {measure:>9} {'1' if threads == 'threads1' else 'default':>8} "
                      f"{m[f'{kind}.wall']:7.2f} {max(values[f'{kind}.rss_kb']) / 1024:7.0f} "
                      f"{m[f'{kind}.wall'] / m[f'{threads}.wall']:8.2f}")
print("x vertex: wall time over the vertex mode's with the same threads (the first table)")
print()
print(f"{'size':4} {'read .surf s':>12} {'binary STL s':>12} {'binary PLY s':>12}")
for size, values in samples.items():
    if "read_surf.read" in values:
        print(f"{size:4} " + " ".join(f"{min(values[f'read_{f}.read']):12.3f}"
                                      for f in ("surf", "stl", "ply")))
print("read: the cortical surface's points and triangles read as the tool reads them, the best of five")
