// Bandwidth of the host library's operations and of one engine iteration,
// on an in-cache grey image and an out-of-cache colour one, next to a
// STREAM-like triad run in the same process for reference. After the usual
// table a summary gives the ratios that matter, each from this run alone
// (medians when --benchmark_repetitions is given), so a busy machine slows
// the reference and the operation alike:
//   - each streaming operation's bandwidth over the triad's;
//   - the curvature's time over a copy's (a pass that reads one image and
//     writes one), and the joint (coupled-channel) curvature's time over the
//     per-channel one's on the same colour image;
//   - one engine iteration over its streams moved at triad bandwidth, and
//     over the sum of its operations timed alone (time lost between them);
//   - the same iteration with the operations deferred and fused, over one
//     triad (the three streams an iteration cannot do without), with the
//     colour channels independent and coupled;
//   - what a pass costs after the thread team fell asleep, and into a newly
//     made image (page faults), next to the steady state.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <map>
#include <ostream>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "host/Curvature.h"
#include "host/Image.h"
#include "hostlib/HostImage.h"
#include "hostlib/Kernels.h"
#include "hostlib/Parallel.h"

namespace {

struct ImageDeleter {
  void operator()(Image* image) const { DeleteImage(image); }
};
using ImagePtr = std::unique_ptr<Image, ImageDeleter>;

// The library's mode for one benchmark: the operations timed alone, and the
// iteration as the eager library runs it, are timed eagerly; the fused
// iteration deferred.
class EagerScope {
 public:
  explicit EagerScope(bool eager) : m_was(HostOperationsEager()) { SetHostOperationsEager(eager); }
  ~EagerScope() { SetHostOperationsEager(m_was); }
  EagerScope(const EagerScope&) = delete;
  EagerScope& operator=(const EagerScope&) = delete;

