// Runs the built tool on small inputs and compares every byte it writes.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <array>
#include <string>
#include <tuple>
#include <vector>

#include "test_util.h"

namespace verdask {

namespace {

using Xyz = std::array<double, 3>;

std::string number(double v) {
  char text[64];
  snprintf(text, sizeof text, "%.17g", v);
  return text;
}

std::string xyzLine(const Xyz& p, const char* separator) {
  return number(p[0]) + separator + number(p[1]) + separator + number(p[2]);
}

// A small bone: cortical vertex j at x = 100 (j - 1) with the normal +z, its
// trabecular partner straight below it at the given distance, mesh node j
// just above it (and (j - 1)^2 aside, so that the triangle has an area), and
// far-away trabecular filler up to `trabecularCount`.
struct Bone {
  std::vector<double> distances = {25.0, 3.14159, 1.3};
  std::vector<std::string> triangles = {"*tri3(1,1,1,2,3)"};
  int trabecularCount = 400;

  std::string mesh() const {
    std::string text = "BEGIN DATA\nBEGIN NODES\n";
    for (size_t j = 0; j < distances.size(); ++j) {
      text += "*node(" + std::to_string(j + 1) + "," + xyzLine({100.0 * j, 1.0 * j * j, 0.5}, ",") +
              ",0,0,0)\n";
    }
    text += "END NODES\n";
    for (const std::string& t : triangles) text += t + "\n";
    return text + "END DATA\n";
  }
  std::string cortical() const {
    std::string text = "Vertices " + std::to_string(distances.size()) + "\n";
    for (size_t j = 0; j < distances.size(); ++j) text += xyzLine({100.0 * j, 0, 0}, " ") + "\n";
    return text;
  }
  std::string normals() const {
    std::string text =
        "# vtk DataFile Version 3.0\nbone\nASCII\nPOINT_DATA\nNORMALS Normals float\n";
    for (size_t j = 0; j < distances.size(); ++j) text += "0 0 1 ";
    return text + "\n";
  }
  std::string trabecular() const {
    std::string text = "Vertices " + std::to_string(trabecularCount) + "\n";
    for (int i = 0; i < trabecularCount; ++i) {
      Xyz p = i < static_cast<int>(distances.size()) ? Xyz{100.0 * i, 0, -distances[i]}
                                                     : Xyz{5000.0 + i, 5000, 5000};
      text += xyzLine(p, " ") + "\n";
    }
    return text;
  }
  void writeTo(const ScratchDir& dir) const {
    dir.write("mesh.hmascii", mesh());
    dir.write("cort.surf", cortical());
    dir.write("norm.vtk", normals());
    dir.write("trab.surf", trabecular());
  }
};

const std::vector<std::string> kInputs = {"mesh.hmascii", "cort.surf", "norm.vtk", "trab.surf"};

std::vector<std::string> withInputs(const std::vector<std::string>& options) {
  std::vector<std::string> args = kInputs;
  args.insert(args.end(), options.begin(), options.end());
  return args;
}

const char kUsage[] =
    "Usage: Verdask [mesh input file (.hmascii)] [cortical input file (.surf)] [cortical normals "
    "file (.vtk)] [trabecular input file (.surf)] [OPTIONS]\n"
    "\nOPTIONS:\n"
    "  -ans <outfile (.log)>    = output file name for thickness & angle values; default "
    "'ans.log'\n"
    "  -adj <adjThick (double)> = constant to add to all thickness values (before determining "
    "min/max); default '0.0'\n"
    "  -max <maxThick (double)> = maximum thickness value allowed; default '5.0'\n"
    "  -min <minThick (double)> = minimum thickness value allowed; default '0.0'\n"
    "  -num <shellNum (int)>    = start numbering shells with this number; default '1'\n"
    "  -o <outfile (.k)>        = trugrd output file name; default 'out.k'\n"
    "  -table <outfile (.log)>  = output file name for all calculation values; default "
    "'table.log'\n"
    "  -val <shellVal (int)>    = material value to use for shells; defalut '1'\n";

std::string settings(const char* adj = "0.000000", const char* max = "20.000000",
                     const char* min = "0.000000", int num = 1, int val = 1) {
  return std::string("thickness addition : ") + adj + "\nmaximum thickness : " + max +
         "\nminimum thickness : " + min + "\nstart shells with : " + std::to_string(num) +
         "\nassinging shell value : " + std::to_string(val) +
         "\nusing mesh file       : mesh.hmascii\nusing cortical file   : cort.surf\n"
         "using normals file    : norm.vtk\nusing trabecular file : trab.surf\n\n";
}

const char kDefaultOutputs[] =
    "writing file : ans.log\nwriting file : out.k\nwriting file : table.log\n";

std::string stagesUpTo(int stage, int meshCount = 3, int corticalCount = 3,
                       int trabecularCount = 400) {
  const std::string lines[] = {
      "Used " + std::to_string(meshCount) + " vertices in mesh surface .hmascii file\n",
      "Found " + std::to_string(corticalCount) + " vertices in cort.surf file\n",
      "Found " + std::to_string(trabecularCount) + " vertices in trab.surf file\n",
      "Found " + std::to_string(corticalCount) + " normals in norm.vtk file\n",
      "Finished calculating values\n"};
  std::string text;
  for (int i = 0; i < stage; ++i) text += lines[i];
  return text;
}

const char kTableHeader[] = "MeshNode\tCorticalNode\tX\t\tY\t\tZ\t\tThickness\tAngle\n";
const char kAnswerHeader[] = "MeshVertex\tThickness\tAngle\n";
const char kDeckHeader[] = "*ELEMENT_SHELL_THICKNESS\n$\n$ ELEMENT CARDS FOR SHELL ELEMENTS\n$\n";

TEST(EndToEnd, FullRunWritesExactLogsAndDeck) {
  ScratchDir dir;
  Bone().writeTo(dir);
  RunResult r = runTool(kInputs, dir.path());
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, "\n" + std::string(kDefaultOutputs) + settings() + stagesUpTo(5) +
                       "Found 1 triangles in .hmascii file\n"
                       "Finished parsing triangles in .ascii file\n");
  EXPECT_EQ(dir.read("table.log"),
            std::string(kTableHeader) +
                "       1\t       1\t\t0.000e+000\t0.000e+000\t0.000e+000\t2.000e+001\t0.00\n"
                "       2\t       2\t\t1.000e+002\t0.000e+000\t0.000e+000\t3.142e+000\t0.00\n"
                "       3\t       3\t\t2.000e+002\t0.000e+000\t0.000e+000\t1.300e+000\t0.00\n");
  EXPECT_EQ(dir.read("ans.log"), std::string(kAnswerHeader) +
                                     "1\t\t2.000e+001\t0.00\n"
                                     "2\t\t3.142e+000\t0.00\n"
                                     "3\t\t1.300e+000\t0.00\n");
  EXPECT_EQ(dir.read("out.k"),
            std::string(kDeckHeader) +
                "       1       1       1       2       3       3\n"
                "     20.00000000      3.14159012      1.29999995      1.29999995\n*END\n");
}

TEST(EndToEnd, UsageErrorsOpenNothing) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{}, ""},
      {{"mesh.hmascii", "cort.surf", "norm.vtk"}, ""},
      {withInputs({"-max", "abc"}), "entered invalid number for maximum thickness\n"},
      {withInputs({"-adj", "nan"}), "entered invalid number for thickness adjustment\n"},
      {withInputs({"-min", "inf"}), "entered invalid number for minimum thickness\n"},
      {withInputs({"-max", "1e999"}), "entered invalid number for maximum thickness\n"},
      {withInputs({"-num", "x1"}), "entered invalid number for initial shell index\n"},
      {withInputs({"-val", "12345678901234567890"}),
       "entered invalid number for new shell value\n"},
      {withInputs({"-val", "123456789"}), "entered invalid number for new shell value\n"},
      {withInputs({"-num", "99999999999"}), "entered invalid number for initial shell index\n"},
      {withInputs({"-threads", "0"}), "entered invalid number of threads\n"},
      {withInputs({"-input-limit", "0"}), "entered invalid number for input limit\n"},
      {withInputs({"-adj", "0.00000000000000000001"}),
       "entered invalid number for thickness adjustment\n"},
      {withInputs({"-min", "0,5"}), "entered invalid number for minimum thickness\n"},
      {withInputs({"-adj", "0.1.2"}), "entered invalid number for thickness adjustment\n"},
      {withInputs({"-num", "1.5"}), "entered invalid number for initial shell index\n"},
      {withInputs({"-val", "2x"}), "entered invalid number for new shell value\n"},
      {withInputs({"-threads", "2 3"}), "entered invalid number of threads\n"},
      {withInputs({"-min"}), "entered invalid number for minimum thickness\n"},
      {withInputs({"-num"}), "entered invalid number for initial shell index\n"},
      {withInputs({"-table"}), "missing file name after -table\n"},
      {withInputs({"-o"}), "missing file name after -o\n"},
      {withInputs({"-measure", "along"}),
       "entered invalid measure: vertex, surface, normal, symmetric or ct\n"},
      {withInputs({"-elset", "A,B"}), "entered invalid name for element set\n"},
      {withInputs({"-part-material", "HEAD=BONE,SHAFT"}),
       "entered invalid part materials: PART=MATERIAL[,PART=MATERIAL...]\n"},
      {withInputs({"-part-mid", "HEAD=0"}),
       "entered invalid part material ids: PART=ID[,PART=ID...]\n"},
      {withInputs({"-smooth", "0"}), "entered invalid width for smoothing\n"},
      {withInputs({"-sections", "1001"}), "entered invalid number of sections\n"},
      {{"mesh.hmascii", "cort.stl", "norm.ply", "trab.surf"},
       "Unknown file type of norm.ply: the normals file may be .vtk, or - for the cortical "
       "file's own or computed normals\n"},
      {{"mesh.txt", "cort.surf", "norm.vtk", "trab.surf"},
       "Unknown file type of mesh.txt: the mesh may be .hmascii, .inp, .k, .key, .msh, .stl, "
       ".ply, .obj, .off, .vtk, .vtp\n"},
  };
  for (const auto& [args, message] : cases) {
    SCOPED_TRACE(args.empty() ? "no arguments" : args.back());
    ScratchDir dir;
    Bone().writeTo(dir);
    RunResult r = runTool(args, dir.path());
    EXPECT_EQ(r.exitCode, 255);
    EXPECT_EQ(r.out, "\n" + message + kUsage);
    for (const char* output : {"ans.log", "out.k", "table.log"}) EXPECT_FALSE(dir.exists(output));
  }
}

