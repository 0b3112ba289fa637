// VTK XML PolyData: the Points, Polys, Strips and PointData normals of every
// Piece; arrays inline (ascii or base64) or appended (raw or base64), zlib
// compressed or not, headers of 32 or 64 bits, either byte order.
#include <zlib.h>

#include <pugixml.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "input/formats.h"
#include "input/polygon_soup.h"
#include "input/scan.h"

namespace verdask {

namespace {

struct VtpFile {
  explicit VtpFile(const char* file) : name(file) {}
  const char* name;
  bool bigEndian = false;
  NumberType headerType = NumberType::kUInt32;
  bool compressed = false;
  std::string_view appended;  // the bytes after the appended section's "_"
  bool appendedBase64 = false;
};

int base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  return c == '+' ? 62 : c == '/' ? 63 : -1;
}

// Decodes base64 from `text`, up to `chars` characters of it (white space not
// counted); `used` is how far it read.
std::string decodeBase64(std::string_view text, size_t chars, size_t* used) {
  std::string bytes;
  unsigned bits = 0;
  int held = 0;
  size_t seen = 0, k = 0;
  for (; k < text.size() && seen < chars; ++k) {
    int value = base64Value(text[k]);
    if (text[k] == '=') ++seen;
    if (value < 0) continue;
    ++seen;
    bits = (bits << 6) | value;
    held += 6;
    if (held >= 8) {
      held -= 8;
      bytes.push_back(static_cast<char>((bits >> held) & 0xff));
    }
  }
  *used = k;
  return bytes;
}

// Reads the next header integer of a block.
bool headerValue(const VtpFile& file, std::string_view bytes, size_t index,
                 unsigned long long* value) {
  size_t size = sizeOf(file.headerType);
  if ((index + 1) * size > bytes.size()) return false;
  double number = loadNumber(bytes.data() + index * size, file.headerType, file.bigEndian);
  // Read as a double, a UInt64 near 2^64 rounds up to it: no size a header means.
  if (!(number >= 0 && number < 18446744073709551616.0)) return false;
  *value = static_cast<unsigned long long>(number);
  return true;
}

// Inflates the zlib blocks described by `header` from `data` into `out`.
bool inflateBlocks(const VtpFile& file, std::string_view header, std::string_view data,
                   std::string* out) {
  unsigned long long blocks, blockSize, lastSize;
  if (!headerValue(file, header, 0, &blocks) || !headerValue(file, header, 1, &blockSize) ||
      !headerValue(file, header, 2, &lastSize) || blockSize > (1ULL << 31)) {
    return false;
  }
  size_t at = 0;
  for (unsigned long long b = 0; b < blocks; ++b) {
    unsigned long long packed, size = b + 1 == blocks && lastSize ? lastSize : blockSize;
    // zlib packs at most 1032 to 1: a larger size is a broken header, not a block.
    if (!headerValue(file, header, 3 + b, &packed) || packed > data.size() - at ||
        size > 1032 * packed + 64) {
      return false;
    }
    std::string block(size, '\0');
    uLongf length = size;
    if (uncompress(reinterpret_cast<Bytef*>(block.data()), &length,
                   reinterpret_cast<const Bytef*>(data.data() + at), packed) != Z_OK ||
        length != size) {
      return false;
    }
    out->append(block);
    at += packed;
  }
  return true;
}

// Takes `bytes` bytes from `text`: raw, or decoded from base64 (a whole run,
// or the front of one when `bytes` is a multiple of three).
bool takeBytes(std::string_view& text, bool base64, size_t bytes, std::string* into) {
  if (!base64) {
    if (bytes > text.size()) return false;
    into->assign(text.substr(0, bytes));
    text.remove_prefix(bytes);
    return true;
  }
  size_t used;
  *into = decodeBase64(text, 4 * ((bytes + 2) / 3), &used);
  text.remove_prefix(used);
  if (into->size() < bytes) return false;
  into->resize(bytes);
  return true;
}

// A zlib-compressed block: [blocks, block size, last size, packed sizes...], then the blocks.
bool decodeCompressed(const VtpFile& file, std::string_view text, bool base64, std::string* out) {
  size_t size = sizeOf(file.headerType);
  std::string first, packedSizes, data;
  unsigned long long blocks, total = 0, packed;
  if (!takeBytes(text, base64, 3 * size, &first) || !headerValue(file, first, 0, &blocks) ||
      blocks > text.size() / size || !takeBytes(text, base64, blocks * size, &packedSizes)) {
    return false;
  }
  std::string header = first + packedSizes;
  for (unsigned long long b = 0; b < blocks; ++b) {
    if (!headerValue(file, header, 3 + b, &packed) || packed > text.size()) return false;
    total += packed;
  }
  return total <= text.size() && takeBytes(text, base64, total, &data) &&
         inflateBlocks(file, header, data, out);
}

// The bytes of a binary block: `text` starts at its header, base64 encoded or raw.
bool decodeBlock(const VtpFile& file, std::string_view text, bool base64, std::string* out) {
  if (file.compressed) return decodeCompressed(file, text, base64, out);
  size_t size = sizeOf(file.headerType), headerChars = 4 * ((size + 2) / 3);
  std::string header;
  unsigned long long length;
  std::string_view start = text;
  if (!takeBytes(text, base64, size, &header) || !headerValue(file, header, 0, &length) ||
      length > start.size()) {
    return false;
  }
  // Base64 data may start a run of its own, or run on from its header's.
  size_t padded = start.find_first_not_of(" \t\r\n");
  if (base64 && padded != std::string_view::npos && padded + headerChars <= start.size() &&
      start[padded + headerChars - 1] != '=') {
    std::string all;
    if (!takeBytes(start, true, size + length, &all)) return false;
    *out = all.substr(size);
    return true;
  }
  return takeBytes(text, base64, length, out);
}

// A DataArray's values, `count` of them, as doubles.
Status readDataArray(const VtpFile& file, pugi::xml_node array, size_t count,
                     std::vector<double>& values) {
  NumberType type = numberTypeNamed(array.attribute("type").value());
  std::string format = array.attribute("format").value();
  values.clear();
  if (type == NumberType::kUnknown) {
    return readFailure("%s: a DataArray of type \"%s\" cannot be read", file.name,
                       array.attribute("type").value());
  }
  if (format == "ascii") {
    std::string_view text = array.child_value(), word;
    double value;
    while (values.size() < count && nextWord(text, &word) && parseNumber(word, type, &value)) {
      values.push_back(value);
    }
  } else {
    std::string bytes;
    bool appended = format == "appended";
    unsigned long long offset = array.attribute("offset").as_ullong();
    std::string_view text =
        appended
            ? (offset <= file.appended.size() ? file.appended.substr(offset) : std::string_view())
            : std::string_view(array.child_value());
    if (decodeBlock(file, text, appended ? file.appendedBase64 : true, &bytes)) {
      size_t size = sizeOf(type);
      for (size_t k = 0; k < count && (k + 1) * size <= bytes.size(); ++k) {
        values.push_back(loadNumber(bytes.data() + k * size, type, file.bigEndian));
      }
    }
  }
  if (values.size() != count) {
    return readFailure(
        "%s: the DataArray \"%s\" holds fewer than its %zu values, or they cannot be decoded",
        file.name, array.attribute("Name").value(), count);
  }
  return {};
}

pugi::xml_node arrayNamed(pugi::xml_node parent, const char* name) {
  return parent.find_child_by_attribute("DataArray", "Name", name);
}

// One Piece's cells of a kind (Polys or Strips) into the soup.
Status readCellsOf(const VtpFile& file, pugi::xml_node piece, const char* kind, int firstPoint,
                   PolygonSoup& soup) {
  pugi::xml_node cells = piece.child(kind);
  size_t count = piece.attribute(kind == std::string("Polys") ? "NumberOfPolys" : "NumberOfStrips")
                     .as_ullong();
  if (!cells || count == 0) return {};
  std::vector<double> offsets, connectivity;
  if (Status status = readDataArray(file, arrayNamed(cells, "offsets"), count, offsets))
    return status;
  if (Status status = readDataArray(
          file, arrayNamed(cells, "connectivity"),
          offsets.empty() ? 0 : std::max(0LL, wholeNumber(offsets.back())), connectivity)) {
    return status;
  }
  std::vector<long long> ends, points;
  for (double offset : offsets) {
    ends.push_back(wholeNumber(offset));
    if (ends.back() < (ends.size() > 1 ? ends[ends.size() - 2] : 0)) {
      return readFailure("%s: offsets of %s that go back or are not indices", file.name, kind);
    }
  }
  for (double point : connectivity) points.push_back(wholeNumber(point));
  addCells(ends, points, kind == std::string("Strips"), firstPoint, soup);
  return {};
}

Status readPiece(const VtpFile& file, pugi::xml_node piece, PolygonSoup& soup, bool* hasNormals) {
  size_t points = piece.attribute("NumberOfPoints").as_ullong();
  int first = static_cast<int>(soup.points.size());
  if (points > kMostPolygons)
    return readFailure("%s: %zu points are more than can be read", file.name, points);
  std::vector<double> values;
  if (Status status =
          readDataArray(file, piece.child("Points").child("DataArray"), 3 * points, values))
    return status;
  for (size_t p = 0; p < points; ++p)
    soup.points.push_back({values[3 * p], values[3 * p + 1], values[3 * p + 2]});
  pugi::xml_node data = piece.child("PointData");
  const char* normalsName = data.attribute("Normals").value();
  pugi::xml_node normals = arrayNamed(data, *normalsName ? normalsName : "Normals");
  if (normals && normals.attribute("NumberOfComponents").as_int() == 3) {
    if (Status status = readDataArray(file, normals, 3 * points, values)) return status;
    soup.normals.resize(first);
    for (size_t p = 0; p < points; ++p)
      soup.normals.push_back({values[3 * p], values[3 * p + 1], values[3 * p + 2]});
    *hasNormals = true;
  }
  for (const char* kind : {"Polys", "Strips"}) {
    if (Status status = readCellsOf(file, piece, kind, first, soup)) return status;
  }
  return {};
}

// The appended section is raw bytes, no XML: it is cut off before parsing.
std::string xmlPart(std::string_view data, VtpFile& file) {
  size_t section = data.find("<AppendedData");
  if (section == std::string_view::npos) return std::string(data);
  size_t close = data.find('>', section), mark = data.find('_', close);
  std::string_view tag = data.substr(section, close - section);
  file.appendedBase64 = tag.find("base64") != std::string_view::npos;
  if (mark != std::string_view::npos) file.appended = data.substr(mark + 1);
  return std::string(data.substr(0, section)) + "</VTKFile>";
}

}  // namespace

