#include "hostlib/Deferred.h"

#include <immintrin.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <utility>
#include <vector>

#include "hostlib/HostImage.h"
#include "hostlib/Kernels.h"
#include "hostlib/Parallel.h"

namespace calvane::hostlib {
namespace {

// The affine map a chain applies to the working image as it reads it:
//   work = work + addFactor * ref   (when ref is set)
//   work = work * scale             (when scaled)
struct Affine {
  const Image* ref = nullptr;
  float addFactor = 0.0f;
  bool scaled = false;
  float scale = 1.0f;

  bool Any() const { return ref != nullptr || scaled; }
};

// A curvature as it was asked for.
struct CurvatureSpec {
  float eps2 = 0.0f;
  bool joint = false;
  const KernelSet* kernels = nullptr;
};

// What the pending chain will do to `work`, in this order:
//   the affine map
//   curv = curvature of work        (when curv is set)
//   work = work + stepFactor * curv (when step)
struct Chain {
  Image* work = nullptr;
  Affine affine;
  Image* curv = nullptr;
  CurvatureSpec curvature;
  bool step = false;
  float stepFactor = 0.0f;
};

// A curvature image whose samples are not computed yet: its buffer holds
// the working samples from before the pass that made the record, and its
// samples are the curvature of those under `affine`. When the image the
// affine map reads is deleted, the record keeps it (ownsRef) until it is
// done with it.
struct Record {
  Image* target = nullptr;
  Affine affine;
  CurvatureSpec curvature;
  bool ownsRef = false;
};

std::mutex g_mutex;
Chain g_chain;
Record g_record;
std::atomic<std::size_t> g_recordsComputed{0};

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

// What one pass does. It reads `source` (width x height samples in
// `channels` planes) with the affine map applied and computes the curvature
// of every row. With `step`, it writes the new working samples (the mapped
// row plus stepFactor times its curvature) to `workOut`, and with
// `energyRef` returns their energy against it; without, it writes the
// curvature to `curvatureOut` and the mapped rows to `workOut`, each when
// set.
struct PassSpec {
  std::size_t width = 0;
  std::size_t height = 0;
  int channels = 0;
  const float* source = nullptr;
  Affine affine;
  CurvatureSpec curvature;
  float* curvatureOut = nullptr;
  float* workOut = nullptr;
  bool step = false;
  float stepFactor = 0.0f;
  const float* energyRef = nullptr;
};

// Rows of the source that a task reads and another task writes, when a
// pass writes the buffer it reads: copied before any task writes.
constexpr int kSnapshotRows = 4;

struct TaskBuffers {
  std::vector<float> snapshot;  // kSnapshotRows rows of every channel
  std::int64_t snapshotRow[kSnapshotRows] = {-1, -1, -1, -1};
};

// What a thread needs while it runs a task.
struct WorkBuffers {
  std::vector<float> ring;     // per channel, rows y and y + 1 (slot y mod 2)
  std::vector<float> scratch;  // the curvature's field rows
  std::vector<float> curvRow;  // per channel, two rows: output rows not written straight out
  std::vector<const float*> ringRows;  // per channel, the ring's rows
  std::vector<float*> outRows;         // per channel, where the output of a row goes
  std::vector<const float*> ahead;     // the rows to prefetch while a row's curvature is computed
};

// Kept between passes (under the lock).
std::vector<TaskBuffers> g_tasks;

// Each task covers at least this many rows, so that the rows it shares with
// its neighbours (computed twice) stay a small part of its work.
constexpr std::size_t kMinTaskRows = 64;

// From this size of image on, a pass writes the new working samples past
// the caches: the three images of an iteration do not fit in them, so the
// next pass reads the samples from memory anyway, and a cached store would
// first read every line it overwrites.
constexpr std::size_t kStreamFromBytes = std::size_t{8} << 20;

// The chain with a curvature, as one pass over rows: each task takes one
// thread's share of SampleLayout (the same samples of every plane) and the
// rows that meet it.
class FusedPass {
 public:
  explicit FusedPass(const PassSpec& spec)
      : m_spec(spec),
        m_kernels(*spec.curvature.kernels),
        m_width(spec.width),
        m_height(spec.height),
        m_channels(spec.channels),
        m_plane(spec.width * spec.height),
        m_layout(SampleLayout(m_plane, m_channels)),
        m_inPlace(spec.source == spec.workOut || spec.source == spec.curvatureOut),
        m_stream(spec.step && !m_inPlace &&
                 m_plane * static_cast<std::size_t>(m_channels) * sizeof(float) >= kStreamFromBytes) {}

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
    if (m_spec.energyRef != nullptr) m_partials.assign(m_layout.Chunks(), 0.0);
    PrepareSnapshots(tasks);
    if (tasks > 1) {
      if (m_inPlace) {
        auto snapshot = [this](std::size_t task) { Snapshot(task); };
        ThreadTeam::Get().Run(tasks, snapshot);
      }
      auto body = [this](std::size_t task) { Task(task); };
      ThreadTeam::Get().Run(tasks, body);
    } else {
      Task(0);
    }
    if (m_spec.energyRef == nullptr) return 0.0f;
    double sum = 0.0;
    for (const double p : m_partials) sum += p;
    return static_cast<float>(sum / static_cast<double>(m_plane * static_cast<std::size_t>(m_channels)));
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