// A mesh with its own numbers keeps them in the logs and the deck, unless
// -num and -val are given; normals "-" come from the cortical triangles.
TEST(EndToEnd, OwnNumberedMeshKeepsItsNumbersInTheLogsAndDeck) {
  ScratchDir dir;
  Bone bone;
  bone.writeTo(dir);
  dir.write("mesh.k",
            "*KEYWORD\n*NODE\n101,0,0,0.5\n205,100,1,0.5\n7,200,4,0.5\n*ELEMENT_SHELL\n"
            "55,4,101,205,7,7\n*ELEMENT_SOLID\n56,4,101,205,7,7,7,7,7,7\n*END\n");
  dir.write("cort.obj", "v 0 0 0\nv 100 0 0\nv 200 0 0\nv 100 -50 0\nf 1 2 4\nf 2 3 4\n");
  const std::string rows =
      "101\t\t2.000e+001\t0.00\n205\t\t3.142e+000\t0.00\n7\t\t1.300e+000\t0.00\n";
  const std::string thickness =
      "     20.00000000      3.14159012      1.29999995      1.29999995\n";
  const std::vector<std::tuple<std::vector<std::string>, std::string, std::string>> cases = {
      {{"mesh.k", "cort.surf", "norm.vtk", "trab.surf"},
       "Found 3 normals in norm.vtk file\n",
       "      55       4     101     205       7       7\n"},
      {{"mesh.k", "cort.obj", "-", "trab.surf", "-num", "9", "-val", "2"},
       "Computed 4 normals from the triangles of cort.obj\n",
       "       9       2     101     205       7       7\n"},
  };
  for (const auto& [args, normalsLine, card] : cases) {
    RunResult r = runTool(args, dir.path());
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.out.find("Used 3 vertices in mesh surface mesh.k file\n"), std::string::npos);
    EXPECT_NE(r.out.find(normalsLine + "Finished calculating values\nFound 1 triangles in mesh.k "
                                       "file\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.err.find("verdask: mesh.k: left out of the deck, not being shells: 1 "
                         "ELEMENT_SOLID elements\n"),
              std::string::npos);
    EXPECT_EQ(dir.read("ans.log"), kAnswerHeader + rows);
    EXPECT_EQ(dir.read("out.k"), kDeckHeader + card + thickness + "*END\n");
  }
}

// The complete decks keep the mesh's parts, with the materials mapped to them;
// a mapping to a part the mesh has not fails before the pass.
TEST(EndToEnd, CompleteDecksKeepTheMeshsParts) {
  ScratchDir dir;
  Bone().writeTo(dir);
  dir.write("mesh.k",
            "*NODE\n101,0,0,0.5\n205,100,1,0.5\n7,200,4,0.5\n*ELEMENT_SHELL\n"
            "55,4,101,205,7,7\n56,5,101,7,205,205\n");
  std::vector<std::string> args = {"mesh.k", "cort.surf", "norm.vtk",  "trab.surf", "-inp", "d.inp",
                                   "-deck",  "d.k",       "-part-mid", "4=7",       "-mid", "9"};
  RunResult r = runTool(args, dir.path());
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_NE(dir.read("d.inp").find("*ELEMENT, TYPE=S3, ELSET=PART_4\n55, "), std::string::npos);
  EXPECT_NE(dir.read("d.inp").find("*SHELL SECTION, ELSET=PART_4, MATERIAL=CORTEX,"),
            std::string::npos);
  EXPECT_NE(dir.read("d.k").find("PART_4\n$#     pid     secid       mid\n         4         1"
                                 "         7\n"),
            std::string::npos);
  EXPECT_NE(dir.read("d.k").find("PART_5\n$#     pid     secid       mid\n         5         2"
                                 "         9\n"),
            std::string::npos);
  args.insert(args.end(), {"-part-material", "NECK=BONE"});
  r = runTool(args, dir.path());
  EXPECT_EQ(r.exitCode, 249);
  const std::string tail =
      "Found 3 normals in norm.vtk file\n-part-material names the part NECK, which the mesh does "
      "not have: its parts are PART_4 (4), PART_5 (5)\n";
  EXPECT_EQ(r.out.substr(r.out.size() - tail.size()), tail);
}

