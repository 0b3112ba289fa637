#!/usr/bin/env bash
# Thickness maps that survive holes, on generated bones of known thickness:
#   bash bench/maps.sh
# 1. Holes: make_bone's bone (20,000 mesh nodes, 200,000 vertices a surface, the wall 0.5 to
#    4 mm) and bench/shapes.py's tube (outer radius 10, wall 2), each with an 8 mm hole cut
#    into its trabecular surface at mid-shaft (bench/cut_hole.py), the bone with a 4 mm one
#    too, and with the 8 mm one and four loose fragments of 0.6 mm radius besides. Every measure with and without -fill, beside
#    the intact run: errors within 15 mm of the hole and elsewhere, the nodes flagged, and the
#    nodes the hole truly moved and how many of them were flagged (bench/maps.py).
# 2. Smoothing: the vertex mode on a coarse bone (3,000 vertices a surface) before and after
#    -smooth 2 and -smooth 5, the surface mode beside it.
# 3. Speed on M (bench/run.sh's 100,000 nodes and 1,000,000 vertices a surface) with an 8 mm
#    hole: the vertex mode's wall time as it is, with -fill -smooth 5, and with a trabecular
#    file holding no triangles (the median of RUNS, default 5, run in turn), and what each
#    stage of the flags and maps takes (stage_bench maps, the best of three). What the flags
#    cost the vertex mode: the wall time the triangles add (reading them, their open edges
#    and rims, beside the other readers) and the stages after the pass (the mesh's graph,
#    the at_hole and outlier flags).
# Datasets are cached in bench/data/maps/.
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/build.sh
runs=${RUNS:-5}
data=bench/data/maps
mkdir -p "$data"
measures=(vertex surface normal symmetric)
python=/usr/bin/python3  # Debian's, with numpy

# run <dataset> <name> [options]: verdask on the dataset's inputs, in its folder <name>.
run() {
  local dataset=$1 name=$2
  shift 2
  mkdir -p "$dataset/$name"
  (cd "$dataset/$name" && "$bin/verdask" ../mesh.hmascii ../cort.surf ../norm.vtk ../trab.surf \
    -nodal nodal.inp -vtk view.vtk "$@" >stdout 2>stderr)
}

