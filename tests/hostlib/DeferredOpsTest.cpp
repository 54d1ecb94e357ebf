// Deferred, fused operations against the eager library: the same samples
// and the same energies to the bit, whatever the geometry, the coupling,
// the vector level, the team size (this file is built for teams of one,
// two and four) and whatever makes the pending work run, or makes the
// curvature kept as a record get its samples.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "host/Curvature.h"
#include "host/HostErrors.h"
#include "host/Image.h"
#include "hostlib/Deferred.h"
#include "hostlib/HostImage.h"
#include "hostlib/Kernels.h"
#include "hostlib/ThreadTeam.h"
#include "hostlib/TestImages.h"

namespace {

using calvane::hostlib::CurvatureRecordsComputed;
using calvane::hostlib::SupportedVectorLevel;
using calvane::hostlib::ThreadTeam;
using calvane::hostlib::UseKernels;
using calvane::hostlib::VectorLevel;
using calvane::test::ImagePtr;
using calvane::test::Samples;

constexpr float kScale = 255.0f;
constexpr float kEpsilon = kScale * 1e-6f;
constexpr float kStep = kScale * 0.00390625f * 0.25f;

// Bit patterns, so that -0 and 0 differ and NaN equals itself.
std::vector<std::uint32_t> Bits(const std::vector<float>& samples) {
  std::vector<std::uint32_t> bits(samples.size());
  if (!samples.empty()) std::memcpy(bits.data(), samples.data(), samples.size() * sizeof(float));
  return bits;
}

struct Geometry {
  std::int64_t width;
  std::int64_t height;
  int channels;
  bool joint;
};

std::string Name(const Geometry& g) {
  return std::to_string(g.width) + "x" + std::to_string(g.height) + "x" + std::to_string(g.channels) +
         (g.joint ? " joint" : "");
}

// Widths that are no multiple of any vector width, single rows and
// columns, images below the parallel threshold and one chunk, images of
// several chunks per thread, and images of 8 MiB and more, whose new
// working samples are stored past the caches.
const Geometry kGeometries[] = {
    {1, 1, 1, false},     {1, 1, 3, true},       {1, 37, 1, false},     {41, 1, 3, true},
    {37, 23, 1, false},   {37, 23, 3, false},    {37, 23, 3, true},     {333, 211, 1, false},
    {333, 211, 3, false}, {333, 211, 3, true},   {1031, 517, 1, false}, {517, 1031, 3, true},
    {1, 70001, 1, false}, {70001, 1, 3, true},   {1501, 1401, 1, false}, {1003, 701, 3, true},
};

ImagePtr Noisy(const Geometry& g, unsigned seed) {
  ImagePtr image = calvane::test::RandomImage(g.width, g.height, g.channels, seed, kScale, 0.0f, 255.0f);
  SetImageChannelCoupling(image.get(), g.joint ? ChannelCoupling::Joint : ChannelCoupling::Independent);
  return image;
}

struct Outcome {
  std::vector<float> work;
  std::vector<float> curvature;
  std::vector<float> energies;
  int projections = 0;
};

// The plug-in engine's iteration, with its projection onto the ball around
// the noisy image whose radius is the noise level, when that is positive.
Outcome Iterate(const Geometry& g, int iterations, float noiseLevel, bool eager) {
  SetHostOperationsEager(eager);
  ImagePtr noisy = Noisy(g, 17);
  ImagePtr work(DuplicateImage(noisy.get()));
  ImagePtr curvature(NewImage(work.get()));
  Outcome outcome;
  for (int i = 0; i < iterations; ++i) {
    TwoD_Curv_Divergence(work.get(), curvature.get(), kEpsilon);
    AddImage(work.get(), curvature.get(), kStep);
    const float energy = ImageDiffEnergy(work.get(), noisy.get());
    outcome.energies.push_back(energy);
    const double r = std::sqrt(static_cast<double>(energy)) / static_cast<double>(noiseLevel);
    if (noiseLevel > 0.0f && r > 1.0) {
      const float rf = static_cast<float>(r);
      AddImage(work.get(), noisy.get(), static_cast<float>(rf - 1.0));
      MultiplyConstant(work.get(), static_cast<float>(1.0 / rf));
      ++outcome.projections;
    }
  }
  outcome.work = Samples(work.get());
  outcome.curvature = Samples(curvature.get());
  SetHostOperationsEager(false);
  return outcome;
}

void ExpectSame(const Outcome& eager, const Outcome& fused, const std::string& what) {
  EXPECT_EQ(Bits(eager.work), Bits(fused.work)) << what << ": working image";
  EXPECT_EQ(Bits(eager.curvature), Bits(fused.curvature)) << what << ": curvature";
  EXPECT_EQ(Bits(eager.energies), Bits(fused.energies)) << what << ": energies";
  EXPECT_EQ(eager.projections, fused.projections) << what;
}

std::vector<VectorLevel> Levels() {
  std::vector<VectorLevel> levels;
  for (VectorLevel level : {VectorLevel::Baseline, VectorLevel::Avx2, VectorLevel::Avx512}) {
    if (static_cast<int>(level) <= static_cast<int>(SupportedVectorLevel())) levels.push_back(level);
  }
  return levels;
}

class DeferredOps : public ::testing::Test {
 protected:
  void TearDown() override {
    SetHostOperationsEager(false);
    UseKernels(SupportedVectorLevel());
  }
};

TEST_F(DeferredOps, TheTeamHasTheSizeThisBuildAsksFor) {
  EXPECT_EQ(ThreadTeam::Get().Size(), std::atoi(CALVANE_TEST_THREADS));
  const char* eager = std::getenv("CALVANE_HOST_EAGER");
  EXPECT_EQ(HostOperationsEager(), eager != nullptr && std::string(eager) == "1")
      << "deferred unless CALVANE_HOST_EAGER=1";
}

// Engine-like runs of 1, 5 and 12 iterations, with a noise level small enough
// that every iteration projects and without any projection, at every level.
TEST_F(DeferredOps, EngineIterationsGiveTheEagerSamplesAndEnergies) {
  for (VectorLevel level : Levels()) {
    ASSERT_TRUE(UseKernels(level));
    for (const Geometry& g : kGeometries) {
      for (int iterations : {1, 5, 12}) {
        if (g.width * g.height > 100000 && iterations == 12) continue;  // 5 already chains every step
        for (float noiseLevel : {0.0f, 0.05f}) {
          const std::string what = Name(g) + " level " + std::to_string(static_cast<int>(level)) + ", " +
                                   std::to_string(iterations) + " iterations, noise level " +
                                   std::to_string(noiseLevel);
          const Outcome eager = Iterate(g, iterations, noiseLevel, true);
          const Outcome fused = Iterate(g, iterations, noiseLevel, false);
          ExpectSame(eager, fused, what);
          // A single pixel has no curvature and never leaves the ball.
          if (noiseLevel > 0.0f && g.width * g.height > 1) {
            EXPECT_EQ(eager.projections, iterations) << what;
          }
        }
      }
    }
  }
}

// The chain as the engine leaves it between two energies: a projection, a
// curvature and its step, then `access` needs the samples. Returns the
// working image, the curvature and the noisy image afterwards.
struct Images {
  ImagePtr noisy, work, curvature;
};

Images EngineStart(const Geometry& g, bool eager) {
  SetHostOperationsEager(eager);
  Images images;
  images.noisy = Noisy(g, 5);
  images.work = ImagePtr(DuplicateImage(images.noisy.get()));
  images.curvature = ImagePtr(NewImage(images.work.get()));
  // One whole iteration, so the working image differs from the noisy one.
  TwoD_Curv_Divergence(images.work.get(), images.curvature.get(), kEpsilon);
  AddImage(images.work.get(), images.curvature.get(), kStep);
  (void)ImageDiffEnergy(images.work.get(), images.noisy.get());
  AddImage(images.work.get(), images.noisy.get(), 0.75f);
  MultiplyConstant(images.work.get(), 1.0f / 1.75f);
  TwoD_Curv_Divergence(images.work.get(), images.curvature.get(), kEpsilon);
  AddImage(images.work.get(), images.curvature.get(), kStep);
  return images;
}

template <class Access>
void ExpectAccessRunsPending(const char* name, Access access) {
  for (const Geometry& g : {Geometry{333, 211, 3, true}, Geometry{1031, 517, 1, false}, Geometry{1024, 1024, 1, false}}) {
    std::vector<std::vector<float>> results[2];
    for (bool eager : {true, false}) {
      Images images = EngineStart(g, eager);
      std::vector<std::vector<float>>& out = results[eager ? 0 : 1];
      access(images, out);
      SetHostOperationsEager(true);  // reads below run nothing more
      if (images.work) out.push_back(Samples(images.work.get()));
      out.push_back(Samples(images.curvature.get()));
    }
    ASSERT_EQ(results[0].size(), results[1].size()) << name;
    for (std::size_t i = 0; i < results[0].size(); ++i) {
      EXPECT_EQ(Bits(results[0][i]), Bits(results[1][i])) << name << ", " << Name(g) << ", result " << i;
    }
  }
}

TEST_F(DeferredOps, EveryAccessToTheSamplesRunsThePendingChainFirst) {
  // The host's own access: a plane of the working image, then of the
  // curvature, read before anything else runs the chain.
  ExpectAccessRunsPending("ImagePlane(work)", [](Images& images, std::vector<std::vector<float>>& out) {
    const std::size_t plane = ImageSampleCount(images.work.get()) / ImageChannels(images.work.get());
    const float* p = ImagePlane(images.work.get(), ImageChannels(images.work.get()) - 1);
    out.emplace_back(p, p + plane);
  });
  ExpectAccessRunsPending("ImagePlane(curvature)", [](Images& images, std::vector<std::vector<float>>& out) {
    const std::size_t plane = ImageSampleCount(images.curvature.get()) / ImageChannels(images.curvature.get());
    const float* p = ImagePlane(images.curvature.get(), 0);
    out.emplace_back(p, p + plane);
  });
  ExpectAccessRunsPending("DuplicateImage", [](Images& images, std::vector<std::vector<float>>& out) {
    ImagePtr copy(DuplicateImage(images.work.get()));
    out.push_back(Samples(copy.get()));
  });
  ExpectAccessRunsPending("CopyImageData from", [](Images& images, std::vector<std::vector<float>>& out) {
    ImagePtr copy(CreateImage(3, 2, 1, 1.0f));
    CopyImageData(images.curvature.get(), copy.get());
    out.push_back(Samples(copy.get()));
  });
  // Overwriting (and reshaping) the working image: the chain runs on the
  // old samples first, so the curvature still gets its values.
  ExpectAccessRunsPending("CopyImageData into", [](Images& images, std::vector<std::vector<float>>& out) {
    ImagePtr small = calvane::test::RandomImage(5, 4, 2, 9);
    CopyImageData(small.get(), images.work.get());
    out.push_back(Samples(images.work.get()));
  });
  // The pending step reads the noisy image (through the projection) and
  // the curvature: overwriting or deleting them must run it first.
  ExpectAccessRunsPending("CopyImageData into noisy", [](Images& images, std::vector<std::vector<float>>& out) {
    ImagePtr other = calvane::test::RandomImage(7, 3, 1, 11);
    CopyImageData(other.get(), images.noisy.get());
    out.push_back(Samples(images.noisy.get()));
  });
  ExpectAccessRunsPending("DeleteImage(noisy)", [](Images& images, std::vector<std::vector<float>>&) {
    images.noisy.reset();
    // New images of the same size may take the freed memory; they must not
    // be what the step reads.
    ImagePtr filler = calvane::test::RandomImage(1024, 1024, 1, 99, 1.0f, 1e6f, 2e6f);
    (void)filler;
  });
  ExpectAccessRunsPending("DeleteImage(work)", [](Images& images, std::vector<std::vector<float>>&) {
    images.work.reset();
  });
  ExpectAccessRunsPending("ImageDiffEnergy with another image", [](Images& images, std::vector<std::vector<float>>& out) {
    ImagePtr zero(NewImage(images.work.get()));
    out.push_back({ImageDiffEnergy(images.work.get(), zero.get()), ImageDiffEnergy(zero.get(), images.curvature.get())});
  });
  // A second chain on another image runs the first one before it starts.
  ExpectAccessRunsPending("another chain", [](Images& images, std::vector<std::vector<float>>& out) {
    ImagePtr other(DuplicateImage(images.noisy.get()));
    MultiplyConstant(other.get(), 0.5f);
    AddImage(images.noisy.get(), other.get(), 3.0f);
    out.push_back(Samples(other.get()));
    out.push_back(Samples(images.noisy.get()));
  });
  // The channel coupling of the moment the curvature was asked for counts.
  ExpectAccessRunsPending("coupling changed", [](Images& images, std::vector<std::vector<float>>&) {
    const ChannelCoupling was = ImageChannelCoupling(images.work.get());
    SetImageChannelCoupling(images.work.get(), was == ChannelCoupling::Joint ? ChannelCoupling::Independent
                                                                             : ChannelCoupling::Joint);
  });
}

// The fused pass leaves the curvature as a record: the working image takes
// the curvature image's buffer, and the curvature image keeps the old
// working samples, from which its own are computed when something needs
// them. EngineAfterPass ends where the engine's loop is between its energy
// and the next curvature, with a projection in the record's affine map.
Images EngineAfterPass(const Geometry& g, bool eager) {
  Images images = EngineStart(g, eager);
  (void)ImageDiffEnergy(images.work.get(), images.noisy.get());
  return images;
}

// Geometries for the record: split among threads and tasks or not, one
// pixel wide or high, one channel or three, coupled or not.
const Geometry kRecordGeometries[] = {
    {333, 211, 3, true}, {1031, 517, 1, false}, {37, 23, 3, false}, {1, 37, 1, false}, {41, 1, 3, true},
};

// `access` after the fused pass, at every vector level: everything it
// reports, and then every image left, must be the eager library's, and it
// must compute `computes` curvature records (none in the eager library).
template <class Access>
void ExpectRecordAccess(const char* name, std::size_t computes, Access access) {
  for (VectorLevel level : Levels()) {
    ASSERT_TRUE(UseKernels(level));
    for (const Geometry& g : kRecordGeometries) {
      const std::string what = std::string(name) + ", " + Name(g) + ", level " + std::to_string(static_cast<int>(level));
      std::vector<std::vector<float>> results[2];
      for (bool eager : {true, false}) {
        Images images = EngineAfterPass(g, eager);
        std::vector<std::vector<float>>& out = results[eager ? 0 : 1];
        const std::size_t before = CurvatureRecordsComputed();
        access(images, out);
        EXPECT_EQ(CurvatureRecordsComputed() - before, eager ? 0 : computes) << what << (eager ? ", eager" : ", fused");
        SetHostOperationsEager(true);  // computes what is left; reads below run nothing more
        for (const ImagePtr* image : {&images.work, &images.curvature, &images.noisy}) {
          if (*image) out.push_back(Samples(image->get()));
        }
        SetHostOperationsEager(false);
      }
      ASSERT_EQ(results[0].size(), results[1].size()) << what;
      for (std::size_t i = 0; i < results[0].size(); ++i) {
        EXPECT_EQ(Bits(results[0][i]), Bits(results[1][i])) << what << ", result " << i;
      }
    }
  }
}

std::vector<float> Plane(const Image* image, int channel) {
  const auto n = static_cast<std::size_t>(ImageWidth(image) * ImageHeight(image));
  const float* p = ImagePlane(image, channel);
  return std::vector<float>(p, p + n);
}

TEST_F(DeferredOps, EveryReaderOfTheCurvatureGetsItsSamples) {
  ExpectRecordAccess("ImagePlane(const curvature)", 1, [](Images& images, std::vector<std::vector<float>>& out) {
    const Image* curvature = images.curvature.get();
    out.push_back(Plane(curvature, ImageChannels(curvature) - 1));
    out.push_back(Plane(curvature, 0));
  });
  // A writable plane: what is written stays, and nothing computes over it.
  ExpectRecordAccess("ImagePlane(curvature)", 1, [](Images& images, std::vector<std::vector<float>>& out) {
    float* p = ImagePlane(images.curvature.get(), 0);
    out.push_back({p[0]});
    p[0] = 1234.5f;
  });
  ExpectRecordAccess("CopyImageData from the curvature", 1, [](Images& images, std::vector<std::vector<float>>& out) {
    ImagePtr copy(CreateImage(3, 2, 1, 1.0f));
    CopyImageData(images.curvature.get(), copy.get());
    out.push_back(Samples(copy.get()));
  });
  ExpectRecordAccess("DuplicateImage(curvature)", 1, [](Images& images, std::vector<std::vector<float>>& out) {
    ImagePtr copy(DuplicateImage(images.curvature.get()));
    out.push_back(Samples(copy.get()));
  });
  ExpectRecordAccess("ImageDiffEnergy(curvature, noisy)", 1, [](Images& images, std::vector<std::vector<float>>& out) {
    out.push_back({ImageDiffEnergy(images.curvature.get(), images.noisy.get())});
  });
  ExpectRecordAccess("ImageDiffEnergy(work, curvature)", 1, [](Images& images, std::vector<std::vector<float>>& out) {
    out.push_back({ImageDiffEnergy(images.work.get(), images.curvature.get())});
  });
  ExpectRecordAccess("AddImage(other, curvature)", 1, [](Images& images, std::vector<std::vector<float>>& out) {
    ImagePtr other(DuplicateImage(images.noisy.get()));
    AddImage(other.get(), images.curvature.get(), 0.5f);
    out.push_back(Samples(other.get()));
  });
  ExpectRecordAccess("AddImage(curvature, noisy)", 1, [](Images& images, std::vector<std::vector<float>>&) {
    AddImage(images.curvature.get(), images.noisy.get(), 0.25f);
  });
  ExpectRecordAccess("AddImage(curvature, curvature)", 1, [](Images& images, std::vector<std::vector<float>>&) {
    AddImage(images.curvature.get(), images.curvature.get(), 1.0f);
  });
  ExpectRecordAccess("MultiplyConstant(curvature)", 1, [](Images& images, std::vector<std::vector<float>>&) {
    MultiplyConstant(images.curvature.get(), 3.0f);
  });
  ExpectRecordAccess("curvature of the curvature", 1, [](Images& images, std::vector<std::vector<float>>& out) {
    ImagePtr other(NewImage(images.noisy.get()));
    TwoD_Curv_Divergence(images.curvature.get(), other.get(), kEpsilon);
    out.push_back(Samples(other.get()));
  });
  // The record's input is its own buffer: another projection of the
  // working image changes nothing of it.
  ExpectRecordAccess("read after a projection of work", 1, [](Images& images, std::vector<std::vector<float>>& out) {
    AddImage(images.work.get(), images.noisy.get(), 0.5f);
    MultiplyConstant(images.work.get(), 0.75f);
    out.push_back(Samples(images.curvature.get()));
  });
  // The channel coupling of the moment the curvature was asked for counts.
  ExpectRecordAccess("coupling of the curvature changed", 1, [](Images& images, std::vector<std::vector<float>>& out) {
    const ChannelCoupling was = ImageChannelCoupling(images.curvature.get());
    SetImageChannelCoupling(images.curvature.get(), was == ChannelCoupling::Joint ? ChannelCoupling::Independent
                                                                                  : ChannelCoupling::Joint);
    out.push_back(Samples(images.curvature.get()));
  });
  ExpectRecordAccess("switch to the eager library", 1, [](Images&, std::vector<std::vector<float>>&) {
    SetHostOperationsEager(true);
  });
}

// The record's affine map reads the noisy image: changing that image in
// any way computes the record first; reading it does not.
TEST_F(DeferredOps, ChangingTheImageTheRecordReadsComputesItFirst) {
  ExpectRecordAccess("ImageDiffEnergy(work, noisy)", 0, [](Images& images, std::vector<std::vector<float>>& out) {
    out.push_back({ImageDiffEnergy(images.work.get(), images.noisy.get())});
    out.push_back(Plane(static_cast<const Image*>(images.noisy.get()), 0));
  });
  ExpectRecordAccess("AddImage(noisy, work)", 1, [](Images& images, std::vector<std::vector<float>>&) {
    AddImage(images.noisy.get(), images.work.get(), 0.5f);
  });
  ExpectRecordAccess("MultiplyConstant(noisy)", 1, [](Images& images, std::vector<std::vector<float>>&) {
    MultiplyConstant(images.noisy.get(), 2.0f);
  });
  ExpectRecordAccess("AddImage(noisy, noisy)", 1, [](Images& images, std::vector<std::vector<float>>&) {
    AddImage(images.noisy.get(), images.noisy.get(), 1.0f);
  });
  ExpectRecordAccess("CopyImageData into noisy", 1, [](Images& images, std::vector<std::vector<float>>&) {
    CopyImageData(images.work.get(), images.noisy.get());
  });
  ExpectRecordAccess("written through ImagePlane(noisy)", 1, [](Images& images, std::vector<std::vector<float>>&) {
    float* p = ImagePlane(images.noisy.get(), 0);
    const auto n = static_cast<std::size_t>(ImageWidth(images.noisy.get()) * ImageHeight(images.noisy.get()));
    for (std::size_t i = 0; i < n; ++i) p[i] = 1000.0f - p[i];
  });
  ExpectRecordAccess("noisy as a curvature's output", 1, [](Images& images, std::vector<std::vector<float>>&) {
    TwoD_Curv_Divergence(images.work.get(), images.noisy.get(), kEpsilon);
  });
}

// Deleting the image the record reads hands its samples to the record
// (the engine deletes it before the curvature image): the record reads
// them when it is computed, and frees them when it is done.
TEST_F(DeferredOps, TheRecordKeepsTheImageItReadsWhenThatIsDeleted) {
  // New images may take freed memory; they must not be what the record reads.
  const auto deleteNoisy = [](Images& images) {
    const Image* noisy = images.noisy.get();
    const Geometry g{ImageWidth(noisy), ImageHeight(noisy), ImageChannels(noisy), false};
    images.noisy.reset();
    images.noisy = calvane::test::RandomImage(g.width, g.height, g.channels, 99, 1.0f, 1e6f, 2e6f);
  };
  ExpectRecordAccess("DeleteImage(noisy), curvature read", 1,
                     [deleteNoisy](Images& images, std::vector<std::vector<float>>& out) {
                       deleteNoisy(images);
                       out.push_back(Samples(images.curvature.get()));
                     });
  ExpectRecordAccess("DeleteImage(noisy), curvature read later", 0,
                     [deleteNoisy](Images& images, std::vector<std::vector<float>>&) { deleteNoisy(images); });
  ExpectRecordAccess("DeleteImage(noisy), then DeleteImage(curvature)", 0,
                     [deleteNoisy](Images& images, std::vector<std::vector<float>>&) {
                       deleteNoisy(images);
                       images.curvature.reset();
                     });
  ExpectRecordAccess("DeleteImage(noisy), then the next iteration", 0,
                     [deleteNoisy](Images& images, std::vector<std::vector<float>>& out) {
                       deleteNoisy(images);
                       TwoD_Curv_Divergence(images.work.get(), images.curvature.get(), kEpsilon);
                       AddImage(images.work.get(), images.curvature.get(), kStep);
                       out.push_back({ImageDiffEnergy(images.work.get(), images.noisy.get())});
                     });
}

// Overwritten or deleted unread, the record's samples are never computed;
// and the images the record does not read may go any way.
TEST_F(DeferredOps, ARecordOverwrittenOrDeletedUnreadIsDropped) {
  ExpectRecordAccess("CopyImageData into the curvature", 0, [](Images& images, std::vector<std::vector<float>>&) {
    CopyImageData(images.noisy.get(), images.curvature.get());
  });
  ExpectRecordAccess("CopyImageData of another size", 0, [](Images& images, std::vector<std::vector<float>>&) {
    ImagePtr small = calvane::test::RandomImage(5, 4, 2, 9);
    CopyImageData(small.get(), images.curvature.get());
  });
  // A new curvature without its step runs at once into the curvature
  // image, over the record's buffer.
  ExpectRecordAccess("a new curvature into it, read", 0, [](Images& images, std::vector<std::vector<float>>& out) {
    TwoD_Curv_Divergence(images.work.get(), images.curvature.get(), kEpsilon);
    out.push_back(Samples(images.curvature.get()));
  });
  ExpectRecordAccess("a new curvature into it from noisy", 0, [](Images& images, std::vector<std::vector<float>>& out) {
    TwoD_Curv_Divergence(images.noisy.get(), images.curvature.get(), kEpsilon);
    out.push_back(Samples(images.curvature.get()));
  });
  ExpectRecordAccess("the next iteration", 0, [](Images& images, std::vector<std::vector<float>>& out) {
    TwoD_Curv_Divergence(images.work.get(), images.curvature.get(), kEpsilon);
    AddImage(images.work.get(), images.curvature.get(), kStep);
    out.push_back({ImageDiffEnergy(images.work.get(), images.noisy.get())});
  });
  ExpectRecordAccess("DeleteImage(curvature)", 0, [](Images& images, std::vector<std::vector<float>>&) {
    images.curvature.reset();
  });
  ExpectRecordAccess("DeleteImage(work)", 0, [](Images& images, std::vector<std::vector<float>>&) {
    images.work.reset();
  });
  ExpectRecordAccess("DuplicateImage(work)", 0, [](Images& images, std::vector<std::vector<float>>& out) {
    ImagePtr copy(DuplicateImage(images.work.get()));
    out.push_back(Samples(copy.get()));
    images.work = std::move(copy);
  });
  // One record is kept: a second curvature image's pass computes the
  // first one's samples before it makes its own.
  ExpectRecordAccess("a second curvature image", 1, [](Images& images, std::vector<std::vector<float>>& out) {
    ImagePtr second(NewImage(images.work.get()));
    TwoD_Curv_Divergence(images.work.get(), second.get(), kEpsilon);
    AddImage(images.work.get(), second.get(), kStep);
    out.push_back({ImageDiffEnergy(images.work.get(), images.noisy.get())});
    images.noisy = std::move(second);  // read at the end, with the others
  });
}

// The engine's loop never computes a record, and reading the curvature at
// its end computes one.
TEST_F(DeferredOps, TheEngineLoopComputesNoCurvatureRecord) {
  SetHostOperationsEager(false);
  const Geometry g{333, 211, 3, true};
  ImagePtr noisy = Noisy(g, 17);
  ImagePtr work(DuplicateImage(noisy.get()));
  ImagePtr curvature(NewImage(work.get()));
  const std::size_t before = CurvatureRecordsComputed();
  for (int i = 0; i < 6; ++i) {
    TwoD_Curv_Divergence(work.get(), curvature.get(), kEpsilon);
    AddImage(work.get(), curvature.get(), kStep);
    const float rf = 1.0f + std::sqrt(ImageDiffEnergy(work.get(), noisy.get()));
    AddImage(work.get(), noisy.get(), rf - 1.0f);
    MultiplyConstant(work.get(), 1.0f / rf);
  }
  EXPECT_EQ(CurvatureRecordsComputed(), before);
  (void)Samples(work.get());
  EXPECT_EQ(CurvatureRecordsComputed(), before);
  (void)Samples(curvature.get());
  EXPECT_EQ(CurvatureRecordsComputed(), before + 1);
}

// A multiplicative-noise run: curvature and step, never an energy, so each
// curvature runs the step before.
TEST_F(DeferredOps, StepsWithoutEnergyChainAndRunWhenTheNextCurvatureComes) {
  for (const Geometry& g : {Geometry{37, 23, 3, true}, Geometry{1031, 517, 1, false}}) {
    std::vector<float> results[2];
    for (bool eager : {true, false}) {
      SetHostOperationsEager(eager);
      ImagePtr work = Noisy(g, 3);
      ImagePtr curvature(NewImage(work.get()));
      for (int i = 0; i < 4; ++i) {
        TwoD_Curv_Divergence(work.get(), curvature.get(), kEpsilon);
        AddImage(work.get(), curvature.get(), kStep);
      }
      MultiplyConstant(work.get(), 0.5f);
      results[eager ? 0 : 1] = Samples(work.get());
    }
    EXPECT_EQ(Bits(results[0]), Bits(results[1])) << Name(g);
  }
}

// Additions and products in every order, with the curvature and its step
// between some of them: only an addition followed by a product joins a
// pending chain, anything else runs it first.
TEST_F(DeferredOps, AdditionsAndProductsInAnyOrderGiveTheEagerSamples) {
  const char* const sequences[] = {"ss", "as", "sa", "aa", "asas", "assa", "ascS", "sacS", "acSs", "cSS", "cSacSs", "aasscS"};
  const Geometry g{333, 211, 3, false};
  for (const char* sequence : sequences) {
    std::vector<float> results[2];
    for (bool eager : {true, false}) {
      SetHostOperationsEager(eager);
      ImagePtr work = Noisy(g, 21);
      ImagePtr other = Noisy(g, 22);
      ImagePtr curvature(NewImage(work.get()));
      float factor = 0.75f;
      for (const char* op = sequence; *op != '\0'; ++op, factor += 0.125f) {
        switch (*op) {
          case 'a': AddImage(work.get(), other.get(), factor); break;
          case 's': MultiplyConstant(work.get(), 1.0f / factor); break;
          case 'c': TwoD_Curv_Divergence(work.get(), curvature.get(), kEpsilon); break;
          default: AddImage(work.get(), curvature.get(), kStep); break;
        }
      }
      results[eager ? 0 : 1] = Samples(work.get());
    }
    EXPECT_EQ(Bits(results[0]), Bits(results[1])) << sequence;
  }
}

// The kernels active when the curvature was asked for are the ones used,
// even when another level is chosen before it runs, or before its record
// gets its samples.
TEST_F(DeferredOps, TheCurvatureRunsWithTheKernelsOfItsRequest) {
  const std::vector<VectorLevel> levels = Levels();
  if (levels.size() < 2) GTEST_SKIP() << "one vector level on this processor";
  const Geometry g{333, 211, 1, false};
  for (const bool record : {false, true}) {
    std::vector<float> results[2];
    for (bool eager : {true, false}) {
      SetHostOperationsEager(eager);
      ASSERT_TRUE(UseKernels(levels.back()));
      ImagePtr work = Noisy(g, 8);
      ImagePtr noisy(DuplicateImage(work.get()));
      ImagePtr curvature(NewImage(work.get()));
      TwoD_Curv_Divergence(work.get(), curvature.get(), kEpsilon);
      if (record) {
        AddImage(work.get(), curvature.get(), kStep);
        (void)ImageDiffEnergy(work.get(), noisy.get());
      }
      ASSERT_TRUE(UseKernels(levels.front()));
      results[eager ? 0 : 1] = Samples(curvature.get());
    }
    EXPECT_EQ(Bits(results[0]), Bits(results[1])) << (record ? "record" : "pending");
  }
}

// Deferred operations still check their arguments at once.
TEST_F(DeferredOps, BadArgumentsFailAtTheCallNotLater) {
  ImagePtr a = calvane::test::RandomImage(8, 8, 1, 1);
  ImagePtr b = calvane::test::RandomImage(9, 8, 1, 2);
  EXPECT_THROW(AddImage(a.get(), b.get(), 1.0f), AlertableError);
  EXPECT_THROW(AddImage(a.get(), nullptr, 1.0f), AlertableError);
  EXPECT_THROW(MultiplyConstant(nullptr, 1.0f), AlertableError);
  EXPECT_THROW(TwoD_Curv_Divergence(a.get(), a.get(), 1.0f), AlertableError);
  EXPECT_THROW(ImageDiffEnergy(a.get(), b.get()), AlertableError);
  // Adding an image to itself doubles it, after what is pending.
  const std::vector<float> before = Samples(a.get());
  MultiplyConstant(a.get(), 0.5f);
  AddImage(a.get(), a.get(), 1.0f);
  const std::vector<float> after = Samples(a.get());
  for (std::size_t i = 0; i < before.size(); ++i) ASSERT_EQ(after[i], before[i] * 0.5f + before[i] * 0.5f);
}

}  // namespace
