#include "input/line_reader.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "input/scan.h"
#include "test_util.h"

namespace verdask {

namespace {

TEST(LineReader, SplitsPiecesLikeFgetsAndReadsCrlfAsLf) {
  std::string longLine(2500, 'a');
  std::string text = "one\r\ntwo\n" + longLine + "\r\n" + std::string(1022, 'b') + "\r\nx\ry\r";
  std::string lfTwin = "one\ntwo\n" + longLine + "\n" + std::string(1022, 'b') + "\nx\ry\r";
  MemoryFile twin(lfTwin);
  std::vector<std::string> expected;
  char buffer[1024];
  while (fgets(buffer, sizeof buffer, twin.get())) expected.push_back(buffer);

  for (const std::string& input : {text, lfTwin}) {
    LineReader lines(input, kLinePieceMax);
    LineView piece;
    std::vector<std::string> got;
    while (lines.next(&piece)) got.emplace_back(piece.begin, piece.end);
    EXPECT_EQ(got, expected);
  }
}

// Bytes read are given back where a file is mapped: read again, they are the
// file's still; a copy's are never given back, as they would read as zeros.
TEST(LineReader, ReadsTheSameBytesAgainAfterGivingThemBack) {
  std::string text;
  for (int k = 0; text.size() < (size_t{12} << 20); ++k) text += std::to_string(k) + " 1 2\n";
  ScratchDir dir;
  dir.write("lines", text);
  FILE* file = fopen(dir.file("lines").c_str(), "r");
  ASSERT_NE(file, nullptr);
  MemoryFile copied(text);
  FileBytes mapped, copy;
  ASSERT_TRUE(mapped.load(file));
  ASSERT_TRUE(copy.load(copied.get()));
  fclose(file);
  for (const FileBytes* bytes : {&mapped, &copy}) {
    LineReader lines(bytes->view(), kLinePieceMax);
    for (LineView piece; lines.next(&piece);) {
    }
    releaseRead(bytes->view().data(), bytes->view().data() + bytes->view().size());
    EXPECT_TRUE(bytes->view() == text);
  }
}

TEST(LineReader, StopsViewAtNulAndGoesOnAfterItsLine) {
  std::string text = std::string("ab\0cd\r\n", 7) + "next\nrest";
  LineReader lines(text, kLinePieceMax);
  LineView piece;
  ASSERT_TRUE(lines.next(&piece));
  EXPECT_EQ(std::string(piece.begin, piece.end), "ab");
  ASSERT_TRUE(lines.next(&piece));
  EXPECT_EQ(lines.rest(), "rest");
}

// Where fgets with a buffer of pieceMax + 1 bytes first finds the keyword:
// the number of the piece, or -1.
int naiveKeywordPiece(const std::string& text, size_t pieceMax, const char* keyword) {
  MemoryFile file(text);
  std::vector<char> buffer(pieceMax + 1);
  for (int piece = 0; fgets(buffer.data(), static_cast<int>(buffer.size()), file.get()); ++piece) {
    if (strstr(buffer.data(), keyword)) return piece;
  }
  return -1;
}

TEST(LineReader, KeywordSearchSeesWhatFgetsSees) {
  std::mt19937 random(5);
  const char* pieces[] = {
      "NORMALS", "NORM", "ALS", "\n", "x", "          ", std::string(1, '\0').c_str()};
  for (int round = 0; round < 2000; ++round) {
    std::string text;
    for (int n = random() % 40; n > 0; --n) {
      int kind = random() % 7;
      text += kind == 6 ? std::string(1, '\0') : std::string(pieces[kind]);
      if (random() % 5 == 0) text += std::string(random() % 60, 'y');
    }
    size_t pieceMax = round % 2 ? 39 : kLinePieceMax;
    LineReader lines(text, pieceMax);
    LineView piece;
    int found = -1;
    if (lines.next(&piece) && skipToKeyword(lines, &piece, "NORMALS")) {
      // The piece number is where the piece starts, counted again with fgets.
      found = naiveKeywordPiece(text, pieceMax, "NORMALS");
      ASSERT_GE(found, 0) << text;
      // The reader must also stand just after that piece.
      MemoryFile again(text);
      std::vector<char> buffer(pieceMax + 1);
      for (int i = 0; i <= found; ++i)
        fgets(buffer.data(), static_cast<int>(buffer.size()), again.get());
      ASSERT_EQ(lines.rest(), again.rest()) << text;
    } else {
      ASSERT_EQ(naiveKeywordPiece(text, pieceMax, "NORMALS"), -1) << text;
    }
  }
}

}  // namespace

}  // namespace verdask
