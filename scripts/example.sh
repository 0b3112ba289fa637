#!/usr/bin/env bash
# Builds verdask and runs it on the bundled example bone; the outputs land in run/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVERDASK_TESTS=OFF >/dev/null
cmake --build build -j2 --target verdask
mkdir -p run
cd run
../build/verdask ../examples/mesh.hmascii ../examples/cort.surf ../examples/norm.vtk \
  ../examples/trab.surf "$@"