  void PrepareSnapshots(std::size_t tasks) {
    if (!m_inPlace || tasks < 2) return;
    if (g_tasks.size() < tasks) g_tasks.resize(tasks);
    const auto c = static_cast<std::size_t>(m_channels);
    for (std::size_t t = 0; t < tasks; ++t) {
      TaskBuffers& buffers = g_tasks[t];
      if (buffers.snapshot.size() < kSnapshotRows * c * m_width) buffers.snapshot.resize(kSnapshotRows * c * m_width);
      for (std::int64_t& row : buffers.snapshotRow) row = -1;
    }
  }

  WorkBuffers& ThreadBuffers() const {
    thread_local WorkBuffers t_buffers;
    const auto c = static_cast<std::size_t>(m_channels);
    const std::size_t scratch = m_spec.curvature.joint
                                    ? JointCurvatureScratchFloats(static_cast<std::ptrdiff_t>(m_width), m_channels)
                                    : CurvatureScratchFloats(static_cast<std::ptrdiff_t>(m_width)) * c;
    if (t_buffers.ring.size() < 2 * c * m_width) t_buffers.ring.resize(2 * c * m_width);
    if (t_buffers.curvRow.size() < 2 * c * m_width) t_buffers.curvRow.resize(2 * c * m_width);
    if (t_buffers.scratch.size() < scratch) t_buffers.scratch.resize(scratch);
    if (t_buffers.ringRows.size() < c) t_buffers.ringRows.resize(c);
    if (t_buffers.outRows.size() < c) t_buffers.outRows.resize(c);
    if (t_buffers.ahead.size() < 3 * c) t_buffers.ahead.resize(3 * c);
    return t_buffers;
  }

  // The first and last rows of a task's range.
  std::size_t FirstRow(const Range& share) const { return share.begin / m_width; }
  std::size_t EndRow(const Range& share) const { return (share.end - 1) / m_width + 1; }

  // The rows of the task's range that other tasks write: the row above,
  // the first and last rows when shared, and the row below.
  void Snapshot(std::size_t task) {
    const Range share = Share(task);
    if (share.begin >= share.end) return;
    TaskBuffers& buffers = g_tasks[task];
    const std::size_t r0 = FirstRow(share);
    const std::size_t r1 = EndRow(share);
    const std::int64_t rows[kSnapshotRows] = {
        r0 > 0 ? static_cast<std::int64_t>(r0) - 1 : -1,
        share.begin % m_width != 0 ? static_cast<std::int64_t>(r0) : -1,
        share.end % m_width != 0 ? static_cast<std::int64_t>(r1) - 1 : -1,
        r1 < m_height ? static_cast<std::int64_t>(r1) : -1};
    for (int i = 0; i < kSnapshotRows; ++i) {
      buffers.snapshotRow[i] = rows[i];
      if (rows[i] < 0) continue;
      for (int c = 0; c < m_channels; ++c) {
        std::memcpy(SnapshotRow(buffers, i, c), m_spec.source + Offset(c, static_cast<std::size_t>(rows[i])),
                    m_width * sizeof(float));
      }
    }
  }