TEST(EndToEnd, HelpAndVersionExitZero) {
  ScratchDir dir;
  for (const char* option : {"--help", "-help", "-h"}) {
    RunResult help = runTool({option}, dir.path());
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_EQ(help.out.substr(0, 150), std::string(kUsage).substr(0, 150));
    EXPECT_NE(help.out.find("maximum thickness value allowed; default '20.0'\n"),
              std::string::npos);
    EXPECT_NE(help.out.find("for shells; default '1'\n"), std::string::npos);
    EXPECT_NE(help.out.find("  -strict "), std::string::npos);
  }
  RunResult version = runTool({"--version"}, dir.path());
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.out, "verdask " VERDASK_VERSION "\n");
}

TEST(EndToEnd, OptionsSetTheSettingsLines) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"-max", "3.5", "-max", "4"}, settings("0.000000", "4.000000")},
      {{"-foo", "-adj", " 2.5 ", "-min", "-0"}, settings("2.500000", "20.000000", "-0.000000")},
      {{"-num", "-9999999", "-val", "-9999999", "-adj", "-1"},
       settings("-1.000000", "20.000000", "0.000000", -9999999, -9999999)},
  };
  for (const auto& [options, expected] : cases) {
    ScratchDir dir;
    Bone().writeTo(dir);
    RunResult r = runTool(withInputs(options), dir.path());
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out.substr(0, r.out.find("Used")), "\n" + std::string(kDefaultOutputs) + expected);
  }
}

// An unknown argument is named, with the option it likely misspells; under
// -strict it fails the run before any output is opened.
TEST(EndToEnd, UnknownArgumentsAreNamedAndFailUnderStrict) {
  const std::vector<std::tuple<std::vector<std::string>, int, std::string>> cases = {
      {{"-mesure", "normal"},
       0,
       "verdask: ignoring unknown argument '-mesure': did you mean -measure?\n"
       "verdask: ignoring unknown argument 'normal'\n"},
      {{"-mi", "1"},
       0,
       "verdask: ignoring unknown argument '-mi': did you mean -min?\n"
       "verdask: ignoring unknown argument '1'\n"},
      {{"--json", "r.json"},
       0,
       "verdask: ignoring unknown argument '--json': did you mean -json?\n"
       "verdask: ignoring unknown argument 'r.json'\n"},
      {{"-mx", "3", "-sumary", "-strict"},
       248,
       "verdask: ignoring unknown argument '-mx': did you mean -max?\n"
       "verdask: ignoring unknown argument '3'\n"
       "verdask: ignoring unknown argument '-sumary': did you mean -summary?\n"},
  };
  for (const auto& [options, code, err] : cases) {
    ScratchDir dir;
    Bone().writeTo(dir);
    RunResult r = runTool(withInputs(options), dir.path());
    EXPECT_EQ(r.exitCode, code);
    EXPECT_EQ(r.err.substr(0, err.size()), err);
    if (code == 0) continue;
    EXPECT_EQ(r.out, "\nFailure: 3 unknown argument(s) under -strict\n");
    EXPECT_FALSE(dir.exists("out.k"));
  }
}

TEST(EndToEnd, FileOptionsOpenAtOnceAndLastStreamIsWritten) {
  ScratchDir dir;
  Bone().writeTo(dir);
  RunResult r = runTool(withInputs({"-o", "a.k", "-o", "b.k", "-ans", "my.log", "-ans", "my.log"}),
                        dir.path());
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out.substr(0, r.out.find("thickness")),
            "\nwriting file : a.k\nwriting file : b.k\nwriting file : my.log\n"
            "writing file : my.log\nwriting file : table.log\n");
  EXPECT_EQ(dir.read("my.log").substr(0, 11), "MeshVertex\t");
  EXPECT_EQ(dir.read("a.k"), "");
  EXPECT_EQ(dir.read("b.k").substr(0, 24), "*ELEMENT_SHELL_THICKNESS");
  EXPECT_FALSE(dir.exists("ans.log"));
  EXPECT_FALSE(dir.exists("out.k"));
  // An output named through a link is written where the link points; the link stays.
  ASSERT_EQ(symlink("b.k", dir.file("link.k").c_str()), 0);
  ASSERT_EQ(runTool(withInputs({"-o", "link.k"}), dir.path()).exitCode, 0);
  struct stat link;
  EXPECT_TRUE(lstat(dir.file("link.k").c_str(), &link) == 0 && S_ISLNK(link.st_mode));
  EXPECT_EQ(dir.read("b.k").substr(0, 24), "*ELEMENT_SHELL_THICKNESS");
}

