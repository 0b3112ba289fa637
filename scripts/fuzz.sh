#!/usr/bin/env bash
# Fuzzes every reader and the whole run with libFuzzer (clang, with
# AddressSanitizer and UndefinedBehaviorSanitizer):
#   bash scripts/fuzz.sh [seconds per target] [parallel jobs]
# Defaults: 30 seconds, one target at a time. New corpus entries collect in
# fuzz/work/ (not committed); a crash leaves its input there and fails the script.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
jobs=${2:-1}
bash scripts/setup.sh test
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVERDASK_FUZZ=ON \
  -DVERDASK_TESTS=OFF >/dev/null
targets=(mesh surf normals run stl ply obj off vtkpolydata vtp abaqus dyna gmsh)
cmake --build build-fuzz -j2 --target "${targets[@]/#/fuzz_}" >/dev/null
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
run_target() {
  local target=$1 work=fuzz/work/$1
  mkdir -p "$work/corpus" "$work/artifacts"
  if build-fuzz/fuzz_"$target" "$work/corpus" "fuzz/corpus/$target" -dict=fuzz/verdask.dict \
    -max_total_time="$seconds" -max_len=8192 -rss_limit_mb=4096 -timeout=10 -close_fd_mask=1 \
    -print_final_stats=1 -artifact_prefix="$work/artifacts/" >"$work/log.txt" 2>&1; then
    echo "$target: $(grep -E '^stat::number_of_executed_units' "$work/log.txt" | awk '{print $2}') runs," \
      "$(grep -oE 'cov: [0-9]+' "$work/log.txt" | tail -n 1), no crash"
  else
    echo "$target: FAILED, see $work/log.txt and $work/artifacts/"
    tail -n 30 "$work/log.txt"
    return 1
  fi
}
status=0
pids=()
for target in "${targets[@]}"; do
  run_target "$target" &
  pids+=($!)
  if ((${#pids[@]} >= jobs)); then
    wait "${pids[0]}" || status=1
    pids=("${pids[@]:1}")
  fi
done
for pid in "${pids[@]}"; do wait "$pid" || status=1; done
exit $status
