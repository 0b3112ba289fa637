#!/usr/bin/env bash
# Accuracy of every measure against known thickness:
#   bash bench/accuracy.sh [surface vertices ...]   (default: 3000 30000 300000)
# Shapes (cached in bench/data/accuracy-<shape>-N/): concentric spheres, the inner one
# rotated and at another resolution; an ellipsoid and its exact inner offset surface; a
# tube (bench/shapes.py); and the synthetic bone with 20,000 mesh nodes (make_bone, whose
# truth is the closest-point thickness of its smooth surfaces). Each gets a run per measure
# and a table of errors and wall times.
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/build.sh
sizes=("$@")
((${#sizes[@]})) || sizes=(3000 30000 300000)
measures=(vertex surface normal symmetric)
for shape in spheres ellipsoid tube bone; do
  for size in "${sizes[@]}"; do
    data="bench/data/accuracy-$shape-$size"
    mkdir -p "$data"
    if [ ! -f "$data/truth.txt" ]; then
      if [ "$shape" = bone ]; then
        "$bin/make_bone" "$data" 20000 "$size" 7
      else
        /usr/bin/python3 bench/shapes.py "$data" "$shape" "$size"  # Debian's, with numpy
      fi
    fi
    runs=()
    for measure in "${measures[@]}"; do
      mkdir -p "$data/$measure"
      (cd "$data/$measure" && /usr/bin/time -f "%e" -o ../$measure.time \
        "$bin/verdask" ../mesh.hmascii ../cort.surf ../norm.vtk ../trab.surf -measure "$measure" \
        -max 100 -nodal nodal.inp >/dev/null 2>&1)
      runs+=("$measure ($(cat "$data/$measure.time") s)" "$data/$measure/ans.log")
    done
    echo "== $shape, surfaces of $(grep -m1 Vertices "$data/cort.surf" | cut -d' ' -f2) vertices"
    python3 bench/accuracy.py "$data/truth.txt" "${runs[@]}"
  done
done