TEST(EndToEnd, RefusesToOverwriteAnInputOrAnotherOutput) {
  const std::vector<std::vector<std::string>> cases = {
      {"-o", "mesh.hmascii"},  {"-ans", "./sub/../norm.vtk"},
      {"-table", "link.surf"}, {"-ans", "x.log", "-table", "x.log"},
      {"-table", "ans.log"},
  };
  for (const std::vector<std::string>& options : cases) {
    SCOPED_TRACE(options[1]);
    ScratchDir dir;
    Bone().writeTo(dir);
    mkdir(dir.file("sub").c_str(), 0755);
    ASSERT_EQ(symlink("cort.surf", dir.file("link.surf").c_str()), 0);
    RunResult r = runTool(withInputs(options), dir.path());
    EXPECT_EQ(r.exitCode, 243);
    const std::string& clash = options.size() == 2 ? options[1] : options[3];
    std::string name = options[0] == "-table" && clash == "ans.log" ? "ans.log" : clash;
    EXPECT_NE(r.out.find("Refusing to write " + name +
                         ": it is an input or another output of this run\n"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(dir.read("mesh.hmascii"), Bone().mesh());
    EXPECT_EQ(dir.read("norm.vtk"), Bone().normals());
    EXPECT_EQ(dir.read("cort.surf"), Bone().cortical());
  }
}

// A pipe, device or compressed input is read whole, so one without end must
// be stopped: by its first block, or by the input limit.
TEST(EndToEnd, InputsThatCannotBeReadEndWithOpenFailure) {
  ScratchDir dir;
  Bone().writeTo(dir);
  mkdir(dir.file("folder").c_str(), 0755);
  ASSERT_EQ(mkfifo(dir.file("pipe").c_str(), 0644), 0);
  ASSERT_EQ(runProgram("/bin/sh",
                       {"-c",
                        "gzip -c trab.surf | head -c 300 >cut.surf.gz && head -c 4M /dev/zero | "
                        "gzip -c >zeros.stl.gz && printf 'Vertices 3\\n\\0' | gzip -c >nul.surf.gz "
                        "&& yes 'solid s' | head -c 2M | gzip -c >big.stl.gz"},
                       dir.path())
                .exitCode,
            0);
  const std::tuple<const char*, const char*, std::vector<std::string>> cases[] = {
      {"missing.surf", "", {}},
      {"folder", "", {}},
      {"cut.surf.gz", ": its compressed data is broken (unexpected end of file)", {}},
      {"pipe", ": it is empty", {}},
      {"/dev/zero", ": it begins with nothing but zero bytes, as no input file does", {}},
      {"zeros.stl.gz", ": it begins with nothing but zero bytes, as no input file does", {}},
      {"nul.surf.gz", ": byte 12 is a NUL, which a file of this text format does not hold", {}},
      {"big.stl.gz",
       ": it holds more than the input limit of 1 MiB (-input-limit raises it)",
       {"-input-limit", "1"}},
  };
  // Each is recorded, though the run ends before its options are read.
  for (const auto& [name, reason, options] : cases) {
    SCOPED_TRACE(name);
    std::vector<std::string> args = {"mesh.hmascii", name,    "norm.vtk",
                                     "trab.surf",    "-json", "r.json"};
    args.insert(args.end(), options.begin(), options.end());
    RunResult r = runTool(args, dir.path());
    EXPECT_EQ(r.exitCode, 243);
    EXPECT_EQ(r.out, std::string("\nFailure opening file ") + name + reason + "\n");
    EXPECT_NE(dir.read("r.json").find(std::string("\"failure\": \"Failure opening file ") + name +
                                      reason + "\""),
              std::string::npos);
  }
  RunResult r = runTool(withInputs({"-o", "folder"}), dir.path());
  EXPECT_EQ(r.exitCode, 243);
  EXPECT_EQ(r.out, "\nFailure opening file folder\n");
  // A record that would replace an input is not written.
  r = runTool({"mesh.hmascii", "missing.surf", "norm.vtk", "trab.surf", "-json", "trab.surf"},
              dir.path());
  EXPECT_EQ(r.exitCode, 243);
  EXPECT_EQ(dir.read("trab.surf"), Bone().trabecular());
}

// Compressed inputs and pipes read as their plain files do, within the input limit.
TEST(EndToEnd, CompressedAndPipedInputsReadLikeTheirFiles) {
  ScratchDir dir;
  Bone().writeTo(dir);
  ASSERT_EQ(runTool(kInputs, dir.path()).exitCode, 0);
  std::string answers = dir.read("ans.log");
  std::string tool = VERDASK_BINARY;
  const std::string commands[] = {
      "gzip -k mesh.hmascii cort.surf norm.vtk trab.surf && mv trab.surf.gz trab.surf.GZ && " +
          tool + " mesh.hmascii.gz cort.surf.gz norm.vtk.gz trab.surf.GZ",
      tool + " mesh.hmascii <(cat cort.surf) <(gzip -c norm.vtk) trab.surf -input-limit 1",
  };
  for (const std::string& command : commands) {
    SCOPED_TRACE(command);
    dir.write("ans.log", "");
    ASSERT_EQ(runProgram("/bin/bash", {"-c", command}, dir.path()).exitCode, 0);
    EXPECT_EQ(dir.read("ans.log"), answers);
  }
}

struct StageFailure {
  const char* name;
  int file;  // index into kInputs
  std::string content;
  int exitCode;
  std::string tail;  // what follows the stage lines that succeeded
  int stagesBefore;
};

TEST(EndToEnd, StageFailuresEndWithTheirExitCodes) {
  const std::vector<StageFailure> cases = {
      {"empty mesh", 0, "", 255,
       "Failed to read first line of .hmascii file\nFailure parsing vertices in mesh.hmascii "
       "file\n",
       0},
      {"cortical count 0", 1, "Vertices 0\n", 254,
       "Invalid number of vertices found in .surf file\nFailure parsing vertices in cort.surf "
       "file\n",
       1},
      {"trabecular negative count", 3, "Vertices -3\n", 253,
       "Invalid number of vertices found in .surf file\nFailure parsing vertices in trab.surf "
       "file\n",
       2},
      {"normals short", 2, "NORMALS\n0 0 1\n0 0 1\n", 252,
       "Reached end of .vtk file before finding all normals: 3/3\n"
       "Failure parsing normals in norm.vtk file\n",
       3},
      {"mesh corner far beyond the node block", 0,
       "*tri3(1,1,1,2,2147483647)\nBEGIN NODES\n*node(1,0,0,0)\n", 255,
       "Reached end of .hmascii file before finding all vertices\n"
       "Failure parsing vertices in mesh.hmascii file\n",
       0},
      {"third triangle unreadable", 0,
       "*tri3(1,1,1,2,3)\n" +
           Bone{{1, 2, 3}, {"*tri3(1,1,1,2,3)", "*tri3(2,1,1,2,3)", "*tri3(3,1,1,2)"}}.mesh(),
       250,
       "Couldn't read value of triangle #3 in .surf file\n"
       "Failure parsing triangles in .ascii file\n",
       5},
  };
  for (const StageFailure& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchDir dir;
    Bone().writeTo(dir);
    dir.write(kInputs[c.file], c.content);
    RunResult r = runTool(kInputs, dir.path());
    EXPECT_EQ(r.exitCode, c.exitCode);
    EXPECT_EQ(r.out, "\n" + std::string(kDefaultOutputs) + settings() + stagesUpTo(c.stagesBefore) +
                         c.tail);
  }
}

TEST(EndToEnd, SmallSurfacesAreMeasuredLikeAnyOther) {
  struct Case {
    Bone bone;
    std::string firstRow, err;
  };
  const std::vector<Case> cases = {
      {{{25.0, 3.14159, 1.3}, {"*tri3(1,1,1,2,3)"}, 399}, "1\t\t2.000e+001\t0.00\n", ""},
      {{{2.5}, {"*tri3(1,1,1,1,1)"}, 1},
       "1\t\t2.500e+000\t0.00\n",
       "verdask: warning: element 1 cannot be oriented (no area, or cortical normals of zero "
       "length): written as given\n"},
  };
  for (const auto& [bone, firstRow, err] : cases) {
    SCOPED_TRACE(bone.trabecularCount);
    ScratchDir dir;
    bone.writeTo(dir);
    RunResult r = runTool(kInputs, dir.path());
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, err);
    EXPECT_EQ(dir.read("ans.log").substr(0, sizeof kAnswerHeader - 1 + firstRow.size()),
              kAnswerHeader + firstRow);
  }
}

TEST(EndToEnd, AdjustmentAndClampFollowTheOptions) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"-adj", "-1", "-min", "0.5"},
       "1\t\t2.000e+001\t0.00\n2\t\t2.142e+000\t0.00\n"
       "3\t\t5.000e-001\t0.00\n"},
  };
  for (const auto& [options, answers] : cases) {
    ScratchDir dir;
    Bone bone;
    bone.distances = {25.0, 3.14159, 1.2};
    bone.writeTo(dir);
    RunResult r = runTool(withInputs(options), dir.path());
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(dir.read("ans.log"), kAnswerHeader + answers);
  }
}

