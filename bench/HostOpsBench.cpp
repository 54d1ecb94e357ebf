// Bandwidth of the host library's operations and of one engine iteration,
// on an in-cache grey image and an out-of-cache colour one, next to a
// STREAM-like triad run in the same process for reference.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <random>

#include "host/Curvature.h"
#include "host/Image.h"
#include "hostlib/HostImage.h"
#include "hostlib/Parallel.h"

namespace {

struct ImageDeleter {
  void operator()(Image* image) const { DeleteImage(image); }
};
using ImagePtr = std::unique_ptr<Image, ImageDeleter>;

struct Size {
  std::int64_t width, height;
  int channels;
};

// Arguments: 0 = 512x512 grey (in cache), 1 = 4000x3000 RGB, 2 = 6000x4000 RGB.
Size SizeOf(std::int64_t index) {
  switch (index) {
    case 0: return {512, 512, 1};
    case 1: return {4000, 3000, 3};
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
  ImagePtr a = NoisyImage(size, 1), b = NoisyImage(size, 2);
  for (auto _ : state) benchmark::DoNotOptimize(ImageDiffEnergy(a.get(), b.get()));
  SetBytes(state, size, 2);
}

void BM_CopyImageData(benchmark::State& state) {
  const Size size = SizeOf(state.range(0));
  ImagePtr a = NoisyImage(size, 1), b = NoisyImage(size, 2);
  for (auto _ : state) CopyImageData(a.get(), b.get());
  SetBytes(state, size, 2);
}

void BM_Curvature(benchmark::State& state) {
  const Size size = SizeOf(state.range(0));
  ImagePtr in = NoisyImage(size, 1), out = NoisyImage(size, 2);
  for (auto _ : state) TwoD_Curv_Divergence(in.get(), out.get(), 255e-6f);
  SetBytes(state, size, 2);  // read one image, write one
}

// The engine's per-iteration calls with the projection active (the common
// case once the flow has reached the noise level).
void BM_EngineIteration(benchmark::State& state) {
  const Size size = SizeOf(state.range(0));
  ImagePtr work = NoisyImage(size, 1);
  ImagePtr noisy(DuplicateImage(work.get()));
  ImagePtr curvature(NewImage(work.get()));
  const float scale = GetScale(work.get());
  const float epsilon = scale * 1e-6f, baseStep = scale * 0.00390625f;
  const double sigma = 0.05;  // small, so every iteration projects
  for (auto _ : state) {
    TwoD_Curv_Divergence(work.get(), curvature.get(), epsilon);
    AddImage(work.get(), curvature.get(), baseStep * 0.25f);
    const double r = std::sqrt(double(ImageDiffEnergy(work.get(), noisy.get()))) / sigma;
    if (r > 1.0) {
      const float rf = float(r);
      AddImage(work.get(), noisy.get(), float(rf - 1.0));
      MultiplyConstant(work.get(), float(1.0 / rf));
    }
  }
  // Streams: curvature 2, add 3, energy 2, add 3, multiply 2.
  SetBytes(state, size, 12);
}

#define CALVANE_SIZES ->Arg(0)->Arg(1)->Arg(2)->UseRealTime()->Unit(benchmark::kMicrosecond)
BENCHMARK(BM_Triad) CALVANE_SIZES;
BENCHMARK(BM_AddImage) CALVANE_SIZES;
BENCHMARK(BM_MultiplyConstant) CALVANE_SIZES;
BENCHMARK(BM_ImageDiffEnergy) CALVANE_SIZES;
BENCHMARK(BM_CopyImageData) CALVANE_SIZES;
BENCHMARK(BM_Curvature) CALVANE_SIZES;
BENCHMARK(BM_EngineIteration) CALVANE_SIZES;

}  // namespace

BENCHMARK_MAIN();
