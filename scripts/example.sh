#!/usr/bin/env bash
# Builds verdask and runs it on the bundled example bone; the outputs land in run/.
#   bash scripts/example.sh [OPTIONS]             options go to verdask
#   bash scripts/example.sh --picture [OPTIONS]   also renders docs/thickness.png from the run
#   bash scripts/example.sh --ct [OPTIONS]        makes a CT phantom of a tube (bench/ct_phantoms.py)
#                                                 in run/ct/ and measures it with -measure ct
set -euo pipefail
cd "$(dirname "$0")/.."
picture=false
ct=false
tests=()
if [ "${1:-}" = --picture ]; then
  picture=true
  shift
elif [ "${1:-}" = --ct ]; then
  ct=true
  shift
fi
bash scripts/setup.sh $($picture && echo picture) $($ct && echo bench)
# A build folder the test command made keeps its tests; a new one is made without them.
[ -f build/CMakeCache.txt ] || tests=(-DVERDASK_TESTS=OFF)
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo "${tests[@]}" >/dev/null
cmake --build build -j2 --target verdask
mkdir -p run
cd run
if $ct; then
  mkdir -p ct
  cd ct
  /usr/bin/python3 ../../bench/ct_phantoms.py . tube  # Debian's, with numpy and scipy
  exec ../../build/verdask cort.vtk cort.vtk - - -ct ct.nii.gz -measure ct -max 6 "$@"
fi
../build/verdask ../examples/mesh.hmascii ../examples/cort.surf ../examples/norm.vtk \
  ../examples/trab.surf $($picture && echo -vtk thickness.vtk) "$@"
if $picture; then
  /usr/bin/python3 ../scripts/render_thickness.py thickness.vtk ../docs/thickness.png
fi
