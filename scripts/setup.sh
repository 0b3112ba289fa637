#!/usr/bin/env bash
# Installs what building and testing verdask needs on Debian (as root).
# Safe to run again: it installs only what is missing.
set -euo pipefail
packages=(g++ cmake make libann-dev libfast-float-dev libgtest-dev python3 python3-numpy python3-vtk9
  clang libclang-rt-14-dev valgrind time)
missing=()
for package in "${packages[@]}"; do
  dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
done
if ((${#missing[@]})); then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