TEST(EndToEnd, MeshVerticesTakeTheirNearestCorticalVertex) {
  ScratchDir dir;
  Bone bone;
  bone.writeTo(dir);
  // Node 1 sits on cortical vertex 2, nodes 2 and 3 share cortical vertex 3.
  dir.write("mesh.hmascii",
            "BEGIN NODES\n*node(1,100,0,0)\n*node(2,199,1,1)\n"
            "*node(3,201,-1,2)\n*tri3(1,1,1,2,3)\n");
  RunResult r = runTool(kInputs, dir.path());
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(dir.read("table.log"),
            std::string(kTableHeader) +
                "       1\t       2\t\t1.000e+002\t0.000e+000\t0.000e+000\t3.142e+000\t0.00\n"
                "       2\t       3\t\t2.000e+002\t0.000e+000\t0.000e+000\t1.300e+000\t0.00\n"
                "       3\t       3\t\t2.000e+002\t0.000e+000\t0.000e+000\t1.300e+000\t0.00\n");
}

TEST(EndToEnd, CrlfInputsReadLikeTheirLfTwins) {
  Bone bone;
  ScratchDir lf, crlf;
  bone.writeTo(lf);
  auto toCrlf = [](std::string text) {
    std::string out;
    for (char c : text) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return out;
  };
  crlf.write("mesh.hmascii", toCrlf(bone.mesh()));
  crlf.write("cort.surf", toCrlf(bone.cortical()));
  crlf.write("norm.vtk", toCrlf(bone.normals()));
  crlf.write("trab.surf", toCrlf(bone.trabecular()));
  RunResult a = runTool(kInputs, lf.path()), b = runTool(kInputs, crlf.path());
  EXPECT_EQ(a.exitCode, 0);
  EXPECT_EQ(b.exitCode, 0);
  EXPECT_EQ(a.out, b.out);
  for (const char* output : {"table.log", "ans.log", "out.k"}) {
    EXPECT_EQ(lf.read(output), crlf.read(output)) << output;
  }
}

TEST(EndToEnd, WriteFailuresAreNotSuccess) {
  const std::vector<std::pair<std::vector<std::string>, std::pair<int, std::string>>> cases = {
      {{"-table", "/dev/full"},
       {251, "Failed to write the table or answer log\nFailure calculating values\n"}},
      {{"-ans", "/dev/full"},
       {251, "Failed to write the table or answer log\nFailure calculating values\n"}},
      {{"-o", "/dev/full"},
       {250,
        "Finished calculating values\nFailed to write the keyword file\n"
        "Failure parsing triangles in .ascii file\n"}},
      {{"-json", "/dev/full"},
       {249,
        "Finished calculating values\nFound 1 triangles in .hmascii file\n"
        "Finished parsing triangles in .ascii file\nFailure writing the run record\n"}},
  };
  for (const auto& [options, outcome] : cases) {
    ScratchDir dir;
    Bone().writeTo(dir);
    RunResult r = runTool(withInputs(options), dir.path());
    EXPECT_EQ(r.exitCode, outcome.first);
    EXPECT_EQ(r.out.substr(r.out.find("Found 3 normals") + 33), outcome.second);
    for (const char* output : {"ans.log", "table.log", "out.k"}) EXPECT_FALSE(dir.exists(output));
  }
}

}  // namespace

namespace {

struct HostileCase {
  const char* name;
  std::vector<std::pair<int, std::string>> files;  // index into kInputs, content
  std::vector<std::string> options;
  int exitCode;
  std::string lastLines;  // the end of stdout
  std::string err = "";
};

std::string garbage(size_t size, unsigned seed) {
  std::string text(size, '\0');
  for (char& c : text) c = static_cast<char>((seed = seed * 1103515245 + 12345) >> 16);
  return text;
}

std::string identicalPoints(int count) {
  std::string text = "Vertices " + std::to_string(count) + "\n";
  for (int i = 0; i < count; ++i) text += "5000 5000 5000\n";
  return text;
}

// No input, however malformed, may crash the tool or leave a deck that looks complete.
TEST(EndToEnd, HostileInputsEndCleanly) {
  const std::string cortFail = "Failure parsing vertices in cort.surf file\n";
  const std::vector<HostileCase> cases = {
      {"all files empty",
       {{0, ""}, {1, ""}, {2, ""}, {3, ""}},
       {},
       255,
       "Failed to read first line of .hmascii file\nFailure parsing vertices in mesh.hmascii "
       "file\n"},
      {"binary garbage mesh",
       {{0, garbage(5000, 1)}},
       {},
       255,
       "Reached end of .hmascii file before finding '*tri3()'\n"
       "Failure parsing vertices in mesh.hmascii file\n"},
      {"binary garbage normals",
       {{2, garbage(5000, 2)}},
       {},
       252,
       "Reached end of .vtk file before finding 'NORMALS'\n"
       "Failure parsing normals in norm.vtk file\n"},
      {"NUL inside a vertex line",
       {{1, std::string("Vertices 3\n0 0 0\n100 0\0 0\n200 0 0\n", 31)}},
       {},
       254,
       "Couldn't read value of vertex #2 in .surf file\n" + cortFail},
      {"line of 100,000 characters",
       {{1, "Vertices 3\n0 0 0" + std::string(100000, ' ') + "\n"}},
       {},
       254,
       "Couldn't read value of vertex #2 in .surf file\n" + cortFail},
      {"count far larger than the file",
       {{1, "Vertices 1000000000\n0 0 0\n"}},
       {},
       254,
       "Reached end of .surf file before finding all vertices\n" + cortFail},
      {"count 2^31 - 1",
       {{3, "Vertices 2147483647\n0 0 0\n"}},
       {},
       253,
       "Reached end of .surf file before finding all vertices\n"
       "Failure parsing vertices in trab.surf file\n"},
      {"count past 2^31",
       {{1, "Vertices 2147483648\n0 0 0\n"}},
       {},
       254,
       "Invalid number of vertices found in .surf file\n" + cortFail},
      {"million identical trabecular points",
       {{3, identicalPoints(1000000)}},
       {},
       0,
       "Found 1 triangles in .hmascii file\nFinished parsing triangles in .ascii file\n",
       "verdask: warning: 3 of 3 angles exceed 90 degrees: the cortical and trabecular surfaces "
       "may be swapped, or the normals inverted\n"},
      {"mixed CRLF and LF",
       {{1, "Vertices 3\r\n0 0 0\n100 0 0\r\n200 0 0\n"}},
       {},
       0,
       "Finished parsing triangles in .ascii file\n"},
      {"fewer normals than vertices",
       {{2, "NORMALS\n0 0 1 0 0 1 0 0\n"}},
       {},
       252,
       "Couldn't read value of normal #3 in .vtk file\nFailure parsing normals in norm.vtk file\n"},
      {"huge trabecular coordinate",
       {{3, "Vertices 400\n1e200 0 0\n"}},
       {},
       253,
       "Coordinate not finite or too large in vertex #1 of .surf file\n"
       "Failure parsing vertices in trab.surf file\n"},
      {"not-a-number normal",
       {{2, "NORMALS\nnan nan nan 0 0 1 0 0 1\n"}},
       {},
       252,
       "Value not finite in normal #1 of .vtk file: nan nan nan\n"
       "Failure parsing normals in norm.vtk file\n"},
      {"-surface without triangles",
       {},
       {"-surface"},
       254,
       "No triangles in cort.surf: -surface needs its Patches and Triangles sections\n"
       "Failure parsing vertices in cort.surf file\n"},
      {"option 1e999",
       {},
       {"-min", "1e999"},
       255,
       "defalut '1'\n",
       "verdask: -min '1e999' is not a finite number\n"},
      {"option nan",
       {},
       {"-adj", "nan"},
       255,
       "defalut '1'\n",
       "verdask: -adj 'nan' is not a finite number\n"},
      {"option -0", {}, {"-max", "-0"}, 0, "Finished parsing triangles in .ascii file\n"},
  };
  for (const HostileCase& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchDir dir;
    Bone().writeTo(dir);
    for (const auto& [file, content] : c.files) dir.write(kInputs[file], content);
    RunResult r = runTool(withInputs(c.options), dir.path());
    EXPECT_EQ(r.exitCode, c.exitCode);
    EXPECT_EQ(r.err, c.err);
    ASSERT_GE(r.out.size(), c.lastLines.size());
    EXPECT_EQ(r.out.substr(r.out.size() - c.lastLines.size()), c.lastLines);
    std::string deck = dir.exists("out.k") ? dir.read("out.k") : "";
    if (c.exitCode == 0) {
      EXPECT_EQ(deck.substr(deck.size() - 5), "*END\n");
    } else {
      EXPECT_EQ(deck.find("*END"), std::string::npos);
    }
  }
}

}  // namespace

