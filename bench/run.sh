#!/usr/bin/env bash
# Benchmarks verdask on synthetic bones: bash bench/run.sh [S] [M] [L] [T] [CT]   (default: all)
#   S: mesh 20,000 nodes, surfaces 200,000 vertices each
#   M: 100,000 / 1,000,000      L: 1,000,000 / 5,000,000
#   T: tie-heavy, as S but with surface vertices on an integer grid and mesh vertices at halves
#   CT: -measure ct on a 512 x 512 x 400 image against the vertex mode on M (bench/ct_speed.sh)
# Datasets are cached in bench/data/. RUNS (default 5) sets the runs per setting. Each size
# runs verdask with -threads 1 and with the default, each measure on triangles (-measure
# surface, normal, symmetric) with both thread counts, the ANN floor, and once a run
# with ANN alone answering every query, whose outputs verdask's must equal byte for byte,
# and the time to read the cortical surface as .surf, binary STL and binary PLY.
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/build.sh
runs=${RUNS:-5}
declare -A nodes=([S]=20000 [M]=100000 [L]=1000000 [T]=20000)
declare -A vertices=([S]=200000 [M]=1000000 [L]=5000000 [T]=200000)
sizes=("$@")
((${#sizes[@]})) || sizes=(S M L T CT)
results=$(mktemp)
ct=false
for size in "${sizes[@]}"; do
  if [ "$size" = CT ]; then
    ct=true
    continue
  fi
  data="bench/data/$size"
  if [ ! -f "$data/complete" ]; then
    mkdir -p "$data"
    "$bin/make_bone" "$data" "${nodes[$size]}" "${vertices[$size]}" 1 $([ "$size" = T ] && echo grid)
    touch "$data/complete"
  fi
  mkdir -p "$data/ann" "$data/threads1" "$data/default" "$data/measures"
  inputs=(../mesh.hmascii ../cort.surf ../norm.vtk ../trab.surf)
  (cd "$data/ann" && /usr/bin/time -f "wall=%e rss_kb=%M" -o ../time.txt "$bin/stage_bench" annrun .. . >/dev/null)
  echo "$size ann $(cat "$data/time.txt")" >>"$results"
  # Each setting runs once unmeasured, then RUNS times in a row: a run taking more memory
  # than the one before it pays for pages the machine must first hand over.
  for setting in "" surface normal symmetric; do
    for threads in threads1 default; do
      dir=$([ -z "$setting" ] && echo $threads || echo measures)
      label=$([ -z "$setting" ] && echo $threads || echo "${setting}_$threads")
      options=($([ $threads = threads1 ] && echo "-threads 1" || true) ${setting:+-measure $setting})
      for ((i = 0; i <= runs; i++)); do
        (cd "$data/$dir" && /usr/bin/time -f "wall=%e rss_kb=%M" -o ../time.txt \
          "$bin/verdask" "${inputs[@]}" "${options[@]}" >/dev/null)
        ((i == 0)) || echo "$size $label $(cat "$data/time.txt")" >>"$results"
      done
    done
  done
  for ((i = 0; i < runs; i++)); do
    echo "$size floor $("$bin/stage_bench" floor "$data")" >>"$results"
  done
  same=yes
  for threads in threads1 default; do
    for output in table.log ans.log out.k; do
      cmp -s "$data/$threads/$output" "$data/ann/$output" || same=no
    done
  done
  echo "$size ties $("$bin/stage_bench" ties "$data") same=$same" >>"$results"
  # The cortical surface as binary STL and PLY, read as the tool reads it, beside its .surf.
  # Debian's Python, with numpy.
  [ -f "$data/cort.ply" ] || /usr/bin/python3 bench/surface_formats.py "$data/cort.surf" "$data/cort"
  for format in surf stl ply; do
    echo "$size read_$format $("$bin/stage_bench" read "$data/cort.$format")" >>"$results"
  done
done
python3 bench/report.py "$results"
rm -f "$results"
if $ct; then
  echo
  bash bench/ct_speed.sh
fi
