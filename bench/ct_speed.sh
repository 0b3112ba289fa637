#!/usr/bin/env bash
# The CT measure's speed row: bash bench/ct_speed.sh   (bash bench/run.sh CT runs it too)
# A 512 x 512 x 400 int16 NIfTI image of 0.6 mm voxels, a tube through it, and a mesh of
# 100,000 nodes on the tube's outer surface, which is also the cortical surface
# (bench/ct_phantoms.py --size), measured with -measure ct -max 6, the blur and density
# estimated; against the vertex mode on size M (make_bone: 100,000 nodes, 1,000,000 vertices a
# surface). Both on two threads, run one after the other RUNS times (default 5) so that both
# see the same load; the medians. Data cached in bench/data/CT and bench/data/M.
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/build.sh
runs=${RUNS:-5}
ct=bench/data/CT
m=bench/data/M
if [ ! -f "$ct/complete" ]; then
  /usr/bin/python3 bench/ct_phantoms.py "$ct" tube --size 512 512 400 --nodes 100000
  touch "$ct/complete"
fi
if [ ! -f "$m/complete" ]; then
  mkdir -p "$m"
  "$bin/make_bone" "$m" 100000 1000000 1
  touch "$m/complete"
fi
mkdir -p "$ct/run" "$m/ct_speed"
times=$(mktemp)
for ((i = 0; i <= runs; i++)); do
  (cd "$ct/run" && /usr/bin/time -f "ct %e %M" -a -o "$times" "$bin/verdask" ../cort.vtk \
    ../cort.vtk - - -ct ../ct.nii -measure ct -max 6 -threads 2 >/dev/null)
  (cd "$m/ct_speed" && /usr/bin/time -f "vertex %e %M" -a -o "$times" "$bin/verdask" \
    ../mesh.hmascii ../cort.surf ../norm.vtk ../trab.surf -threads 2 >/dev/null)
done
# The first of each is a warm-up.
/usr/bin/python3 - "$times" "$(grep -m1 POINTS "$ct/cort.vtk" | cut -d' ' -f2)" <<'PYTHON'
import statistics, sys
rows = {}
for line in open(sys.argv[1]):
    kind, wall, rss = line.split()
    rows.setdefault(kind, []).append((float(wall), int(rss)))
ct, vertex = rows["ct"][1:], rows["vertex"][1:]
wall = statistics.median(w for w, _ in ct)
base = statistics.median(w for w, _ in vertex)
print("| run | nodes | wall s | RSS MB | x vertex on M |")
print("|---|---|---|---|---|")
print(f"| CT, 512 x 512 x 400 | {int(sys.argv[2]):,} | {wall:.2f} | {max(r for _, r in ct) / 1024:.0f} | "
      f"{wall / base:.2f} |")
print(f"| vertex, M | 100,000 | {base:.2f} | {max(r for _, r in vertex) / 1024:.0f} | 1.00 |")
PYTHON
rm -f "$times"
