// The curvature library: div(grad u / |grad u|) of every channel of `in`,
// written into `out`, with `epsilon` regularising the gradient magnitude.
// When `in` has more than one channel and its channel coupling is Joint
// (hostlib/HostImage.h), every channel's gradient is normalised by the
// root-mean-square of the channels' gradient magnitudes instead of its own,
// so that the channels share their edges; `out` takes the input's coupling.
#pragma once

#include "host/HostApi.h"

struct Image;

CALVANE_HOST_API void TwoD_Curv_Divergence(Image* in, Image* out, float epsilon);
