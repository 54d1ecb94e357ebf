// The curvature term div(grad u / |grad u|), per channel.
//
// Discretisation: forward differences give the gradient at each sample, it
// is normalised by sqrt(ux^2 + uy^2 + epsilon^2), and backward differences
// of the normalised field give the divergence. Differences across the image
// border are zero (Neumann borders). Both components of the normalised
// field lie in [-1, 1], so every output sample lies in [-4, 4] and the sum
// of each output plane is zero: the flow neither blows up nor moves mean
// brightness.
//
// Each thread takes a band of rows and walks down it keeping the vertical
// component of the previous row, so the input is read once and the output
// written once.
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "host/Curvature.h"
#include "host/HostErrors.h"
#include "hostlib/ImageImpl.h"

namespace {

using calvane::hostlib::Require;
using calvane::hostlib::Reshape;

// Normalised field of one row: px[x], py[x] from rows `row` and `below`
// (below is null on the last row, where the vertical difference is zero).
inline void NormalisedRow(const float* row, const float* below, std::ptrdiff_t width, float eps2, float* px,
                          float* py) {
  const std::ptrdiff_t last = width - 1;
  if (below != nullptr) {
#pragma omp simd
    for (std::ptrdiff_t x = 0; x < last; ++x) {
      const float ux = row[x + 1] - row[x];
      const float uy = below[x] - row[x];
      const float inv = 1.0f / std::sqrt(ux * ux + uy * uy + eps2);
      px[x] = ux * inv;
      py[x] = uy * inv;
    }
    const float uy = below[last] - row[last];
    px[last] = 0.0f;
    py[last] = uy / std::sqrt(uy * uy + eps2);
  } else {
#pragma omp simd
    for (std::ptrdiff_t x = 0; x < last; ++x) {
      const float ux = row[x + 1] - row[x];
      px[x] = ux / std::sqrt(ux * ux + eps2);
      py[x] = 0.0f;
    }
    px[last] = 0.0f;
    py[last] = 0.0f;
  }
}

void CurvatureBand(const float* in, float* out, std::ptrdiff_t width, std::ptrdiff_t height, std::ptrdiff_t y0,
                   std::ptrdiff_t y1, float eps2, float* px, float* py, float* pyAbove) {
  const std::ptrdiff_t w = width;
  if (y0 == 0) {
    std::fill(pyAbove, pyAbove + w, 0.0f);
  } else {
    const float* row = in + (y0 - 1) * w;
    NormalisedRow(row, row + w, w, eps2, px, pyAbove);
  }
  for (std::ptrdiff_t y = y0; y < y1; ++y) {
    const float* row = in + y * w;
    const float* below = (y + 1 < height) ? row + w : nullptr;
    NormalisedRow(row, below, w, eps2, px, py);
    float* o = out + y * w;
    o[0] = px[0] + py[0] - pyAbove[0];
#pragma omp simd
    for (std::ptrdiff_t x = 1; x < w; ++x) o[x] = px[x] - px[x - 1] + py[x] - pyAbove[x];
    std::swap(py, pyAbove);
  }
}

}  // namespace

void TwoD_Curv_Divergence(Image* in, Image* out, float epsilon) {
  const Image& source = Require(in, "TwoD_Curv_Divergence");
  Image& target = Require(out, "TwoD_Curv_Divergence");
  if (&source == &target) throw AlertableError("TwoD_Curv_Divergence: input and output must be different images");
  // The output takes the input's geometry, so a cached scratch image can
  // follow a working image of another size.
  Reshape(target, source.width, source.height, source.channels);
  target.scale = source.scale;

  const std::ptrdiff_t width = source.width;
  const std::ptrdiff_t height = source.height;
  const std::size_t plane = source.PlaneSize();
  const float eps2 = epsilon * epsilon;
  const bool parallel = plane * static_cast<std::size_t>(source.channels) >= (1u << 15);

#pragma omp parallel if (parallel)
  {
    std::vector<float> scratch(static_cast<std::size_t>(width) * 3);
    float* px = scratch.data();
    float* py = px + width;
    float* pyAbove = py + width;
    const std::ptrdiff_t threads = omp_get_num_threads();
    const std::ptrdiff_t me = omp_get_thread_num();
    for (int c = 0; c < source.channels; ++c) {
      const float* src = source.samples + plane * static_cast<std::size_t>(c);
      float* dst = target.samples + plane * static_cast<std::size_t>(c);
      const std::ptrdiff_t y0 = height * me / threads;
      const std::ptrdiff_t y1 = height * (me + 1) / threads;
      if (y0 < y1) CurvatureBand(src, dst, width, height, y0, y1, eps2, px, py, pyAbove);
    }
  }
}
