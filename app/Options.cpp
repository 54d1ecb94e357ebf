#include "app/Options.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <strings.h>

#include <string>
#include <vector>

#include "app/ExitStatus.h"

namespace calvane::app {
namespace {

constexpr const char* kDescription =
    "calvane: removes noise from an image file, or a numbered sequence of them,\n"
    "by total-variation flow (the calvane plug-in, libcalvane.so).";

constexpr const char* kNotes =
    "Arguments:\n"
    "  INPUT, OUTPUT   image files (PNG, JPEG, TIFF, OpenEXR, PNM, ...); the output's\n"
    "                  format follows its extension. A frame pattern (%04d or ####)\n"
    "                  denoises every existing frame: in_%04d.png out_%04d.png\n"
    "  INPUT... -o DIR any number of files and patterns, each written into DIR\n"
    "                  under its own name (--format EXT changes the extension)\n"
    "\n"
    "Batches run in one plug-in session, with the settings chosen on the first\n"
    "frame. Each output is written whole or not at all, so a batch that was\n"
    "stopped can be run again with --skip-existing. --shard K/N takes the K-th of\n"
    "N equal shares of the frames, --shard auto the share of a Slurm job-array\n"
    "task (see docs/cluster.md).\n"
    "\n"
    "Without --variance and --iterations, both are chosen from the image: the noise\n"
    "is measured, and short trial runs on a part of the picture, judged without a\n"
    "clean original, pick the level (0.7 to 1.2 times the noise) and the number of\n"
    "iterations after which the flow stops improving it. 'auto' asks for the same.\n"
    "\n"
    "Noise Variance is the noise level as a standard deviation, in the file's own\n"
    "units (0-255 for 8-bit, 0-65535 for 16-bit, as stored for floating point).\n"
    "With --noise poisson the level is in units of the stabilised noise (1 is the\n"
    "noise's own level). Each iteration moves a sample by at most 1/256 of the\n"
    "spread of the picture's values (between its 0.1st and 99.9th percentiles).\n"
    "\n"
    "Noise models: additive (the same level everywhere), multiplicative (an\n"
    "unconstrained flow), poisson (photon noise, whose variance grows with the\n"
    "signal: microscopy, astronomy, low light), auto (the default: poisson when the\n"
    "measured noise clearly grows with the signal, else additive).\n"
    "\n"
    "Exit status: 0 done, 1 cancelled in the dialog, 2 usage, 3 reading or writing\n"
    "a file, 4 the plug-in, 130 interrupted (Ctrl-C; a second Ctrl-C ends at once).\n"
    "\n"
    "Examples:\n"
    "  calvane noisy.png clean.png\n"
    "  calvane --noise poisson cells-16bit.tif cells-clean.tif\n"
    "  calvane --variance 1200 --iterations 100 scan-16bit.tif scan-clean.tif\n"
    "  calvane --noise multiplicative --iterations 50 frame.exr frame-clean.exr\n"
    "  calvane frames/in_%04d.png frames/out_%04d.png\n"
    "  calvane --keep-going --format tif -o clean/ scans/*.png\n"
    "  calvane --shard auto --skip-existing in_%04d.png out/out_%04d.png\n"
    "  calvane --dry-run photo.jpg\n";

bool SameWord(const std::string& text, const char* word) { return strcasecmp(text.c_str(), word) == 0; }

std::optional<double> ParseNumber(const std::string& text) {
  if (text.empty()) return std::nullopt;
  char* end = nullptr;
  errno = 0;
  const double value = std::strtod(text.c_str(), &end);
  if (end == text.c_str() || *end != '\0' || errno == ERANGE || !std::isfinite(value)) return std::nullopt;
  return value;
}

// A whole decimal count: digits only (a sign allowed), so that "2.5", "0x10"
// and "1e3" are refused rather than read as something else.
std::optional<long long> ParseCount(const std::string& text) {
  std::size_t start = text.size() > 1 && (text[0] == '-' || text[0] == '+') ? 1 : 0;
  if (text.size() == start || text.size() - start > 18) return std::nullopt;
  for (std::size_t i = start; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
  }
  return std::strtoll(text.c_str(), nullptr, 10);
}

NoiseModel ParseNoiseModel(const std::string& text) {
  for (NoiseModel model : {NoiseModel::Additive, NoiseModel::Multiplicative, NoiseModel::Poisson, NoiseModel::Auto}) {
    if (SameWord(text, NoiseModelName(model))) return model;
  }
  throw UsageError("--noise: '" + text + "' is not a noise model; use additive, multiplicative, poisson or auto");
}

UiChoice ParseUiChoice(const std::string& text) {
  if (SameWord(text, "auto")) return UiChoice::Auto;
  if (SameWord(text, "desktop")) return UiChoice::Desktop;
  if (SameWord(text, "terminal")) return UiChoice::Terminal;
  throw UsageError("--ui: '" + text + "' is not a choice; use desktop, terminal or auto");
}

ChannelMode ParseChannelMode(const std::string& text) {
  if (SameWord(text, "joint")) return ChannelMode::Joint;
  if (SameWord(text, "independent")) return ChannelMode::Independent;
  throw UsageError("--channels: '" + text + "' is not a choice; use joint or independent");
}

// The options that take a value, and what each takes.
struct ValueOption {
  const char* name;
  const char* allowed;
};
constexpr ValueOption kValueOptions[] = {
    {"--noise", "additive, multiplicative, poisson or auto"},
    {"--variance", "a number (the noise level, 0 or more) or 'auto'"},
    {"--iterations", "a whole number from 1 to 1000, or 'auto'"},
    {"--channels", "joint or independent"},
    {"--ui", "desktop, terminal or auto"},
    {"--preview", "the name of an image file"},
    {"--plugin", "the path of the plug-in library"},
    {"--max-samples", "a whole number of samples, 1 or more"},
    {"-o", "the folder to write into"},
    {"--output-dir", "the folder to write into"},
    {"--format", "an image file extension, such as png or tif"},
    {"--shard", "K/N (the K-th of N shares, for example 2/8) or auto"},
};

constexpr const char* kOptionList =
    "--noise, --variance, --iterations, --channels, --interactive (-i), --ui, --dry-run, --preview, --quiet (-q), "
    "--output-dir (-o), --format, --keep-going, --skip-existing, --shard, --plugin, --max-samples, --help (-h) and "
    "--version";

const ValueOption* FindValueOption(const std::string& name) {
  for (const ValueOption& option : kValueOptions) {
    if (name == option.name) return &option;
  }
  return nullptr;
}

// An argument that stands where a value should: an option name, not a
// negative number ("--variance -3" is a value, refused later by its limits).
bool LooksLikeAnOption(const std::string& arg) {
  if (arg.size() < 2 || arg[0] != '-') return false;
  return arg[1] == '-' || !ParseNumber(arg);
}

// The value options left without a value, and those given twice, found in
// argv before the parser sees it, so that each is told in calvane's words.
void CheckValueOptions(int argc, const char* const* argv) {
  std::vector<std::string> seen;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--") break;
    const std::size_t equals = arg.find('=');
    const std::string name = arg.substr(0, equals);
    const ValueOption* option = FindValueOption(name);
    if (option == nullptr) continue;
    if (std::find(seen.begin(), seen.end(), name) != seen.end()) {
      throw UsageError(name + " is given more than once; give it once, with " + option->allowed);
    }
    seen.push_back(name);
    const bool missing = equals != std::string::npos ? equals + 1 == arg.size()
                                                     : i + 1 == argc || LooksLikeAnOption(argv[i + 1]);
    if (missing) throw UsageError(name + " needs a value: " + option->allowed);
    if (equals == std::string::npos) ++i;
  }
}

// What the parser left over: an option it does not know, or an argument
// past OUTPUT.
void RefuseLeftOvers(const std::vector<std::string>& leftOvers) {
  if (leftOvers.empty()) return;
  const std::string& first = leftOvers.front();
  if (first.size() > 1 && first[0] == '-') {
    throw UsageError(first.substr(0, first.find('=')) + " is not an option of calvane; its options are " + kOptionList);
  }
  throw UsageError("'" + first + "' is one argument too many; calvane takes one INPUT and one OUTPUT, or many INPUTs "
                   "with -o DIR");
}

// The text given to the options that calvane reads itself, and whether
// each was given at all.
struct GivenText {
  std::string noise;
  std::string variance;
  std::string iterations;
  std::string channels;
  std::string maxSamples;
  std::string shard;
  std::string ui;
  std::vector<std::string> files;  // the arguments: INPUT OUTPUT, or the INPUTs with -o
  CLI::Option* varianceOption = nullptr;
  CLI::Option* iterationsOption = nullptr;
  CLI::Option* maxSamplesOption = nullptr;
};

// The arguments and options, with their help; flags and file names go
// straight into `options`, the rest into `given`, which must outlive `app`.
void DeclareOptions(CLI::App& app, Options& options, GivenText& given) {
  // Unknown options and surplus arguments are refused in calvane's words.
  app.allow_extras();
  app.footer(kNotes);
  app.set_version_flag("--version", VersionText());
  app.add_option("FILES", given.files,
                 "INPUT OUTPUT: the image file (or frame pattern) to denoise, and where the result goes (never "
                 "the input itself); with -o DIR, any number of INPUTs")
      ->type_name("");
  app.add_option("--noise", given.noise, "the noise model: auto (default), additive, multiplicative or poisson")
      ->type_name("MODEL");
  given.varianceOption = app.add_option("--variance", given.variance,
                 "the noise level (standard deviation); default auto: measured and tuned on the image")
      ->type_name("SIGMA|auto");
  given.iterationsOption = app.add_option("--iterations", given.iterations,
                 "how many steps of the flow, 1 to 1000; default auto: as many as the image needs")
      ->type_name("N|auto");
  app.add_option("--channels", given.channels,
                 "colour edges: joint (default: one set of edges for all colour channels) or independent")
      ->type_name("joint|independent");
  app.add_flag("-i,--interactive", options.interactive, "edit the parameters in the plug-in's dialog first");
  app.add_option("--ui", given.ui,
                 "where -i shows the dialog: auto (default: the desktop when there is one), desktop or terminal")
      ->type_name("desktop|terminal");
  app.add_flag("--dry-run", options.dryRun,
               "print the parameters that would be used, one per line, and stop; writes nothing");
  app.add_option("--preview", options.preview, "write the working image to FILE whenever the plug-in redraws it")
      ->type_name("FILE");
  app.add_flag("-q,--quiet", options.quiet, "no progress and no notes; errors only");
  app.add_option("-o,--output-dir", options.outputFolder, "write each INPUT into DIR under its own name")
      ->type_name("DIR");
  app.add_option("--format", options.format, "with -o: the extension, and so the format, of the outputs")
      ->type_name("EXT");
  app.add_flag("--keep-going", options.keepGoing, "go on past a frame that fails; the batch still ends non-zero");
  app.add_flag("--skip-existing", options.skipExisting, "leave a frame whose output exists, as it is");
  app.add_option("--shard", given.shard, "take the K-th of N equal shares of the frames; auto: a Slurm array task's")
      ->type_name("K/N|auto");
  app.add_option("--plugin", options.pluginPath, "load the plug-in from PATH instead of beside the program")
      ->type_name("PATH");
  given.maxSamplesOption = app.add_option("--max-samples", given.maxSamples,
                 "refuse, unread, an image whose header declares more samples (width x height x channels); "
                 "default 2147483648")
      ->type_name("N");
}

// Reads the values given as text into `options`; a usage error for one
// that is not what its option takes.
void ReadGivenText(const GivenText& given, Options& options) {
  if (given.maxSamplesOption->count() > 0) {
    const std::optional<long long> value = ParseCount(given.maxSamples);
    if (!value || *value < 1) {
      throw UsageError("--max-samples: '" + given.maxSamples + "' is not a whole number of samples, 1 or more");
    }
    options.maxSamples = static_cast<std::uint64_t>(*value);
  }
  if (given.varianceOption->count() > 0 && !SameWord(given.variance, "auto")) {
    const std::optional<double> value = ParseNumber(given.variance);
    if (!value) throw UsageError("--variance: '" + given.variance + "' is neither a number nor 'auto'");
    options.noiseLevel = *value;
  }
  if (given.iterationsOption->count() > 0 && !SameWord(given.iterations, "auto")) {
    const std::optional<long long> value = ParseCount(given.iterations);
    if (!value) throw UsageError("--iterations: '" + given.iterations + "' is neither a whole number nor 'auto'");
    options.iterations = *value;
  }
  if (!given.noise.empty()) {
    options.noise = ParseNoiseModel(given.noise);
    options.noiseGiven = true;
  }
  if (!given.channels.empty()) options.channels = ParseChannelMode(given.channels);
  if (!given.ui.empty()) options.ui = ParseUiChoice(given.ui);
  if (!given.shard.empty()) {
    try {
      options.shard = ParseShard(given.shard);
    } catch (const ShardError& error) {
      throw UsageError(error.what());
    }
  }
}

// The arguments as INPUT and OUTPUT, or as the INPUTs of -o DIR.
void PlaceFiles(const GivenText& given, Options& options) {
  if (!options.outputFolder.empty()) {
    options.inputs = given.files;
    if (!options.inputs.empty()) options.input = options.inputs.front();
    return;
  }
  if (!options.format.empty()) {
    throw UsageError("--format '" + options.format + "' goes with -o DIR; a single OUTPUT's extension gives its format");
  }
  if (given.files.size() > 2) RefuseLeftOvers({given.files[2]});
  if (!given.files.empty()) options.input = given.files[0];
  if (given.files.size() > 1) options.output = given.files[1];
}

// INPUT and OUTPUT are needed but for a dry run, which needs INPUT only
// for what is to be measured on it.
void RequireFiles(const Options& options, const GivenText& given) {
  if (!options.outputFolder.empty()) {
    if (options.inputs.empty() && !options.dryRun) {
      throw UsageError("-o " + options.outputFolder + " needs at least one INPUT: calvane [options] INPUT... -o DIR");
    }
    if (options.format.find('/') != std::string::npos) {
      throw UsageError("--format: '" + options.format + "' is not a file extension (such as png or tif)");
    }
  } else if (!options.dryRun && (options.input.empty() || options.output.empty())) {
    throw UsageError(options.input.empty()
                         ? "INPUT and OUTPUT are required: calvane [options] INPUT OUTPUT (only --dry-run goes without them)"
                         : "OUTPUT is required after INPUT '" + options.input +
                               "': calvane [options] INPUT OUTPUT (only --dry-run goes without it)");
  }
  if (options.dryRun && options.input.empty() && (SameWord(given.variance, "auto") || SameWord(given.iterations, "auto"))) {
    throw UsageError("'auto' needs an INPUT image to measure; give one, or give the values");
  }
}

}  // namespace