# holes <intact dataset> <holed dataset> <hole centre> <label>: the table of every measure.
holes() {
  local intact=$1 holed=$2 centre=$3 label=$4 rows=()
  for measure in "${measures[@]}"; do
    run "$intact" "$measure" -measure "$measure"
    run "$holed" "$measure" -measure "$measure"
    run "$holed" "$measure-fill" -measure "$measure" -fill
    rows+=("$measure intact" "$intact/$measure" "$measure $label" "$holed/$measure"
      "$measure $label -fill" "$holed/$measure-fill")
  done
  for ((k = 0; k < ${#measures[@]}; k++)); do
    "$python" bench/maps.py "$intact/truth.txt" "$centre" "${rows[6 * k + 1]}" \
      "${rows[@]:6*k:6}" | { ((k == 0)) && cat || tail -n +2; }
  done
}

[ -f "$data/bone/truth.txt" ] || { mkdir -p "$data/bone" && "$bin/make_bone" "$data/bone" 20000 200000 7; }
[ -f "$data/tube/truth.txt" ] || { mkdir -p "$data/tube" && "$python" bench/shapes.py "$data/tube" tube 30000 >/dev/null; }
# cut <dataset> <holed dataset> <cut_hole.py's options>: the holed dataset and its hole's centre.
cut() {
  [ -f "$2/centre" ] && return
  mkdir -p "$2"
  "$python" bench/cut_hole.py "$@" >"$2/centre.part" && mv "$2/centre.part" "$2/centre"
}
cut "$data/bone" "$data/bone-hole" 8
cut "$data/bone" "$data/bone-hole4" 4
cut "$data/bone" "$data/bone-fragments" 8 0.6
cut "$data/tube" "$data/tube-hole" 8 0 8,0,50
echo "== An 8 mm hole in the bone's trabecular surface (errors in mm; nodes)"
holes "$data/bone" "$data/bone-hole" "$(cat "$data/bone-hole/centre")" hole
echo "== A 4 mm hole in the bone's"
holes "$data/bone" "$data/bone-hole4" "$(cat "$data/bone-hole4/centre")" hole
echo "== The 8 mm hole with four loose fragments"
holes "$data/bone" "$data/bone-fragments" "$(cat "$data/bone-fragments/centre")" fragments
echo "== An 8 mm hole in the tube's"
holes "$data/tube" "$data/tube-hole" "$(cat "$data/tube-hole/centre")" hole

coarse=$data/coarse
[ -f "$coarse/truth.txt" ] || { mkdir -p "$coarse" && "$bin/make_bone" "$coarse" 20000 3000 7; }
rows=()
for width in "" 2 5; do
  run "$coarse" "vertex$width" ${width:+-smooth $width}
  rows+=("vertex${width:+ -smooth $width}" "$coarse/vertex$width/ans.log")
done
run "$coarse" surface -measure surface
echo "== Smoothing on a coarse bone (20,000 mesh nodes, 3,000 vertices a surface)"
"$python" bench/accuracy.py "$coarse/truth.txt" "${rows[@]}" surface "$coarse/surface/ans.log"

big=bench/data/M
if [ ! -f "$big/complete" ]; then
  mkdir -p "$big"
  "$bin/make_bone" "$big" 100000 1000000 1
  touch "$big/complete"
fi
cut "$big" "$data/M-hole" 8
# The same vertices without their triangles: no open edges to read or look at.
bare=$data/M-hole/bare
mkdir -p "$bare"
[ -f "$bare/trab.surf" ] || sed '/^Patches/,$d' "$data/M-hole/trab.surf" >"$bare/trab.surf"
# The vertex mode on M with the hole, without and with -fill -smooth 5 in turn, RUNS times;
# the median wall and processor (user and system) time of each: the processor time is the
# steadier where other work shares the machine.
timed=$data/M-hole/timed
mkdir -p "$timed"
rm -f "$timed"/*.times
for ((i = 0; i < runs; i++)); do
  for setting in plain maps bare; do
    trabecular=../trab.surf
    [ $setting = bare ] && trabecular=../bare/trab.surf
    (cd "$timed" && /usr/bin/time -f "%e %U %S" -a -o $setting.times "$bin/verdask" ../mesh.hmascii \
      ../cort.surf ../norm.vtk $trabecular $([ $setting = maps ] && echo -fill -smooth 5) \
      >/dev/null 2>&1)
  done
done
stages=$("$bin/stage_bench" maps "$data/M-hole" 2)
echo "== Speed on M with an 8 mm hole, 2 threads (seconds)"
"$python" - "$timed/plain.times" "$timed/maps.times" "$timed/bare.times" "$stages" <<'EOF'
import statistics
import sys
def times(path):
    rows = [list(map(float, line.split())) for line in open(path)]
    return statistics.median(r[0] for r in rows), statistics.median(r[1] + r[2] for r in rows)
(wall, cpu), (maps_wall, maps_cpu) = times(sys.argv[1]), times(sys.argv[2])
bare_wall, bare_cpu = times(sys.argv[3])
stage = {key: float(value) for key, value in (pair.split("=") for pair in sys.argv[4].split())}
print(f"vertex mode: wall {wall:.3f}, processor {cpu:.3f}; with -fill -smooth 5: wall "
      f"{maps_wall:.3f}, processor {maps_cpu:.3f}; without trabecular triangles: wall "
      f"{bare_wall:.3f}, processor {bare_cpu:.3f}")
print("stages, the best of three: " + sys.argv[4])
share = lambda seconds: f"{seconds:.3f} s, {100 * seconds / wall:.1f} % of the vertex mode's wall"
after = stage["graph"] + stage["flags"]
print(f"the flags: the triangles' wall {share(wall - bare_wall)}; the graph and the flags after "
      f"the pass {share(after)}; together {share(wall - bare_wall + after)}")
print(f"-fill and -smooth 5: wall {share(maps_wall - wall)}; their stages "
      f"{share(stage['fill'] + stage['smooth5'])}")
EOF
