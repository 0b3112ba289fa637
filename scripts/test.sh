#!/usr/bin/env bash
# Builds verdask and runs every test: the suite, the suite again built with
# AddressSanitizer and UndefinedBehaviorSanitizer, the end-to-end tests under
# valgrind, and a short fuzz run of each fuzz target.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2
ctest --test-dir build --output-on-failure -j2

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVERDASK_SANITIZE=ON >/dev/null
cmake --build build-asan -j2
UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 ctest --test-dir build-asan --output-on-failure -j2

VERDASK_TEST_WRAPPER="valgrind --error-exitcode=1 -q" \
  build/verdask_tests --gtest_filter='EndToEnd.*' --gtest_brief=1

bash scripts/fuzz.sh 30 2