const char* NoiseModelName(NoiseModel model) {
  switch (model) {
    case NoiseModel::Additive: return "additive";
    case NoiseModel::Multiplicative: return "multiplicative";
    case NoiseModel::Poisson: return "poisson";
    case NoiseModel::Auto: break;
  }
  return "auto";
}

std::string VersionText() { return "calvane " CALVANE_VERSION; }

CommandLine ParseCommandLine(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
  CommandLine result;
  GivenText given;
  CLI::App app{kDescription, "calvane"};
  DeclareOptions(app, result.options, given);
  try {
    CheckValueOptions(argc, argv);
    app.parse(argc, argv);
    RefuseLeftOvers(app.remaining());
    ReadGivenText(given, result.options);
    PlaceFiles(given, result.options);
    RequireFiles(result.options, given);
  } catch (const CLI::CallForVersion&) {
    out << VersionText() << "\n";
    result.exitStatus = 0;
  } catch (const CLI::CallForHelp&) {
    out << app.help();
    result.exitStatus = 0;
  } catch (const CLI::ParseError& error) {
    err << "calvane: " << error.what() << "\nRun 'calvane --help' for the options and examples.\n";
    result.exitStatus = static_cast<int>(ExitStatus::Usage);
  } catch (const AppError& error) {
    err << "calvane: " << error.what() << "\nRun 'calvane --help' for the options and examples.\n";
    result.exitStatus = static_cast<int>(error.status());
  }
  return result;
}

}  // namespace calvane::app
