#!/usr/bin/env bash
# Times verdask on degenerate surfaces beside a run with the ANN library alone
# answering every query (stage_bench annrun), on S's bone (20,000 mesh vertices,
# 200,000 vertices a surface) with one surface made degenerate:
#   bash bench/degenerate.sh
# Each row: wall seconds and peak RSS of verdask (both cores) and of the ANN-only run.
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/build.sh
base=bench/data/S
if [ ! -f "$base/complete" ]; then
  mkdir -p "$base"
  "$bin/make_bone" "$base" 20000 200000 1
  touch "$base/complete"
fi
# degenerate <surface file> <kind>: every vertex at the first one's place (one),
# or at the places of the first 64 (clustered).
degenerate() {
  python3 - "$1" "$2" <<'PY'
import sys
path, kind = sys.argv[1], sys.argv[2]
lines = open(path).read().split("\n")
start = next(i for i, line in enumerate(lines) if line.startswith("Vertices")) + 1
count = int(lines[start - 1].split()[1])
for k in range(count):
    lines[start + k] = lines[start + (0 if kind == "one" else k % 64)]
open(path, "w").write("\n".join(lines))
PY
}
printf '%-34s %8s %8s %12s %12s\n' case "wall s" "RSS MB" "ANN-only s" "ANN RSS MB"
for case in "trabecular at one point" "trabecular in 64 clusters" "both at one point" \
  "cortical at one point" "-surface, cortical at one point" "-surface, trabecular at one point"; do
  data=$(mktemp -d)
  cp "$base"/{mesh.hmascii,cort.surf,norm.vtk,trab.surf} "$data"
  option=()
  case "$case" in
    "trabecular in 64 clusters") degenerate "$data/trab.surf" clustered ;;
    "both at one point") degenerate "$data/trab.surf" one && degenerate "$data/cort.surf" one ;;
    *cortical*) degenerate "$data/cort.surf" one ;;
    *trabecular*) degenerate "$data/trab.surf" one ;;
  esac
  [[ "$case" == -surface* ]] && option=(-surface)
  (cd "$data" && /usr/bin/time -f "%e %M" -o time.txt "$bin/verdask" mesh.hmascii cort.surf \
    norm.vtk trab.surf "${option[@]}" >/dev/null 2>&1 || true)
  mkdir "$data/ann"
  (cd "$data/ann" && /usr/bin/time -f "%e %M" -o ../ann.txt "$bin/stage_bench" annrun .. . >/dev/null)
  read -r wall rss <"$data/time.txt"
  read -r annWall annRss <"$data/ann.txt"
  printf '%-34s %8.2f %8.0f %12.2f %12.0f\n' "$case" "$wall" "$((rss / 1024))" "$annWall" \
    "$((annRss / 1024))"
  rm -rf "$data"
done
