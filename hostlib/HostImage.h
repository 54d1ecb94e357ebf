// Host-side access to images: what the program (not the plug-in) uses to
// fill an image from a file and to read the result back.
//
// Layout: planar, one plane per channel, each plane `width * height` floats
// in row-major order with no padding. Geometry arithmetic is 64-bit and
// checked; every failure throws AlertableError and never leaves a half-made
// image behind.
#pragma once

#include <cstddef>
#include <cstdint>

#include "host/HostApi.h"

struct Image;

// The most channels an image may have. Every operation takes any count up
// to it (the joint curvature couples them all); the bound only turns away a
// nonsensical count before any memory is sized from it.
constexpr int kMaxImageChannels = 1024;

// How the curvature (host/Curvature.h) treats the channels of an image.
// Independent: each channel's gradient is normalised by its own magnitude,
// so each channel smooths across its own edges only. Joint: every channel's
// gradient is normalised by the root-mean-square of all channels' gradient
// magnitudes at that sample, so the channels share their edges and colours
// do not fringe where the channels disagree.
enum class ChannelCoupling { Independent, Joint };

// A new image of the given geometry, samples zero, with the full-scale value
// `scale` of its source format (255 for 8-bit data, 65535 for 16-bit, 1 for
// floating point).
CALVANE_HOST_API Image* CreateImage(std::int64_t width, std::int64_t height, int channels, float scale);

CALVANE_HOST_API std::int64_t ImageWidth(const Image* image);
CALVANE_HOST_API std::int64_t ImageHeight(const Image* image);
CALVANE_HOST_API int ImageChannels(const Image* image);
CALVANE_HOST_API std::size_t ImageSampleCount(const Image* image);
CALVANE_HOST_API void SetImageScale(Image* image, float scale);

// The image's channel coupling: Independent for a created image; images made
// from another (NewImage, DuplicateImage), the destination of CopyImageData
// and the output of the curvature take their source's. Setting a value
// outside the enumeration throws AlertableError.
CALVANE_HOST_API void SetImageChannelCoupling(Image* image, ChannelCoupling coupling);
// Independent for a null image.
CALVANE_HOST_API ChannelCoupling ImageChannelCoupling(const Image* image);

// The samples of one channel; valid until the image is reshaped or deleted,
// or an operation changes its samples (the deferred operations may move
// them to another buffer). Operations still pending on the image
// (SetHostOperationsEager) run first; the pointer shows the samples as of
// this call, so after more operations on the image ask for it again. The
// const form is for reading only; the other may be written through.
CALVANE_HOST_API float* ImagePlane(Image* image, int channel);
CALVANE_HOST_API const float* ImagePlane(const Image* image, int channel);

// Curvature, AddImage and MultiplyConstant are deferred and run fused into
// one pass over the working image when something needs its samples
// (hostlib/Deferred.h); the results are the eager operations' to the bit.
// CALVANE_HOST_EAGER=1 in the environment (read once) runs every operation
// at once instead. Switching runs whatever is pending first.
CALVANE_HOST_API void SetHostOperationsEager(bool eager);
CALVANE_HOST_API bool HostOperationsEager();
