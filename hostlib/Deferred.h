// Deferred image operations: the curvature, AddImage and MultiplyConstant
// record what they will do, and the work runs when something needs the
// samples, fused into as few passes over memory as the chain allows.
//
// One chain is pending in the whole library at a time, on one working
// image: an affine map of it (work + a * ref, then * b, as AddImage and
// MultiplyConstant left it), then its curvature into a second image, then
// that curvature added back with a factor. ImageDiffEnergy of the working
// image against a third image then runs the whole chain as one pass: each
// row of the old working samples is read once with the affine map applied,
// its curvature computed, added to the row, the new row written into the
// curvature image's buffer, and its energy against the third image summed,
// with the same chunks and partial sums as the eager pass. The working
// image then takes that buffer, and the curvature image keeps the old
// working samples instead of its curvature (a curvature record): the
// engine overwrites the curvature with the next one or deletes it unread,
// so its samples are computed only when something reads them, by the same
// kernels on the same reconstructed input (the old samples under the same
// affine map), in place. Two reads and one write of image-sized streams
// per iteration, where the eager operations need twelve, and no more
// memory than they need: the two images swap buffers.
//
// A pass reads one buffer and writes another, so its tasks share nothing.
// Only the passes that write the buffer they read (computing a curvature
// record, or a chain stopped before its step) copy the rows a task shares
// with its neighbours before any task writes. Tasks follow SampleLayout's
// chunks: each thread's share of every plane, cut into whole chunks of at
// least 64 rows.
//
// Every sample and every energy is the eager library's to the bit: the same
// single-precision operations on each sample in the same order, the same
// kernels (those active when the curvature was asked for), the same sums.
//
// Anything that needs the samples of an image the chain reads or writes
// runs the chain first (Prepare). One curvature record is kept at a time:
// reading the curvature image, or changing the image the record's affine
// map reads, computes the record's samples first; overwriting or deleting
// the curvature image drops it; deleting the image the affine map reads
// hands that image's samples to the record. Operations on one image must not overlap in
// time from several threads (as for the eager library); operations on
// different images may, and a thread whose operation cannot join another
// thread's chain runs that chain first.
#pragma once

#include <cstddef>

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

// How an operation uses an image's samples.
enum class Use {
  Read,     // reads them
  Change,   // reads and writes them (or hands out a pointer that may)
  Replace,  // overwrites every sample without reading any, or deletes them
};

// With the lock held, before an operation that the chain cannot join uses
// `image`: runs the pending chain when it reads or writes the image, then
// settles the curvature record as `use` needs (computes its samples when
// the image is the curvature image and is read or changed, or when it is
// the image the record's affine map reads and is changed or replaced; drops
// it when the curvature image is replaced).
void Prepare(const Image* image, Use use);
// With the lock held, before DeleteImage: as Prepare(image, Use::Replace),
// except that when the curvature record's affine map reads the image, the
// record takes the image over instead of computing its samples: true when
// it did, and the caller then leaves the image alone (the record frees it
// when it is dropped or computed). The engine deletes that image before
// the curvature image, whose samples it never reads.
bool PrepareDelete(Image* image);
// With the lock held: runs the pending chain, if any, and computes the
// curvature record's samples, if any.
void SettleAll();

// With the lock held, after the operation's own checks: join or start the
// chain (running an unrelated chain first). The curvature gives `out` the
// input's geometry, scale and coupling at once.
void DeferCurvature(Image& in, Image& out, float epsilon);
void DeferAdd(Image& dst, Image& src, float factor);
void DeferScale(Image& image, float factor);

// How many curvature records have had their samples computed since the
// process started (the engine's loop computes none).
std::size_t CurvatureRecordsComputed();

// With the lock held: the energy of `a` against `b` as ImageDiffEnergy
// defines it, through the fused pass when the chain ends in `a`'s
// curvature step; false (having run whatever it had to) when the caller is
// to compute it eagerly.
bool FusedEnergy(Image& a, Image& b, float& energy);

}  // namespace calvane::hostlib
