#include "app/Program.h"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <optional>
#include <cstdio>
#include <iostream>
#include <set>
#include <utility>

#include "app/AtomicOutput.h"
#include "app/AutoVariance.h"
#include "app/Batch.h"
#include "app/DataScale.h"
#include "app/ErrorReporting.h"
#include "app/ExitStatus.h"
#include "app/FrameSequence.h"
#include "app/HostContext.h"
#include "app/ImageFile.h"
#include "app/Interactive.h"
#include "app/Interrupt.h"
#include "app/ParameterSet.h"
#include "app/PhotonNoise.h"
#include "app/PluginLibrary.h"
#include "app/Progress.h"
#include "host/HostErrors.h"
#include "host/Image.h"
#include "host/PluginParam.h"
#include "hostlib/HostImage.h"

namespace calvane::app {
namespace {

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

// No frame may write over an input of the batch, nor the preview over one.
void RefuseOverwritingInputs(const Options& options, const std::vector<Frame>& frames) {
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
}

// Frames to work on: this run's share of the batch, each checked so that no
// input can be overwritten, their format and folder tried before any work.
std::vector<Frame> PlanFrames(const Options& options) {
  const std::vector<Frame> all = ListFrames(options);
  if (all.empty() || (options.output.empty() && options.outputFolder.empty())) return all;  // a dry run
  RefuseOverwritingInputs(options, all);
  std::vector<Frame> frames = TakeShare(all, options, ProcessEnvironment());
  if (frames.empty()) {
    PrintNote("--shard: this share holds none of the " + std::to_string(all.size()) + " frames; nothing to do");
    return frames;
  }
  RequireWritableFormat(frames.front().output);
  // Every frame goes to the one folder: it is tried before any work.
  if (!options.dryRun) RequireWritableFolder(frames.front().output);
  return frames;
}

// The plug-in's own noise type for a model: photon noise is stabilised by
// the host and then additive.
const char* PluginNoiseType(NoiseModel model) {
  return model == NoiseModel::Multiplicative ? "Multiplicative" : "Additive";
}

void ApplyOptions(const Options& options, PluginParam& params) {
  SetListParameter(params, kNoiseTypeParameter, PluginNoiseType(options.noise), "--noise");
  if (options.noiseLevel) {
    // The dialog holds the multiplicative flow's level to 0..1; so does the
    // command line.
    if (options.noise == NoiseModel::Multiplicative && !(*options.noiseLevel >= 0.0 && *options.noiseLevel <= 1.0)) {
      throw UsageError("--variance: " + FormatNumber(*options.noiseLevel) +
                       " is outside 0 to 1, the limit of Noise Variance with --noise multiplicative");
    }
    SetFloatParameter(params, kNoiseVarianceParameter, *options.noiseLevel, "--variance");
    if (options.noise == NoiseModel::Multiplicative) {
      PrintNote("--variance " + FormatNumber(*options.noiseLevel) +
                " has no effect with --noise multiplicative: that flow is not held to any level");
    }
  }
  if (options.iterations) SetIntParameter(params, kIterationsParameter, *options.iterations, "--iterations");
}

// The photon noise is fitted on a centred part of at most this many pixels
// a side: a million pixels give some 16000 patches.
constexpr std::int64_t kNoiseFitSide = 1024;

// A frame read and made ready for the plug-in: every image of its file
// (pages, parts), and one of them in working units, or for photon noise in
// the stabilised domain, where its noise is about 1.
struct LoadedFrame {
  std::vector<DecodedImage> pages;
  std::size_t page = 0;  // the one in `work`
  HostImagePtr work;
  std::vector<NoiseLevelFit> photonFits;  // one per colour channel when stabilised