 private:
  bool m_was;
};

struct Size {
  std::int64_t width, height;
  int channels;
};

// Arguments: 0 = 512x512 grey (in cache), 1 = 4000x3000 RGB, 2 = 6000x4000 RGB,
// 3 = 512x512 RGB (in cache; the curvatures only).
constexpr int kSizes = 4;
Size SizeOf(std::int64_t index) {
  switch (index) {
    case 0: return {512, 512, 1};
    case 1: return {4000, 3000, 3};
    case 3: return {512, 512, 3};
    default: return {6000, 4000, 3};
  }
}

ImagePtr NoisyImage(const Size& size, unsigned seed) {
  ImagePtr image(CreateImage(size.width, size.height, size.channels, 255.0f));
  std::mt19937 rng(seed);
  std::normal_distribution<float> noise(128.0f, 20.0f);
  for (int c = 0; c < size.channels; ++c) {
    float* p = ImagePlane(image.get(), c);
    for (std::int64_t i = 0; i < size.width * size.height; ++i) p[i] = noise(rng);
  }
  return image;
}

void SetBytes(benchmark::State& state, const Size& size, double floatsPerSample) {
  const double samples = double(size.width) * double(size.height) * size.channels;
  state.SetBytesProcessed(static_cast<std::int64_t>(double(state.iterations()) * samples * floatsPerSample * 4.0));
  state.counters["Msamples/s"] = benchmark::Counter(samples * double(state.iterations()) / 1e6, benchmark::Counter::kIsRate);
}

// a[i] = b[i] + s * c[i]: three streams, the reference bandwidth.
void BM_Triad(benchmark::State& state) {
  const Size size = SizeOf(state.range(0));
  const EagerScope eager(true);
  const std::ptrdiff_t n = size.width * size.height * size.channels;
  ImagePtr a = NoisyImage(size, 1), b = NoisyImage(size, 2), c = NoisyImage(size, 3);
  float* pa = ImagePlane(a.get(), 0);
  const float* pb = ImagePlane(b.get(), 0);
  const float* pc = ImagePlane(c.get(), 0);
  for (auto _ : state) {
    calvane::hostlib::ForEachChunk(size_t(n), 1, [=](std::size_t offset, std::size_t count, std::size_t) {
      float* __restrict out = pa + offset;
      const float* __restrict x = pb + offset;
      const float* __restrict y = pc + offset;
      for (std::size_t i = 0; i < count; ++i) out[i] = x[i] + 0.5f * y[i];
    });
    benchmark::ClobberMemory();
  }
  SetBytes(state, size, 3);
}

void BM_AddImage(benchmark::State& state) {
  const Size size = SizeOf(state.range(0));
  const EagerScope eager(true);
  ImagePtr a = NoisyImage(size, 1), b = NoisyImage(size, 2);
  float factor = 1e-3f;
  for (auto _ : state) {
    AddImage(a.get(), b.get(), factor);
    factor = -factor;  // keeps values bounded over many runs
  }
  SetBytes(state, size, 3);  // read dst, read src, write dst
}

void BM_MultiplyConstant(benchmark::State& state) {
  const Size size = SizeOf(state.range(0));
  const EagerScope eager(true);
  ImagePtr a = NoisyImage(size, 1);
  float factor = 1.0001f;
  for (auto _ : state) {
    MultiplyConstant(a.get(), factor);
    factor = 1.0f / factor;
  }
  SetBytes(state, size, 2);
}

void BM_ImageDiffEnergy(benchmark::State& state) {
  const Size size = SizeOf(state.range(0));
  const EagerScope eager(true);
  ImagePtr a = NoisyImage(size, 1), b = NoisyImage(size, 2);
  for (auto _ : state) benchmark::DoNotOptimize(ImageDiffEnergy(a.get(), b.get()));
  SetBytes(state, size, 2);
}

void BM_CopyImageData(benchmark::State& state) {
  const Size size = SizeOf(state.range(0));
  const EagerScope eager(true);
  ImagePtr a = NoisyImage(size, 1), b = NoisyImage(size, 2);
  for (auto _ : state) CopyImageData(a.get(), b.get());
  SetBytes(state, size, 2);
}

void BM_Curvature(benchmark::State& state) {
  const Size size = SizeOf(state.range(0));
  const EagerScope eager(true);
  ImagePtr in = NoisyImage(size, 1), out = NoisyImage(size, 2);
  for (auto _ : state) TwoD_Curv_Divergence(in.get(), out.get(), 255e-6f);
  SetBytes(state, size, 2);  // read one image, write one
}

// The curvature with the channels coupled: one normaliser per pixel from
// all channels' gradients.
void BM_CurvatureJoint(benchmark::State& state) {
  const Size size = SizeOf(state.range(0));
  const EagerScope eager(true);
  ImagePtr in = NoisyImage(size, 1), out = NoisyImage(size, 2);
  SetImageChannelCoupling(in.get(), ChannelCoupling::Joint);
  for (auto _ : state) TwoD_Curv_Divergence(in.get(), out.get(), 255e-6f);
  SetBytes(state, size, 2);
}

// The engine's per-iteration calls with the projection active (the common
// case once the flow has reached the noise level).
struct EngineImages {
  ImagePtr work, noisy, curvature;
  float epsilon, step;
  double sigma = 0.05;  // small, so every iteration projects

  explicit EngineImages(const Size& size, ChannelCoupling coupling = ChannelCoupling::Independent)
      : work(NoisyImage(size, 1)) {
    SetImageChannelCoupling(work.get(), coupling);
    noisy.reset(DuplicateImage(work.get()));
    curvature.reset(NewImage(work.get()));
    const float scale = GetScale(work.get());
    epsilon = scale * 1e-6f;
    step = scale * 0.00390625f * 0.25f;
  }

