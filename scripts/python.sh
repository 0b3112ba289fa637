#!/usr/bin/env bash
# Builds the Python module verdask and installs it into a Python's site-packages,
# so that `import verdask` works from any folder:
#   bash scripts/python.sh                   into Debian's /usr/bin/python3 (as root)
#   bash scripts/python.sh /path/to/python   into that Python (it needs numpy and its headers)
set -euo pipefail
cd "$(dirname "$0")/.."
python=${1:-/usr/bin/python3}
bash scripts/setup.sh python
cmake -S . -B build-python -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVERDASK_TESTS=OFF \
  -DVERDASK_PYTHON=ON -DVERDASK_PYTHON_EXECUTABLE="$python" >/dev/null
cmake --build build-python -j2 --target verdask_python
site=$("$python" -c 'import sysconfig; print(sysconfig.get_path("platlib"))')
mkdir -p "$site"
install -m 644 build-python/python/verdask.*.so "$site"/
cd /
"$python" -c 'import verdask; print("verdask", verdask.__version__, "in", verdask.__file__)'
