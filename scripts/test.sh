#!/usr/bin/env bash
# Builds verdask and runs the test suite twice: as built for use, and built
# with AddressSanitizer and UndefinedBehaviorSanitizer (asserts on).
# The slower checks that CI runs after it are in scripts/slow_checks.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh test
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVERDASK_TESTS=ON -DVERDASK_PYTHON=ON >/dev/null
cmake --build build -j2
ctest --test-dir build --output-on-failure -j2

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVERDASK_SANITIZE=ON -DVERDASK_TESTS=ON >/dev/null
cmake --build build-asan -j2 --target verdask_tests
UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 ctest --test-dir build-asan --output-on-failure -j2
