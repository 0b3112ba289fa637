# Sourced by the benchmark scripts from the project's folder: installs what they need,
# builds a Release verdask, make_bone and stage_bench, and sets bin to their folder.
bash scripts/setup.sh bench
cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DVERDASK_TESTS=OFF >/dev/null
cmake --build build-release -j2 --target verdask make_bone stage_bench >/dev/null
bin=$PWD/build-release
