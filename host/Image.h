// Host image library as the plug-in sees it: an opaque image and the calls
// that make and change it. The plug-in never touches samples itself.
//
// Common to every call: an image is planar float samples with a width, a
// height, 1 to 1024 channels, a scale and a channel coupling. A null image
// where one is needed, two images whose width, height or channel count
// differ where they must match, and a want of memory all throw
// AlertableError (host/HostErrors.h) naming the call, and leave every image
// as it was. Curvature, AddImage and MultiplyConstant may be deferred and
// fused; every sample and every energy comes out as if each call had run
// at once.
#pragma once

#include "host/HostApi.h"

struct Image;

extern "C++" {
// A new image of `like`'s geometry, scale and coupling, every sample zero;
// the caller frees it with DeleteImage. Null `like`: AlertableError.
CALVANE_HOST_API Image* NewImage(Image* like);
// A new image equal to `src` in geometry, scale, coupling and every sample;
// the caller frees it with DeleteImage. Null `src`: AlertableError.
CALVANE_HOST_API Image* DuplicateImage(Image* src);
// Makes `dst` a copy of `src`: `dst` takes `src`'s geometry (reallocated
// when larger, so differing geometry is no error), scale, coupling and
// samples. The same image twice changes nothing. Either null: AlertableError.
CALVANE_HOST_API void CopyImageData(Image* src, Image* dst);
// Frees an image made by the host; null is ignored.
CALVANE_HOST_API void DeleteImage(Image* image);
// dst = dst + factor * src, sample by sample (`dst` may be `src`). Either
// null, or geometry that differs: AlertableError, `dst` unchanged.
CALVANE_HOST_API void AddImage(Image* dst, Image* src, float factor);
// Multiplies every sample of `image` by `factor`. Null: AlertableError.
CALVANE_HOST_API void MultiplyConstant(Image* image, float factor);
// The mean over every sample of (a - b)^2, summed in double precision in a
// fixed order (the same images give the same energy on every run) and
// rounded to float. Either null, or geometry that differs: AlertableError.
CALVANE_HOST_API float ImageDiffEnergy(Image* a, Image* b);
// The image's scale: the spread of its data's values, which the program
// measures and sets (hostlib/HostImage.h, SetImageScale); images made from
// another, a CopyImageData destination and a curvature output take their
// source's. Null: AlertableError.
CALVANE_HOST_API float GetScale(Image* image);
}
