#include "app/Program.h"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <iostream>
#include <set>
#include <utility>

#include "app/AtomicOutput.h"
#include "app/AutoVariance.h"
#include "app/ErrorReporting.h"
#include "app/ExitStatus.h"
#include "app/FrameSequence.h"
#include "app/HostContext.h"
#include "app/ImageFile.h"
#include "app/Interactive.h"
#include "app/Interrupt.h"
#include "app/ParameterSet.h"
#include "app/PluginLibrary.h"
#include "app/Progress.h"
#include "host/HostErrors.h"

namespace calvane::app {
namespace {

std::string BaseName(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The plug-in from its host-operations entry to its release entry: the
// release entry runs on every way out, so its cached images never outlive
// the session.
class PluginSession {
 public:
  PluginSession(const PluginLibrary& plugin, AppContext& ctx) : m_plugin(plugin), m_ctx(ctx) {
    Call(PluginEntryNumber::HostOps, "set-up");
    m_open = true;
    if (Call(PluginEntryNumber::Configure, "configure") != 0 || ctx.GetParams() == nullptr) {
      throw PluginError(plugin.Path(), "the plug-in could not set up its parameters");
    }
  }
  ~PluginSession() {
    try {
      Release();
    } catch (...) {
      // Already on the way out with another failure, which is the one to report.
    }
  }
  PluginSession(const PluginSession&) = delete;
  PluginSession& operator=(const PluginSession&) = delete;

  PluginParam& Params() { return *m_ctx.GetParams(); }

  // Returns the process entry's result: 1 when it stopped on request.
  int Process() { return Call(PluginEntryNumber::Process, "denoising"); }

  void Release() {
    if (!m_open) return;
    m_open = false;
    Call(PluginEntryNumber::Release, "release");
  }

 private:
  int Call(int number, const char* what) {
    try {
      return m_plugin.Call(number, &m_ctx);
    } catch (const AppError&) {
      throw;  // the host's own failure inside a plug-in call, e.g. a preview file
    } catch (AlertableError& error) {
      if (error.IsReported() != 0) throw AppError(ExitStatus::Plugin, m_plugin.Path() + ": " + what + " failed");
      throw PluginError(m_plugin.Path(), std::string(what) + " failed: " + error.GetMessageText());
    } catch (const std::exception& error) {
      throw PluginError(m_plugin.Path(), std::string(what) + " failed: " + error.what());
    }
  }

  const PluginLibrary& m_plugin;
  AppContext& m_ctx;
  bool m_open = false;
};

// Frames to work on, each checked so that no input can be overwritten.
std::vector<Frame> PlanFrames(const Options& options) {
  if (options.input.empty()) return {};
  if (options.output.empty()) return ExpandFrames(options.input, options.input);  // a dry run: inputs only
  std::vector<Frame> frames = ExpandFrames(options.input, options.output);
  std::set<std::pair<dev_t, ino_t>> inputs;
  for (const Frame& frame : frames) {
    struct stat info {};
    if (stat(frame.input.c_str(), &info) == 0) inputs.emplace(info.st_dev, info.st_ino);
  }
  for (const Frame& frame : frames) {
    struct stat info {};
    const bool overwritesAnInput = NameSameFile(frame.input, frame.output) ||
                                   (stat(frame.output.c_str(), &info) == 0 && inputs.count({info.st_dev, info.st_ino}) > 0);
    if (overwritesAnInput) {
      throw UsageError(frame.output + ": OUTPUT would overwrite an input file; calvane never replaces its input");
    }
    if (!options.preview.empty() && NameSameFile(frame.input, options.preview)) {
      throw UsageError(options.preview + ": --preview would overwrite the input file");
    }
  }
  RequireWritableFormat(frames.front().output);
  return frames;
}

void ApplyOptions(const Options& options, PluginParam& params) {
  if (options.noiseType) SetListParameter(params, kNoiseTypeParameter, *options.noiseType, "--noise");
  if (options.noiseVariance) SetFloatParameter(params, kNoiseVarianceParameter, *options.noiseVariance, "--variance");
  if (options.iterations) SetIntParameter(params, kIterationsParameter, *options.iterations, "--iterations");
}

void ApplyAutoVariance(const std::string& input, const AutoVariance& level, bool tried, PluginParam& params) {
  SetFloatParameter(params, kNoiseVarianceParameter, level.radius, "--variance auto");
  char note[200];
  std::snprintf(note, sizeof note, "estimated noise level %.4g; Noise Variance set to %.4g (%.2f x the estimate%s)",
                level.sigma, level.radius, level.factor, tried ? ", chosen by trial runs" : "");
  PrintNote(BaseName(input) + ": " + note);
}

struct LoadedFrame {
  DecodedImage decoded;
  HostImagePtr work;
};

LoadedFrame LoadFrame(const std::string& path, const Options& options) {
  LoadedFrame frame{ReadImageFile(path, options.maxSamples.value_or(kDefaultMaxSamples)), nullptr};
  try {
    frame.work = MakeWorkingImage(frame.decoded);
  } catch (const std::exception& error) {
    throw FileError(path, error.what());
  }
  return frame;
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int Denoise(const Options& options) {
  SetQuiet(options.quiet);
  EnableProgressBar(!options.quiet && isatty(STDERR_FILENO) != 0);
  if (options.interactive) RequireInteractiveDialog();

  const std::vector<Frame> frames = PlanFrames(options);
  if (!options.preview.empty()) RequireWritableFormat(options.preview);

  const PluginLibrary plugin(options.pluginPath.empty() ? DefaultPluginPath() : options.pluginPath);
  AppContext ctx;
  PluginSession session(plugin, ctx);
  ApplyOptions(options, session.Params());

  // The factor of --variance auto is tried out on the first frame; later
  // frames have their noise measured again. With -i the first frame's value
  // goes into the dialog, and what the user confirms there holds for all.
  const bool estimateEveryFrame = options.autoVariance && !options.interactive && !options.dryRun;
  LoadedFrame first;
  double autoFactor = kDefaultAutoVarianceFactor;
  if (options.autoVariance) {
    first = LoadFrame(frames.front().input, options);
    int trial = 0;
    const TrialDenoiser denoise = [&](Image* image, double radius) {
      SetFloatParameter(session.Params(), kNoiseVarianceParameter, radius, "--variance auto");
      ctx.SetWorkingImage(image);
      BeginProgress("choosing the noise level, trial " + std::to_string(++trial));
      const int stopped = session.Process();
      ctx.SetWorkingImage(nullptr);
      ClearProgressLine();
      if (stopped != 0 || InterruptRequested()) throw Interrupted("interrupted; nothing written");
    };
    const AutoVariance level = ChooseAutoVariance(first.work.get(), denoise);
    autoFactor = level.factor;
    ApplyAutoVariance(frames.front().input, level, trial > 0, session.Params());
  }
  if (options.interactive && ConfigureInteractively(plugin, ctx) != 0) {
    throw AppError(ExitStatus::DialogCancelled, "cancelled in the plug-in's dialog; nothing written");
  }
  if (ctx.GetParams() == nullptr) throw PluginError(plugin.Path(), "the plug-in left no parameter set");

  if (options.dryRun) {
    for (const std::string& line : DescribeParameters(session.Params())) std::cout << line << "\n";
    std::cout.flush();
    session.Release();
    return static_cast<int>(ExitStatus::Done);
  }

  for (std::size_t index = 0; index < frames.size(); ++index) {
    const Frame& frame = frames[index];
    LoadedFrame loaded = index == 0 && first.work ? std::move(first) : LoadFrame(frame.input, options);
    if (estimateEveryFrame && index > 0) {
      ApplyAutoVariance(frame.input, MeasureAutoVariance(loaded.work.get(), autoFactor), false, session.Params());
    }

    ctx.SetWorkingImage(loaded.work.get());
    if (!options.preview.empty()) {
      ctx.SetRedrawHandler([&](Image* work) {
        StoreWorkingImage(work, loaded.decoded);
        WriteImageFile(options.preview, loaded.decoded);
      });
    }
    const std::string counter =
        frames.size() > 1 ? "frame " + std::to_string(index + 1) + "/" + std::to_string(frames.size()) + " " : "";
    BeginProgress(counter + BaseName(frame.input));
    const auto start = std::chrono::steady_clock::now();
    const int stopped = session.Process();
    ctx.SetWorkingImage(nullptr);
    ctx.SetRedrawHandler(nullptr);
    ClearProgressLine();
    if (stopped != 0 || InterruptRequested()) throw Interrupted(frame.output + ": interrupted; not written");

    StoreWorkingImage(loaded.work.get(), loaded.decoded);
    WriteImageFile(frame.output, loaded.decoded, [&] {
      if (InterruptRequested()) throw Interrupted(frame.output + ": interrupted; not written");
    });
    // Small images take a few hundredths of a second; show them as such.
    const double seconds = SecondsSince(start);
    char took[64];
    std::snprintf(took, sizeof took, seconds < 10 ? " (%.2f s)" : " (%.1f s)", seconds);
    PrintNote(counter + frame.input + " -> " + frame.output + took);
  }
  session.Release();
  return static_cast<int>(ExitStatus::Done);
}

int RunProgram(int argc, const char* const* argv) {
  const CommandLine commandLine = ParseCommandLine(argc, argv, std::cout, std::cerr);
  if (commandLine.exitStatus) return *commandLine.exitStatus;
  return ReportFailures([&] { return Denoise(commandLine.options); });
}

}  // namespace calvane::app
