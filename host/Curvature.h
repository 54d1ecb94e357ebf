// The curvature library: div(grad u / |grad u|) of every channel of `in`,
// written into `out`, with `epsilon` regularising the gradient magnitude.
#pragma once

#include "host/HostApi.h"

struct Image;

CALVANE_HOST_API void TwoD_Curv_Divergence(Image* in, Image* out, float epsilon);
