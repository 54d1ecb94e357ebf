#include "hostlib/Deferred.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "hostlib/HostImage.h"
#include "hostlib/Kernels.h"
#include "hostlib/Parallel.h"

namespace calvane::hostlib {
namespace {

// What the pending chain will do to `work`, in this order:
//   work = work + addFactor * ref   (when ref is set)
//   work = work * scale             (when scaled)
//   curv = curvature of work        (when curv is set)
//   work = work + stepFactor * curv (when step)
struct Chain {
  Image* work = nullptr;
  Image* ref = nullptr;
  float addFactor = 0.0f;
  bool scaled = false;
  float scale = 1.0f;
  Image* curv = nullptr;
  float eps2 = 0.0f;
  bool joint = false;
  const KernelSet* kernels = nullptr;
  bool step = false;
  float stepFactor = 0.0f;
};

std::mutex g_mutex;
Chain g_chain;

// -1 until read from the environment, then 0 (eager) or 1 (deferred).
std::atomic<int> g_mode{-1};

int ModeFromEnvironment() {
  const char* text = std::getenv("CALVANE_HOST_EAGER");
  return text != nullptr && std::strcmp(text, "1") == 0 ? 0 : 1;
}

constexpr std::size_t kPartialSums = 32;
constexpr std::size_t kBlock = 2 * kPartialSums;

// The energy of one thread's share of one plane, fed in sample order and
// cut into the chunks of SampleLayout: each chunk's sum is formed exactly
// as sumSquaredDifference forms it over that chunk (whole blocks of 64,
// then the rest into the partial sums in turn, then the pairwise
// reduction), whatever the pieces it arrives in.
class EnergyFeed {
 public:
  // Chunks [firstChunk, firstChunk + pieces) of `layout`, consecutive in
  // one plane.
  EnergyFeed(const PassLayout& layout, std::size_t firstChunk, std::size_t pieces, const KernelSet& kernels,
             double* results)
      : m_layout(layout), m_first(firstChunk), m_pieces(pieces), m_kernels(kernels), m_results(results) {
    m_pieceEnd = m_layout.Units(m_first).end;
  }

  // Samples [offset, offset + n) of the share, in order.
  void Feed(std::size_t offset, const float* a, const float* b, std::size_t n) {
    Advance(offset);
    // Samples past the last chunk are no part of this feed (and never come).
    while (n > 0 && m_piece < m_pieces) {
      const std::size_t m = std::min(n, m_pieceEnd - offset);
      Add(a, b, m);
      offset += m;
      a += m;
      b += m;
      n -= m;
      Advance(offset);
    }
  }

 private:
  void Advance(std::size_t offset) {
    while (m_piece < m_pieces && offset >= m_pieceEnd) {
      Finish();
      ++m_piece;
      if (m_piece < m_pieces) m_pieceEnd = m_layout.Units(m_first + m_piece).end;
    }
  }

  void Add(const float* a, const float* b, std::size_t n) {
    std::size_t i = 0;
    if (m_pending > 0) {
      for (; m_pending < kBlock && i < n; ++i) m_diff[m_pending++] = a[i] - b[i];
      if (m_pending < kBlock) return;
      for (std::size_t j = 0; j < kPartialSums; ++j) {
        const float d = m_diff[j];
        const float e = m_diff[kPartialSums + j];
        m_partial[j] += static_cast<double>(d * d + e * e);
      }
      m_pending = 0;
    }
    const std::size_t blocks = (n - i) / kBlock;
    if (blocks > 0) m_kernels.sumSquaredDifferenceBlocks(a + i, b + i, blocks, m_partial);
    for (i += blocks * kBlock; i < n; ++i) m_diff[m_pending++] = a[i] - b[i];
  }

  void Finish() {
    for (std::size_t q = 0, j = 0; q < m_pending; ++q, j = (j + 1) % kPartialSums) {
      const float d = m_diff[q];
      m_partial[j] += static_cast<double>(d * d);
    }
    for (std::size_t width = kPartialSums / 2; width > 0; width /= 2) {
      for (std::size_t j = 0; j < width; ++j) m_partial[j] += m_partial[j + width];
    }
    m_results[m_first + m_piece] = m_partial[0];
    for (double& p : m_partial) p = 0.0;
    m_pending = 0;
  }

