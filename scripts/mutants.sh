#!/usr/bin/env bash
# Applies, one at a time, mutants that once passed the whole suite, builds the
# tests and runs them; every mutant must be killed (some test fails).
#   bash scripts/mutants.sh     (after bash scripts/test.sh has built build/)
set -uo pipefail
cd "$(dirname "$0")/.."
mutants=(
  "src/input/surf.cc@corner < 1 ||@corner < 0 ||@a .surf triangle may name vertex 0"
  "src/base/parallel.cc@while (!queue.isDone(block))@if (!queue.isDone(block))@the ordered writer does not wait"
  "src/thickness/thickness_pass.cc@(adjThick + stored)@(adjThick + distance)@the adjustment before the rounding to float"
  "src/thickness/nearest_vertex.cc@ || q.z != p.z@@ties that differ only in z coincide"
  "src/thickness/measure.cc@w\[1\] \* nb->y@w[1] * nc->y@a corner normal blended with the wrong weight"
  "src/thickness/measure.cc@distance < bestDistance@distance <= bestDistance@the last of equidistant corners"
  "src/output/shell_cards.cc@number < kCardFieldLeast@number < kCardFieldLeast - 1@nine columns of element number pass"
  "src/thickness/thickness.cc@if (cosine < -1.0) cosine = -1.0;@@a cosine below -1 not clamped"
  "src/input/obj.cc@if (reading.normalOfVertex\[index\] < 0) @@a vertex takes the last normal its corners name"
  "src/input/vtk_polydata.cc@if (end < last)@if (end < 0)@legacy VTK OFFSETS may go back"
  "src/input/polygon_soup.cc@index(k + odd), index(k + !odd)@index(k), index(k + 1)@a strip's every other triangle turned over"
  "src/input/vtp.cc@== \"BigEndian\"@== \"bigEndian\"@big-endian VTK XML read as little-endian"
  "src/input/abaqus.cc@\"M3D3\", @@the Abaqus type M3D3 left out"
  "src/input/abaqus.cc@ && reading.block != AbaqusReading::Block::kNode@@an Abaqus node line ending in a comma continued"
  "src/input/abaqus.cc@if (elementSets\[k\] == set) return@if (false) return@two blocks of one set, two parts"
  "src/input/formats.cc@cornersOf(f) == 4@cornersOf(f) == 0@a surface taken as a mesh splits its quads"
  "src/input/stl.cc@if (facetCorners >= 0) return@if (facetCorners > 0) return@an ASCII STL ending in an empty open facet"
)
survivors=0
for mutant in "${mutants[@]}"; do
  IFS='@' read -r file from to what <<<"$mutant"
  cp "$file" "$file.orig"
  sed -i "s@$from@$to@" "$file"
  if cmp -s "$file" "$file.orig"; then
    echo "NOT APPLIED: $what"
    survivors=$((survivors + 1))
  elif ! cmake --build build -j2 --target verdask_tests verdask >/dev/null 2>&1; then
    echo "DOES NOT BUILD: $what"
    survivors=$((survivors + 1))
  elif ./build/verdask_tests --gtest_brief=1 >/dev/null 2>&1; then
    echo "SURVIVED: $what"
    survivors=$((survivors + 1))
  else
    echo "killed: $what"
  fi
  mv "$file.orig" "$file"
  touch "$file"  # newer than the mutant's object, so that it is built again
done
cmake --build build -j2 >/dev/null
echo "$survivors of ${#mutants[@]} mutants survived"
exit $((survivors > 0))