namespace {

TEST(EndToEnd, ViewNodalTableAndSummaryFollowTheRun) {
  ScratchDir dir;
  Bone().writeTo(dir);
  RunResult r =
      runTool(withInputs({"-vtk", "view.vtk", "-summary", "-nodal", "nodal.inp"}), dir.path());
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(dir.read("nodal.inp"), "*NODAL THICKNESS\n1, 20\n2, 3.14159\n3, 1.3\n");
  EXPECT_EQ(r.out, "\nwriting file : view.vtk\nwriting file : nodal.inp\n" +
                       std::string(kDefaultOutputs) + settings() + stagesUpTo(5) +
                       "Found 1 triangles in .hmascii file\n"
                       "Finished parsing triangles in .ascii file\n"
                       "\nRun summary\n"
                       "mesh vertices       : 3\n"
                       "triangles           : 1\n"
                       "facing inwards      : 0\n"
                       "thickness minimum   : 1.300000\n"
                       "thickness mean      : 8.147197\n"
                       "thickness maximum   : 20.000000\n"
                       "thickness std dev   : 8.414851\n"
                       "raised to minimum   : 0\n"
                       "lowered to maximum  : 1\n"
                       "angles not a number : 0\n"
                       "quality             : measured 2, fell_back 0, lowered_to_maximum 1, "
                       "raised_to_minimum 0, outside_cortex 0\n"
                       "mesh to cortical    : median 1.118034, 95th percentile 4.031129, "
                       "maximum 4.031129\n"
                       "thickness histogram :\n"
                       "      1.300000 -     3.170000 :        2 " +
                       std::string(40, '#') +
                       "\n"
                       "      3.170000 -     5.040000 :        0 \n"
                       "      5.040000 -     6.910000 :        0 \n"
                       "      6.910000 -     8.780000 :        0 \n"
                       "      8.780000 -    10.650000 :        0 \n"
                       "     10.650000 -    12.520000 :        0 \n"
                       "     12.520000 -    14.390000 :        0 \n"
                       "     14.390000 -    16.260000 :        0 \n"
                       "     16.260000 -    18.130000 :        0 \n"
                       "     18.130000 -    20.000000 :        1 " +
                       std::string(20, '#') + "\n");
  EXPECT_EQ(dir.read("view.vtk"),
            "# vtk DataFile Version 3.0\nverdask thickness map\nASCII\nDATASET UNSTRUCTURED_GRID\n"
            "POINTS 3 double\n0 0 0.5\n100 1 0.5\n200 4 0.5\n"
            "CELLS 1 4\n3 0 1 2\nCELL_TYPES 1\n5\n"
            "POINT_DATA 3\nSCALARS thickness float 1\nLOOKUP_TABLE default\n20\n3.14159\n1.3\n"
            "FIELD FieldData 4\n"
            "angle 1 3 double\n0\n0\n0\n"
            "cortical_vertex 1 3 int\n1\n2\n3\n"
            "mesh_to_cortical 1 3 double\n0.5\n1.118033988749895\n4.031128874149275\n"
            "quality 1 3 int\n2\n0\n0\n");
}

// So wide a Gaussian leaves every node the mean of the three distances, before
// the clamp: in the logs and decks, beside the thickness as measured in the view.
TEST(EndToEnd, SmoothingComesBeforeTheClampAndTheLogsAndSectionsBeforeTheDeck) {
  ScratchDir dir;
  Bone().writeTo(dir);
  RunResult r = runTool(
      withInputs({"-smooth", "1000", "-sections", "2", "-inp", "deck.inp", "-vtk", "view.vtk"}),
      dir.path());
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(dir.read("ans.log"), std::string(kAnswerHeader) +
                                     "1\t\t9.814e+000\t0.00\n"
                                     "2\t\t9.814e+000\t0.00\n"
                                     "3\t\t9.814e+000\t0.00\n");
  std::string view = dir.read("view.vtk");
  EXPECT_NE(view.find("FIELD FieldData 5\nraw_thickness 1 3 float\n20\n3.14159\n1.3\nangle"),
            std::string::npos);
  std::string deck = dir.read("deck.inp");
  EXPECT_EQ(deck.substr(deck.find("*ELEMENT")),
            "*ELEMENT, TYPE=S3, ELSET=CORTEX_T1\n1, 1, 2, 3\n"
            "*SHELL SECTION, ELSET=CORTEX_T1, MATERIAL=CORTEX, OFFSET=0.5\n9.813862800598145\n");
}

// A plate 2 under a plate, 8 by 8, its middle vertex and the four cells
// around it missing: the nine nodes over the hole measure to its rim.
TEST(EndToEnd, NodesMeasuredThroughAHoleAreCountedAndFilled) {
  std::string mesh = "BEGIN NODES\n", cortical, trabecular;
  for (int k = 0; k < 81; ++k) {
    std::string xy = std::to_string(k % 9) + " " + std::to_string(k / 9);
    mesh += "*node(" + std::to_string(k + 1) + "," + std::to_string(k % 9) + "," +
            std::to_string(k / 9) + ",0)\n";
    cortical += "v " + xy + " 0\n";
    trabecular += "v " + xy + (k == 40 ? " 99\n" : " -2\n");  // far off: no longer a vertex
  }
  for (int j = 0; j < 8; ++j) {
    for (int i = 0; i < 8; ++i) {
      int a = i + 9 * j + 1, b = a + 1, c = a + 10, d = a + 9;
      std::string faces = "f " + std::to_string(a) + " " + std::to_string(b) + " " +
                          std::to_string(c) + "\nf " + std::to_string(a) + " " + std::to_string(c) +
                          " " + std::to_string(d) + "\n";
      mesh += "*tri3(1,1," + std::to_string(a) + "," + std::to_string(b) + "," + std::to_string(c) +
              ")\n*tri3(1,1," + std::to_string(a) + "," + std::to_string(c) + "," +
              std::to_string(d) + ")\n";
      cortical += faces;
      if (i < 3 || i > 4 || j < 3 || j > 4) trabecular += faces;
    }
  }
  const std::vector<std::tuple<std::vector<std::string>, std::string, std::string>> cases = {
      {{}, ": -fill replaces their thickness\n", "2.236e+000"},
      {{"-fill"},
       "\nverdask: filled the thickness of 9 nodes from their neighbours\n",
       "2.000e+000"},
  };
  for (const auto& [options, ending, middle] : cases) {
    ScratchDir dir;
    dir.write("mesh.hmascii", mesh);
    dir.write("cort.obj", cortical);
    dir.write("trab.obj", trabecular);
    std::vector<std::string> args = {"mesh.hmascii", "cort.obj", "-", "trab.obj"};
    args.insert(args.end(), options.begin(), options.end());
    RunResult r = runTool(args, dir.path());
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err,
              "verdask: trab.obj is open: 40 edges of one triangle, 8 of them rims of holes under "
              "the cortical surface\nverdask: warning: 9 of 81 nodes measured through a hole of "
              "the trabecular surface (quality at_hole)" +
                  ending);
    EXPECT_NE(dir.read("ans.log").find("\n41\t\t" + middle + "\t26.57\n"), std::string::npos);
  }
}

