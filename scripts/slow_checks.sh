#!/usr/bin/env bash
# The checks CI runs after scripts/test.sh: the end-to-end tests with the tool
# under valgrind, a deterministic fuzz pass (every committed seed, then a
# fixed-seed run of fixed length per target), so that a result never depends on luck,
# the README's commands on a fresh clone, and its Slurm commands on a one-node cluster.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh test
VERDASK_TEST_WRAPPER="valgrind --error-exitcode=1 -q" \
  build/verdask_tests --gtest_filter='EndToEnd.*' --gtest_brief=1

CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVERDASK_FUZZ=ON \
  -DVERDASK_TESTS=OFF >/dev/null
targets=(mesh surf normals run record stl ply obj off vtkpolydata vtp abaqus dyna gmsh metaimage
  nrrd)
cmake --build build-fuzz -j2 --target "${targets[@]/#/fuzz_}" >/dev/null
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
for target in "${targets[@]}"; do
  work=$(mktemp -d)
  if ! build-fuzz/fuzz_"$target" fuzz/corpus/"$target"/* >"$work/replay.txt" 2>&1; then
    tail -n 30 "$work/replay.txt"
    echo "$target: a committed seed fails"
    exit 1
  fi
  cp fuzz/corpus/"$target"/* "$work"/
  if ! build-fuzz/fuzz_"$target" "$work" -seed=1 -runs="${FUZZ_RUNS:-200000}" -dict=fuzz/verdask.dict \
    -max_len=8192 -rss_limit_mb=4096 -timeout=10 -close_fd_mask=1 \
    -artifact_prefix="$work/" >"$work/log.txt" 2>&1; then
    tail -n 30 "$work/log.txt"
    echo "$target: fuzz run failed; its input is in $work"
    exit 1
  fi
  echo "$target: $(grep -oE 'cov: [0-9]+' "$work/log.txt" | tail -n 1), no crash"
  rm -rf "$work"
done

bash tests/readme_check.sh
bash tests/slurm_check.sh
