#!/usr/bin/env bash
# Accuracy of -measure ct against known thickness, and of the surface route on the same scan:
#   bash bench/ct_accuracy.sh [SIGMA:VOXEL ...]   (default: 0.8:0.6 0.6:0.5 1.2:1.0)
# Phantoms (bench/ct_phantoms.py, cached in bench/data/ct-<shape>-<sigma>-<voxel>/): a tube and
# a sphere pair whose wall runs from 0.3 to 4 mm, blurred by SIGMA mm, in VOXEL mm voxels,
# noise 2 % of the cortical density. Each gets three runs: -measure ct with the blur and the
# cortical density estimated from the scan, -measure ct with them given (the phantom's own),
# and the surface route: the half-maximum iso-surface of the image split into its outer and
# inner sheet (vtkFlyingEdges3D), measured with -measure normal. Bias and RMS error by band of
# true thickness, over the nodes where a cortex was found (bench/ct_accuracy.py).
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/build.sh
settings=("$@")
((${#settings[@]})) || settings=(0.8:0.6 0.6:0.5 1.2:1.0)
for setting in "${settings[@]}"; do
  sigma=${setting%:*} voxel=${setting#*:}
  for shape in tube spheres; do
    data="bench/data/ct-$shape-$sigma-$voxel"
    if [ ! -f "$data/truth.txt" ]; then
      /usr/bin/python3 bench/ct_phantoms.py "$data" "$shape" --sigma "$sigma" --voxel "$voxel" --iso
    fi
    mkdir -p "$data/runs"
    cd "$data/runs"
    common=(../cort.vtk ../cort.vtk - - -ct ../ct.nii.gz -measure ct -max 6)
    estimated=$("$bin/verdask" "${common[@]}" -vtk estimated.vtk -o e.k -ans e.log -table e.tab |
      grep '^CT blur')
    "$bin/verdask" "${common[@]}" -ct-sigma "$sigma" -ct-cortex 1500 -vtk given.vtk -o g.k \
      -ans g.log -table g.tab >/dev/null
    "$bin/verdask" ../cort.vtk ../iso_outer.vtk - ../iso_inner.vtk -measure normal -max 6 -force \
      -vtk surface.vtk -o s.k -ans s.log -table s.tab >/dev/null 2>&1
    cd - >/dev/null
    echo "== $shape, sigma $sigma mm, voxels $voxel mm, $(wc -l <"$data/truth.txt") nodes; $estimated"
    /usr/bin/python3 bench/ct_accuracy.py "$data/truth.txt" "$voxel" "ct, estimated" \
      "$data/runs/estimated.vtk" "ct, given" "$data/runs/given.vtk" "surface route" \
      "$data/runs/surface.vtk"
  done
done