  std::size_t Offset(int channel, std::size_t row) const {
    return m_plane * static_cast<std::size_t>(channel) + row * m_width;
  }
  std::size_t SnapshotOffset(int index, int channel) const {
    return (static_cast<std::size_t>(index) * static_cast<std::size_t>(m_channels) + static_cast<std::size_t>(channel)) *
           m_width;
  }
  float* SnapshotRow(TaskBuffers& buffers, int index, int channel) const {
    return buffers.snapshot.data() + SnapshotOffset(index, channel);
  }
  const float* SnapshotRow(const TaskBuffers& buffers, int index, int channel) const {
    return buffers.snapshot.data() + SnapshotOffset(index, channel);
  }
  float* RingBase(WorkBuffers& buffers, int channel) const {
    return buffers.ring.data() + 2 * static_cast<std::size_t>(channel) * m_width;
  }
  float* RingRow(WorkBuffers& buffers, int channel, std::size_t row) const {
    return RingBase(buffers, channel) + (row & 1) * m_width;
  }

  // The channels a walk down the rows covers: all of them for the joint
  // curvature, else one at a time (a third of the rows in the cache, and
  // a third of the streams from memory).
  struct Channels {
    int begin;
    int end;
  };

  // Row `row` of the channels into the ring, as the affine map leaves it.
  void Load(const TaskBuffers* task, WorkBuffers& buffers, std::size_t row, Channels channels) {
    int snapshot = -1;
    if (task != nullptr) {
      for (int i = 0; i < kSnapshotRows; ++i) {
        if (task->snapshotRow[i] == static_cast<std::int64_t>(row)) snapshot = i;
      }
    }
    const Affine& affine = m_spec.affine;
    for (int c = channels.begin; c < channels.end; ++c) {
      const float* in = snapshot >= 0 ? SnapshotRow(*task, snapshot, c) : m_spec.source + Offset(c, row);
      const float* ref = affine.ref != nullptr ? affine.ref->samples + Offset(c, row) : nullptr;
      m_kernels.affineRow(in, ref, affine.addFactor, affine.scaled, affine.scale, RingRow(buffers, c, row), m_width);
    }
  }

  // Puts into buffers.ahead the rows of channel c that row `row` needs
  // from memory (the source, the affine map's image and the energy's), and
  // returns how many.
  int RowsToFetch(WorkBuffers& buffers, int c, std::size_t row, int at) const {
    if (row >= m_height) return at;
    const std::size_t offset = Offset(c, row);
    const float* ref = m_spec.affine.ref != nullptr ? m_spec.affine.ref->samples + offset : nullptr;
    const float* energy = m_spec.energyRef != nullptr ? m_spec.energyRef + offset : nullptr;
    buffers.ahead[static_cast<std::size_t>(at++)] = m_spec.source + offset;
    if (ref != nullptr) buffers.ahead[static_cast<std::size_t>(at++)] = ref;
    if (energy != nullptr && energy != ref) buffers.ahead[static_cast<std::size_t>(at++)] = energy;
    return at;
  }

  // The curvature of row y of the channels (field only when `out` is null;
  // `out` then addresses each channel's row y through out[c] + (y mod 2) *
  // width), bringing row `fetch` into the cache on the way.
  void Curvature(WorkBuffers& buffers, std::size_t y, Channels channels, float* const* out, std::size_t fetch,
                 RowOutput output = RowOutput{}) {
    const auto w = static_cast<std::ptrdiff_t>(m_width);
    const bool last = y + 1 >= m_height;
    const auto slot = static_cast<std::ptrdiff_t>(y & 1);
    const std::ptrdiff_t belowSlot = last ? slot : 1 - slot;
    const float eps2 = m_spec.curvature.eps2;
    if (m_spec.curvature.joint) {
      const float** in = buffers.ringRows.data();
      int count = 0;
      for (int c = 0; c < m_channels; ++c) {
        in[c] = RingBase(buffers, c);
        count = RowsToFetch(buffers, c, fetch, count);
      }
      m_kernels.curvatureRowJoint(in, out, m_channels, w, slot, belowSlot, eps2, buffers.scratch.data(),
                                  static_cast<std::ptrdiff_t>(y), RowsAhead{buffers.ahead.data(), count}, output);
    } else {
      const std::size_t room = CurvatureScratchFloats(w);
      for (int c = channels.begin; c < channels.end; ++c) {
        const float* base = RingBase(buffers, c);
        float* dest = out != nullptr ? out[c] + slot * w : nullptr;
        const int count = RowsToFetch(buffers, c, fetch, 0);
        m_kernels.curvatureRow(base + slot * w, base + belowSlot * w, dest, w, eps2,
                               buffers.scratch.data() + room * static_cast<std::size_t>(c),
                               static_cast<std::ptrdiff_t>(y), RowsAhead{buffers.ahead.data(), count}, output);
      }
    }
  }

