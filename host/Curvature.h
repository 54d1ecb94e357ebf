// The curvature library: div(grad u / |grad u|) of every channel of `in`,
// written into `out`, with `epsilon` regularising the gradient magnitude.
// When `in` has more than one channel and its channel coupling is Joint
// (hostlib/HostImage.h), every channel's gradient is normalised by the
// root-mean-square of the channels' gradient magnitudes instead of its own,
// so that the channels share their edges; `out` takes the input's coupling.
//
// `out` takes `in`'s geometry (reallocated when larger, so differing
// geometry is no error), scale and coupling, and its samples lie in [-4, 4]
// per channel ([-4 sqrt(C), 4 sqrt(C)] with C joint channels); each output
// plane sums to zero. `epsilon` enters squared; 0 is allowed (flat parts
// give 0). Either image null, or `in` and `out` the same image: throws
// AlertableError (host/HostErrors.h), `out` unchanged.
#pragma once

#include "host/HostApi.h"

struct Image;

CALVANE_HOST_API void TwoD_Curv_Divergence(Image* in, Image* out, float epsilon);
