#include "app/Options.h"

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cmath>
#include <cstdlib>

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
    "\n"
    "Noise Variance is the noise level as a standard deviation, in the file's own\n"
    "units: 0-255 for 8-bit, 0-65535 for 16-bit, 0-1 for floating-point files.\n"
    "'auto' measures the noise of the input and, by a few short trial runs, picks\n"
    "0.7 to 1.2 times that level, whichever suits the picture best.\n"
    "\n"
    "Exit status: 0 done, 1 cancelled in the dialog, 2 usage, 3 reading or writing\n"
    "a file, 4 the plug-in, 130 interrupted (Ctrl-C; a second Ctrl-C ends at once).\n"
    "\n"
    "Examples:\n"
    "  calvane noisy.png clean.png\n"
    "  calvane --variance auto --iterations 300 photo.jpg photo-denoised.jpg\n"
    "  calvane --variance 1200 --iterations 100 scan-16bit.tif scan-clean.tif\n"
    "  calvane --noise multiplicative --iterations 50 frame.exr frame-clean.exr\n"
    "  calvane --variance auto frames/in_%04d.png frames/out_%04d.png\n"
    "  calvane --dry-run --variance 12\n";

std::optional<double> ParseNumber(const std::string& text) {
  if (text.empty()) return std::nullopt;
  char* end = nullptr;
  errno = 0;
  const double value = std::strtod(text.c_str(), &end);
  if (end == text.c_str() || *end != '\0' || errno == ERANGE || !std::isfinite(value)) return std::nullopt;
  return value;
}

}  // namespace

std::string VersionText() { return "calvane " CALVANE_VERSION; }

CommandLine ParseCommandLine(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
  CommandLine result;
  Options& options = result.options;
  std::string noise;
  std::string variance;

  CLI::App app{kDescription, "calvane"};
  app.footer(kNotes);
  app.set_version_flag("--version", VersionText());
  app.add_option("INPUT", options.input, "the image file (or frame pattern) to denoise");
  app.add_option("OUTPUT", options.output, "where the result goes (never the input itself)");
  app.add_option("--noise", noise, "the noise model: additive (default) or multiplicative")
      ->check(CLI::IsMember({"additive", "multiplicative"}, CLI::ignore_case).description(""))
      ->type_name("additive|multiplicative");
  CLI::Option* varianceOption = app.add_option("--variance", variance, "the noise level (standard deviation), or 'auto' to estimate it")
      ->type_name("SIGMA|auto");
  app.add_option("--iterations", options.iterations, "how many steps of the flow (1 to 1000; default 20)")
      ->type_name("N");
  app.add_flag("-i,--interactive", options.interactive, "edit the parameters in the plug-in's dialog first");
  app.add_flag("--dry-run", options.dryRun,
               "print the parameters that would be used, one per line, and stop; writes nothing");
  app.add_option("--preview", options.preview, "write the working image to FILE whenever the plug-in redraws it")
      ->type_name("FILE");
  app.add_flag("-q,--quiet", options.quiet, "no progress and no notes; errors only");
  app.add_option("--plugin", options.pluginPath, "load the plug-in from PATH instead of beside the program")
      ->type_name("PATH");
  app.add_option("--max-samples", options.maxSamples,
                 "refuse, unread, an image whose header declares more samples (width x height x channels); "
                 "default 2147483648")
      ->check(CLI::PositiveNumber.description(""))
      ->type_name("N");

  try {
    app.parse(argc, argv);
    if (varianceOption->count() > 0) {
      if (variance == "auto") {
        options.autoVariance = true;
      } else if (const std::optional<double> value = ParseNumber(variance)) {
        options.noiseVariance = *value;
      } else {
        throw UsageError("--variance: '" + variance + "' is neither a number nor 'auto'");
      }
    }
    if (!noise.empty()) options.noiseType = noise;
    if (!options.dryRun && (options.input.empty() || options.output.empty())) {
      throw UsageError(options.input.empty() ? "INPUT and OUTPUT are required" : "OUTPUT is required");
    }
    if (options.dryRun && options.autoVariance && options.input.empty()) {
      throw UsageError("--variance auto needs INPUT to estimate the noise of");
    }
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
