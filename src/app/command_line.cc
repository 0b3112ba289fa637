#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <tuple>
#include <vector>

#include "app/ct_run.h"
#include "app/exit_status.h"
#include "app/run.h"
#include "base/output_files.h"
#include "output/class_sections.h"
#include "base/report.h"
#include "input/whole_input.h"
#include "output/shell_cards.h"
#include "output/solver_decks.h"

namespace verdask {

namespace {

struct NumberOption {
  const char* name;
  const char* invalidMessage;
  double RunOptions::*real;  // null for an integer option
  int RunOptions::*integer;
  long long least, most;  // an integer option's range
  bool positive = false;  // a real option's value must be above 0
};

// More threads than this would only cost memory.
constexpr long long kMostThreads = 1024;

// The part number stands in every element card, so it must fit its 8 columns.
const NumberOption kNumberOptions[] = {
    {"-adj", "entered invalid number for thickness adjustment\n", &RunOptions::adjThick, nullptr, 0,
     0},
    {"-max", "entered invalid number for maximum thickness\n", &RunOptions::maxThick, nullptr, 0,
     0},
    {"-min", "entered invalid number for minimum thickness\n", &RunOptions::minThick, nullptr, 0,
     0},
    {"-num", "entered invalid number for initial shell index\n", nullptr, &RunOptions::shellNum,
     INT_MIN, INT_MAX},
    {"-val", "entered invalid number for new shell value\n", nullptr, &RunOptions::shellVal,
     kCardFieldLeast, kCardFieldMost},
    {"-threads", "entered invalid number of threads\n", nullptr, &RunOptions::threads, 1,
     kMostThreads},
    {"-mid", "entered invalid number for material id\n", nullptr, &RunOptions::materialId, 1,
     kCardFieldMost},
    {"-input-limit", "entered invalid number for input limit\n", nullptr, &RunOptions::inputLimit,
     1, INT_MAX},
    {"-ct-sigma", "entered invalid number for the CT blur\n", &RunOptions::ctSigma, nullptr, 0, 0},
    {"-ct-cortex", "entered invalid number for the cortical density\n", &RunOptions::ctCortex,
     nullptr, 0, 0},
    {"-smooth", "entered invalid width for smoothing\n", &RunOptions::smoothWidth, nullptr, 0, 0,
     true},
    {"-sections", "entered invalid number of sections\n", nullptr, &RunOptions::sections, 1,
     kMostSections},
};

// Names written into the complete decks.
struct NameOption {
  const char* name;
  const char* invalidMessage;
  std::string RunOptions::*value;
};

const NameOption kNameOptions[] = {
    {"-elset", "entered invalid name for element set\n", &RunOptions::elset},
    {"-material", "entered invalid name for material\n", &RunOptions::material},
};

// In the order the default names are opened.
struct FileOption {
  const char* name;
  const char* defaultName;         // null: no file unless the option names one
  FileHandle RunOptions::*stream;  // null for an extra output
  int extra;                       // its row in kExtraOutputs
};

const std::vector<FileOption>& fileOptions() {
  static const std::vector<FileOption> options = [] {
    std::vector<FileOption> rows = {{"-ans", "ans.log", &RunOptions::answers, -1},
                                    {"-o", "out.k", &RunOptions::keyword, -1},
                                    {"-table", "table.log", &RunOptions::table, -1},
                                    {"-json", nullptr, &RunOptions::json, -1}};
    for (int k = 0; k < kExtraOutputCount; ++k) {
      rows.push_back({kExtraOutputs[k].option, nullptr, nullptr, k});
    }
    return rows;
  }();
  return options;
}

FileHandle& streamOf(const FileOption& option, RunOptions& options) {
  return option.stream ? options.*option.stream : options.extras[option.extra];
}

struct FlagOption {
  const char* name;
  bool RunOptions::*flag;
};

const FlagOption kFlagOptions[] = {
    {"-summary", &RunOptions::summary},
    {"-strict", &RunOptions::strict},
    {"-force", &RunOptions::force},
    {"-fill", &RunOptions::fill},
};

// Numeric values are copied into a 20-byte buffer: at most 19 characters.
constexpr size_t kNumberValueMax = 19;

// Every file the run has opened, so that no output overwrites an input or
// another output. Outputs are known by folder and name as well, since they come
// into being only when the run succeeds.
class OpenedFiles {
 public:
  void addInput(FILE* stream) {
    struct stat info;
    if (fstat(fileno(stream), &info) == 0 && S_ISREG(info.st_mode)) {
      files_.push_back({info.st_dev, info.st_ino, nullptr});
    }
  }
  void addOutput(const char* name, const FileOption* role) {
    struct stat info;
    if (stat(name, &info) == 0 && S_ISREG(info.st_mode)) {
      files_.push_back({info.st_dev, info.st_ino, role});
    }
    if (folderOf(name, &info)) names_.push_back({info.st_dev, info.st_ino, baseName(name), role});
  }
  /// Whether `name` is an input, or an output opened in another role than `role`.
  bool clashes(const char* name, const FileOption* role) const {
    struct stat info;
    if (stat(name, &info) == 0 && S_ISREG(info.st_mode)) {
      for (const Entry& file : files_) {
        if (file.device == info.st_dev && file.inode == info.st_ino && file.role != role) {
          return true;
        }
      }
    }
    if (!folderOf(name, &info)) return false;
    for (const Named& output : names_) {
      if (output.device == info.st_dev && output.inode == info.st_ino &&
          output.name == baseName(name) && output.role != role) {
        return true;
      }
    }
    return false;
  }