TEST(EndToEnd, ExtraOutputsAreFileOptionsLikeTheOthers) {
  const std::vector<std::pair<std::vector<std::string>, std::pair<int, std::string>>> cases = {
      {{"-vtk", "mesh.hmascii"},
       {243, "Refusing to write mesh.hmascii: it is an input or another output of this run\n"}},
      {{"-vtk", "view.vtk", "-table", "view.vtk"},
       {243, "Refusing to write view.vtk: it is an input or another output of this run\n"}},
      {{"-vtk"}, {255, std::string("missing file name after -vtk\n") + kUsage}},
      {{"-vtk", "/dev/full"}, {249, "Failure writing the VTK file\n"}},
      {{"-nodal", "view.vtk", "-vtk", "view.vtk"},
       {243, "Refusing to write view.vtk: it is an input or another output of this run\n"}},
      {{"-json"}, {255, std::string("missing file name after -json\n") + kUsage}},
      {{"-json", "/dev/full"}, {249, "Failure writing the run record\n"}},
  };
  for (const auto& [options, outcome] : cases) {
    SCOPED_TRACE(options.back());
    ScratchDir dir;
    Bone().writeTo(dir);
    RunResult r = runTool(withInputs(options), dir.path());
    EXPECT_EQ(r.exitCode, outcome.first);
    ASSERT_GE(r.out.size(), outcome.second.size());
    EXPECT_EQ(r.out.substr(r.out.size() - outcome.second.size()), outcome.second);
    EXPECT_EQ(dir.read("mesh.hmascii"), Bone().mesh());
  }
}

}  // namespace

namespace {

// The deck writer reads on from where the mesh reader left the stream: a
// triangle block before the nodes counts them, and a "tri3" line without the
// star after them starts no block.
TEST(EndToEnd, DeckWriterReadsOnAfterTheNodes) {
  ScratchDir dir;
  Bone().writeTo(dir);
  dir.write("mesh.hmascii",
            "*tri3(1,1,1,2,3)\nBEGIN NODES\n*node(1,0,0,0.5)\n*node(2,100,0,0.5)\n"
            "*node(3,200,0,0.5)\ntri3(1,1,1,2,3)\n*tri3(2,1,1,2,3)\n");
  RunResult r = runTool(kInputs, dir.path());
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(dir.read("out.k"), std::string(kDeckHeader) + "*END\n");
}

// Whatever stage fails, the last good outputs stay as they were and no
// temporary file is left; the record of the failed run says why.
// A cube of half-width `half` as OBJ, wound outwards, its corners' normals
// given as `normalSign` times the outward diagonal (none when 0).
std::string cubeObj(double half, int normalSign = 0) {
  std::string text;
  for (int i = 0; i < 8; ++i) {
    Xyz p = {i & 1 ? half : -half, i & 2 ? half : -half, i & 4 ? half : -half};
    text += "v " + xyzLine(p, " ") + "\n";
    if (normalSign)
      text +=
          "vn " + xyzLine({normalSign * p[0], normalSign * p[1], normalSign * p[2]}, " ") + "\n";
  }
  const int faces[12][3] = {{1, 3, 2}, {2, 3, 4}, {5, 6, 7}, {6, 8, 7}, {1, 2, 5}, {2, 6, 5},
                            {3, 7, 4}, {4, 7, 8}, {1, 5, 3}, {3, 5, 7}, {2, 4, 6}, {4, 8, 6}};
  for (const auto& f : faces) {
    text += "f";
    for (int corner : f)
      text += " " + std::to_string(corner) + (normalSign ? "//" + std::to_string(corner) : "");
    text += "\n";
  }
  return text;
}

// Inputs that plainly do not fit together write nothing and end with their
// own exit status, unless -force writes them with the warning.
TEST(EndToEnd, InputsThatDoNotFitTogetherAreRefusedUnlessForced) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"outer.obj", "inner.obj", "-", "outer.obj"},
       "the trabecular surface lies outside the closed cortical surface inner.obj: the cortical "
       "and trabecular surfaces seem given in the wrong order"},
      {{"metres.obj", "outer.obj", "-", "inner.obj", "-surface"},
       "5% of the mesh vertices lie 9.99 or more from the cortical surface, more than half the "
       "median thickness 2: the mesh and the cortical surface differ in size by a factor of 1000 "
       "(other units?)"},
      {{"outer.obj", "outer.obj", "shuffled.vtk", "inner.obj"},
       "the normals file's point 1 is (10, 10, 10) but cortical vertex 1 is (-10, -10, -10): the "
       "normals belong to another vertex order or another surface"},
      {{"outer.obj", "inward.obj", "-", "inner.obj", "-inp", "shell.inp"},
       "8 of 8 angles exceed 90 degrees: the cortical and trabecular surfaces may be swapped, or "
       "the normals inverted, and -inp and -deck face the elements by them"},
  };
  ScratchDir dir;
  // The cube's corners, with the normals on them, in another order than outer.obj's.
  std::string corners;
  for (const char* corner : {"10 10 10\n", "-10 -10 -10\n"}) {
    for (int i = 0; i < 4; ++i) corners += corner;
  }
  dir.write("shuffled.vtk",
            "# vtk DataFile Version 3.0\ncube\nASCII\nDATASET POLYDATA\nPOINTS 8 float\n" +
                corners + "POINT_DATA 8\nNORMALS n float\n" + corners);
  dir.write("outer.obj", cubeObj(10));
  dir.write("inner.obj", cubeObj(8));
  dir.write("metres.obj", cubeObj(0.01));
  dir.write("inward.obj", cubeObj(10, -1));
  for (auto [args, finding] : cases) {
    SCOPED_TRACE(finding);
    RunResult r = runTool(args, dir.path());
    EXPECT_EQ(r.exitCode, 247);
    EXPECT_EQ(r.out.substr(r.out.rfind("\n", r.out.size() - 2) + 1),
              "Refused: " + finding + " (-force writes the outputs anyway)\n");
    EXPECT_FALSE(dir.exists("out.k"));
    args.push_back("-force");
    r = runTool(args, dir.path());
    EXPECT_EQ(r.exitCode, 0);
    // Forced, the finding stays a warning (of inward normals, without what the decks make of them).
    EXPECT_NE(r.err.find(finding.substr(0, finding.find(", and -inp"))), std::string::npos)
        << r.err;
    ASSERT_TRUE(dir.exists("out.k"));
    remove(dir.file("out.k").c_str());
  }
  // Inward normals without a complete deck are warned of alone.
  EXPECT_EQ(runTool({"outer.obj", "inward.obj", "-", "inner.obj"}, dir.path()).exitCode, 0);
}

