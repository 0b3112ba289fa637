#!/usr/bin/env bash
# Accuracy of both modes against the analytic thickness of the synthetic bone:
#   bash bench/accuracy.sh [surface vertices ...]   (default: 3000 30000 300000)
# Each size gets a bone with a mesh of 20,000 nodes (cached in bench/data/accuracy-N/),
# a vertex-to-vertex run and a -surface run, and a table of their errors and wall times.
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/build.sh
sizes=("$@")
((${#sizes[@]})) || sizes=(3000 30000 300000)
for size in "${sizes[@]}"; do
  data="bench/data/accuracy-$size"
  mkdir -p "$data/vertex" "$data/surface"
  [ -f "$data/truth.txt" ] || "$bin/make_bone" "$data" 20000 "$size" 7
  for mode in vertex surface; do
    option=$([ $mode = surface ] && echo -surface || true)
    (cd "$data/$mode" && /usr/bin/time -f "%e" -o ../$mode.time \
      "$bin/verdask" ../mesh.hmascii ../cort.surf ../norm.vtk ../trab.surf $option >/dev/null)
  done
  echo "== surfaces of $(grep -m1 Vertices "$data/cort.surf" | cut -d' ' -f2) vertices," \
    "wall $(cat "$data/vertex.time") s vertex mode, $(cat "$data/surface.time") s -surface"
  python3 bench/accuracy.py "$data/truth.txt" vertex-to-vertex "$data/vertex/ans.log" \
    surface "$data/surface/ans.log"
done