  void Iterate() {
    TwoD_Curv_Divergence(work.get(), curvature.get(), epsilon);
    AddImage(work.get(), curvature.get(), step);
    const double r = std::sqrt(double(ImageDiffEnergy(work.get(), noisy.get()))) / sigma;
    if (r > 1.0) {
      const float rf = float(r);
      AddImage(work.get(), noisy.get(), float(rf - 1.0));
      MultiplyConstant(work.get(), float(1.0 / rf));
    }
  }
};

// Streams: curvature 2, add 3, energy 2, add 3, multiply 2.
constexpr double kIterationStreams = 12;

void BM_EngineIteration(benchmark::State& state) {
  const Size size = SizeOf(state.range(0));
  const EagerScope eager(true);
  EngineImages images(size);
  for (auto _ : state) images.Iterate();
  SetBytes(state, size, kIterationStreams);
}

// The same calls deferred: one pass per iteration that reads the old working
// samples (the projection folded into the read) and the noisy image, writes
// the new working samples into the curvature image's buffer, which the
// working image then takes, and sums the energy. The curvature itself is
// never computed: nothing reads it before the next one replaces it.
void BM_FusedIteration(benchmark::State& state) {
  const Size size = SizeOf(state.range(0));
  const EagerScope eager(false);
  EngineImages images(size);
  for (auto _ : state) images.Iterate();
  SetBytes(state, size, 3);
}

// The same with the colour channels coupled (the program's default for
// colour images): every row of every channel in one walk.
void BM_FusedIterationJoint(benchmark::State& state) {
  const Size size = SizeOf(state.range(0));
  const EagerScope eager(false);
  EngineImages images(size, ChannelCoupling::Joint);
  for (auto _ : state) images.Iterate();
  SetBytes(state, size, 3);
}

// The same after the thread team has had time to fall asleep: the cost of
// waking it, paid once per run of iterations, not per operation.
void BM_EngineIterationAfterIdle(benchmark::State& state) {
  const Size size = SizeOf(state.range(0));
  const EagerScope eager(true);
  EngineImages images(size);
  for (auto _ : state) {
    state.PauseTiming();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    state.ResumeTiming();
    images.Iterate();
  }
  SetBytes(state, size, kIterationStreams);
}

// The curvature into an image made just before (as the engine's first run
// does): images are faulted in when made, so this costs what a pass into a
// reused image costs.
void BM_CurvatureIntoNewImage(benchmark::State& state) {
  const Size size = SizeOf(state.range(0));
  const EagerScope eager(true);
  ImagePtr in = NoisyImage(size, 1);
  for (auto _ : state) {
    state.PauseTiming();
    ImagePtr out(NewImage(in.get()));
    state.ResumeTiming();
    TwoD_Curv_Divergence(in.get(), out.get(), 255e-6f);
    state.PauseTiming();
    out.reset();
    state.ResumeTiming();
  }
  SetBytes(state, size, 2);
}

// Making an image: allocation and the first touch of every page, once per
// image, outside the iterations.
void BM_NewImage(benchmark::State& state) {
  const Size size = SizeOf(state.range(0));
  const EagerScope eager(true);
  ImagePtr model = NoisyImage(size, 1);
  for (auto _ : state) ImagePtr made(NewImage(model.get()));
  SetBytes(state, size, 1);
}

// Collects every run, prints the usual table, and ends with the summary.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      const std::string key = run.run_name.function_name + "/" + run.run_name.args;
      const double seconds = run.GetAdjustedRealTime() * Seconds(run.time_unit);
      if (run.run_type == Run::RT_Aggregate) {
        if (run.aggregate_name == "median") m_medians[key] = seconds;
      } else {
        m_samples[key].push_back(seconds);
      }
    }
  }

  void Finalize() override {
    ConsoleReporter::Finalize();
    std::ostream& out = GetOutputStream();
    char line[256];
    out << "\nSummary (ratios within this run; medians of the repetitions)\n";
    for (int size = 0; size < kSizes; ++size) {
      const std::string arg = "/" + std::to_string(size);
      const double triad = Time("BM_Triad" + arg);
      const double copy = Time("BM_CopyImageData" + arg);
      const double curvature = Time("BM_Curvature" + arg);
      const double joint = Time("BM_CurvatureJoint" + arg);
      if (triad <= 0 && (copy <= 0 || curvature <= 0) && (joint <= 0 || curvature <= 0)) continue;
      const Size geometry = SizeOf(size);
      const double samples = double(geometry.width) * double(geometry.height) * geometry.channels;
      if (triad > 0) {
        std::snprintf(line, sizeof line, "\n%lldx%lldx%d: triad %.1f us = %.1f GB/s\n", (long long)geometry.width,
                      (long long)geometry.height, geometry.channels, triad * 1e6, 3 * 4 * samples / triad / 1e9);
      } else {
        std::snprintf(line, sizeof line, "\n%lldx%lldx%d:\n", (long long)geometry.width, (long long)geometry.height,
                      geometry.channels);
      }
      out << line;
      const struct {
        const char* name;
        double streams;
      } streaming[] = {{"AddImage", 3}, {"MultiplyConstant", 2}, {"ImageDiffEnergy", 2}, {"CopyImageData", 2}};
      for (const auto& op : streaming) {
        const double t = Time(std::string("BM_") + op.name + arg);
        if (t <= 0 || triad <= 0) continue;
        const double ratio = (op.streams / t) / (3 / triad);
        std::snprintf(line, sizeof line, "  %-18s %9.1f us  %6.1f GB/s  bandwidth/triad %.2f %s\n", op.name, t * 1e6,
                      op.streams * 4 * samples / t / 1e9, ratio, Verdict(ratio >= 0.8, ">= 0.80"));
        out << line;
      }
      if (copy > 0 && curvature > 0) {
        std::snprintf(line, sizeof line, "  %-18s %9.1f us  time/copy %.2f %s\n", "Curvature", curvature * 1e6,
                      curvature / copy, Verdict(curvature / copy <= 1.5, "<= 1.50"));
        out << line;
      }
      if (joint > 0 && curvature > 0) {
        std::snprintf(line, sizeof line, "  %-18s %9.1f us  time/per-channel curvature %.2f %s\n", "Joint curvature",
                      joint * 1e6, joint / curvature, Verdict(joint / curvature <= 1.3, "<= 1.30"));
        out << line;
      }
      const double iteration = Time("BM_EngineIteration" + arg);
      if (iteration > 0 && triad > 0) {
        const double atTriad = kIterationStreams / 3 * triad;
        std::snprintf(line, sizeof line,
                      "  %-18s %9.1f us  time/(its %g streams at triad bandwidth, %.1f us) %.2f %s\n",
                      "Engine iteration", iteration * 1e6, kIterationStreams, atTriad * 1e6, iteration / atTriad,
                      Verdict(iteration / atTriad <= 1.25, "<= 1.25"));
        out << line;
        const double add = Time("BM_AddImage" + arg), multiply = Time("BM_MultiplyConstant" + arg);
        const double energy = Time("BM_ImageDiffEnergy" + arg);
        if (curvature > 0 && add > 0 && multiply > 0 && energy > 0) {
          const double parts = curvature + 2 * add + energy + multiply;
          std::snprintf(line, sizeof line, "  %-18s %9.1f us  iteration - its operations timed alone: %+.1f us\n",
                        "Between operations", parts * 1e6, (iteration - parts) * 1e6);
          out << line;
        }
        const double fused = Time("BM_FusedIteration" + arg);
        if (fused > 0) {
          // The bound: read the working and the noisy image once, write the
          // working image once, a triad's three streams.
          std::snprintf(line, sizeof line, "  %-18s %9.1f us  time/triad (3-stream bound) %.2f %s, eager %.2f\n",
                        "Fused iteration", fused * 1e6, fused / triad, Verdict(fused / triad <= 1.5, "<= 1.5"),
                        iteration / triad);
          out << line;
          if (size == 0) {
            std::snprintf(line, sizeof line, "  %-18s %9.1f us  %s\n", "", fused * 1e6,
                          Verdict(fused <= 25e-6, "<= 25 us"));
            out << line;
          }
        }
        const double fusedJoint = Time("BM_FusedIterationJoint" + arg);
        if (fusedJoint > 0) {
          std::snprintf(line, sizeof line, "  %-18s %9.1f us  time/triad (3-stream bound) %.2f %s\n",
                        "Fused, coupled", fusedJoint * 1e6, fusedJoint / triad,
                        Verdict(fusedJoint / triad <= 1.5, "<= 1.5"));
          out << line;
        }
        const double idle = Time("BM_EngineIterationAfterIdle" + arg);
        if (idle > 0) {
          std::snprintf(line, sizeof line, "  %-18s %9.1f us  waking the team: %+.1f us, once per run of iterations\n",
                        "After idle", idle * 1e6, (idle - iteration) * 1e6);
          out << line;
        }
      }
      const double fresh = Time("BM_CurvatureIntoNewImage" + arg);
      if (fresh > 0 && curvature > 0) {
        std::snprintf(line, sizeof line, "  %-18s %9.1f us  first pass into a new image: %+.1f us\n",
                      "Into new image", fresh * 1e6, (fresh - curvature) * 1e6);
        out << line;
      }
      const double made = Time("BM_NewImage" + arg);
      if (made > 0) {
        std::snprintf(line, sizeof line, "  %-18s %9.1f us  allocation and first touch, once per image\n",
                      "NewImage", made * 1e6);
        out << line;
      }
    }
  }

 private:
  static double Seconds(benchmark::TimeUnit unit) {
    switch (unit) {
      case benchmark::kNanosecond: return 1e-9;
      case benchmark::kMicrosecond: return 1e-6;
      case benchmark::kMillisecond: return 1e-3;
      case benchmark::kSecond: return 1.0;
    }
    return 1.0;
  }

  static const char* Verdict(bool met, const char* goal) {
    static std::string text;
    text = std::string(met ? "(goal " : "(MISSES goal ") + goal + ")";
    return text.c_str();
  }

  // The median time of a benchmark in seconds, 0 when it did not run.
  double Time(const std::string& key) const {
    if (auto found = m_medians.find(key); found != m_medians.end()) return found->second;
    auto found = m_samples.find(key);
    if (found == m_samples.end() || found->second.empty()) return 0;
    std::vector<double> times = found->second;
    std::sort(times.begin(), times.end());
    const std::size_t n = times.size();
    return n % 2 ? times[n / 2] : (times[n / 2 - 1] + times[n / 2]) / 2;
  }

  std::map<std::string, double> m_medians;
  std::map<std::string, std::vector<double>> m_samples;
};