  const PassLayout& m_layout;
  std::size_t m_first;
  std::size_t m_pieces;
  const KernelSet& m_kernels;
  double* m_results;
  std::size_t m_piece = 0;
  std::size_t m_pieceEnd = 0;
  double m_partial[kPartialSums] = {};
  float m_diff[kBlock] = {};
  std::size_t m_pending = 0;
};

// Rows of the working image, in its own samples, that a task reads and
// another task writes: copied before any task writes.
constexpr int kSnapshotRows = 4;

struct TaskBuffers {
  std::vector<float> snapshot;  // kSnapshotRows rows of every channel
  std::int64_t snapshotRow[kSnapshotRows] = {-1, -1, -1, -1};
};

// What a thread needs while it runs a task.
struct WorkBuffers {
  std::vector<float> ring;     // per channel, rows y and y + 1 (slot y mod 2)
  std::vector<float> scratch;  // the curvature's field rows
  std::vector<float> curvRow;  // per channel, two rows: curvature of rows partly owned
  std::vector<const float*> ringRows;  // per channel, the ring's rows
  std::vector<float*> outRows;         // per channel, where the curvature of a row goes
};

// Kept between passes (under the lock).
std::vector<TaskBuffers> g_tasks;

// Each task covers at least this many rows, so that the rows it shares with
// its neighbours (copied first, and computed twice) stay a small part of
// its work.
constexpr std::size_t kMinTaskRows = 64;

// The chain with a curvature, as one pass over rows: each task takes one
// thread's share of SampleLayout (the same samples of every plane) and the
// rows that meet it.
class FusedPass {
 public:
  FusedPass(const Chain& chain, const Image* energyRef)
      : m_chain(chain),
        m_kernels(*chain.kernels),
        m_work(*chain.work),
        m_width(static_cast<std::size_t>(m_work.width)),
        m_height(static_cast<std::size_t>(m_work.height)),
        m_channels(m_work.channels),
        m_plane(m_work.PlaneSize()),
        m_layout(SampleLayout(m_plane, m_channels)),
        m_energyRef(energyRef) {}

  // Returns the energy against energyRef (0 without one).
  float Run() {
    // Each thread's share is cut into tasks of whole chunks of the layout,
    // so a thread that runs out of work can take over the unstarted tasks
    // of one that the scheduler has not run.
    const std::size_t shareSamples = m_layout.Units(m_layout.Pieces() - 1).end;
    const std::size_t group = std::max<std::size_t>(
        1, (kMinTaskRows * m_width * m_layout.Pieces() + shareSamples - 1) / std::max<std::size_t>(shareSamples, 1));
    m_perThread = (m_layout.Pieces() + group - 1) / group;
    const std::size_t tasks = m_layout.Threads() * m_perThread;
    if (m_energyRef != nullptr) m_partials.assign(m_layout.Chunks(), 0.0);
    Prepare(tasks);
    if (tasks > 1) {
      auto snapshot = [this](std::size_t task) { Snapshot(task); };
      ThreadTeam::Get().Run(tasks, snapshot);
      auto body = [this](std::size_t task) { Task(task); };
      ThreadTeam::Get().Run(tasks, body);
    } else {
      Task(0);
    }
    if (m_energyRef == nullptr) return 0.0f;
    double sum = 0.0;
    for (const double p : m_partials) sum += p;
    return static_cast<float>(sum / static_cast<double>(m_work.SampleCount()));
  }

 private:
  // The pieces of a thread's share that task `task` covers.
  Range Pieces(std::size_t task) const { return PartOf(m_layout.Pieces(), task % m_perThread, m_perThread); }
  std::size_t Thread(std::size_t task) const { return task / m_perThread; }

  Range Share(std::size_t task) const {
    const std::size_t first = Thread(task) * static_cast<std::size_t>(m_channels) * m_layout.Pieces();
    const Range pieces = Pieces(task);
    return {m_layout.Units(first + pieces.begin).begin, m_layout.Units(first + pieces.end - 1).end};
  }

  void Prepare(std::size_t tasks) {
    if (g_tasks.size() < tasks) g_tasks.resize(tasks);
    const auto c = static_cast<std::size_t>(m_channels);
    for (std::size_t t = 0; t < tasks; ++t) {
      TaskBuffers& buffers = g_tasks[t];
      if (tasks > 1 && buffers.snapshot.size() < kSnapshotRows * c * m_width) {
        buffers.snapshot.resize(kSnapshotRows * c * m_width);
      }
      for (std::int64_t& row : buffers.snapshotRow) row = -1;
    }
  }

