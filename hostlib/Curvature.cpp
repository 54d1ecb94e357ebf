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
// written once. The normalisation uses a refined reciprocal square root
// estimate (Kernels.h), which keeps the pass at memory speed: a square root
// and a division per sample would make it the slowest pass of an iteration.
#include <vector>

#include "host/Curvature.h"
#include "host/HostErrors.h"
#include "hostlib/ImageImpl.h"
#include "hostlib/Kernels.h"
#include "hostlib/Parallel.h"

using calvane::hostlib::Require;
using calvane::hostlib::Reshape;

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
  const auto curvatureBand = calvane::hostlib::ActiveKernels().curvatureBand;
  // Bands of at least 64 rows: each band recomputes the field of the row
  // above it, which should stay a small part of its work.
  const calvane::hostlib::PassLayout layout(static_cast<std::size_t>(height), source.channels,
                                            static_cast<std::size_t>(width), 64);
  const float* in0 = source.samples;
  float* out0 = target.samples;
  layout.Run([&](std::size_t chunk) {
    thread_local std::vector<float> t_scratch;
    const std::size_t room = calvane::hostlib::CurvatureScratchFloats(width);
    if (t_scratch.size() < room) t_scratch.resize(room);
    const std::size_t offset = plane * static_cast<std::size_t>(layout.Plane(chunk));
    const calvane::hostlib::Range rows = layout.Units(chunk);
    if (rows.begin < rows.end) {
      curvatureBand(in0 + offset, out0 + offset, width, height, static_cast<std::ptrdiff_t>(rows.begin),
                    static_cast<std::ptrdiff_t>(rows.end), eps2, t_scratch.data());
    }
  });
}
