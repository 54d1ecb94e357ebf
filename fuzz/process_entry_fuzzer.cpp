// The plug-in's process entry on the real host library, with a parameter
// set holding any values a host might store without looking at the limits
// (any noise type, any noise level: NaN, infinities, negative, denormal;
// any iteration count), on two small images of any samples in and around
// the full-scale range, one after the other so that the cached images
// follow a change of geometry. UpdateProgress stops every run after a few
// iterations, so a huge count runs and is cancelled.
//
// Findings: a sanitizer report, a result other than 0 or 1, a sample that
// comes out not finite, or a run with no iterations that changed the image.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "app/ImageFile.h"
#include "fuzz/FuzzHost.h"
#include "host/PluginParam.h"
#include "hostlib/HostImage.h"

namespace {

using calvane::fuzz::Require;

constexpr int kStopAfter = 8;
constexpr float kScales[] = {1.0f, 255.0f, 65535.0f, 127.0f, 32767.0f, 4294967295.0f};

// Reads the input from the front; zeros once it runs out.
class Bytes {
 public:
  Bytes(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
  std::uint8_t Byte() { return m_at < m_size ? m_data[m_at++] : 0; }
  std::uint32_t Word() {
    std::uint32_t word = 0;
    for (int i = 0; i < 4; ++i) word |= static_cast<std::uint32_t>(Byte()) << (8 * i);
    return word;
  }

 private:
  const std::uint8_t* m_data;
  std::size_t m_size;
  std::size_t m_at = 0;
};

calvane::app::HostImagePtr MakeImage(Bytes& in) {
  const int width = in.Byte() % 24 + 1;
  const int height = in.Byte() % 24 + 1;
  const int channels = in.Byte() % 4 + 1;
  const float scale = kScales[in.Byte() % (sizeof kScales / sizeof kScales[0])];
  calvane::app::HostImagePtr image(CreateImage(width, height, channels, scale));
  for (int c = 0; c < channels; ++c) {
    float* plane = ImagePlane(image.get(), c);
    for (int i = 0; i < width * height; ++i) {
      // -scale to 2 x scale: files hold 0 to scale, floating-point ones
      // also a little beyond.
      const std::uint16_t step = static_cast<std::uint16_t>(in.Byte() | (in.Byte() << 8));
      plane[i] = (static_cast<float>(step) / 65535.0f * 3.0f - 1.0f) * scale;
    }
  }
  return image;
}

std::vector<float> Samples(const Image* image) {
  const float* first = ImagePlane(image, 0);
  return std::vector<float>(first, first + ImageSampleCount(image));
}

void Process(calvane::app::AppContext& ctx, Image* image, int iterations) {
  const std::vector<float> before = Samples(image);
  ctx.SetWorkingImage(image);
  calvane::fuzz::StopAfterProgressReports(kStopAfter);
  const int result = calvane::fuzz::CallEntry(PluginEntryNumber::Process, &ctx);
  ctx.SetWorkingImage(nullptr);
  Require(result == 0 || result == 1, "the process entry returned neither 0 nor 1");
  Require(result == (iterations >= kStopAfter ? 1 : 0), "the run did not end as its count and the host asked");
  const std::vector<float> after = Samples(image);
  for (float sample : after) Require(std::isfinite(sample), "a sample came out not finite");
  if (iterations <= 0) Require(after == before, "a run of no iterations changed the image");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Bytes in(data, size);
  calvane::app::AppContext& ctx = calvane::fuzz::ConfiguredContext();
  PluginParamEntry* entries = ctx.GetParams()->m_pEntries;
  entries[0].value.i = static_cast<std::int32_t>(in.Word());
  std::uint32_t varianceBits = in.Word();
  std::memcpy(&entries[1].value.f, &varianceBits, sizeof varianceBits);
  const auto iterations = static_cast<std::int32_t>(in.Word());
  entries[2].value.i = iterations;

  calvane::app::HostImagePtr first = MakeImage(in);
  calvane::app::HostImagePtr second = MakeImage(in);
  Process(ctx, first.get(), iterations);
  Process(ctx, second.get(), iterations);
  calvane::fuzz::CallEntry(PluginEntryNumber::Release, &ctx);
  return 0;
}