  DecodedImage& Decoded() { return pages[page]; }
  const DecodedImage& Decoded() const { return pages[page]; }
};

// Makes image `page` of the frame's file the working image.
void LoadPage(LoadedFrame& frame, std::size_t page, const std::string& path, const Options& options) {
  frame.work.reset();
  frame.photonFits.clear();
  frame.page = page;
  try {
    frame.work = MakeWorkingImage(frame.Decoded());
  } catch (const std::exception& error) {
    throw FileError(path, error.what());
  }
  SetImageChannelCoupling(frame.work.get(), options.channels == ChannelMode::Joint ? ChannelCoupling::Joint
                                                                                   : ChannelCoupling::Independent);
  SetImageScale(frame.work.get(), MeasureDataScale(frame.work.get(), WorkingFullScale(frame.Decoded())));
}

LoadedFrame LoadFrame(const std::string& path, const Options& options) {
  LoadedFrame frame{ReadImagePages(path, options.maxSamples.value_or(kDefaultMaxSamples)), 0, nullptr, {}};
  LoadPage(frame, 0, path, options);
  return frame;
}

// "in.tif page 2/3" for a file of several images; the path alone for one.
std::string PageName(const std::string& path, const LoadedFrame& frame) {
  if (frame.pages.size() <= 1) return path;
  return path + " page " + std::to_string(frame.page + 1) + "/" + std::to_string(frame.pages.size());
}

std::vector<NoiseLevelFunction> Functions(const std::vector<NoiseLevelFit>& fits) {
  std::vector<NoiseLevelFunction> functions;
  for (const NoiseLevelFit& fit : fits) functions.push_back(fit.nlf);
  return functions;
}

// Photon noise when every channel whose noise could be fitted shows noise
// growing with the signal.
bool LooksPhotonLimited(const std::vector<NoiseLevelFit>& fits) {
  bool any = false;
  for (const NoiseLevelFit& fit : fits) {
    if (!fit.valid) continue;
    if (!IsSignalDependent(fit)) return false;
    any = true;
  }
  return any;
}

// Fits the noise of every channel and moves the frame into the domain where
// that noise is about 1 everywhere.
void Stabilise(LoadedFrame& frame, std::vector<NoiseLevelFit> fits, const std::string& path) {
  for (const NoiseLevelFit& fit : fits) {
    if (!fit.valid) {
      throw FileError(path, "the photon noise could not be measured (too few smooth parts, or no noise); "
                            "try --noise additive");
    }
  }
  StabiliseImage(frame.work.get(), Functions(fits));
  SetImageScale(frame.work.get(), MeasureDataScale(frame.work.get(), 1.0f));
  frame.photonFits = std::move(fits);
}

// Puts the working image, back in the file's units, into the decoded file.
void StoreResult(LoadedFrame& frame) {
  DecodedImage& decoded = frame.Decoded();
  if (frame.photonFits.empty()) {
    StoreWorkingImage(frame.work.get(), decoded);
    return;
  }
  const HostImagePtr result(DuplicateImage(frame.work.get()));
  UnstabiliseImage(result.get(), Functions(frame.photonFits));
  StoreWorkingImage(result.get(), decoded);
}

// The fit in the file's units (`unit` of them to a working unit).
std::string DescribeFit(const NoiseLevelFit& fit, double unit) {
  const NoiseLevelFunction& f = fit.nlf;
  char text[128];
  if (f.offset >= 0) {
    std::snprintf(text, sizeof text, "gain %.4g, read noise %.4g", f.gain * unit, std::sqrt(f.offset) * unit);
  } else {
    // Variance below zero at zero signal: a black level the data sits on.
    std::snprintf(text, sizeof text, "gain %.4g, read noise 0 above a black level of %.4g", f.gain * unit,
                  -f.offset / f.gain * unit);
  }
  return text;
}

// What the run settled on beyond the plug-in's set.
std::vector<std::string> DescribeHostSettings(const Options& options, const LoadedFrame& frame, bool chosenByAuto) {
  std::vector<std::string> lines;
  if (!frame.work) return lines;
  if (!frame.photonFits.empty()) {
    lines.push_back(std::string("Noise model: poisson") + (chosenByAuto ? " (chosen by --noise auto)" : ""));
    for (std::size_t c = 0; c < frame.photonFits.size(); ++c) {
      lines.push_back("Photon noise, channel " + std::to_string(c + 1) + ": " +
                      DescribeFit(frame.photonFits[c], frame.Decoded().unit));
    }
  } else if (options.noise != NoiseModel::Multiplicative) {
    lines.push_back(std::string("Noise model: additive") + (chosenByAuto ? " (chosen by --noise auto)" : ""));
  } else {
    lines.push_back("Noise model: multiplicative");
  }
  if (frame.Decoded().unit != 1.0f && frame.photonFits.empty() && options.noise != NoiseModel::Multiplicative) {
    lines.push_back("Working units: " + FormatNumber(frame.Decoded().unit) +
                    " of the file's units each; Noise Variance is in them");
  }
  if (ImageChannels(frame.work.get()) > 1) {
    lines.push_back(std::string("Channels: ") +
                    (options.channels == ChannelMode::Joint ? "joint (one set of edges for every colour channel)"
                                                            : "independent (each colour channel on its own)"));
  }
  return lines;
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The run of one command line: the plug-in session, the settings chosen on
// the first frame, and every frame in turn.
class Run {
 public:
  Run(const Options& options, const PluginLibrary& plugin) : m_options(options), m_plugin(plugin), m_session(plugin, m_ctx) {
    ApplyOptions(options, m_session.Params());
  }

  PluginParam& Params() { return m_session.Params(); }
  AppContext& Context() { return m_ctx; }
  void Release() { m_session.Release(); }

  // Loads a frame and puts it in the domain its noise model asks for; the
  // first frame decides the model that --noise auto leaves open.
  LoadedFrame Prepare(const std::string& path) {
    LoadedFrame frame = LoadFrame(path, m_options);
    PrepareModel(frame, path);
    return frame;
  }

  // Makes image `page` of a frame's file the working image, as Prepare
  // makes the first: each page is a frame of its own to the flow.
  void PreparePage(LoadedFrame& frame, std::size_t page, const std::string& path) {
    LoadPage(frame, page, path, m_options);
    PrepareModel(frame, PageName(path, frame));
  }

  bool ModelChosenByAuto() const { return m_modelChosenByAuto; }

  // A level given on the command line, in the file's units, as the plug-in
  // takes it for this frame: in its working units (photon noise and the
  // multiplicative flow have levels of their own, unitless).
  void ApplyGivenLevel(const LoadedFrame& frame) {
    if (!m_options.noiseLevel || m_options.interactive || m_options.noise == NoiseModel::Multiplicative ||
        !frame.photonFits.empty()) {
      return;
    }
    SetFloatParameter(Params(), kNoiseVarianceParameter, *m_options.noiseLevel / frame.Decoded().unit, "--variance");
  }

  // Chooses what the command line left open on the first frame. False when
  // its noise cannot be measured and a level was to be measured: the frame
  // is then to be left as it is.
  bool ChooseSettings(const std::string& path, const LoadedFrame& frame) {
    AutoRequest request;
    ApplyGivenLevel(frame);
    const PluginParamEntry& variance = Params().m_pEntries[Params().Find(kNoiseVarianceParameter)];
    if (m_options.noiseLevel || m_options.noise == NoiseModel::Multiplicative) request.noiseLevel = variance.value.f;
    if (m_options.iterations) request.iterations = static_cast<int>(*m_options.iterations);
    if (request.noiseLevel && request.iterations) return true;

    int trial = 0;
    const TrialDenoiser denoise = [&](Image* image, double noiseLevel, int iterations, const TrialLook& atRedraw) {
      SetFloatParameter(Params(), kNoiseVarianceParameter, noiseLevel, "the automatic level");
      SetIntParameter(Params(), kIterationsParameter, iterations, "the automatic count");
      BeginProgress("choosing the settings, trial " + std::to_string(++trial));
      std::function<void(const Image*)> look;
      if (atRedraw) {
        look = [&atRedraw](const Image* seen) {
          if (!atRedraw(seen)) StopRun();
        };
      }
      const bool stopped = ProcessOn(image, look);
      ClearProgressLine();
      return stopped;
    };
    const AutoSettings chosen = ChooseAutoSettings(frame.work.get(), request, denoise);
    if (!NoiseIsMeasurable(frame.work.get(), chosen.sigma)) {
      NoteUnmeasurable(PageName(FileNameOf(path), frame), frame.work.get(), request.noiseLevel.has_value());
      if (!request.noiseLevel) return false;
    } else {
      NoteChosen(PageName(FileNameOf(path), frame), chosen, request, frame.Decoded().unit);
    }
    if (!request.noiseLevel) SetFloatParameter(Params(), kNoiseVarianceParameter, chosen.noiseLevel, "the automatic level");
    if (request.noiseLevel) SetFloatParameter(Params(), kNoiseVarianceParameter, *request.noiseLevel, "--variance");
    if (chosen.iterations > 0) SetIntParameter(Params(), kIterationsParameter, chosen.iterations, "the automatic count");
    m_factor = chosen.factor;
    return true;
  }

  // A later frame of a sequence: its noise is measured again, and the
  // level follows it with the first frame's factor.
  bool Remeasure(const std::string& path, const LoadedFrame& frame) {
    ApplyGivenLevel(frame);
    if (m_options.noiseLevel || m_options.noise == NoiseModel::Multiplicative || m_options.interactive) return true;
    const AutoSettings level = MeasureAutoVariance(frame.work.get(), m_factor);
    if (!NoiseIsMeasurable(frame.work.get(), level.sigma)) {
      NoteUnmeasurable(PageName(FileNameOf(path), frame), frame.work.get(), false);
      return false;
    }
    SetFloatParameter(Params(), kNoiseVarianceParameter, level.noiseLevel, "the automatic level");
    NoteLevel(PageName(FileNameOf(path), frame), level, false, frame.Decoded().unit);
    return true;
  }

  // Runs the process entry on `image`; a cancel from the user ends the
  // run. Returns true when the host stopped it early (StopRun).
  bool ProcessOn(Image* image, const std::function<void(const Image*)>& atRedraw) {
    m_ctx.SetWorkingImage(image);
    m_ctx.SetRedrawHandler(atRedraw ? std::function<void(Image*)>([&atRedraw](Image* work) { atRedraw(work); })
                                    : std::function<void(Image*)>());
    const int stopped = m_session.Process();
    m_ctx.SetWorkingImage(nullptr);
    m_ctx.SetRedrawHandler(nullptr);
    if (InterruptRequested() || (stopped != 0 && !RunStopped())) throw Interrupted("interrupted; nothing written");
    return stopped != 0;
  }

  // Notes once that a level given is beyond anything in the data.
  void CheckLevelAgainstData(const LoadedFrame& frame) {
    if (!m_options.noiseLevel || !frame.photonFits.empty() || m_options.noise == NoiseModel::Multiplicative) return;
    const double spread = GetScale(frame.work.get()) * frame.Decoded().unit;
    if (*m_options.noiseLevel > spread) {
      PrintNote("--variance " + FormatNumber(*m_options.noiseLevel) + " is larger than the spread of the image's values (" +
                FormatNumber(std::round(spread * 1000) / 1000) + "): the result will hardly be held to the input");
    }
  }

 private:
  // Notes name the frame by `name`: its file's base name, and its page.
  void NoteUnmeasurable(const std::string& name, const Image* work, bool levelGiven) {
    const bool tooSmall = ImageWidth(work) < kLeastMeasurableSide || ImageHeight(work) < kLeastMeasurableSide;
    const std::string why = tooSmall ? "too small to measure its noise (at least 4x4 pixels are needed)"
                                     : "no noise could be measured";
    PrintNote(name + ": " + why +
              (levelGiven ? "; Iterations stays at " + std::to_string(Params().m_pEntries[Params().Find(kIterationsParameter)].value.i)
                          : "; it is written unchanged"));
  }

  // The level in the file's units, `unit` of them to a working unit.
  void NoteLevel(const std::string& name, const AutoSettings& level, bool tried, double unit) {
    char note[200];
    std::snprintf(note, sizeof note, "estimated noise level %.4g; Noise Variance set to %.4g (%.2f x the estimate%s)",
                  level.sigma * unit, level.noiseLevel * unit, level.factor, tried ? ", chosen by trial runs" : "");
    PrintNote(name + ": " + note);
  }

  void NoteChosen(const std::string& name, const AutoSettings& chosen, const AutoRequest& request, double unit) {
    if (!request.noiseLevel) NoteLevel(name, chosen, chosen.trials > 0, unit);
    if (!request.iterations && chosen.iterations > 0) {
      PrintNote(name + ": Iterations set to " + std::to_string(chosen.iterations) +
                ", after which trial runs showed no further gain");
    }
  }

  // Chooses the noise model on the first frame (--noise auto) and moves a
  // frame into the stabilised domain when it is photon noise.
  void PrepareModel(LoadedFrame& frame, const std::string& path) {
    if (m_options.noise == NoiseModel::Additive || m_options.noise == NoiseModel::Multiplicative) return;
    // The noise of a centred part tells its kind and level as well as the
    // whole picture's would, at a fraction of the cost on large frames.
    const HostImagePtr part = CentredPart(frame.work.get(), kNoiseFitSide);
    std::vector<NoiseLevelFit> fits = FitImageNoiseLevels(part.get());
    if (!m_photon) {
      m_photon = m_options.noise == NoiseModel::Poisson || LooksPhotonLimited(fits);
      m_modelChosenByAuto = m_options.noise == NoiseModel::Auto;
    }
    if (*m_photon) Stabilise(frame, std::move(fits), path);
  }

  const Options& m_options;
  const PluginLibrary& m_plugin;
  AppContext m_ctx;
  PluginSession m_session;
  std::optional<bool> m_photon;
  bool m_modelChosenByAuto = false;
  double m_factor = kDefaultAutoVarianceFactor;
};

// Denoises the page of `loaded` in its working image (unless it is to be
// left as it is) and stores the result in it.
void DenoisePage(Run& run, const Options& options, LoadedFrame& loaded, const Frame& frame, const std::string& counter,
                 bool leaveAsItIs) {
  if (!leaveAsItIs) {
    std::function<void(const Image*)> atRedraw;
    PictureWindow* picture = ShownPicture();
    if (picture != nullptr) {
      picture->BeginRun(loaded.work.get(), run.Params().m_pEntries[run.Params().Find(kIterationsParameter)].value.i);
    }
    if (!options.preview.empty() || picture != nullptr) {
      atRedraw = [&](const Image* work) {
        if (!options.preview.empty()) {
          StoreResult(loaded);
          WriteImageFile(options.preview, loaded.Decoded());
        }
        if (picture != nullptr) picture->Redraw(work);
      };
    }
    BeginProgress(counter + FileNameOf(PageName(frame.input, loaded)));
    try {
      run.ProcessOn(loaded.work.get(), atRedraw);
    } catch (const AppError& error) {
      ClearProgressLine();
      if (error.status() == ExitStatus::Interrupted) throw Interrupted(frame.output + ": interrupted; not written");
      throw;
    }
    ClearProgressLine();
  }
  StoreResult(loaded);
}

// Every page of the frame's file in turn, the first as settled; the later
// ones have their noise measured again, as later frames have. All of them
// are written, in order, to the one output file.
void DenoiseFrame(Run& run, const Options& options, LoadedFrame& loaded, const Frame& frame, const std::string& counter,
                  bool leaveAsItIs) {
  const auto start = std::chrono::steady_clock::now();
  const std::size_t pages = loaded.pages.size();
  RequireRoomForImages(frame.output, frame.input, pages);
  std::size_t unchanged = 0;
  for (std::size_t page = 0; page < pages; ++page) {
    bool leave = leaveAsItIs;
    if (page > 0) {
      run.PreparePage(loaded, page, frame.input);
      leave = !run.Remeasure(frame.input, loaded);
    }
    DenoisePage(run, options, loaded, frame, counter, leave);
    if (leave) ++unchanged;
  }
  loaded.work.reset();
  std::vector<const DecodedImage*> written;
  for (const DecodedImage& page : loaded.pages) written.push_back(&page);
  WriteImagePages(frame.output, written, [&] {
    if (InterruptRequested()) throw Interrupted(frame.output + ": interrupted; not written");
  });
  std::string what;
  if (pages > 1) what = " (" + std::to_string(pages) + " pages" + (unchanged > 0 ? ", " + std::to_string(unchanged) + " unchanged" : "") + ")";
  if (pages == 1 && unchanged > 0) what = " (unchanged)";
  // Small images take a few hundredths of a second; show them as such.
  const double seconds = SecondsSince(start);
  char took[64];
  std::snprintf(took, sizeof took, seconds < 10 ? " (%.2f s)" : " (%.1f s)", seconds);
  PrintNote(counter + frame.input + " -> " + frame.output + what + took);
}

// The frames left to do, and what became of the others.
struct Plan {
  std::vector<Frame> frames;
  std::size_t total = 0;  // in this run's share, skipped ones included
  BatchTally tally;
};

// --skip-existing: a frame whose output exists is left as it is. Outputs
// are written whole or not at all, so one that exists is complete.
std::vector<Frame> LeaveExisting(std::vector<Frame> frames, BatchTally& tally) {
  std::vector<Frame> left;
  for (Frame& frame : frames) {
    struct stat info {};
    if (stat(frame.output.c_str(), &info) == 0) {
      PrintNote(frame.output + " exists, skipped");
      ++tally.skipped;
    } else {
      left.push_back(std::move(frame));
    }
  }
  return left;
}

// Everything that can fail before any work, checked first: the dialog can
// be shown, no input is overwritten, the outputs' formats and folders.
Plan CheckBeforeWork(const Options& options) {
  if (options.interactive) RequireInteractiveDialog(options.ui);
  Plan plan;
  plan.frames = PlanFrames(options);
  plan.total = plan.frames.size();
  if (options.skipExisting && !options.dryRun) plan.frames = LeaveExisting(std::move(plan.frames), plan.tally);
  if (!options.preview.empty()) RequireWritableFormat(options.preview);
  if (!options.preview.empty() && !options.dryRun) RequireWritableFolder(options.preview);
  return plan;
}

// Runs one frame's `work`. A failure is reported in one line and tallied;
// false when the batch stops there, which it does at the first failure
// unless --keep-going. Ctrl-C is not a frame's failure: it ends the run.
bool Attempt(const Options& options, const Frame& frame, Plan& plan, const std::function<void()>& work) {
  std::exception_ptr interruption;
  std::string reason;
  const int status = ReportFailures(
      [&] {
        try {
          work();
        } catch (const AppError& error) {
          if (error.status() != ExitStatus::Interrupted) throw;
          interruption = std::current_exception();
        }
        return 0;
      },
      &reason);
  if (interruption) std::rethrow_exception(interruption);
  if (status == 0) return true;
  BatchTally& tally = plan.tally;
  if (tally.failed++ == 0) {
    tally.firstFailure = reason.compare(0, frame.input.size(), frame.input) == 0 ? reason : frame.input + ": " + reason;
    tally.firstStatus = status;
  }
  return options.keepGoing;
}

// The first frame, read and with the run's settings chosen on it; whether
// it is to be written unchanged, its noise being unmeasurable. With
// --keep-going a frame that fails here is passed over for the next.
struct FirstFrame {
  std::size_t index = 0;  // of the frame in the plan; past its end when none settled
  LoadedFrame loaded;
  bool leaveAsItIs = false;
};

void SettleOn(Run& run, const Options& options, const Frame& frame, FirstFrame& first) {
  first.loaded = run.Prepare(frame.input);
  // What the formats make of this image is known now, before any run.
  for (const std::string& path : {frame.output, options.preview}) {
    if (options.dryRun || path.empty()) continue;
    // The preview shows one page at a time.
    const std::vector<std::string> notes = path == frame.output
                                               ? CheckOutputFormat(path, frame.input, first.loaded.pages)
                                               : CheckOutputFormat(path, first.loaded.Decoded());
    for (const std::string& note : notes) PrintNote(note);
  }
  run.CheckLevelAgainstData(first.loaded);
  first.leaveAsItIs = !run.ChooseSettings(frame.input, first.loaded);
}

FirstFrame SettleOnFirstFrame(Run& run, const Options& options, Plan& plan) {
  FirstFrame first;
  if (plan.total == 0) {
    if (options.dryRun && (!options.noiseLevel || !options.iterations)) {
      PrintNote("no INPUT: the plug-in's own values are shown; the automatic ones are measured on an image");
    }
    return first;
  }
  for (; first.index < plan.frames.size(); ++first.index) {
    bool settled = false;
    SetBatchPosition(first.index, plan.frames.size());
    const bool goOn = Attempt(options, plan.frames[first.index], plan, [&] {
      SettleOn(run, options, plan.frames[first.index], first);
      settled = true;
    });
    if (settled) break;
    if (!goOn) {
      plan.tally.notReached = plan.frames.size() - first.index - 1;
      first.index = plan.frames.size();
    }
  }
  return first;
}

// With -i the settings go into the dialog, and what the user confirms there
// holds for every frame, the first one included.
void ConfirmInDialog(Run& run, const Options& options, const PluginLibrary& plugin, FirstFrame& first) {
  for (const std::string& line : DescribeHostSettings(options, first.loaded, run.ModelChosenByAuto())) PrintNote(line);
  if (ConfigureInteractively(plugin, run.Context(), options.ui, first.loaded.work.get(), "calvane") != 0) {
    throw AppError(ExitStatus::DialogCancelled, "cancelled in the plug-in's dialog; nothing written");
  }
  first.leaveAsItIs = false;
}

void PrintSettings(Run& run, const Options& options, const FirstFrame& first) {
  for (const std::string& line : DescribeParameters(run.Params())) std::cout << line << "\n";
  for (const std::string& line : DescribeHostSettings(options, first.loaded, run.ModelChosenByAuto())) std::cout << line << "\n";
  std::cout.flush();
}

void DenoiseFrames(Run& run, const Options& options, Plan& plan, FirstFrame& first) {
  const std::vector<Frame>& frames = plan.frames;
  for (std::size_t index = first.index; index < frames.size(); ++index) {
    const Frame& frame = frames[index];
    const std::string counter =
        frames.size() > 1 ? "frame " + std::to_string(index + 1) + "/" + std::to_string(frames.size()) + " " : "";
    SetBatchPosition(index, frames.size());
    const bool goOn = Attempt(options, frame, plan, [&] {
      LoadedFrame loaded = index == first.index ? std::move(first.loaded) : run.Prepare(frame.input);
      const bool leave = index == first.index ? first.leaveAsItIs : !run.Remeasure(frame.input, loaded);
      DenoiseFrame(run, options, loaded, frame, counter, leave);
      ++plan.tally.done;
    });
    if (!goOn) {
      plan.tally.notReached = frames.size() - index - 1;
      return;
    }
  }
}

// A batch ends with what became of its frames; it fails with its first
// failure's status when any frame failed.
int FinishBatch(const Plan& plan) {
  const BatchTally& tally = plan.tally;
  if (plan.total > 1 || tally.skipped > 0) {
    if (tally.failed > 0) {
      PrintError("batch: " + DescribeTally(tally));
    } else {
      PrintNote("batch: " + DescribeTally(tally));
    }
  }
  return tally.failed > 0 ? tally.firstStatus : static_cast<int>(ExitStatus::Done);
}

}  // namespace

int Denoise(const Options& options) {
  SetQuiet(options.quiet);
  EnableProgressBar(!options.quiet && isatty(STDERR_FILENO) != 0);
  Plan plan = CheckBeforeWork(options);
  if (plan.frames.empty() && plan.total > 0) return FinishBatch(plan);
  if (plan.total == 0 && !options.input.empty() && !options.dryRun) return static_cast<int>(ExitStatus::Done);

  const PluginLibrary plugin(options.pluginPath.empty() ? DefaultPluginPath() : options.pluginPath);
  Run run(options, plugin);
  // The settings are chosen on the first frame and hold for every frame.
  FirstFrame first = SettleOnFirstFrame(run, options, plan);
  if (first.index >= plan.frames.size() && plan.total > 0) {
    run.Release();
    return FinishBatch(plan);
  }
  if (options.interactive) ConfirmInDialog(run, options, plugin, first);
  if (run.Context().GetParams() == nullptr) throw PluginError(plugin.Path(), "the plug-in left no parameter set");

  if (options.dryRun) {
    PrintSettings(run, options, first);
  } else {
    DenoiseFrames(run, options, plan, first);
  }
  run.Release();
  return options.dryRun ? static_cast<int>(ExitStatus::Done) : FinishBatch(plan);
}

int RunProgram(int argc, const char* const* argv) {
  const CommandLine commandLine = ParseCommandLine(argc, argv, std::cout, std::cerr);
  if (commandLine.exitStatus) return *commandLine.exitStatus;
  return ReportFailures([&] { return Denoise(commandLine.options); });
}

}  // namespace calvane::app
