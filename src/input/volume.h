// A 3D image, such as a CT scan, read from NIfTI (.nii, .nii.gz, .hdr/.img),
// MetaImage (.mha, .mhd with its raw file) or NRRD (.nrrd, .nhdr), with its
// voxels as floats and its place in physical space.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "input/scan.h"

namespace verdask {

/// Voxel i, j, k (i fastest) lies at origin + direction * (spacing .* (i, j, k)),
/// in millimetres in the LPS frame, as ITK places images: a NIfTI file's RAS
/// coordinates and an NRRD file's RAS space are turned into it.
struct Volume {
  std::unique_ptr<float[]> voxels;  // i fastest
  long long size[3] = {0, 0, 0};
  double spacing[3] = {1, 1, 1};
  double origin[3] = {0, 0, 0};
  double direction[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};  // column j: axis j
  std::string format;                                          // "NIfTI", "MetaImage", "NRRD"
  std::string voxelType;                                       // as stored: "int16", "float32", ...

  size_t voxelCount() const { return size[0] * size[1] * size[2]; }
};

/// A voxel's type: the numeric types the mesh and surface formats know.
using VoxelType = NumberType;

/// Bytes per voxel, and the type's name as the record gives it.
int voxelBytes(VoxelType type);
const char* voxelTypeName(VoxelType type);

/// Whether a file name is one of an image format read here.
bool isVolumeName(const char* name);

/// Reads the image, its voxels converted on up to `threads` threads; empty,
/// or why it cannot be used (one line, no file name).
std::string readVolume(const char* name, Volume& volume, int threads = 1);

/// Reads a NIfTI-1 or NIfTI-2 file (.nii, .nii.gz, or .hdr and .img) by libnifti.
std::string readNifti(const char* name, Volume& volume, int threads = 1);

/// The parsers of the text headers, from the file's bytes; `folder` (ending
/// in '/', or empty) is where a detached data file is looked for.
std::string parseMetaImage(const std::string& bytes, const std::string& folder, Volume& volume,
                           int threads = 1);
std::string parseNrrd(const std::string& bytes, const std::string& folder, Volume& volume,
                      int threads = 1);

// For the parsers.

/// Converts the voxels from their stored bytes, byte-swapped when `swap`, to
/// slope * value + intercept, on up to `threads` threads; why not, when too
/// few bytes are given.
std::string convertVoxels(const char* data, size_t available, VoxelType type, bool swap,
                          double slope, double intercept, Volume& volume, int threads = 1);

/// The text without the spaces, tabs and carriage returns around it.
std::string trimmedText(const std::string& text);

/// Reads exactly `count` numbers from text, separated by white space, commas
/// or brackets; false when there are more or fewer, or one is no number.
bool parseNumbers(const std::string& text, int count, double* numbers);

/// Inflates zlib or gzip data to `expected` bytes; false when it cannot.
bool inflateData(const char* data, size_t size, size_t expected, std::string& out);

/// Reads a whole file; false when it cannot.
bool readFileBytes(const std::string& path, std::string& bytes);

/// Checks the sizes (each at least 2, the voxels countable), the spacing
/// (finite, positive) and the direction (finite, not flat); why not, or empty.
std::string checkGeometry(const Volume& volume);

}  // namespace verdask
