// The inner loops of the image operations, built once for each instruction
// set level and picked at load time from what the processor offers, so one
// binary runs on any x86-64 and still uses wide vectors where they exist.
//
// Every kernel works on plain sample ranges; splitting the work across
// threads is the caller's business (see Parallel.h).
#pragma once

#include <cstddef>

namespace calvane::hostlib {

enum class VectorLevel { Baseline, Avx2, Avx512 };

// Rows a pass will read after the one a kernel is working on: as the
// kernel walks its row it asks for the matching lines of each (rows[i] + x
// for its samples x) to be brought into the second-level cache, so that
// their loads overlap its arithmetic.
struct RowsAhead {
  const float* const* rows = nullptr;
  int count = 0;
};

// What a row kernel writes: the curvature, or with `step` the row plus
// `factor` times its curvature, rounded as addScaled rounds it (the
// engine's step, without the curvature ever being stored).
struct RowOutput {
  bool step = false;
  float factor = 0.0f;
};

struct KernelSet {
  VectorLevel level;
  const char* name;
  // dst[i] = dst[i] + factor * src[i], rounded after the product and after
  // the sum (no fused multiply-add), so every level gives the same samples.
  void (*addScaled)(float* dst, const float* src, float factor, std::size_t n);
  void (*scale)(float* dst, float factor, std::size_t n);
  // Sum of (a[i] - b[i])^2, each term in float, accumulated in double in a
  // fixed order that does not depend on the level.
  double (*sumSquaredDifference)(const float* a, const float* b, std::size_t n);
  // Curvature of rows [y0, y1) of one plane of `width` x `height` samples.
  // `scratch` holds CurvatureScratchFloats(width) floats.
  void (*curvatureBand)(const float* in, float* out, std::ptrdiff_t width, std::ptrdiff_t height,
                        std::ptrdiff_t y0, std::ptrdiff_t y1, float eps2, float* scratch);
  // Joint curvature of rows [y0, y1) of `channels` planes (in[c], out[c]),
  // every channel's gradient normalised by the root-mean-square of all their
  // gradient magnitudes (any channel count of at least one). With one
  // channel it gives curvatureBand's samples; permuting the channels
  // permutes the output exactly.
  // `scratch` holds JointCurvatureScratchFloats(width, channels) floats.
  void (*curvatureBandJoint)(const float* const* in, float* const* out, int channels, std::ptrdiff_t width,
                             std::ptrdiff_t height, std::ptrdiff_t y0, std::ptrdiff_t y1, float eps2,
                             float* scratch);

  // The same curvature one row at a time, for a caller that keeps the rows
  // itself: py of row y (the vertical component of the normalised field)
  // goes to scratch + (y mod 2) * (width + 16), and when `out` is not null
  // the divergence of the row goes to `out`, from py of the row above at
  // scratch + ((y + 1) mod 2) * (width + 16). `below` is `row` itself on
  // the image's last row. `scratch` holds CurvatureScratchFloats(width).
  // Rows done this way give curvatureBand's samples to the bit; `output`
  // may ask for the stepped row instead, and `ahead` names rows to bring
  // into the cache on the way.
  void (*curvatureRow)(const float* row, const float* below, float* out, std::ptrdiff_t width, float eps2,
                       float* scratch, std::ptrdiff_t y, RowsAhead ahead, RowOutput output);
  // The joint form: rows in[c] + y * width and below in[c] + belowY * width,
  // output (when `out` is not null) at out[c] + y * width; py rows picked by
  // `parity` as above (stride width + 16, all channels of one row together).
  // `scratch` holds JointCurvatureScratchFloats(width, channels).
  void (*curvatureRowJoint)(const float* const* in, float* const* out, int channels, std::ptrdiff_t width,
                            std::ptrdiff_t y, std::ptrdiff_t belowY, float eps2, float* scratch,
                            std::ptrdiff_t parity, RowsAhead ahead, RowOutput output);
  // The whole blocks of 64 samples of sumSquaredDifference, added into its
  // 32 partial sums: a caller that keeps the partial sums and the last
  // partial block itself gets sumSquaredDifference's result to the bit.
  void (*sumSquaredDifferenceBlocks)(const float* a, const float* b, std::size_t blocks, double* partial);
  // out[i] = (in[i] + addFactor * ref[i]) * scale, rounded after every
  // operation as addScaled and scale round; no addition when `ref` is null,
  // no product when `scaled` is false.
  void (*affineRow)(const float* in, const float* ref, float addFactor, bool scaled, float scale, float* out,
                    std::size_t n);
  // dst[i] = src[i], with stores that bypass the caches where dst is
  // vector-aligned: for output that is not read again soon, which then
  // costs no read of the lines it overwrites. The caller runs a store
  // fence (_mm_sfence) before another thread may read dst.
  void (*streamStore)(float* dst, const float* src, std::size_t n);
};

// Room the curvature needs per thread: two rows of the vertical component
// of the normalised field, each with room for a vector past its end.
inline std::size_t CurvatureScratchFloats(std::ptrdiff_t width) {
  return (static_cast<std::size_t>(width) + 16) * 2;
}

// Room the joint curvature needs per thread: two rows of the vertical
// component per channel, each with room for a vector past its end, and 160
// floats per channel for the last vector of a row and the state carried
// along it.
inline std::size_t JointCurvatureScratchFloats(std::ptrdiff_t width, int channels) {
  const auto perChannel = static_cast<std::size_t>(channels);
  return (static_cast<std::size_t>(width) + 16) * 2 * perChannel + 160 * perChannel;
}

// The widest level this processor and its operating system support.
VectorLevel SupportedVectorLevel();

// The kernels of one level, or null when the processor lacks it.
const KernelSet* KernelsFor(VectorLevel level);

// The kernels in use: the widest supported unless UseKernels chose others.
const KernelSet& ActiveKernels();

// Switches every operation to the kernels of `level` (tests use it to run
// each level's code on this machine); returns false, changing nothing, when
// the processor lacks it.
bool UseKernels(VectorLevel level);

}  // namespace calvane::hostlib