#define CALVANE_SIZES ->Arg(0)->Arg(1)->Arg(2)->UseRealTime()->Unit(benchmark::kMicrosecond)
BENCHMARK(BM_Triad) CALVANE_SIZES;
BENCHMARK(BM_AddImage) CALVANE_SIZES;
BENCHMARK(BM_MultiplyConstant) CALVANE_SIZES;
BENCHMARK(BM_ImageDiffEnergy) CALVANE_SIZES;
BENCHMARK(BM_CopyImageData) CALVANE_SIZES;
BENCHMARK(BM_Curvature) CALVANE_SIZES->Arg(3);
BENCHMARK(BM_CurvatureJoint)->Arg(1)->Arg(2)->Arg(3)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_EngineIteration) CALVANE_SIZES;
BENCHMARK(BM_FusedIteration) CALVANE_SIZES;
BENCHMARK(BM_FusedIterationJoint)->Arg(1)->Arg(2)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_EngineIterationAfterIdle) CALVANE_SIZES;
BENCHMARK(BM_CurvatureIntoNewImage) CALVANE_SIZES;
BENCHMARK(BM_NewImage) CALVANE_SIZES;

}  // namespace

// --vector-level=baseline|avx2|avx512 runs the library's kernels of that
// level instead of the widest this processor has.
bool ChooseVectorLevel(int& argc, char** argv) {
  using calvane::hostlib::VectorLevel;
  const std::string flag = "--vector-level=";
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.compare(0, flag.size(), flag) != 0) continue;
    const std::string name = arg.substr(flag.size());
    const VectorLevel level = name == "avx512" ? VectorLevel::Avx512
                              : name == "avx2" ? VectorLevel::Avx2
                                               : VectorLevel::Baseline;
    if ((name != "baseline" && level == VectorLevel::Baseline) || !calvane::hostlib::UseKernels(level)) {
      std::fprintf(stderr, "hostlib_bench: vector level %s is not available here\n", name.c_str());
      return false;
    }
    for (int j = i; j + 1 < argc; ++j) argv[j] = argv[j + 1];
    --argc;
    break;
  }
  std::fprintf(stderr, "hostlib_bench: %s kernels, %d threads\n", calvane::hostlib::ActiveKernels().name,
               calvane::hostlib::ThreadTeam::Get().Size());
  return true;
}

int main(int argc, char** argv) {
  if (!ChooseVectorLevel(argc, argv)) return 1;
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
