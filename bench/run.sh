#!/usr/bin/env bash
# Benchmarks verdask on synthetic bones: bash bench/run.sh [S] [M] [L]   (default: all three)
#   S: mesh 20,000 nodes, surfaces 200,000 vertices each
#   M: 100,000 / 1,000,000      L: 1,000,000 / 5,000,000
# Datasets are cached in bench/data/. RUNS (default 5) sets the runs per size.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DVERDASK_TESTS=OFF >/dev/null
cmake --build build-release -j2 --target verdask make_bone stage_bench >/dev/null
runs=${RUNS:-5}
declare -A nodes=([S]=20000 [M]=100000 [L]=1000000)
declare -A vertices=([S]=200000 [M]=1000000 [L]=5000000)
sizes=("$@")
((${#sizes[@]})) || sizes=(S M L)
results=$(mktemp)
for size in "${sizes[@]}"; do
  data="bench/data/$size"
  if [ ! -f "$data/complete" ]; then
    mkdir -p "$data"
    build-release/make_bone "$data" "${nodes[$size]}" "${vertices[$size]}" 1
    touch "$data/complete"
  fi
  mkdir -p "$data/out"
  for ((i = 0; i < runs; i++)); do
    (cd "$data/out" && /usr/bin/time -f "wall=%e rss_kb=%M" -o ../time.txt \
      ../../../../build-release/verdask ../mesh.hmascii ../cort.surf ../norm.vtk ../trab.surf \
      >/dev/null)
    echo "$size run $(cat "$data/time.txt")" >>"$results"
    echo "$size floor $(build-release/stage_bench floor "$data")" >>"$results"
    echo "$size stages $(build-release/stage_bench run "$data" | tail -n 1)" >>"$results"
  done
  echo "$size bytes=$(cat "$data"/mesh.hmascii "$data"/*.surf "$data"/norm.vtk | wc -c)" >>"$results"
done
python3 bench/report.py "$results"
rm -f "$results"
