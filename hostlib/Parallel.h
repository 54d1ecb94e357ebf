// How passes over an image are cut into chunks for the thread team.
//
// Thread k of n owns the k-th n-th of every plane (the matching band of
// rows for the curvature), cut into chunks of a few hundred kilobytes: every
// pass of the same image gives it the same memory, the memory it first
// touched when the image was made, and for images that fit in cache, the
// part already in its own cache. Chunks let an idle thread take over work
// that a descheduled one has not started.
#pragma once

#include <cstddef>

#include "hostlib/ThreadTeam.h"

namespace calvane::hostlib {

// Below this many samples a pass is not worth waking the thread team.
constexpr std::size_t kParallelThreshold = std::size_t{1} << 15;
// Samples per chunk that a thread takes at a time.
constexpr std::size_t kChunkSamples = std::size_t{1} << 16;

struct Range {
  std::size_t begin;
  std::size_t end;
};

// Part `index` of `parts` of [0, count).
inline Range PartOf(std::size_t count, std::size_t index, std::size_t parts) {
  return {count * index / parts, count * (index + 1) / parts};
}

// The chunks of one pass over `planes` planes of `units` units each (samples
// for the streaming operations, rows for the curvature).
class PassLayout {
 public:
  PassLayout(std::size_t units, int planes, std::size_t samplesPerUnit, std::size_t minUnitsPerChunk)
      : m_units(units), m_planes(static_cast<std::size_t>(planes)) {
    const std::size_t samples = units * samplesPerUnit * m_planes;
    m_threads = samples >= kParallelThreshold ? static_cast<std::size_t>(ThreadTeam::Get().Size()) : 1;
    std::size_t perChunk = (kChunkSamples + samplesPerUnit - 1) / samplesPerUnit;
    if (perChunk < minUnitsPerChunk) perChunk = minUnitsPerChunk;
    const std::size_t share = units / m_threads;
    m_pieces = m_threads == 1 ? 1 : (share / perChunk > 0 ? share / perChunk : 1);
  }

  std::size_t Chunks() const { return m_threads * m_planes * m_pieces; }
  // Threads the pass is shared among, and chunks per thread and plane:
  // chunk (t * planes + p) * Pieces() + k is piece k of thread t's share of
  // plane p.
  std::size_t Threads() const { return m_threads; }
  std::size_t Pieces() const { return m_pieces; }

  // Chunk -> plane and the units of that plane it covers.
  int Plane(std::size_t chunk) const { return static_cast<int>(chunk / m_pieces % m_planes); }
  Range Units(std::size_t chunk) const {
    const Range share = PartOf(m_units, chunk / (m_planes * m_pieces), m_threads);
    const Range piece = PartOf(share.end - share.begin, chunk % m_pieces, m_pieces);
    return {share.begin + piece.begin, share.begin + piece.end};
  }

  // Calls body(chunk) for every chunk, on the team when worth it.
  template <class Body>
  void Run(Body body) const {
    if (m_threads == 1) {
      for (std::size_t chunk = 0; chunk < Chunks(); ++chunk) body(chunk);
    } else {
      ThreadTeam::Get().Run(Chunks(), body);
    }
  }

 private:
  std::size_t m_units;
  std::size_t m_planes;
  std::size_t m_threads = 1;
  std::size_t m_pieces = 1;
};

// The layout of a streaming pass over `planes` planes of `planeSize` samples.
inline PassLayout SampleLayout(std::size_t planeSize, int planes) { return PassLayout(planeSize, planes, 1, 1); }

// Calls body(offset, count, chunk) over every sample of a buffer of
// `planes` planes of `planeSize` samples, in the chunks of SampleLayout.
template <class Body>
void ForEachChunk(std::size_t planeSize, int planes, Body body) {
  const PassLayout layout = SampleLayout(planeSize, planes);
  layout.Run([&layout, planeSize, &body](std::size_t chunk) {
    const Range units = layout.Units(chunk);
    body(planeSize * static_cast<std::size_t>(layout.Plane(chunk)) + units.begin, units.end - units.begin, chunk);
  });
}

}  // namespace calvane::hostlib