  WorkBuffers& ThreadBuffers() const {
    thread_local WorkBuffers t_buffers;
    const auto c = static_cast<std::size_t>(m_channels);
    const std::size_t scratch = m_chain.joint ? JointCurvatureScratchFloats(static_cast<std::ptrdiff_t>(m_width), m_channels)
                                              : CurvatureScratchFloats(static_cast<std::ptrdiff_t>(m_width)) * c;
    if (t_buffers.ring.size() < 2 * c * m_width) t_buffers.ring.resize(2 * c * m_width);
    if (t_buffers.curvRow.size() < 2 * c * m_width) t_buffers.curvRow.resize(2 * c * m_width);
    if (t_buffers.scratch.size() < scratch) t_buffers.scratch.resize(scratch);
    if (t_buffers.ringRows.size() < c) t_buffers.ringRows.resize(c);
    if (t_buffers.outRows.size() < c) t_buffers.outRows.resize(c);
    return t_buffers;
  }

  // The rows of the task's range that other tasks write: the row above,
  // the first and last rows when shared, and the row below.
  void Snapshot(std::size_t task) {
    const Range share = Share(task);
    if (share.begin >= share.end) return;
    TaskBuffers& buffers = g_tasks[task];
    const std::size_t r0 = share.begin / m_width;
    const std::size_t r1 = (share.end - 1) / m_width + 1;
    const std::int64_t rows[kSnapshotRows] = {
        r0 > 0 ? static_cast<std::int64_t>(r0) - 1 : -1,
        share.begin % m_width != 0 ? static_cast<std::int64_t>(r0) : -1,
        share.end % m_width != 0 ? static_cast<std::int64_t>(r1) - 1 : -1,
        r1 < m_height ? static_cast<std::int64_t>(r1) : -1};
    for (int i = 0; i < kSnapshotRows; ++i) {
      buffers.snapshotRow[i] = rows[i];
      if (rows[i] < 0) continue;
      for (int c = 0; c < m_channels; ++c) {
        std::memcpy(SnapshotRow(buffers, i, c), m_work.samples + Offset(c, static_cast<std::size_t>(rows[i])),
                    m_width * sizeof(float));
      }
    }
  }

  std::size_t Offset(int channel, std::size_t row) const {
    return m_plane * static_cast<std::size_t>(channel) + row * m_width;
  }
  float* SnapshotRow(TaskBuffers& buffers, int index, int channel) const {
    return buffers.snapshot.data() + (static_cast<std::size_t>(index) * static_cast<std::size_t>(m_channels) +
                                      static_cast<std::size_t>(channel)) * m_width;
  }
  float* RingBase(WorkBuffers& buffers, int channel) const {
    return buffers.ring.data() + 2 * static_cast<std::size_t>(channel) * m_width;
  }
  float* RingRow(WorkBuffers& buffers, int channel, std::size_t row) const {
    return RingBase(buffers, channel) + (row & 1) * m_width;
  }

  // Row `row` of every channel into the ring, as the chain's affine map
  // leaves it.
  void Load(TaskBuffers& task, WorkBuffers& buffers, std::size_t row) {
    int snapshot = -1;
    for (int i = 0; i < kSnapshotRows; ++i) {
      if (task.snapshotRow[i] == static_cast<std::int64_t>(row)) snapshot = i;
    }
    for (int c = 0; c < m_channels; ++c) {
      const float* in = snapshot >= 0 ? SnapshotRow(task, snapshot, c) : m_work.samples + Offset(c, row);
      const float* ref = m_chain.ref != nullptr ? m_chain.ref->samples + Offset(c, row) : nullptr;
      m_kernels.affineRow(in, ref, m_chain.addFactor, m_chain.scaled, m_chain.scale, RingRow(buffers, c, row),
                          m_width);
    }
  }

