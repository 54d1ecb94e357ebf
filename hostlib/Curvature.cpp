// The curvature term div(grad u / |grad u|), per channel or with the
// channels coupled.
//
// Discretisation: forward differences give the gradient at each sample, it
// is normalised by sqrt(ux^2 + uy^2 + epsilon^2), and backward differences
// of the normalised field give the divergence. Differences across the image
// border are zero (Neumann borders). Both components of the normalised
// field lie in [-1, 1], so every output sample lies in [-4, 4] and the sum
// of each output plane is zero: the flow neither blows up nor moves mean
// brightness.
//
// Coupled channels (an input whose coupling is Joint and that has more
// than one channel): every channel's gradient (ux_c, uy_c) is normalised by
// the same sqrt(s), s = epsilon^2 + (1/C) sum_c (ux_c^2 + uy_c^2) over the C
// channels, the root-mean-square of the channels' gradient magnitudes. A
// grey image, or C identical channels, gets the per-channel curvature; where
// the channels disagree, each is pushed in proportion to its share of the
// joint gradient: a faint step under a strong edge of another channel moves
// little, where per channel it would be pushed as hard as the edge, so the
// channels' edges stay together and colours do not fringe.
// |ux_c| <= sqrt(C s), so each component lies in [-sqrt(C), sqrt(C)] and
// every output sample in [-4 sqrt(C), 4 sqrt(C)] (per channel: [-4, 4]);
// every output plane still sums to zero.
//
// Each thread takes a band of rows and walks down it keeping the vertical
// component of the previous row, so the input is read once and the output
// written once. The normalisation uses a refined reciprocal square root
// estimate (Kernels.h), which keeps the pass at memory speed: a square root
// and a division per sample would make it the slowest pass of an iteration.
// With coupled channels a band covers the rows of all channels, and each
// vector of a row is done for all channels at once (their gradients, the
// joint normaliser, then each channel's field and divergence), so every
// plane is still read once and written once.
#include <vector>

#include "host/Curvature.h"
#include "host/HostErrors.h"
#include "hostlib/Deferred.h"
#include "hostlib/ImageImpl.h"
#include "hostlib/Kernels.h"
#include "hostlib/Parallel.h"

using calvane::hostlib::Require;
using calvane::hostlib::Reshape;

namespace {

// Each band recomputes the field of the row above it, which should stay a
// small part of its work: bands of at least 64 rows.
constexpr std::size_t kMinBandRows = 64;

void PerChannelCurvature(const Image& source, Image& target, float eps2) {
  const std::ptrdiff_t width = source.width;
  const std::ptrdiff_t height = source.height;
  const std::size_t plane = source.PlaneSize();
  const auto curvatureBand = calvane::hostlib::ActiveKernels().curvatureBand;
  const calvane::hostlib::PassLayout layout(static_cast<std::size_t>(height), source.channels,
                                            static_cast<std::size_t>(width), kMinBandRows);
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

void JointCurvature(const Image& source, Image& target, float eps2) {
  const std::ptrdiff_t width = source.width;
  const std::ptrdiff_t height = source.height;
  const int channels = source.channels;
  const auto curvatureBandJoint = calvane::hostlib::ActiveKernels().curvatureBandJoint;
  // One plane of rows that each hold the samples of every channel.
  const calvane::hostlib::PassLayout layout(static_cast<std::size_t>(height), 1,
                                            static_cast<std::size_t>(width) * static_cast<std::size_t>(channels),
                                            kMinBandRows);
  std::vector<const float*> in(static_cast<std::size_t>(channels));
  std::vector<float*> out(static_cast<std::size_t>(channels));
  for (int c = 0; c < channels; ++c) {
    const std::size_t offset = source.PlaneSize() * static_cast<std::size_t>(c);
    in[static_cast<std::size_t>(c)] = source.samples + offset;
    out[static_cast<std::size_t>(c)] = target.samples + offset;
  }
  layout.Run([&](std::size_t chunk) {
    thread_local std::vector<float> t_scratch;
    const std::size_t room = calvane::hostlib::JointCurvatureScratchFloats(width, channels);
    if (t_scratch.size() < room) t_scratch.resize(room);
    const calvane::hostlib::Range rows = layout.Units(chunk);
    if (rows.begin < rows.end) {
      curvatureBandJoint(in.data(), out.data(), channels, width, height, static_cast<std::ptrdiff_t>(rows.begin),
                         static_cast<std::ptrdiff_t>(rows.end), eps2, t_scratch.data());
    }
  });
}

}  // namespace

void TwoD_Curv_Divergence(Image* in, Image* out, float epsilon) {
  const Image& source = Require(in, "TwoD_Curv_Divergence");
  Image& target = Require(out, "TwoD_Curv_Divergence");
  if (&source == &target) throw AlertableError("TwoD_Curv_Divergence: input and output must be different images");
  if (calvane::hostlib::Deferring()) {
    calvane::hostlib::DeferredLock lock;
    calvane::hostlib::DeferCurvature(const_cast<Image&>(source), target, epsilon);
    return;
  }
  // The output takes the input's geometry, scale and coupling, so a cached
  // scratch image can follow a working image of another size.
  Reshape(target, source.width, source.height, source.channels);
  target.scale = source.scale;
  target.coupling = source.coupling;

  const float eps2 = epsilon * epsilon;
  if (source.coupling == ChannelCoupling::Joint && source.channels > 1) {
    JointCurvature(source, target, eps2);
  } else {
    PerChannelCurvature(source, target, eps2);
  }
}
