// STL: binary (50 bytes per facet) or ASCII ("facet ... vertex x y z ...").
#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string_view>
#include <vector>

#include "input/formats.h"
#include "input/polygon_soup.h"
#include "input/scan.h"

namespace verdask {

namespace {

constexpr size_t kHeaderBytes = 84;
constexpr size_t kFacetBytes = 50;

// A binary STL corner's coordinates as bits (0 and -0 alike), and their hash.
struct CornerKey {
  uint32_t bits[3] = {0, 0, 0};
  uint64_t hash = 0;

  CornerKey() = default;
  explicit CornerKey(const char* corner) {
    for (int k = 0; k < 3; ++k) {
      float v = loadValue<float>(corner + 4 * k, false);
      v = v == 0 ? 0.0f : v;
      memcpy(&bits[k], &v, 4);
    }
    hash = hashOf(bits);
  }
  static uint64_t hashOf(const uint32_t bits[3]) {
    uint64_t hash =
        ((static_cast<uint64_t>(bits[0]) << 32) | bits[1]) ^ (bits[2] * 0x9E3779B97F4A7C15ULL);
    hash = (hash ^ (hash >> 33)) * 0xFF51AFD7ED558CCDULL;
    hash = (hash ^ (hash >> 33)) * 0xC4CEB9FE1A85EC53ULL;
    return hash ^ (hash >> 33);
  }
};

// Shares the points of a binary STL's corners: equal coordinates are one
// point, numbered in order of first appearance.
class FloatPointMerger {
 public:
  explicit FloatPointMerger(size_t expected) { resize(expected); }
  /// Starts loading the table slot of a corner to be looked up soon: the
  /// table is far larger than the caches, and lookups waiting on memory one
  /// after another would take most of the read.
  void prefetch(const CornerKey& key) const {
    const void* slot = &slots_[key.hash & mask_];
    // GCC drops a __builtin_prefetch here at -O1 and above; the instruction must stay.
#if defined(__x86_64__)
    asm volatile("prefetcht0 %0" : : "m"(*static_cast<const char*>(slot)));
#else
    __builtin_prefetch(slot);
#endif
  }
  int pointOf(const CornerKey& key, std::vector<Coord3>& points) {
    // Facets written in strips share corners with the facets just before:
    // those are found without the table.
    for (const Slot& earlier : recent_) {
      if (earlier.point >= 0 && sameBits(earlier.bits, key.bits)) return earlier.point;
    }
    Slot& latest = recent_[next_++ % kRecent];
    latest = {{key.bits[0], key.bits[1], key.bits[2]}, tablePointOf(key, points)};
    return latest.point;
  }

 private:
  static constexpr int kRecent = 6;
  struct Slot {
    uint32_t bits[3];
    int point;  // -1: empty
  };
  using SlotArray = std::unique_ptr<Slot[], void (*)(void*)>;

  static bool sameBits(const uint32_t a[3], const uint32_t b[3]) {
    return a[0] == b[0] && a[1] == b[1] && a[2] == b[2];
  }
  int tablePointOf(const CornerKey& key, std::vector<Coord3>& points) {
    size_t slot = key.hash & mask_;
    while (slots_[slot].point >= 0 && !sameBits(slots_[slot].bits, key.bits)) {
      slot = (slot + 1) & mask_;
    }
    if (slots_[slot].point < 0) {
      float xyz[3];
      memcpy(xyz, key.bits, sizeof xyz);
      slots_[slot] = {{key.bits[0], key.bits[1], key.bits[2]}, static_cast<int>(points.size())};
      points.push_back({xyz[0], xyz[1], xyz[2]});
      if (points.size() * 4 > (mask_ + 1) * 3) resize(points.size());
    }
    return slots_[slot].point;
  }
  // Room for twice `points` (at least), the points already in kept. The table
  // asks for huge pages: lookups all over it would otherwise miss the TLB.
  void resize(size_t points) {
    size_t size = 64;
    while (size < 2 * points) size *= 2;
    constexpr size_t kHugePage = size_t{1} << 21;
    size_t bytes = (size * sizeof(Slot) + kHugePage - 1) & ~(kHugePage - 1);
    SlotArray old = std::move(slots_);
    slots_ = SlotArray(static_cast<Slot*>(aligned_alloc(kHugePage, bytes)), free);
    if (!slots_) throw std::bad_alloc();
    madvise(slots_.get(), bytes, MADV_HUGEPAGE);
    std::fill(slots_.get(), slots_.get() + size, Slot{{0, 0, 0}, -1});
    size_t oldSize = old ? mask_ + 1 : 0;
    mask_ = size - 1;
    for (size_t k = 0; k < oldSize; ++k) {
      if (old[k].point < 0) continue;
      size_t slot = CornerKey::hashOf(old[k].bits) & mask_;
      while (slots_[slot].point >= 0) slot = (slot + 1) & mask_;
      slots_[slot] = old[k];
    }
  }