  // The curvature of row y (field only when `out` is null; `out` then
  // addresses every channel's row y through out[c] + (y mod 2) * width).
  void Curvature(WorkBuffers& buffers, std::size_t y, float* const* out) {
    const auto w = static_cast<std::ptrdiff_t>(m_width);
    const bool last = y + 1 >= m_height;
    const auto slot = static_cast<std::ptrdiff_t>(y & 1);
    const std::ptrdiff_t belowSlot = last ? slot : 1 - slot;
    if (m_chain.joint) {
      const float** in = buffers.ringRows.data();
      for (int c = 0; c < m_channels; ++c) in[c] = RingBase(buffers, c);
      m_kernels.curvatureRowJoint(in, out, m_channels, w, slot, belowSlot, m_chain.eps2, buffers.scratch.data(),
                                  static_cast<std::ptrdiff_t>(y));
    } else {
      const std::size_t room = CurvatureScratchFloats(w);
      for (int c = 0; c < m_channels; ++c) {
        const float* base = RingBase(buffers, c);
        float* dest = out != nullptr ? out[c] + slot * w : nullptr;
        m_kernels.curvatureRow(base + slot * w, base + belowSlot * w, dest, w, m_chain.eps2,
                               buffers.scratch.data() + room * static_cast<std::size_t>(c),
                               static_cast<std::ptrdiff_t>(y));
      }
    }
  }

  void Task(std::size_t task) {
    const Range share = Share(task);
    if (share.begin >= share.end) return;
    TaskBuffers& own = g_tasks[task];
    WorkBuffers& buffers = ThreadBuffers();
    const std::size_t r0 = share.begin / m_width;
    const std::size_t r1 = (share.end - 1) / m_width + 1;
    const auto c = static_cast<std::size_t>(m_channels);

    std::vector<EnergyFeed> feeds;
    if (m_energyRef != nullptr) {
      feeds.reserve(c);
      for (std::size_t p = 0; p < c; ++p) {
        const Range pieces = Pieces(task);
        feeds.emplace_back(m_layout, (Thread(task) * c + p) * m_layout.Pieces() + pieces.begin,
                           pieces.end - pieces.begin, m_kernels, m_partials.data());
      }
    }

    if (r0 > 0) {
      Load(own, buffers, r0 - 1);
      Load(own, buffers, r0);
      Curvature(buffers, r0 - 1, nullptr);
    } else {
      Load(own, buffers, r0);
      // Nothing above the first row: its vertical field is zero.
      const std::size_t stride = m_width + 16;
      float* above = buffers.scratch.data();
      if (m_chain.joint) {
        std::fill(above + c * stride, above + 2 * c * stride, 0.0f);
      } else {
        const std::size_t room = CurvatureScratchFloats(static_cast<std::ptrdiff_t>(m_width));
        for (std::size_t ch = 0; ch < c; ++ch) std::fill(above + ch * room + stride, above + ch * room + 2 * stride, 0.0f);
      }
    }

    float** out = buffers.outRows.data();
    for (std::size_t y = r0; y < r1; ++y) {
      if (y + 1 < m_height) Load(own, buffers, y + 1);
      const std::size_t rowStart = y * m_width;
      const std::size_t begin = std::max(share.begin, rowStart);
      const std::size_t end = std::min(share.end, rowStart + m_width);
      const bool whole = begin == rowStart && end == rowStart + m_width;
      // Rows wholly this task's go straight into the curvature image;
      // shared rows into a buffer, and only this task's part is copied.
      for (int ch = 0; ch < m_channels; ++ch) {
        out[ch] = whole ? m_chain.curv->samples + Offset(ch, y) - (y & 1) * m_width
                        : buffers.curvRow.data() + 2 * static_cast<std::size_t>(ch) * m_width;
      }
      Curvature(buffers, y, out);
      const std::size_t from = begin - rowStart;
      const std::size_t n = end - begin;
      for (int ch = 0; ch < m_channels; ++ch) {
        const float* curvature = out[ch] + (y & 1) * m_width + from;
        float* curvOut = m_chain.curv->samples + Offset(ch, y) + from;
        if (!whole) std::memcpy(curvOut, curvature, n * sizeof(float));
        const float* row = RingRow(buffers, ch, y) + from;
        float* workOut = m_work.samples + Offset(ch, y) + from;
        if (m_chain.step) {
          m_kernels.addScaledInto(row, curvature, m_chain.stepFactor, workOut, n);
        } else if (m_chain.ref != nullptr || m_chain.scaled) {
          std::memcpy(workOut, row, n * sizeof(float));
        }
        if (!feeds.empty()) {
          feeds[static_cast<std::size_t>(ch)].Feed(begin, workOut, m_energyRef->samples + Offset(ch, y) + from, n);
        }
      }
    }
  }

