// The readers of the formats of old against the straightforward fgets/sscanf
// readers, on generated bones and on randomly damaged copies of them.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "input/readers.h"
#include "reference_readers.h"
#include "test_util.h"

namespace verdask {

namespace {

std::string lfTwin(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) out += text[i];
  }
  return out;
}

const char* const kHostileForms[] = {"1e",  "+.5",   "-0",  "1e-400", "1e400", "0x1p3",
                                     "nan", "inf",   "1e+", "-",      ".",     "1,5",
                                     "+-2", "1.5.5", "00",  "1e308"};

// One random piece of damage of the kinds real exports and transfers do.
std::string damage(std::string text, std::mt19937& random) {
  auto at = [&](size_t size) { return std::uniform_int_distribution<size_t>(0, size)(random); };
  size_t p = at(text.size() ? text.size() - 1 : 0);
  switch (random() % 8) {
    case 0: {  // a hostile number form in place of a token
      size_t start = text.find_last_of(" ,(\n", p);
      start = start == std::string::npos ? 0 : start + 1;
      size_t end = text.find_first_of(" ,)\n", start);
      if (end == std::string::npos) end = text.size();
      return text.replace(start, end - start, kHostileForms[random() % std::size(kHostileForms)]);
    }
    case 1: {  // Windows line ends
      std::string out;
      for (char c : text) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
      return out;
    }
    case 2:
      return text.insert(p, 1, '\0');
    case 3: {  // two lines joined
      size_t lf = text.find('\n', p);
      return lf == std::string::npos ? text : text.erase(lf, 1);
    }
    case 4:
      return text.insert(p, 1000 + random() % 100, ' ');  // past the 1023-character piece
    case 5:
      return text.substr(0, p);
    case 6:
      return text.insert(p, "\r");
    default: {  // a digit changed
      size_t digit = text.find_first_of("0123456789", p);
      if (digit != std::string::npos) text[digit] = static_cast<char>('0' + random() % 10);
      return text;
    }
  }
}

struct Outcome {
  int status;
  std::string printed;
  std::vector<double> values;
  std::vector<int> corners;  // a mesh's elements, four corners each
  std::string deferred;      // and what failed among them
};

// A reader of the bytes against one of a stream: what each prints, and what it reads.
template <typename Read>
Outcome runOnBytes(const std::string& text, Read read) {
  Outcome outcome;
  Status status = read(std::string_view(text), outcome);
  outcome.status = status.code;
  outcome.printed = status.message;
  return outcome;
}

template <typename Read>
Outcome runOnStream(const std::string& text, Read read) {
  MemoryFile file(text);
  Outcome outcome;
  testing::internal::CaptureStdout();
  outcome.status = read(file.get(), outcome);
  outcome.printed = testing::internal::GetCapturedStdout();
  return outcome;
}

void expectSame(const Outcome& got, const Outcome& want, const std::string& text) {
  ASSERT_EQ(got.status == 0, want.status == 0) << text.substr(0, 300);
  ASSERT_EQ(got.printed, want.printed);
  if (got.status != 0) return;
  ASSERT_EQ(got.values.size(), want.values.size());
  ASSERT_EQ(memcmp(got.values.data(), want.values.data(), got.values.size() * sizeof(double)), 0);
  ASSERT_EQ(got.corners, want.corners);
  ASSERT_EQ(got.deferred, want.deferred);
}

std::vector<double> coordsOf(const PointSet& points) {
  return std::vector<double>(points.coords(), points.coords() + 3 * points.count());
}

Outcome readSurfaceVertices(const std::string& text) {
  return runOnBytes(text, [](std::string_view data, Outcome& out) {
    SurfaceData surface;
    Status status = readSurf(data, "s", TriangleUse::kNone, surface);
    if (!status) out.values = coordsOf(surface.points);
    return status;
  });
}

Outcome readSurfReference(const std::string& text) {
  return runOnStream(text, [](FILE* f, Outcome& out) {
    int count;
    return referenceSurfVertices(f, out.values, count);
  });
}

class ReadersAgainstReference : public testing::Test {
 protected:
  void SetUp() override {
    RunResult r = runProgram(MAKE_BONE_BINARY, {dir_.path(), "60", "500", "3"}, dir_.path());
    ASSERT_EQ(r.exitCode, 0);
  }
  std::string input(const char* name) const { return dir_.read(name); }

  // The original and 300 damaged copies.
  template <typename Check>
  void forDamagedCopies(const std::string& text, Check check) {
    std::mt19937 random(11);
    check(text);
    for (int i = 0; i < 300; ++i) {
      std::string copy = text;
      for (int n = 1 + random() % 3; n > 0; --n) copy = damage(copy, random);
      check(copy);
    }
  }

 private:
  ScratchDir dir_;
};

TEST_F(ReadersAgainstReference, MeshReaderAgrees) {
  forDamagedCopies(input("mesh.hmascii"), [](const std::string& text) {
    Outcome got = runOnBytes(text, [](std::string_view data, Outcome& out) {
      ShellMesh mesh;
      Status status = readHmascii(data, "m", mesh);
      if (status) return status;
      out.values.assign(&mesh.nodes[0].x, &mesh.nodes[0].x + 3 * mesh.nodes.size());
      out.corners = mesh.elements.corners;
      out.deferred = mesh.elementFailure.message;
      return status;
    });
    Outcome want = runOnStream(lfTwin(text), [](FILE* f, Outcome& out) {
      int count, status = referenceMeshVertices(f, out.values, count);
      if (status == 0) referenceMeshElements(f, count, out.corners);
      return status;
    });
    // What the element lines print, after nodes read whole, is the deck's to tell.
    if (want.status == 0) std::swap(want.printed, want.deferred);
    expectSame(got, want, text);
  });
}

TEST_F(ReadersAgainstReference, SurfReaderAgrees) {
  forDamagedCopies(input("trab.surf"), [](const std::string& text) {
    expectSame(readSurfaceVertices(text), readSurfReference(lfTwin(text)), text);
  });
}

TEST_F(ReadersAgainstReference, NumbersCutByThePieceBoundaryAgree) {
  // The 1023rd character of a line falls inside, before and after a number.
  for (int pad = 1010; pad <= 1023; ++pad) {
    std::string text = "Vertices 2\n" + std::string(pad, ' ') + "1.2345e+01 6 7\n8 9 10\n";
    expectSame(readSurfaceVertices(text), readSurfReference(text), text);
  }
}

TEST_F(ReadersAgainstReference, NormalsReaderAgrees) {
  forDamagedCopies(input("norm.vtk"), [](const std::string& text) {
    Outcome got = runOnBytes(text, [](std::string_view data, Outcome& out) {
      std::vector<Coord3> normals;
      Status status = parseNormals(data, 500, normals);
      if (!status) out.values.assign(&normals[0].x, &normals[0].x + 3 * 500);
      return status;
    });
    Outcome want = runOnStream(
        lfTwin(text), [](FILE* f, Outcome& out) { return referenceNormals(f, 500, out.values); });
    expectSame(got, want, text);
  });
}

}  // namespace

}  // namespace verdask
