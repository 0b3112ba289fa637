#include "input/volume.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "test_util.h"

namespace verdask {

namespace {

// Eight int16 voxels, 1 to 8, little-endian.
std::string eightShorts(bool bigEndian = false) {
  std::string bytes;
  for (int v = 1; v <= 8; ++v) {
    char low = static_cast<char>(v), high = 0;
    bytes += bigEndian ? std::string{high, low} : std::string{low, high};
  }
  return bytes;
}

std::string compressed(const std::string& bytes) {
  uLongf size = compressBound(bytes.size());
  std::string out(size, '\0');
  compress(reinterpret_cast<Bytef*>(&out[0]), &size, reinterpret_cast<const Bytef*>(bytes.data()),
           bytes.size());
  out.resize(size);
  return out;
}

// A NIfTI-1 file of 2 x 2 x 2 int16 voxels (or `dims` and `datatype`), with
// its sform: voxel sizes 0.5, `second` (1), 2 and the origin RAS (10, 20, 30).
std::string niftiFile(std::vector<int16_t> dims = {3, 2, 2, 2, 1}, int16_t datatype = 4,
                      float second = 1) {
  std::string header(352, '\0');
  auto put = [&](size_t at, const void* value, size_t size) { memcpy(&header[at], value, size); };
  int32_t sizeofHeader = 348;
  put(0, &sizeofHeader, 4);
  put(40, dims.data(), 2 * dims.size());
  int16_t bitpix = 16, sform = 1;
  put(70, &datatype, 2);
  put(72, &bitpix, 2);
  float pixdims[4] = {1, 0.5f, 1, 2}, offset = 352;
  put(76, pixdims, sizeof pixdims);
  put(108, &offset, 4);
  put(254, &sform, 2);
  float rows[12] = {0.5f, 0, 0, 10, 0, second, 0, 20, 0, 0, 2, 30};
  put(280, rows, sizeof rows);
  put(344, "n+1", 4);
  return header + eightShorts();
}

const char kMeta[] =
    "ObjectType = Image\nNDims = 3\nBinaryData = True\nBinaryDataByteOrderMSB = False\n"
    "TransformMatrix = 0 1 0 -1 0 0 0 0 1\nOffset = 1 2 3\nElementSpacing = 0.5 1 2\n"
    "DimSize = 2 2 2\nElementType = MET_SHORT\nElementDataFile = LOCAL\n";
const char kNrrd[] =
    "NRRD0004\n# a comment\ntype: short\ndimension: 3\nspace: right-anterior-superior\n"
    "sizes: 2 2 2\nspace directions: (0.5,0,0) (0,1,0) (0,0,2)\nendian: little\n"
    "encoding: raw\nspace origin: (1,2,3)\nkey:=value\n\n";

struct ReadCase {
  const char* name;
  const char* file;
  std::string content;
  double origin[3];
  double spacing[3];
  double firstAxis[3];  // the direction of i
  const char* voxelType;
};

TEST(ReadVolume, PlacesTheVoxelsOfEachFormatInLps) {
  std::string meta = kMeta, nrrd = kNrrd;
  auto replaced = [](std::string text, const std::string& from, const std::string& to) {
    return text.replace(text.find(from), from.size(), to);
  };
  const std::vector<ReadCase> cases = {
      {"MetaImage", "a.mha", meta + eightShorts(), {1, 2, 3}, {0.5, 1, 2}, {0, 1, 0}, "int16"},
      {"MetaImage, big-endian",
       "b.mha",
       replaced(meta, "MSB = False", "MSB = True") + eightShorts(true),
       {1, 2, 3},
       {0.5, 1, 2},
       {0, 1, 0},
       "int16"},
      {"MetaImage, compressed",
       "c.mha",
       replaced(meta, "ElementType", "CompressedData = True\nElementType") +
           compressed(eightShorts()),
       {1, 2, 3},
       {0.5, 1, 2},
       {0, 1, 0},
       "int16"},
      {"NRRD in RAS",
       "d.nrrd",
       nrrd + eightShorts(),
       {-1, -2, 3},
       {0.5, 1, 2},
       {-1, 0, 0},
       "int16"},
      {"NRRD as text",
       "e.nrrd",
       replaced(replaced(nrrd, "raw", "ascii"), "short", "float") + "1 2 3 4\n5 6 7 8\n",
       {-1, -2, 3},
       {0.5, 1, 2},
       {-1, 0, 0},
       "float32"},
      {"NRRD, gzip",
       "f.nrrd",
       replaced(nrrd, "raw", "gzip") + compressed(eightShorts()),
       {-1, -2, 3},
       {0.5, 1, 2},
       {-1, 0, 0},
       "int16"},
      {"NIfTI", "g.nii", niftiFile(), {-10, -20, 30}, {0.5, 1, 2}, {-1, 0, 0}, "int16"},
  };
  ScratchDir dir;
  for (const ReadCase& c : cases) {
    SCOPED_TRACE(c.name);
    dir.write(c.file, c.content);
    Volume volume;
    // Three threads, each converting its share of the eight voxels.
    ASSERT_EQ(readVolume(dir.file(c.file).c_str(), volume, 3), "");
    for (int axis = 0; axis < 3; ++axis) {
      EXPECT_EQ(volume.size[axis], 2);
      EXPECT_DOUBLE_EQ(volume.origin[axis], c.origin[axis]);
      EXPECT_DOUBLE_EQ(volume.spacing[axis], c.spacing[axis]);
      EXPECT_DOUBLE_EQ(volume.direction[axis][0], c.firstAxis[axis]);
    }
    EXPECT_EQ(volume.voxelType, c.voxelType);
    for (int v = 0; v < 8; ++v) EXPECT_EQ(volume.voxels[v], v + 1);
  }
}

struct BadCase {
  const char* name;
  const char* file;
  std::string content;
  const char* why;
};

TEST(ReadVolume, TellsWhyAnImageCannotBeUsed) {
  std::string meta = kMeta, nrrd = kNrrd;
  auto replaced = [](std::string text, const std::string& from, const std::string& to) {
    return text.replace(text.find(from), from.size(), to);
  };
  const std::vector<BadCase> cases = {
      {"4D MetaImage", "a.mha", replaced(meta, "NDims = 3", "NDims = 4") + eightShorts(),
       "is 4D, not 3D"},
      {"unknown MetaImage type", "b.mha", replaced(meta, "MET_SHORT", "MET_FOO") + eightShorts(),
       "has voxels of type 'MET_FOO', which is not read"},
      {"zero spacing", "c.mha", replaced(meta, "0.5 1 2", "0.5 0 2") + eightShorts(),
       "has a spacing of 0.000000 along axis 2: it must be finite and positive"},
      {"spacing not a number", "d.nrrd", replaced(nrrd, "(0,1,0)", "(0,nan,0)") + eightShorts(),
       "has a spacing of nan along axis 2: it must be finite and positive"},
      {"one slice", "e.nrrd", replaced(nrrd, "sizes: 2 2 2", "sizes: 2 2 1") + eightShorts(),
       "has fewer than 2 voxels along an axis: it is not 3D"},
      {"unknown NRRD type", "f.nrrd", replaced(nrrd, "short", "block") + eightShorts(),
       "has voxels of type 'block', which is not read"},
      {"too few voxels", "g.nrrd", nrrd + "abc", "holds 3 bytes of voxels, its header promises 16"},
      {"2D NRRD", "h.nrrd", replaced(nrrd, "dimension: 3", "dimension: 2"), "is 2D, not 3D"},
      {"4D NIfTI", "i.nii", niftiFile({4, 2, 2, 2, 2}), "is 4D, not 3D"},
      {"complex NIfTI", "j.nii", niftiFile({3, 2, 2, 2, 1}, 32),
       "has voxels of type COMPLEX64, not one density each"},
      {"NIfTI axis of no length", "k.nii", niftiFile({3, 2, 2, 2, 1}, 4, 0),
       "has a spacing of 0.000000 along axis 2: it must be finite and positive"},
      {"not an image", "l.vtk", "# vtk",
       "is none of .nii, .nii.gz, .hdr, .mha, .mhd, .nrrd, .nhdr"},
  };
  ScratchDir dir;
  for (const BadCase& c : cases) {
    SCOPED_TRACE(c.name);
    dir.write(c.file, c.content);
    Volume volume;
    EXPECT_EQ(readVolume(dir.file(c.file).c_str(), volume), c.why);
  }
}

}  // namespace

}  // namespace verdask
