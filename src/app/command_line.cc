#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "app/exit_status.h"
#include "app/run.h"
#include "io/output_files.h"
#include "io/whole_input.h"
#include "output/shell_cards.h"
#include "output/solver_decks.h"

namespace verdask {

namespace {

struct NumberOption {
  const char* name;
  const char* format;
  const char* invalidMessage;
  double RunOptions::*real;  // null for an integer option
  int RunOptions::*integer;
  long long least, most;  // an integer option's range
};

// More threads than this would only cost memory.
constexpr long long kMostThreads = 1024;

// The part number stands in every element card, so it must fit its 8 columns.
const NumberOption kNumberOptions[] = {
    {"-adj", "%lf ", "entered invalid number for thickness adjustment\n", &RunOptions::adjThick,
     nullptr, 0, 0},
    {"-max", "%lf", "entered invalid number for maximum thickness\n", &RunOptions::maxThick,
     nullptr, 0, 0},
    {"-min", "%lf", "entered invalid number for minimum thickness\n", &RunOptions::minThick,
     nullptr, 0, 0},
    {"-num", "%lld", "entered invalid number for initial shell index\n", nullptr,
     &RunOptions::shellNum, INT_MIN, INT_MAX},
    {"-val", "%lld", "entered invalid number for new shell value\n", nullptr, &RunOptions::shellVal,
     kCardFieldLeast, kCardFieldMost},
    {"-threads", "%lld", "entered invalid number of threads\n", nullptr, &RunOptions::threads, 1,
     kMostThreads},
    {"-mid", "%lld", "entered invalid number for material id\n", nullptr, &RunOptions::materialId,
     1, kCardFieldMost},
    {"-input-limit", "%lld", "entered invalid number for input limit\n", nullptr,
     &RunOptions::inputLimit, 1, INT_MAX},
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
  const char* defaultName;  // null: no file unless the option names one
  FileHandle RunOptions::*stream;
};

const FileOption kFileOptions[] = {
    {"-ans", "ans.log", &RunOptions::answers},   {"-o", "out.k", &RunOptions::keyword},
    {"-table", "table.log", &RunOptions::table}, {"-vtk", nullptr, &RunOptions::vtk},
    {"-json", nullptr, &RunOptions::json},       {"-nodal", nullptr, &RunOptions::nodal},
    {"-inp", nullptr, &RunOptions::inp},         {"-deck", nullptr, &RunOptions::deck},
};

struct FlagOption {
  const char* name;
  bool RunOptions::*flag;
};

const FlagOption kFlagOptions[] = {
    {"-summary", &RunOptions::summary},
    {"-strict", &RunOptions::strict},
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
    printf("Refusing to write %s: it is an input or another output of this run\n", name);
    return kExitOpenFailed;
  }
  FILE* stream = openOutputFile(name);
  if (!stream) {
    printf("Failure opening file %s\n", name);
    return kExitOpenFailed;
  }
  (options.*role.stream).reset(stream, name);
  opened.addOutput(name, &role);
  printf("writing file : %s\n", name);
  return kExitSuccess;
}

// Scans a numeric option's value; false when it is not a (finite) number.
bool readNumber(const NumberOption& option, const char* value, RunOptions& options) {
  char copy[kNumberValueMax + 1];
  if (strlen(value) > kNumberValueMax) return false;
  strcpy(copy, value);
  if (option.integer) {
    // Read wide, so that a number beyond the range is refused rather than wrapped.
    long long number;
    if (sscanf(copy, option.format, &number) != 1) return false;
    if (number < option.least || number > option.most) return false;
    options.*option.integer = static_cast<int>(number);
    return true;
  }
  double number;
  // A not-a-number or infinite bound would turn every thickness into one.
  if (sscanf(copy, option.format, &number) != 1 || !std::isfinite(number)) return false;
  options.*option.real = number;
  return true;
}

const MeasureKind kMeasures[] = {MeasureKind::kVertex, MeasureKind::kSurface, MeasureKind::kNormal,
                                 MeasureKind::kSymmetric};

// -measure NAME, and -surface for -measure surface; false when `argv[i]` is
// neither. An unknown name is a usage error.
bool readMeasure(int argc, char** argv, int& i, RunOptions& options, int* code) {
  *code = kExitSuccess;
  if (strcmp(argv[i], "-surface") == 0) {
    options.measure = MeasureKind::kSurface;
    ++i;
    return true;
  }
  if (strcmp(argv[i], "-measure") != 0) return false;
  for (MeasureKind measure : kMeasures) {
    if (i + 1 < argc && strcmp(argv[i + 1], measureName(measure)) == 0) {
      options.measure = measure;
      i += 2;
      return true;
    }
  }
  printf("entered invalid measure: vertex, surface, normal or symmetric\n");
  *code = printUsage();
  return true;
}

// Reads the option at argv[i] and its value into `options`, advancing i past
// them; 0 or the exit code.
int readOption(int argc, char** argv, int& i, OpenedFiles& opened, RunOptions& options) {
  if (int code; readMeasure(argc, argv, i, options, &code)) return code;
  for (const NumberOption& option : kNumberOptions) {
    if (strcmp(argv[i], option.name) != 0) continue;
    if (i + 1 >= argc || !readNumber(option, argv[i + 1], options)) {
      printf("%s", option.invalidMessage);
      return printUsage();
    }
    options.shellNumGiven = options.shellNumGiven || option.integer == &RunOptions::shellNum;
    options.shellValGiven = options.shellValGiven || option.integer == &RunOptions::shellVal;
    i += 2;
    return kExitSuccess;
  }
  for (const NameOption& option : kNameOptions) {
    if (strcmp(argv[i], option.name) != 0) continue;
    if (i + 1 >= argc || !isDeckName(argv[i + 1])) {
      printf("%s", option.invalidMessage);
      return printUsage();
    }
    options.*option.value = argv[i + 1];
    i += 2;
    return kExitSuccess;
  }
  for (const FileOption& option : kFileOptions) {
    if (strcmp(argv[i], option.name) != 0) continue;
    if (i + 1 >= argc) {
      printf("missing file name after %s\n", option.name);
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
  fprintf(stderr, "verdask: ignoring unknown argument '%s'\n", argv[i]);
  ++i;
  return kExitSuccess;
}

void printUsageText() {
  printf(
      "Usage: Verdask [mesh input file (.hmascii)] [cortical input file (.surf)] [cortical "
      "normals file (.vtk)] [trabecular input file (.surf)] [OPTIONS]\n");
  printf("\nOPTIONS:\n");
  printf(
      "  -ans <outfile (.log)>    = output file name for thickness & angle values; default "
      "'ans.log'\n");
  printf(
      "  -adj <adjThick (double)> = constant to add to all thickness values (before determining "
      "min/max); default '0.0'\n");
  printf("  -max <maxThick (double)> = maximum thickness value allowed; default '5.0'\n");
  printf("  -min <minThick (double)> = minimum thickness value allowed; default '0.0'\n");
  printf("  -num <shellNum (int)>    = start numbering shells with this number; default '1'\n");
  printf("  -o <outfile (.k)>        = trugrd output file name; default 'out.k'\n");
  printf(
      "  -table <outfile (.log)>  = output file name for all calculation values; default "
      "'table.log'\n");
  printf("  -val <shellVal (int)>    = material value to use for shells; defalut '1'\n");
}

// The options the usage text leaves out, for --help.
const char kMoreOptions[] =
    "\nMORE OPTIONS:\n"
    "  -vtk <outfile (.vtk|.vtu|.vtp)> = mesh with thickness, angle, cortical vertex, distance to "
    "the cortical surface and quality for ParaView, VTK or meshio; .vtu and .vtp write VTK XML\n"
    "  -nodal <outfile (.inp)>   = Abaqus *NODAL THICKNESS table, one 'node, thickness' line per "
    "vertex\n"
    "  -json <outfile (.json)>   = run record: version, build, command line, options, inputs and "
    "outputs with "
    "SHA-256, counts, statistics, stage times\n"
    "  -summary                  = print the run's figures and a thickness histogram at the end\n"
    "  -measure <name>           = vertex (default): nearest vertex to nearest vertex; surface:\n"
    "                              closest points of the triangles; normal: along the cortical\n"
    "                              normal; symmetric: mean of the closest-point distances both "
    "ways\n"
    "  -surface                  = -measure surface\n"
    "  -threads <n (int)>        = threads to run on; default: the machine's cores\n"
    "  -strict                   = fail (exit -8) when the run warns, keeping the earlier outputs\n"
    "  -inp <outfile (.inp)>     = complete Abaqus/CalculiX deck of the shell layer, elements "
    "facing "
    "outwards\n"
    "  -deck <outfile (.k)>      = complete LS-DYNA deck of the shell layer, elements facing "
    "outwards\n"
    "  -elset <name>             = element set (Abaqus) and part title (LS-DYNA); default "
    "'CORTEX'\n"
    "  -material <name>          = material of the Abaqus deck's shell section; default 'CORTEX'\n"
    "  -mid <id (int)>           = material id of the LS-DYNA deck's part; default '1'\n"
    "  -input-limit <MiB (int)>  = most a pipe, device or .gz input may hold (inflated); default "
    "'8192' (8 GiB)\n"
    "  -h, -help, --help, --version = print this text, or the version, and exit\n"
    "\nINPUT FILES (by extension, in any case; each may also end in .gz):\n"
    "  mesh      .hmascii, .inp (Abaqus), .k or .key (LS-DYNA), .msh (Gmsh), or a surface file\n"
    "  surfaces  .surf, .stl, .ply, .obj, .off, .vtk, .vtp\n"
    "  normals   .vtk, or - for the normals the cortical file carries, or else normals computed\n"
    "            from its triangles\n";

}  // namespace

const char* measureName(MeasureKind measure) {
  switch (measure) {
    case MeasureKind::kVertex:
      return "vertex";
    case MeasureKind::kSurface:
      return "surface";
    case MeasureKind::kNormal:
      return "normal";
    case MeasureKind::kSymmetric:
      return "symmetric";
  }
  return "";
}

int printUsage() {
  printUsageText();
  return kExitUsage;
}

bool printInformation(int argc, char** argv) {
  if (argc != 2) return false;
  if (strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-help") == 0 ||
      strcmp(argv[1], "-h") == 0) {
    printUsageText();
    printf("%s", kMoreOptions);
    return true;
  }
  if (strcmp(argv[1], "--version") == 0) {
    printf("verdask %s\n", VERDASK_VERSION);
    return true;
  }
  return false;
}

FILE* openInput(const char* name, const WholeInputRules& rules) {
  // Non-blocking, so that a FIFO without a writer cannot hang the open.
  int fd = open(name, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  struct stat info;
  if (fd < 0 || fstat(fd, &info) != 0 || S_ISDIR(info.st_mode) || fcntl(fd, F_SETFL, 0) != 0) {
    if (fd >= 0) close(fd);
    printf("Failure opening file %s\n", name);
    return nullptr;
  }
  size_t length = strlen(name);
  bool compressed = length > 3 && strcasecmp(name + length - 3, ".gz") == 0;
  if (S_ISREG(info.st_mode) && !compressed) return fdopen(fd, "rt");
  std::string error;
  FILE* copy = readWholeInput(fd, rules, &error);
  close(fd);
  if (!copy) printf("Failure opening file %s: %s\n", name, error.c_str());
  return copy;
}

namespace {

// Each input's format by its name; the usage exit code for one that is not known.
int readInputFormats(InputFiles& inputs) {
  inputs.normalsFromCortical = strcmp(inputs.normalsName, "-") == 0;
  for (auto [name, role, format] :
       {std::tuple{inputs.meshName, InputRole::kMesh, &inputs.meshFormat},
        {inputs.corticalName, InputRole::kSurface, &inputs.corticalFormat},
        {inputs.trabecularName, InputRole::kSurface, &inputs.trabecularFormat},
        {inputs.normalsName, InputRole::kNormals, nullptr}}) {
    if (role == InputRole::kNormals && inputs.normalsFromCortical) continue;
    InputFormat found = inputFormatOf(name, role);
    if (format) *format = found;
    if (found == InputFormat::kUnknown) {
      printf("Unknown file type of %s: the %s may be %s\n", name,
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
      if (i + 1 >= argc || !readNumber(option, argv[i + 1], options)) {
        printf("%s", option.invalidMessage);
        return printUsage();
      }
    }
  }
  return kExitSuccess;
}

}  // namespace

int readCommandLine(int argc, char** argv, InputFiles& inputs, RunOptions& options) {
  if (argc < 5) return printUsage();
  options.commandLine.assign(argv, argv + argc);
  inputs.meshName = argv[1];
  inputs.corticalName = argv[2];
  inputs.normalsName = argv[3];
  inputs.trabecularName = argv[4];
  if (int code = readInputFormats(inputs)) return code;
  if (int code = readInputLimit(argc, argv, options)) return code;
  OpenedFiles opened;
  for (auto [name, handle, format] : {std::tuple{argv[1], &inputs.mesh, inputs.meshFormat},
                                      {argv[2], &inputs.cortical, inputs.corticalFormat},
                                      {argv[3], &inputs.normals, InputFormat::kVtkNormals},
                                      {argv[4], &inputs.trabecular, inputs.trabecularFormat}}) {
    if (handle == &inputs.normals && inputs.normalsFromCortical) continue;
    handle->reset(openInput(name, {options.inputLimit, isTextFormat(format)}), name);
    if (!handle->get()) return kExitOpenFailed;
    opened.addInput(handle->get());
  }
  for (int i = 5; i < argc;) {
    if (int code = readOption(argc, argv, i, opened, options)) return code;
  }
  // A stream that no option opened goes under its default name.
  for (const FileOption& option : kFileOptions) {
    if (option.defaultName && !(options.*option.stream).get()) {
      if (int code = openOutput(option.defaultName, option, opened, options)) return code;
    }
  }
  return kExitSuccess;
}

}  // namespace verdask