Status readVtp(std::string_view data, const char* name, PolygonSoup& soup) {
  VtpFile file(name);
  std::string xml = xmlPart(data, file);
  pugi::xml_document document;
  pugi::xml_parse_result parsed = document.load_buffer(xml.data(), xml.size());
  pugi::xml_node root = document.child("VTKFile");
  if (!parsed || !root || std::string(root.attribute("type").value()) != "PolyData") {
    return readFailure("%s: not a VTK XML PolyData file (%s at byte %lld)", name,
                       parsed ? "no PolyData" : parsed.description(),
                       static_cast<long long>(parsed.offset));
  }
  file.bigEndian = std::string(root.attribute("byte_order").value()) == "BigEndian";
  if (root.attribute("header_type"))
    file.headerType = numberTypeNamed(root.attribute("header_type").value());
  std::string compressor = root.attribute("compressor").value();
  file.compressed = !compressor.empty();
  if (file.compressed && compressor != "vtkZLibDataCompressor") {
    return readFailure("%s: data compressed by %s cannot be read (zlib can)", name,
                       compressor.c_str());
  }
  if (file.headerType != NumberType::kUInt32 && file.headerType != NumberType::kUInt64) {
    return readFailure("%s: a header_type that is not UInt32 or UInt64", name);
  }
  bool hasNormals = false;
  for (pugi::xml_node piece : root.child("PolyData").children("Piece")) {
    if (Status status = readPiece(file, piece, soup, &hasNormals)) return status;
  }
  if (!hasNormals) soup.normals.clear();
  if (soup.points.empty()) return readFailure("%s: no points", name);
  return {};
}

}  // namespace verdask