  void Task(std::size_t task) {
    const Range share = Share(task);
    if (share.begin >= share.end) return;
    const auto c = static_cast<std::size_t>(m_channels);
    thread_local std::vector<EnergyFeed> t_feeds;
    std::vector<EnergyFeed>& feeds = t_feeds;
    feeds.clear();
    if (m_spec.energyRef != nullptr) {
      const Range pieces = Pieces(task);
      for (std::size_t p = 0; p < c; ++p) {
        feeds.emplace_back(m_layout, (Thread(task) * c + p) * m_layout.Pieces() + pieces.begin,
                           pieces.end - pieces.begin, m_kernels, m_partials.data());
      }
    }
    if (m_spec.curvature.joint) {
      Rows(task, share, Channels{0, m_channels}, feeds);
    } else {
      for (int ch = 0; ch < m_channels; ++ch) Rows(task, share, Channels{ch, ch + 1}, feeds);
    }
    // The streamed stores reach memory before the task counts as done.
    if (m_stream) _mm_sfence();
  }

  // The task's rows of the channels.
  void Rows(std::size_t task, const Range& share, Channels channels, std::vector<EnergyFeed>& feeds) {
    const TaskBuffers* own = m_inPlace && m_layout.Threads() * m_perThread > 1 ? &g_tasks[task] : nullptr;
    WorkBuffers& buffers = ThreadBuffers();
    const std::size_t r0 = FirstRow(share);
    const std::size_t r1 = EndRow(share);

    if (r0 > 0) {
      Load(own, buffers, r0 - 1, channels);
      Load(own, buffers, r0, channels);
      Curvature(buffers, r0 - 1, channels, nullptr, r0 + 1);
    } else {
      Load(own, buffers, r0, channels);
      // Nothing above the first row: its vertical field is zero.
      const std::size_t stride = m_width + 16;
      float* above = buffers.scratch.data();
      if (m_spec.curvature.joint) {
        const auto c = static_cast<std::size_t>(m_channels);
        std::fill(above + c * stride, above + 2 * c * stride, 0.0f);
      } else {
        const std::size_t room = CurvatureScratchFloats(static_cast<std::ptrdiff_t>(m_width));
        for (int ch = channels.begin; ch < channels.end; ++ch) {
          float* field = above + static_cast<std::size_t>(ch) * room;
          std::fill(field + stride, field + 2 * stride, 0.0f);
        }
      }
    }

    // With a step the kernel writes the new working rows, else the
    // curvature rows. Rows wholly this task's go straight to their image
    // (unless streamed out: they are formed in the cache first, where the
    // energy reads them); other rows into a buffer, and only this task's
    // part is copied.
    float** out = buffers.outRows.data();
    float* const target = m_spec.step ? m_spec.workOut : m_spec.curvatureOut;
    const RowOutput output{m_spec.step, m_spec.stepFactor};
    for (std::size_t y = r0; y < r1; ++y) {
      if (y + 1 < m_height) Load(own, buffers, y + 1, channels);
      const std::size_t rowStart = y * m_width;
      const std::size_t begin = std::max(share.begin, rowStart);
      const std::size_t end = std::min(share.end, rowStart + m_width);
      const bool whole = begin == rowStart && end == rowStart + m_width;
      const bool direct = whole && target != nullptr && !m_stream;
      for (int ch = channels.begin; ch < channels.end; ++ch) {
        out[ch] = direct ? target + Offset(ch, y) - (y & 1) * m_width
                         : buffers.curvRow.data() + 2 * static_cast<std::size_t>(ch) * m_width;
      }
      Curvature(buffers, y, channels, out, y + 2, output);
      const std::size_t from = begin - rowStart;
      const std::size_t n = end - begin;
      for (int ch = channels.begin; ch < channels.end; ++ch) {
        const float* produced = out[ch] + (y & 1) * m_width + from;
        if (!feeds.empty()) {
          feeds[static_cast<std::size_t>(ch)].Feed(begin, produced, m_spec.energyRef + Offset(ch, y) + from, n);
        }
        if (target != nullptr && !direct) {
          float* dest = target + Offset(ch, y) + from;
          if (m_stream) {
            m_kernels.streamStore(dest, produced, n);
          } else {
            std::memcpy(dest, produced, n * sizeof(float));
          }
        }
        // Stopped before its step: the mapped row goes back in place.
        if (!m_spec.step && m_spec.workOut != nullptr) {
          std::memcpy(m_spec.workOut + Offset(ch, y) + from, RingRow(buffers, ch, y) + from, n * sizeof(float));
        }
      }
    }
  }