  SlotArray slots_{nullptr, free};
  size_t mask_ = 0;
  Slot recent_[kRecent] = {{{0, 0, 0}, -1}, {{0, 0, 0}, -1}, {{0, 0, 0}, -1},
                           {{0, 0, 0}, -1}, {{0, 0, 0}, -1}, {{0, 0, 0}, -1}};
  unsigned next_ = 0;
};

// The facet count a binary STL's header gives (the file holds at least the header).
uint32_t facetCount(std::string_view data) { return loadValue<uint32_t>(data.data() + 80, false); }

// The size of a binary STL of `facets` facets.
unsigned long long binaryBytes(uint32_t facets) { return kHeaderBytes + kFacetBytes * facets; }

Status readBinaryStl(std::string_view data, const char* name, PolygonSoup& soup) {
  uint32_t facets = facetCount(data);
  if (facets > kMostPolygons) {
    return readFailure("%s: %u facets are more than can be read", name, facets);
  }
  if (binaryBytes(facets) != data.size()) {
    return readFailure("%s: binary STL of %u facets needs %llu bytes, the file has %zu", name,
                       facets, binaryBytes(facets), data.size());
  }
  // A closed surface has half as many points as facets.
  FloatPointMerger merger(facets / 2);
  soup.points.reserve(facets / 2 + 3);
  size_t corners = 3 * static_cast<size_t>(facets);
  soup.corners.resize(corners);
  // Each corner's slot is fetched this many corners before it is looked up:
  // the fastest distance measured on the M set.
  constexpr size_t kAhead = 64;
  std::vector<CornerKey> ahead(kAhead);
  for (size_t c = 0; c < corners + kAhead; ++c) {
    if (c >= kAhead) soup.corners[c - kAhead] = merger.pointOf(ahead[c % kAhead], soup.points);
    if (c >= corners) continue;
    const char* facet = data.data() + kHeaderBytes + kFacetBytes * (c / 3);
    ahead[c % kAhead] = CornerKey(facet + 12 * (c % 3 + 1));
    merger.prefetch(ahead[c % kAhead]);
  }
  soup.ends.resize(facets);
  for (size_t f = 0; f < facets; ++f) soup.ends[f] = static_cast<int>(3 * f + 3);
  return {};
}

Status readAsciiStl(std::string_view data, const char* name, std::vector<Coord3>& cornerPoints) {
  ByteCursor cursor(data);
  std::string_view word;
  int facetCorners = -1;  // -1 outside a facet
  while (cursor.nextWord(&word)) {
    if (word == "facet") {
      facetCorners = 0;
    } else if (word == "vertex") {
      Coord3 p;
      std::string_view x, y, z;
      if (facetCorners < 0 || facetCorners == 3 || !cursor.nextWord(&x) || !cursor.nextWord(&y) ||
          !cursor.nextWord(&z) || !parseDouble(x, &p.x) || !parseDouble(y, &p.y) ||
          !parseDouble(z, &p.z)) {
        return readFailure("%s, line %lld: a vertex that is not three numbers within a facet", name,
                           cursor.line());
      }
      cornerPoints.push_back(p);
      ++facetCorners;
    } else if (word == "endfacet") {
      if (facetCorners != 3) {
        return readFailure("%s, line %lld: a facet without three vertices", name, cursor.line());
      }
      facetCorners = -1;
    }
  }
  if (facetCorners >= 0) return readFailure("%s: the last facet is cut short", name);
  return {};
}

}  // namespace

Status readStl(std::string_view data, const char* name, PolygonSoup& soup) {
  size_t text = data.find_first_not_of(" \t\r\n");
  bool asciiStart = text != std::string_view::npos && data.substr(text, 5) == "solid";
  // A binary file may begin with "solid" too: its size tells.
  bool binarySize = data.size() >= kHeaderBytes && binaryBytes(facetCount(data)) == data.size();
  if (binarySize || (!asciiStart && data.size() >= kHeaderBytes)) {
    return readBinaryStl(data, name, soup);
  }
  if (!asciiStart) {
    return readFailure("%s: neither an ASCII STL (\"solid\") nor a binary one", name);
  }
  std::vector<Coord3> cornerPoints;
  if (Status status = readAsciiStl(data, name, cornerPoints)) return status;
  if (cornerPoints.empty() && data.size() >= kHeaderBytes) {
    return readFailure(
        "%s: it starts with \"solid\" but holds no ASCII STL facet, and its %zu bytes do not "
        "fit a binary STL of %u triangles (%llu bytes)",
        name, data.size(), facetCount(data), binaryBytes(facetCount(data)));
  }
  mergeEqualPoints(cornerPoints, soup.points, soup.corners);
  for (size_t f = 1; f <= cornerPoints.size() / 3; ++f) {
    soup.ends.push_back(static_cast<int>(3 * f));
  }
  return {};
}

}  // namespace verdask
