// Deferred image operations: the curvature, AddImage and MultiplyConstant
// record what they will do, and the work runs when something needs the
// samples, fused into as few passes over memory as the chain allows.
//
// One chain is pending in the whole library at a time, on one working
// image: an affine map of it (work + a * ref, then * b, as AddImage and
// MultiplyConstant left it), then its curvature into a second image, then
// that curvature added back with a factor. ImageDiffEnergy of the working
// image against a third image then runs the whole chain as one pass: each
// row of the working image is read once with the affine map applied, its
// curvature computed (a few rows of the old values kept per thread, so the
// image can be updated in place), written to the curvature image (which
// must hold it afterwards: nothing says it will not be read), added to the
// row, written back, and its energy against the third image summed, with
// the same chunks and partial sums as the eager pass. Three reads and two
// writes of image-sized streams instead of twelve.
//
// The pass is cut along SampleLayout's chunks: each thread's share of every
// plane into tasks of whole chunks and at least 64 rows, and each task
// copies the rows it shares with its neighbours before any task writes.
//
// Every sample and every energy is the eager library's to the bit: the same
// single-precision operations on each sample in the same order, the same
// kernels (those active when the curvature was asked for), the same sums.
//
// Anything that needs the samples of an image the chain reads or writes
// (ImagePlane, CopyImageData, DuplicateImage, DeleteImage, an operation
// that cannot join the chain, a change of mode) runs the chain first.
// Operations on one image must not overlap in time from several threads
// (as for the eager library); operations on different images may, and a
// thread whose operation cannot join another thread's chain runs that chain
// first.
#pragma once

#include "hostlib/ImageImpl.h"

namespace calvane::hostlib {

// True unless CALVANE_HOST_EAGER=1 (read once) or SetHostOperationsEager
// asked for the eager library.
bool Deferring();

// Each of these takes the library's lock for the pending chain.
class DeferredLock {
 public:
  DeferredLock();
  ~DeferredLock();
  DeferredLock(const DeferredLock&) = delete;
  DeferredLock& operator=(const DeferredLock&) = delete;
};

// With the lock held: runs the pending chain when it reads or writes `image`.
void FlushInvolving(const Image* image);
// With the lock held: runs the pending chain, if any.
void FlushAll();

// With the lock held, after the operation's own checks: join or start the
// chain (running an unrelated chain first). The curvature gives `out` the
// input's geometry, scale and coupling at once.
void DeferCurvature(Image& in, Image& out, float epsilon);
void DeferAdd(Image& dst, Image& src, float factor);
void DeferScale(Image& image, float factor);

// With the lock held: the energy of `a` against `b` as ImageDiffEnergy
// defines it, through the fused pass when the chain ends in `a`'s
// curvature step; false (having run whatever it had to) when the caller is
// to compute it eagerly.
bool FusedEnergy(Image& a, Image& b, float& energy);

}  // namespace calvane::hostlib