 private:
  static std::string baseName(const char* name) {
    const char* slash = strrchr(name, '/');
    return slash ? slash + 1 : name;
  }
  static bool folderOf(const char* name, struct stat* info) {
    const char* slash = strrchr(name, '/');
    std::string folder = slash ? std::string(name, slash - name + 1) : ".";
    return stat(folder.c_str(), info) == 0;
  }
  struct Entry {
    dev_t device;
    ino_t inode;
    const FileOption* role;  // null for an input
  };
  struct Named {
    dev_t device;  // of the folder
    ino_t inode;
    std::string name;
    const FileOption* role;
  };
  std::vector<Entry> files_;
  std::vector<Named> names_;
};

int openOutput(const char* name, const FileOption& role, OpenedFiles& opened, RunOptions& options) {
  if (opened.clashes(name, &role)) {
    report("Refusing to write %s: it is an input or another output of this run\n", name);
    return kExitOpenFailed;
  }
  FILE* stream = options.outputs.open(name);
  if (!stream) {
    report("Failure opening file %s\n", name);
    return kExitOpenFailed;
  }
  streamOf(role, options).reset(stream, name);
  opened.addOutput(name, &role);
  report("writing file : %s\n", name);
  return kExitSuccess;
}

// Whether nothing but white space follows a number's text.
bool onlySpaceAfter(const char* end) {
  while (isspace(static_cast<unsigned char>(*end))) ++end;
  return *end == '\0';
}

// Reads a numeric option's value, which must be a number through and through
// (2.5mm or 0,5 is no number); empty when it is, else why not.
std::string readNumber(const NumberOption& option, const char* value, RunOptions& options) {
  char copy[kNumberValueMax + 1];
  if (strlen(value) > kNumberValueMax) return "is longer than 19 characters";
  strcpy(copy, value);
  char* end;
  errno = 0;
  if (option.integer) {
    // Read wide, so that a number beyond the range is refused rather than wrapped.
    long long number = strtoll(copy, &end, 10);
    if (end == copy || !onlySpaceAfter(end)) return "is not a whole number";
    if (errno == ERANGE || number < option.least || number > option.most) {
      return "is outside " + std::to_string(option.least) + " to " + std::to_string(option.most);
    }
    options.*option.integer = static_cast<int>(number);
    return "";
  }
  double number = strtod(copy, &end);
  if (end == copy || !onlySpaceAfter(end)) return "is not a decimal number";
  // A not-a-number or infinite bound would turn every thickness into one.
  if (!std::isfinite(number)) return "is not a finite number";
  if (option.positive && !(number > 0)) return "is not above 0";
  options.*option.real = number;
  return "";
}

// -measure NAME, and -surface for -measure surface; false when `argv[i]` is
// neither. An unknown name is a usage error.
bool readMeasure(int argc, char** argv, int& i, RunOptions& options, int* code) {
  *code = kExitSuccess;
  if (strcmp(argv[i], "-surface") == 0) {
    options.measure = measureKindNamed("surface");
    ++i;
    return true;
  }
  if (strcmp(argv[i], "-measure") != 0) return false;
  const MeasureKind* kind = i + 1 < argc ? measureKindNamed(argv[i + 1]) : nullptr;
  if (kind) {
    options.measure = kind;
    i += 2;
    return true;
  }
  report("entered invalid measure: %s\n", measureNamesListed().c_str());
  *code = printUsage();
  return true;
}

// The number of single-character edits that turn `a` into `b`.
size_t editDistance(const std::string& a, const std::string& b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
      diagonal = above;
    }
  }
  return row[b.size()];
}