  const Chain& m_chain;
  const KernelSet& m_kernels;
  Image& m_work;
  std::size_t m_width;
  std::size_t m_height;
  int m_channels;
  std::size_t m_plane;
  PassLayout m_layout;
  const Image* m_energyRef;
  std::vector<double> m_partials;
  std::size_t m_perThread = 1;
};

// The chain without a curvature: the affine map alone, as AddImage and
// MultiplyConstant would have done it.
void RunAffine(const Chain& chain) {
  Image& work = *chain.work;
  float* out = work.samples;
  const float* ref = chain.ref != nullptr ? chain.ref->samples : nullptr;
  const KernelSet& kernels = ActiveKernels();
  const Chain c = chain;
  ForEachChunk(work.PlaneSize(), work.channels, [out, ref, &kernels, c](std::size_t offset, std::size_t n, std::size_t) {
    if (ref != nullptr) kernels.addScaled(out + offset, ref + offset, c.addFactor, n);
    if (c.scaled) kernels.scale(out + offset, c.scale, n);
  });
}

float Run(const Chain& chain, const Image* energyRef) {
  if (chain.curv == nullptr) {
    RunAffine(chain);
    return 0.0f;
  }
  return FusedPass(chain, energyRef).Run();
}

bool Empty(const Chain& chain) { return chain.ref == nullptr && !chain.scaled && chain.curv == nullptr; }

}  // namespace

bool Deferring() {
  int mode = g_mode.load(std::memory_order_acquire);
  if (mode < 0) {
    mode = ModeFromEnvironment();
    int expected = -1;
    if (!g_mode.compare_exchange_strong(expected, mode, std::memory_order_acq_rel)) mode = expected;
  }
  return mode == 1;
}

DeferredLock::DeferredLock() { g_mutex.lock(); }
DeferredLock::~DeferredLock() { g_mutex.unlock(); }

void FlushAll() {
  if (Empty(g_chain)) {
    g_chain = Chain{};
    return;
  }
  const Chain chain = g_chain;
  g_chain = Chain{};
  Run(chain, nullptr);
}

void FlushInvolving(const Image* image) {
  if (image == nullptr || Empty(g_chain)) return;
  if (image == g_chain.work || image == g_chain.ref || image == g_chain.curv) FlushAll();
}

void DeferCurvature(Image& in, Image& out, float epsilon) {
  const bool joins = g_chain.work == &in && g_chain.curv == nullptr && &out != g_chain.ref;
  if (!joins) FlushAll();
  Reshape(out, in.width, in.height, in.channels);
  out.scale = in.scale;
  out.coupling = in.coupling;
  g_chain.work = &in;
  g_chain.curv = &out;
  g_chain.eps2 = epsilon * epsilon;
  g_chain.joint = in.coupling == ChannelCoupling::Joint && in.channels > 1;
  g_chain.kernels = &ActiveKernels();
}

void DeferAdd(Image& dst, Image& src, float factor) {
  if (g_chain.work == &dst && g_chain.curv == &src && !g_chain.step) {
    g_chain.step = true;
    g_chain.stepFactor = factor;
    return;
  }
  FlushAll();
  g_chain.work = &dst;
  g_chain.ref = &src;
  g_chain.addFactor = factor;
}

void DeferScale(Image& image, float factor) {
  if (!(g_chain.work == &image && g_chain.curv == nullptr && !g_chain.scaled)) FlushAll();
  g_chain.work = &image;
  g_chain.scaled = true;
  g_chain.scale = factor;
}

bool FusedEnergy(Image& a, Image& b, float& energy) {
  if (g_chain.work == &a && g_chain.curv != nullptr && g_chain.step && &b != g_chain.curv && &b != &a) {
    const Chain chain = g_chain;
    g_chain = Chain{};
    energy = Run(chain, &b);
    return true;
  }
  FlushInvolving(&a);
  FlushInvolving(&b);
  return false;
}

}  // namespace calvane::hostlib

using namespace calvane::hostlib;

void SetHostOperationsEager(bool eager) {
  DeferredLock lock;
  FlushAll();
  g_mode.store(eager ? 0 : 1, std::memory_order_release);
}

bool HostOperationsEager() { return !Deferring(); }
