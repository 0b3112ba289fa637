// NIfTI images through libnifti, which reads NIfTI-1 and NIfTI-2, single
// files and .hdr/.img pairs, compressed or not, and swaps their bytes.
#include <nifti2_io.h>

#include <cmath>
#include <memory>

#include "input/volume.h"

namespace verdask {

namespace {

struct NiftiFree {
  void operator()(nifti_image* image) const { nifti_image_free(image); }
};

VoxelType voxelTypeOf(int datatype) {
  switch (datatype) {
    case DT_INT8:
      return VoxelType::kInt8;
    case DT_UINT8:
      return VoxelType::kUInt8;
    case DT_INT16:
      return VoxelType::kInt16;
    case DT_UINT16:
      return VoxelType::kUInt16;
    case DT_INT32:
      return VoxelType::kInt32;
    case DT_UINT32:
      return VoxelType::kUInt32;
    case DT_INT64:
      return VoxelType::kInt64;
    case DT_UINT64:
      return VoxelType::kUInt64;
    case DT_FLOAT32:
      return VoxelType::kFloat32;
    case DT_FLOAT64:
      return VoxelType::kFloat64;
    default:
      return VoxelType::kUnknown;
  }
}

// The number of axes, counting up to the last of more than one voxel.
int axesOf(const nifti_image& image) {
  int axes = 0;
  for (int d = 1; d <= 7 && d <= image.dim[0]; ++d) {
    if (image.dim[d] > 1) axes = d;
  }
  return axes;
}

// Places the image: by its sform, else its qform, else its voxel sizes
// alone; from NIfTI's RAS into LPS.
void placeImage(const nifti_image& image, Volume& volume) {
  double affine[3][4] = {{image.dx, 0, 0, 0}, {0, image.dy, 0, 0}, {0, 0, image.dz, 0}};
  const nifti_dmat44* form = image.sform_code > 0   ? &image.sto_xyz
                             : image.qform_code > 0 ? &image.qto_xyz
                                                    : nullptr;
  for (int r = 0; form && r < 3; ++r) {
    for (int c = 0; c < 4; ++c) affine[r][c] = form->m[r][c];
  }
  for (int c = 0; c < 3; ++c) {
    double length = std::sqrt(affine[0][c] * affine[0][c] + affine[1][c] * affine[1][c] +
                              affine[2][c] * affine[2][c]);
    volume.spacing[c] = length;
    for (int r = 0; r < 3; ++r) {
      // Plus zero: a flipped 0 is no -0 in the record.
      volume.direction[r][c] = (r < 2 ? -1 : 1) * (length > 0 ? affine[r][c] / length : 0) + 0.0;
    }
  }
  for (int r = 0; r < 3; ++r) volume.origin[r] = (r < 2 ? -1 : 1) * affine[r][3] + 0.0;
}

}  // namespace

std::string readNifti(const char* name, Volume& volume, int threads) {
  nifti_set_debug_level(0);  // its reasons are told here, in one line
  std::unique_ptr<nifti_image, NiftiFree> image(nifti_image_read(name, 0));
  if (!image) return "cannot be read as NIfTI";
  volume.format = "NIfTI";
  int axes = axesOf(*image);
  if (axes != 3) return "is " + std::to_string(axes) + "D, not 3D";
  VoxelType type = voxelTypeOf(image->datatype);
  if (type == VoxelType::kUnknown) {
    return std::string("has voxels of type ") + nifti_datatype_string(image->datatype) +
           ", not one density each";
  }
  for (int axis = 0; axis < 3; ++axis) volume.size[axis] = image->dim[axis + 1];
  placeImage(*image, volume);
  if (std::string why = checkGeometry(volume); !why.empty()) return why;
  if (nifti_image_load(image.get()) != 0)
    return "holds fewer bytes of voxels than its header promises";
  bool scaled =
      image->scl_slope != 0 && std::isfinite(image->scl_slope) && std::isfinite(image->scl_inter);
  return convertVoxels(
      static_cast<const char*>(image->data), static_cast<size_t>(image->nvox) * image->nbyper, type,
      false, scaled ? image->scl_slope : 1, scaled ? image->scl_inter : 0, volume, threads);
}

}  // namespace verdask
