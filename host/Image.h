// Host image library as the plug-in sees it: an opaque image and the calls
// that make and change it. The plug-in never touches samples itself.
#pragma once

#include "host/HostApi.h"

struct Image;

extern "C++" {
CALVANE_HOST_API Image* NewImage(Image* like);
CALVANE_HOST_API Image* DuplicateImage(Image* src);
CALVANE_HOST_API void CopyImageData(Image* src, Image* dst);
CALVANE_HOST_API void DeleteImage(Image* image);
CALVANE_HOST_API void AddImage(Image* dst, Image* src, float factor);
CALVANE_HOST_API void MultiplyConstant(Image* image, float factor);
CALVANE_HOST_API float ImageDiffEnergy(Image* a, Image* b);
CALVANE_HOST_API float GetScale(Image* image);
}
