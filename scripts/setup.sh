#!/usr/bin/env bash
# Installs what verdask needs on Debian (as root), only what is missing:
#   bash scripts/setup.sh          building and running
#   bash scripts/setup.sh bench    that, and what the benchmarks need
#   bash scripts/setup.sh test     that, and what the tests and checks need
#   bash scripts/setup.sh picture  that, and what rendering the example's picture needs
#   bash scripts/setup.sh slurm    that, and what the Slurm check needs (Slurm, munge, Snakemake)
#   bash scripts/setup.sh python   that, and what building the Python module needs
set -euo pipefail
packages=(g++ cmake make libann-dev libfast-float-dev libnanoflann-dev libcgal-dev nlohmann-json3-dev libssl-dev zlib1g-dev libpugixml-dev
  libnifti2-dev)
if [ "${1:-}" = bench ]; then
  packages+=(python3 python3-numpy python3-scipy python3-vtk9 time)
fi
if [ "${1:-}" = picture ]; then
  packages+=(python3 python3-vtk9 python3-matplotlib)
fi
if [ "${1:-}" = python ]; then
  packages+=(python3 python3-dev python3-numpy pybind11-dev)
fi
if [ "${1:-}" = test ]; then
  packages+=(libgtest-dev python3 python3-numpy python3-scipy python3-vtk9 python3-meshio python3-matplotlib
    python3-dev pybind11-dev python3-pytest
    snakemake calculix-ccx clang libclang-rt-14-dev valgrind time)
fi
if [ "${1:-}" = slurm ]; then
  packages+=(python3 python3-matplotlib snakemake slurm-wlm munge)
fi
missing=()
for package in "${packages[@]}"; do
  # A removed package can leave its configuration behind: only "installed" counts.
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    missing+=("$package")
done
if ((${#missing[@]})); then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