  const PassSpec& m_spec;
  const KernelSet& m_kernels;
  std::size_t m_width;
  std::size_t m_height;
  int m_channels;
  std::size_t m_plane;
  PassLayout m_layout;
  bool m_inPlace;
  bool m_stream;
  std::vector<double> m_partials;
  std::size_t m_perThread = 1;
};

PassSpec SpecFor(const Image& image, const Affine& affine, const CurvatureSpec& curvature) {
  PassSpec spec;
  spec.width = static_cast<std::size_t>(image.width);
  spec.height = static_cast<std::size_t>(image.height);
  spec.channels = image.channels;
  spec.source = image.samples;
  spec.affine = affine;
  spec.curvature = curvature;
  return spec;
}

// The curvature record's samples, computed in place from the samples its
// buffer holds.
// Frees what the record kept of a deleted image.
void Release(const Record& record) {
  if (!record.ownsRef) return;
  Image* ref = const_cast<Image*>(record.affine.ref);
  ReleaseSamples(*ref);
  delete ref;
}

void Drop() {
  const Record record = g_record;
  g_record = Record{};
  Release(record);
}

void Materialise() {
  const Record record = g_record;
  g_record = Record{};
  if (record.target == nullptr) return;
  PassSpec spec = SpecFor(*record.target, record.affine, record.curvature);
  spec.curvatureOut = record.target->samples;
  FusedPass(spec).Run();
  Release(record);
  g_recordsComputed.fetch_add(1, std::memory_order_relaxed);
}

// The record's samples as `use` of `image` needs them.
void SettleRecord(const Image* image, Use use) {
  if (image == nullptr || g_record.target == nullptr) return;
  if (image == g_record.target) {
    if (use == Use::Replace) {
      Drop();
    } else {
      Materialise();
    }
  } else if (image == g_record.affine.ref && use != Use::Read) {
    Materialise();
  }
}

void SwapBuffers(Image& a, Image& b) {
  std::swap(a.samples, b.samples);
  std::swap(a.capacity, b.capacity);
  std::swap(a.mapped, b.mapped);
}

// The chain without a curvature: the affine map alone, as AddImage and
// MultiplyConstant would have done it.
void RunAffine(const Chain& chain) {
  Image& work = *chain.work;
  float* out = work.samples;
  const Affine affine = chain.affine;
  const float* ref = affine.ref != nullptr ? affine.ref->samples : nullptr;
  const KernelSet& kernels = ActiveKernels();
  ForEachChunk(work.PlaneSize(), work.channels, [out, ref, &kernels, affine](std::size_t offset, std::size_t n, std::size_t) {
    if (ref != nullptr) kernels.addScaled(out + offset, ref + offset, affine.addFactor, n);
    if (affine.scaled) kernels.scale(out + offset, affine.scale, n);
  });
}

float Run(const Chain& chain, const Image* energyRef) {
  if (chain.curv == nullptr) {
    RunAffine(chain);
    return 0.0f;
  }
  Image& work = *chain.work;
  Image& curv = *chain.curv;
  PassSpec spec = SpecFor(work, chain.affine, chain.curvature);
  if (!chain.step) {
    // Stopped before its step: the curvature now, and the mapped samples
    // back in place.
    spec.curvatureOut = curv.samples;
    if (chain.affine.Any()) spec.workOut = work.samples;
    FusedPass(spec).Run();
    return 0.0f;
  }
  // One record is kept: an older one on another image gets its samples
  // first (the curvature image's own was dropped when this curvature was
  // asked for).
  if (g_record.target != &curv) Materialise();
  Drop();
  spec.workOut = curv.samples;
  spec.step = true;
  spec.stepFactor = chain.stepFactor;
  spec.energyRef = energyRef != nullptr ? energyRef->samples : nullptr;
  const float energy = FusedPass(spec).Run();
  SwapBuffers(work, curv);
  g_record = Record{&curv, chain.affine, chain.curvature};
  return energy;
}

bool Empty(const Chain& chain) { return !chain.affine.Any() && chain.curv == nullptr; }

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
  if (image == g_chain.work || image == g_chain.affine.ref || image == g_chain.curv) FlushAll();
}

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

std::size_t CurvatureRecordsComputed() { return g_recordsComputed.load(std::memory_order_relaxed); }

void Prepare(const Image* image, Use use) {
  FlushInvolving(image);
  SettleRecord(image, use);
}

bool PrepareDelete(Image* image) {
  FlushInvolving(image);
  if (image != nullptr && image == g_record.affine.ref && g_record.target != nullptr) {
    g_record.ownsRef = true;
    return true;
  }
  SettleRecord(image, Use::Replace);
  return false;
}

void SettleAll() {
  FlushAll();
  Materialise();
}

void DeferCurvature(Image& in, Image& out, float epsilon) {
  const bool joins = g_chain.work == &in && g_chain.curv == nullptr && &out != g_chain.affine.ref;
  if (!joins) FlushAll();
  SettleRecord(&in, Use::Read);
  SettleRecord(&out, Use::Replace);
  Reshape(out, in.width, in.height, in.channels);
  out.scale = in.scale;
  out.coupling = in.coupling;
  g_chain.work = &in;
  g_chain.curv = &out;
  g_chain.curvature.eps2 = epsilon * epsilon;
  g_chain.curvature.joint = in.coupling == ChannelCoupling::Joint && in.channels > 1;
  g_chain.curvature.kernels = &ActiveKernels();
}

void DeferAdd(Image& dst, Image& src, float factor) {
  if (g_chain.work == &dst && g_chain.curv == &src && !g_chain.step) {
    SettleRecord(&dst, Use::Change);
    g_chain.step = true;
    g_chain.stepFactor = factor;
    return;
  }
  FlushAll();
  SettleRecord(&src, Use::Read);
  SettleRecord(&dst, Use::Change);
  g_chain.work = &dst;
  g_chain.affine.ref = &src;
  g_chain.affine.addFactor = factor;
}

void DeferScale(Image& image, float factor) {
  if (!(g_chain.work == &image && g_chain.curv == nullptr && !g_chain.affine.scaled)) FlushAll();
  SettleRecord(&image, Use::Change);
  g_chain.work = &image;
  g_chain.affine.scaled = true;
  g_chain.affine.scale = factor;
}

bool FusedEnergy(Image& a, Image& b, float& energy) {
  if (g_chain.work == &a && g_chain.curv != nullptr && g_chain.step && &b != g_chain.curv && &b != &a) {
    SettleRecord(&b, Use::Read);
    const Chain chain = g_chain;
    g_chain = Chain{};
    energy = Run(chain, &b);
    return true;
  }
  Prepare(&a, Use::Read);
  Prepare(&b, Use::Read);
  return false;
}

}  // namespace calvane::hostlib

using namespace calvane::hostlib;

void SetHostOperationsEager(bool eager) {
  DeferredLock lock;
  SettleAll();
  g_mode.store(eager ? 0 : 1, std::memory_order_release);
}

bool HostOperationsEager() { return !Deferring(); }