TEST(EndToEnd, FailedRunKeepsTheLastGoodOutputs) {
  struct Case {
    const char* input;
    std::string content;
    std::string option;
    int exitCode;
    std::string failure;  // the end of the record's failure text
  };
  const std::vector<Case> cases = {
      {"trab.surf", "Vertices 400\n0 0 -25\n100 0\n", "", 253,
       "Failure parsing vertices in trab.surf file"},
      {"mesh.hmascii",
       "*tri3(1,1,1,2,3)\n" + Bone{{1, 2, 3}, {"*tri3(1,1,1,2,3)", "*tri3(2,1,1,2)"}}.mesh(), "",
       250, "Failure parsing triangles in .ascii file"},
      {"norm.vtk", "NORMALS\n0 0 1\n", "", 252, "Failure parsing normals in norm.vtk file"},
      {"mesh.hmascii",
       "BEGIN NODES\n*node(1,0,0,500)\n*node(2,100,1,500)\n*node(3,200,4,500)\n"
       "*tri3(1,1,1,2,3)\n",
       "", 247, "(mesh moved or misaligned?) (-force writes the outputs anyway)"},
      {"norm.vtk", "NORMALS\n0 0 -1 0 0 -1 0 0 -1\n", "-strict", 248,
       "Failure: 1 warning(s) under -strict"},
  };
  const char* const kOutputs[] = {"ans.log", "table.log", "out.k", "view.vtu", "n.inp"};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.failure);
    ScratchDir dir;
    Bone().writeTo(dir);
    std::vector<std::string> options = {"-vtk", "view.vtu", "-nodal", "n.inp", "-json", "r.json"};
    ASSERT_EQ(runTool(withInputs(options), dir.path()).exitCode, 0);
    std::vector<std::string> good;
    for (const char* output : kOutputs) good.push_back(dir.read(output));
    dir.write(c.input, c.content);
    if (!c.option.empty()) options.push_back(c.option);
    RunResult r = runTool(withInputs(options), dir.path());
    EXPECT_EQ(r.exitCode, c.exitCode);
    for (size_t i = 0; i < good.size(); ++i)
      EXPECT_EQ(dir.read(kOutputs[i]), good[i]) << kOutputs[i];
    std::string record = dir.read("r.json");
    EXPECT_NE(record.find("\"exit_code\": " + std::to_string(c.exitCode)), std::string::npos);
    EXPECT_NE(record.find(c.failure + "\",\n"), std::string::npos) << record;
    // The outputs left in place are the last complete run's, and so is the record it carries.
    EXPECT_NE(record.find("\"last_complete_run\": {\n    \"tool\": \"verdask\""),
              std::string::npos);
    EXPECT_EQ(runProgram("/bin/sh", {"-c", "ls -A | grep -c verdask-"}, dir.path()).out, "0\n");
  }
}

// Stopped by a signal mid-run, the tool leaves no temporary file and no new output.
TEST(EndToEnd, InterruptedRunLeavesNothing) {
  ScratchDir dir;
  // A run of some 0.4 s on one thread: the signal comes long before its end.
  ASSERT_EQ(
      runProgram(MAKE_BONE_BINARY, {dir.path(), "100000", "200000", "3"}, dir.path()).exitCode, 0);
  std::string script =
      std::string(VERDASK_BINARY) +
      " mesh.hmascii cort.surf norm.vtk trab.surf -threads 1 >/dev/null & tool=$!\n"
      "for i in $(seq 1000); do ls -A | grep -q verdask- && break; sleep 0.001; done\n"
      "kill -TERM $tool; wait $tool; echo $?";
  RunResult r = runProgram("/bin/sh", {"-c", script}, dir.path());
  EXPECT_EQ(r.out, "143\n");
  EXPECT_EQ(
      runProgram("/bin/sh", {"-c", "ls -A | grep -c 'verdask-\\|out.k\\|.log'"}, dir.path()).out,
      "0\n");
}

}  // namespace

namespace {

// Every measure, on one thread and on three.
TEST(EndToEnd, GeneratedBoneRunsToTheEndAlikeOnAnyThreads) {
  const char* const kOutputs[] = {"table.log", "ans.log", "out.k"};
  ScratchDir dir;
  ASSERT_EQ(runProgram(MAKE_BONE_BINARY, {dir.path(), "300", "2000", "4"}, dir.path()).exitCode, 0);
  for (std::vector<std::string> options : {std::vector<std::string>{},
                                           {"-surface"},
                                           {"-measure", "normal"},
                                           {"-measure", "symmetric"}}) {
    SCOPED_TRACE(options.empty() ? "vertex to vertex" : options.back());
    options.insert(options.end(), {"-threads", "1"});
    RunResult one = runTool(withInputs(options), dir.path());
    std::vector<std::string> outputs;
    for (const char* output : kOutputs) outputs.push_back(dir.read(output));
    options.back() = "3";
    RunResult three = runTool(withInputs(options), dir.path());
    EXPECT_EQ(three.exitCode, 0);
    EXPECT_EQ(three.out, one.out);
    EXPECT_NE(three.out.find("Found 2001 normals in norm.vtk file\n"), std::string::npos);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(dir.read(kOutputs[i]), outputs[i]) << kOutputs[i];
    const std::string& deck = outputs[2];
    EXPECT_EQ(std::count(deck.begin(), deck.end(), '\n'), 4 + 2 * 572 + 1);
    EXPECT_EQ(deck.substr(deck.size() - 5), "*END\n");
  }
}

}  // namespace

}  // namespace verdask