// The options read apart from the tables: those with a value, then the flag.
const char* const kOtherOptions[] = {"-measure", "-part-material", "-part-mid",
                                     "-ct",      "-ct-frame",      "-surface"};
constexpr int kOtherOptionsWithValue = 5;

// Every option's name, for the near misses of unknown arguments.
std::vector<const char*> optionNames() {
  std::vector<const char*> names(std::begin(kOtherOptions), std::end(kOtherOptions));
  for (const NumberOption& option : kNumberOptions) names.push_back(option.name);
  for (const NameOption& option : kNameOptions) names.push_back(option.name);
  for (const FileOption& option : fileOptions()) names.push_back(option.name);
  for (const FlagOption& option : kFlagOptions) names.push_back(option.name);
  return names;
}

// The option an unknown argument most likely misspells (--measure, -mesure),
// or null when none is near.
const char* nearestOption(const char* argument) {
  std::string word = argument;
  if (word.size() < 3 || word[0] != '-') return nullptr;
  if (word[1] == '-') word.erase(0, 1);
  const char* nearest = nullptr;
  size_t best = word.size() > 5 ? 3 : 2;  // a short name tolerates one edit, a long one two
  for (const char* name : optionNames()) {
    size_t distance = editDistance(word, name);
    if (distance < best) best = distance, nearest = name;
  }
  return nearest;
}

// One PART=MATERIAL, or PART=ID with `id`; false when it is not one.
bool readPartMaterial(const std::string& entry, bool id, PartMaterial* mapping) {
  size_t equals = entry.find('=');
  if (equals == 0 || equals == std::string::npos) return false;
  mapping->part = entry.substr(0, equals);
  std::string value = entry.substr(equals + 1);
  if (!id) {
    mapping->material = value;
    return isDeckName(value);
  }
  char* end;
  long long number = strtoll(value.c_str(), &end, 10);
  mapping->materialId = static_cast<int>(number);
  return isdigit(static_cast<unsigned char>(value[0])) && *end == '\0' && number >= 1 &&
         number <= kCardFieldMost;
}

// -part-material PART=MATERIAL[,...] and -part-mid PART=ID[,...]: the decks'
// material of a part; false when `argv[i]` is neither. A bad list is a usage error.
bool readPartMaterials(int argc, char** argv, int& i, RunOptions& options, int* code) {
  *code = kExitSuccess;
  bool id = strcmp(argv[i], "-part-mid") == 0;
  if (!id && strcmp(argv[i], "-part-material") != 0) return false;
  bool good = i + 1 < argc;
  std::string list = good ? argv[i + 1] : "";
  for (size_t start = 0; good && start <= list.size();) {
    size_t comma = std::min(list.find(',', start), list.size());
    PartMaterial mapping;
    good = readPartMaterial(list.substr(start, comma - start), id, &mapping);
    options.partMaterials.push_back(mapping);
    start = comma + 1;
  }
  if (!good) {
    report(id ? "entered invalid part material ids: PART=ID[,PART=ID...]\n"
              : "entered invalid part materials: PART=MATERIAL[,PART=MATERIAL...]\n");
    *code = printUsage();
  }
  i += 2;
  return true;
}

