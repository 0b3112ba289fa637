#!/usr/bin/env bash
# Runs every `sh` block of the README, in order, as written, in a fresh clone of this
# repository, except the blocks that a line starting "<!-- not run" stands before.
#   bash tests/readme_check.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
git clone -q "$root" "$work/clone"
python3 - "$root/README.md" >"$work/blocks.sh" <<'PY'
import sys
lines = open(sys.argv[1]).read().split("\n")
skip, block = False, None
for line in lines:
    if block is not None:
        if line.startswith("```"):
            print("\n".join(block))
            block = None
        else:
            block.append(line)
    elif line.startswith("```sh"):
        block = [] if not skip else None
        if skip:
            skip = "inside"
    elif skip == "inside" and line.startswith("```"):
        skip = False
    elif line.startswith("<!-- not run"):
        skip = True
PY
echo "README commands:"
sed 's/^/  /' "$work/blocks.sh"
(cd "$work/clone" && bash -euo pipefail "$work/blocks.sh" >"$work/log.txt" 2>&1) || {
  tail -n 30 "$work/log.txt"
  echo "a README command failed"
  exit 1
}
echo "every README command ran"
