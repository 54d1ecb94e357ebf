#include "hostlib/ThreadTeam.h"

#include <immintrin.h>
#include <sched.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace calvane::hostlib {
namespace {

// How long a worker keeps looking for the next pass before it sleeps: long
// enough to span the engine's work between two passes, short enough not to
// hold a processor that someone else could use. After the first part it
// offers its processor to others between looks, so on a machine with more
// runnable threads than processors it does not slow down the thread that
// is doing the work.
constexpr auto kSpinTime = std::chrono::microseconds(300);
constexpr auto kBusySpinTime = std::chrono::microseconds(20);

// A cursor packs the pass's number (high half) and the next chunk to take
// (low half), so a thread that looks at a pass after it ended cannot take a
// chunk of the next one.
constexpr int kPassShift = 32;
constexpr std::uint64_t kChunkMask = (std::uint64_t{1} << kPassShift) - 1;

int TeamSize() {
  // OMP_NUM_THREADS is the knob people already use to limit a numeric
  // program's threads.
  if (const char* text = std::getenv("OMP_NUM_THREADS")) {
    const long value = std::strtol(text, nullptr, 10);
    if (value > 0) return static_cast<int>(value < 256 ? value : 256);
  }
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof(set), &set) == 0) {
    const int count = CPU_COUNT(&set);
    if (count > 0) return count;
  }
  const unsigned hardware = std::thread::hardware_concurrency();
  return hardware > 0 ? static_cast<int>(hardware) : 1;
}

thread_local bool t_isWorker = false;

}  // namespace

struct ThreadTeam::State {
  struct alignas(64) Cursor {
    std::atomic<std::uint64_t> value{0};
  };

  explicit State(int size) : cursors(static_cast<std::size_t>(size)) {}

  // Whether a pass is under way; taken by the caller for the whole pass.
  std::mutex passLock;
  // The current pass: its number, what to run and how many chunks. Workers
  // read these only to try to take a chunk, and a chunk can only be taken
  // while its pass is under way.
  std::atomic<std::uint64_t> pass{0};
  std::atomic<Task> task{nullptr};
  std::atomic<void*> context{nullptr};
  std::atomic<std::size_t> chunks{0};
  std::vector<Cursor> cursors;
  alignas(64) std::atomic<std::size_t> finished{0};

  // Sleeping workers wait here for the next pass.
  std::mutex sleepLock;
  std::condition_variable wake;
  std::atomic<int> sleepers{0};

  std::size_t RunEnd(std::size_t run, std::size_t chunkCount) const {
    return chunkCount * (run + 1) / cursors.size();
  }

  // Takes the next chunk of `run` in pass `number`, if any is left.
  bool Take(std::size_t run, std::uint64_t number, std::size_t chunkCount, std::size_t& chunk) {
    std::atomic<std::uint64_t>& cursor = cursors[run].value;
    std::uint64_t seen = cursor.load(std::memory_order_acquire);
    for (;;) {
      if ((seen >> kPassShift) != (number & kChunkMask)) return false;
      const std::size_t next = static_cast<std::size_t>(seen & kChunkMask);
      if (next >= RunEnd(run, chunkCount)) return false;
      if (cursor.compare_exchange_weak(seen, seen + 1, std::memory_order_acq_rel, std::memory_order_acquire)) {
        chunk = next;
        return true;
      }
    }
  }

  // Runs the chunks of pass `number`: this thread's own run first, then
  // whatever the others have not started.
  void Work(std::size_t own, std::uint64_t number) {
    const Task run = task.load(std::memory_order_acquire);
    void* const argument = context.load(std::memory_order_acquire);
    const std::size_t chunkCount = chunks.load(std::memory_order_acquire);
    const std::size_t runs = cursors.size();
    for (std::size_t step = 0; step < runs; ++step) {
      const std::size_t victim = (own + step) % runs;
      std::size_t chunk = 0;
      while (Take(victim, number, chunkCount, chunk)) {
        run(argument, chunk);
        finished.fetch_add(1, std::memory_order_acq_rel);
      }
    }
  }

  [[noreturn]] void WorkerLoop(std::size_t own) {
    t_isWorker = true;
    std::uint64_t seen = pass.load(std::memory_order_acquire);
    for (;;) {
      std::uint64_t number = seen;
      const auto spinStart = std::chrono::steady_clock::now();
      for (int spins = 0; (number = pass.load(std::memory_order_acquire)) == seen; ++spins) {
        _mm_pause();
        if ((spins & 63) != 63) continue;
        const auto spun = std::chrono::steady_clock::now() - spinStart;
        if (spun > kBusySpinTime) sched_yield();
        if (spun > kSpinTime) {
          std::unique_lock<std::mutex> lock(sleepLock);
          sleepers.fetch_add(1, std::memory_order_seq_cst);
          wake.wait(lock, [&] { return pass.load(std::memory_order_seq_cst) != seen; });
          sleepers.fetch_sub(1, std::memory_order_relaxed);
        }
      }
      seen = number;
      Work(own, number);
    }
  }
};

ThreadTeam& ThreadTeam::Get() {
  // Never destroyed: the workers may be asleep in it when the process ends.
  static ThreadTeam* const team = new ThreadTeam(TeamSize());
  return *team;
}

ThreadTeam::ThreadTeam(int size) : m_state(new State(size)), m_size(size) {
  for (int worker = 1; worker < size; ++worker) {
    std::thread([state = m_state, worker] { state->WorkerLoop(static_cast<std::size_t>(worker)); }).detach();
  }
}

void ThreadTeam::RunTask(std::size_t chunks, Task task, void* context) {
  if (chunks == 0) return;
  State& state = *m_state;
  std::unique_lock<std::mutex> busy(state.passLock, std::defer_lock);
  // A pass of more chunks than a cursor can count runs here too; the
  // library's passes have a few thousand at most.
  if (m_size == 1 || chunks == 1 || chunks >= kChunkMask || t_isWorker || !busy.try_lock()) {
    for (std::size_t chunk = 0; chunk < chunks; ++chunk) task(context, chunk);
    return;
  }
  const std::uint64_t number = state.pass.load(std::memory_order_relaxed) + 1;
  const std::uint64_t tag = (number & kChunkMask) << kPassShift;
  const std::size_t runs = state.cursors.size();
  // First make every cursor refuse a thread still looking at the last pass;
  // a thread that then sees any field of this pass sees that too.
  for (std::size_t run = 0; run < runs; ++run) state.cursors[run].value.store(tag | kChunkMask, std::memory_order_release);
  state.task.store(task, std::memory_order_release);
  state.context.store(context, std::memory_order_release);
  state.chunks.store(chunks, std::memory_order_release);
  state.finished.store(0, std::memory_order_release);
  for (std::size_t run = 0; run < runs; ++run) {
    state.cursors[run].value.store(tag | (chunks * run / runs), std::memory_order_release);
  }
  state.pass.store(number, std::memory_order_seq_cst);
  if (state.sleepers.load(std::memory_order_seq_cst) > 0) {
    { std::lock_guard<std::mutex> lock(state.sleepLock); }
    state.wake.notify_all();
  }

  state.Work(0, number);
  // Only chunks that a worker has started remain; wait for those.
  for (int spins = 0; state.finished.load(std::memory_order_acquire) < chunks; ++spins) {
    _mm_pause();
    if ((spins & 63) == 63) sched_yield();
  }
}

}  // namespace calvane::hostlib