// Reads the value after the numeric option at argv[i]; 0, or the usage exit
// code after naming what is wrong with it.
int readNumberOption(const NumberOption& option, int argc, char** argv, int i,
                     RunOptions& options) {
  std::string fault = i + 1 < argc ? readNumber(option, argv[i + 1], options) : "has no value";
  if (fault.empty()) return kExitSuccess;
  std::string value = i + 1 < argc ? " '" + std::string(argv[i + 1]) + "'" : "";
  fprintf(stderr, "verdask: %s%s %s\n", option.name, value.c_str(), fault.c_str());
  report("%s", option.invalidMessage);
  return printUsage();
}

// Reads the option at argv[i] and its value into `options`, advancing i past
// them; 0 or the exit code.
int readOption(int argc, char** argv, int& i, OpenedFiles& opened, RunOptions& options) {
  if (int code; readMeasure(argc, argv, i, options, &code)) return code;
  if (int code; readPartMaterials(argc, argv, i, options, &code)) return code;
  if (int code; readCtOption(argc, argv, i, options, &code)) return code;
  for (const NumberOption& option : kNumberOptions) {
    if (strcmp(argv[i], option.name) != 0) continue;
    if (int code = readNumberOption(option, argc, argv, i, options)) return code;
    options.shellNumGiven = options.shellNumGiven || option.integer == &RunOptions::shellNum;
    options.shellValGiven = options.shellValGiven || option.integer == &RunOptions::shellVal;
    i += 2;
    return kExitSuccess;
  }
  for (const NameOption& option : kNameOptions) {
    if (strcmp(argv[i], option.name) != 0) continue;
    if (i + 1 >= argc || !isDeckName(argv[i + 1])) {
      report("%s", option.invalidMessage);
      return printUsage();
    }
    options.*option.value = argv[i + 1];
    i += 2;
    return kExitSuccess;
  }
  for (const FileOption& option : fileOptions()) {
    if (strcmp(argv[i], option.name) != 0) continue;
    if (i + 1 >= argc) {
      report("missing file name after %s\n", option.name);
      return printUsage();
    }
    i += 2;
    return openOutput(argv[i - 1], option, opened, options);
  }
  for (const FlagOption& option : kFlagOptions) {
    if (strcmp(argv[i], option.name) == 0) {
      options.*option.flag = true;
      ++i;
      return kExitSuccess;
    }
  }
  // Skipped as ever, but a typo such as -mx must not pass unseen.
  std::string line = std::string("ignoring unknown argument '") + argv[i] + "'";
  if (const char* near = nearestOption(argv[i]))
    line += std::string(": did you mean ") + near + "?";
  fprintf(stderr, "verdask: %s\n", line.c_str());
  options.unknownArguments.push_back(line);
  ++i;
  return kExitSuccess;
}

// The usage text as it has always been printed on a usage error; --help
// gives it with the true default of -max and the words spelt right.
void printUsageText(bool asHelp) {
  report(
      "Usage: Verdask [mesh input file (.hmascii)] [cortical input file (.surf)] [cortical "
      "normals file (.vtk)] [trabecular input file (.surf)] [OPTIONS]\n");
  report("\nOPTIONS:\n");
  report(
      "  -ans <outfile (.log)>    = output file name for thickness & angle values; default "
      "'ans.log'\n");
  report(
      "  -adj <adjThick (double)> = constant to add to all thickness values (before determining "
      "min/max); default '0.0'\n");
  report("  -max <maxThick (double)> = maximum thickness value allowed; default '%s'\n",
         asHelp ? "20.0" : "5.0");
  report("  -min <minThick (double)> = minimum thickness value allowed; default '0.0'\n");
  report("  -num <shellNum (int)>    = start numbering shells with this number; default '1'\n");
  report("  -o <outfile (.k)>        = %s output file name; default 'out.k'\n",
         asHelp ? "keyword (LS-DYNA)" : "trugrd");
  report(
      "  -table <outfile (.log)>  = output file name for all calculation values; default "
      "'table.log'\n");
  report("  -val <shellVal (int)>    = %s value to use for shells; %s '1'\n",
         asHelp ? "part" : "material", asHelp ? "default" : "defalut");
}

// The options the usage text leaves out, for --help.
const char kMoreOptions[] =
    "  -json <outfile (.json)>   = run record: version, build, command line, options, inputs and "
    "outputs with "
    "SHA-256, counts, statistics, stage times\n"
    "  -summary                  = print the run's figures and a thickness histogram at the end\n"
    "  -measure <name>           = vertex (default): nearest vertex to nearest vertex; surface:\n"
    "                              closest points of the triangles; normal: along the cortical\n"
    "                              normal; symmetric: mean of the closest-point distances both "
    "ways\n"
    "                              ct: fitted to the CT image along the cortical normal (-ct)\n"
    "  -surface                  = -measure surface\n"
    "  -ct <image>               = the CT scan for -measure ct: .nii, .nii.gz, .hdr, .mha, .mhd,\n"
    "                              .nrrd, .nhdr; the trabecular file may then be -\n"
    "  -ct-frame <lps|ras>       = the frame of the mesh and surfaces; default 'lps' (as ITK)\n"
    "  -ct-sigma <mm (double)>   = the scanner's blur (Gaussian sigma); default: from the scan\n"
    "  -ct-cortex <density>      = the cortical density, in the image's units; default: from the "
    "scan\n"
    "  -threads <n (int)>        = threads to run on; default: the machine's cores\n"
    "  -strict                   = fail (exit -8) when the run warns or an argument is unknown,\n"
    "                              keeping the earlier outputs\n"
    "  -force                    = write the outputs of inputs that do not fit together (exit -9\n"
    "                              without it): surfaces swapped, normals of another surface or\n"
    "                              pointing inwards, a mesh in other units or moved\n"
    "  -elset <name>             = element set (Abaqus) and part title (LS-DYNA) of a mesh "
    "without parts; default 'CORTEX'\n"
    "  -material <name>          = material of every part's Abaqus shell section; default "
    "'CORTEX'\n"
    "  -mid <id (int)>           = material id of every LS-DYNA part; default '1'\n"
    "  -part-material <PART=NAME[,PART=NAME...]> = the Abaqus material of a part, by its name "
    "or number\n"
    "  -part-mid <PART=ID[,PART=ID...]> = the LS-DYNA material id of a part, by its name or "
    "number\n"
    "  -input-limit <MiB (int)>  = most a pipe, device or .gz input may hold (inflated); default "
    "'8192' (8 GiB)\n"
    "  -fill                     = replace the thickness of nodes measured through a hole of the\n"
    "                              trabecular surface (at_hole) or standing out from their\n"
    "                              neighbours (outlier) by a smooth fill from the others\n"
    "  -smooth <FWHM (double)>   = smooth the thickness along the surface by a Gaussian of this\n"
    "                              full width at half maximum (the inputs' unit), after -fill and\n"
    "                              before -adj, -min and -max\n"
    "  -sections <N (int)>       = -inp and -deck group each part's elements into N thickness\n"
    "                              classes (by quantile), a section of its mean thickness each\n"
    "  -h, -help, --help, --version = print this text, or the version, and exit\n"
    "\nINPUT FILES (by extension, in any case; each may also end in .gz):\n"
    "  mesh      .hmascii, .inp (Abaqus), .k or .key (LS-DYNA), .msh (Gmsh), or a surface file\n"
    "  surfaces  .surf, .stl, .ply, .obj, .off, .vtk, .vtp\n"
    "  normals   .vtk, or - for the normals the cortical file carries, or else normals computed\n"
    "            from its triangles\n";

}  // namespace

int printUsage() {
  printUsageText(false);
  return kExitUsage;
}

bool printInformation(int argc, char** argv) {
  if (argc != 2) return false;
  if (strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-help") == 0 ||
      strcmp(argv[1], "-h") == 0) {
    printUsageText(true);
    printf("\nMORE OPTIONS:\n");
    for (const ExtraOutput& output : kExtraOutputs) printf("%s", output.help);
    printf("%s", kMoreOptions);
    return true;
  }
  if (strcmp(argv[1], "--version") == 0) {
    printf("verdask %s\n", VERDASK_VERSION);
    return true;
  }
  return false;
}

namespace {

// Each input's format by its name; the usage exit code for one that is not known.
int readInputFormats(InputFiles& inputs) {
  inputs.normalsFromCortical = strcmp(inputs.normalsName, "-") == 0;
  for (auto [name, role, format] :
       {std::tuple{inputs.meshName, InputRole::kMesh, &inputs.meshFormat},
        {inputs.corticalName, InputRole::kSurface, &inputs.corticalFormat},
        {inputs.trabecularName, InputRole::kSurface, &inputs.trabecularFormat},
        {inputs.normalsName, InputRole::kNormals, &inputs.normalsFormat}}) {
    if (role == InputRole::kNormals && inputs.normalsFromCortical) continue;
    if (name == inputs.trabecularName && strcmp(name, "-") == 0) continue;  // with -ct
    *format = inputFormatOf(name, role);
    if (!*format) {
      report("Unknown file type of %s: the %s may be %s\n", name,
             role == InputRole::kMesh      ? "mesh"
             : role == InputRole::kNormals ? "normals file"
                                           : "surface",
             supportedExtensions(role).c_str());
      return printUsage();
    }
  }
  return kExitSuccess;
}

// The input limit is read before the inputs are opened, and so before the
// other options; the option pass reads it again, as it reads any number.
int readInputLimit(int argc, char** argv, RunOptions& options) {
  for (int i = 5; i < argc; ++i) {
    for (const NumberOption& option : kNumberOptions) {
      if (option.integer != &RunOptions::inputLimit || strcmp(argv[i], option.name) != 0) continue;
      if (int code = readNumberOption(option, argc, argv, i, options)) return code;
    }
  }
  return kExitSuccess;
}

bool takesValue(const char* word);

// Opens the CT image of -ct, if any, as an input, so that no output may be it.
int openCtImage(int argc, char** argv, InputFiles& inputs, OpenedFiles& opened) {
  for (int i = 5; i + 1 < argc; i += takesValue(argv[i]) ? 2 : 1) {
    if (strcmp(argv[i], "-ct") != 0) continue;
    inputs.ctName = argv[i + 1];
    inputs.ct.reset(fopen(inputs.ctName, "rb"), inputs.ctName);
    struct stat info;
    if (!inputs.ct.get() || fstat(fileno(inputs.ct.get()), &info) != 0 || S_ISDIR(info.st_mode)) {
      report("Failure opening file %s\n", inputs.ctName);
      return kExitOpenFailed;
    }
    opened.addInput(inputs.ct.get());
  }
  return kExitSuccess;
}

int readArguments(int argc, char** argv, InputFiles& inputs, RunOptions& options) {
  if (argc < 5) return printUsage();
  options.commandLine.assign(argv, argv + argc);
  inputs.meshName = argv[1];
  inputs.corticalName = argv[2];
  inputs.normalsName = argv[3];
  inputs.trabecularName = argv[4];
  if (int code = readInputFormats(inputs)) return code;
  if (int code = readInputLimit(argc, argv, options)) return code;
  OpenedFiles opened;
  for (auto [name, handle, format, role] :
       {std::tuple{argv[1], &inputs.mesh, inputs.meshFormat, InputRole::kMesh},
        {argv[2], &inputs.cortical, inputs.corticalFormat, InputRole::kSurface},
        {argv[3], &inputs.normals, inputs.normalsFormat, InputRole::kNormals},
        {argv[4], &inputs.trabecular, inputs.trabecularFormat, InputRole::kSurface}}) {
    if (handle == &inputs.normals && inputs.normalsFromCortical) continue;
    if (handle == &inputs.trabecular && strcmp(name, "-") == 0) continue;  // with -ct
    handle->reset(openInput(name, {options.inputLimit, isTextInput(*format, role)}), name);
    if (!handle->get()) return kExitOpenFailed;
    opened.addInput(handle->get());
  }
  if (int code = openCtImage(argc, argv, inputs, opened)) return code;
  for (int i = 5; i < argc;) {
    if (int code = readOption(argc, argv, i, opened, options)) return code;
  }
  if (int code = checkCtOptions(inputs, options)) return code;
  if (options.strict && !options.unknownArguments.empty()) {
    report("Failure: %zu unknown argument(s) under -strict\n", options.unknownArguments.size());
    return kExitStrictWarnings;
  }
  // A stream that no option opened goes under its default name.
  for (const FileOption& option : fileOptions()) {
    if (option.defaultName && !streamOf(option, options).get()) {
      if (int code = openOutput(option.defaultName, option, opened, options)) return code;
    }
  }
  return kExitSuccess;
}

// Whether an option takes a value: the word after it is no option.
bool takesValue(const char* word) {
  for (int k = 0; k < kOtherOptionsWithValue; ++k) {
    if (strcmp(word, kOtherOptions[k]) == 0) return true;
  }
  for (const NumberOption& option : kNumberOptions) {
    if (strcmp(word, option.name) == 0) return true;
  }
  for (const NameOption& option : kNameOptions) {
    if (strcmp(word, option.name) == 0) return true;
  }
  for (const FileOption& option : fileOptions()) {
    if (strcmp(word, option.name) == 0) return true;
  }
  return false;
}

// The -json name of a command line the run did not read that far, when it
// names neither an input nor another output: a record must not replace one.
std::string recordNameOf(int argc, char** argv) {
  std::string name;
  std::vector<std::string> others(argv + 1, argv + std::min(argc, 5));
  for (int i = 5; i + 1 < argc; i += takesValue(argv[i]) ? 2 : 1) {
    if (!takesValue(argv[i])) continue;
    if (strcmp(argv[i], "-json") == 0) {
      name = argv[i + 1];
    } else if (strcmp(argv[i], "-measure") != 0) {
      others.push_back(argv[i + 1]);
    }
  }
  struct stat record, other;
  bool exists = !name.empty() && stat(name.c_str(), &record) == 0;
  for (const std::string& path : others) {
    bool same = exists && stat(path.c_str(), &other) == 0 && other.st_dev == record.st_dev &&
                other.st_ino == record.st_ino;
    if (path == name || same) return "";
  }
  return name;
}

// The line of a failure printed before the command line was read whole: the
// last before the usage text, if any.
std::string failureLine(const std::string& printed) {
  std::string text = printed.substr(0, printed.find("Usage: Verdask"));
  while (!text.empty() && text.back() == '\n') text.pop_back();
  return text.substr(text.rfind('\n') + 1);
}

}  // namespace

int readCommandLine(int argc, char** argv, InputFiles& inputs, RunOptions& options) {
  std::string printed;
  int code;
  {
    ReportCapture capture(&printed);
    code = readArguments(argc, argv, inputs, options);
  }
  fputs(printed.c_str(), stdout);
  if (code == kExitSuccess) return code;
  if (!options.json.get()) {
    std::string name = recordNameOf(argc, argv);
    if (!name.empty()) options.json.reset(options.outputs.open(name.c_str()), name.c_str());
  }
  return recordFailedStart(inputs, options, code, failureLine(printed));
}

}  // namespace verdask
