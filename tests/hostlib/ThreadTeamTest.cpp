// The process's thread team: every chunk runs exactly once, whoever calls
// and however the calls overlap.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "hostlib/Parallel.h"
#include "hostlib/ThreadTeam.h"

namespace {

using calvane::hostlib::PassLayout;
using calvane::hostlib::ThreadTeam;

// Runs `passes` passes of `chunks` chunks and checks that each chunk of each
// pass ran once.
void RunCountedPasses(int passes, std::size_t chunks) {
  std::vector<std::atomic<int>> runs(chunks);
  for (int pass = 0; pass < passes; ++pass) {
    for (auto& r : runs) r.store(0);
    auto body = [&runs](std::size_t chunk) { runs[chunk].fetch_add(1); };
    ThreadTeam::Get().Run(chunks, body);
    for (std::size_t chunk = 0; chunk < chunks; ++chunk) {
      ASSERT_EQ(runs[chunk].load(), 1) << "pass " << pass << " chunk " << chunk;
    }
  }
}

TEST(ThreadTeam, EveryChunkRunsOnceInEveryPass) {
  // This executable fixes the team at four, so chunks are shared out even
  // on a machine of one or two cores.
  ASSERT_EQ(ThreadTeam::Get().Size(), 4);
  for (std::size_t chunks : {std::size_t{0}, std::size_t{1}, std::size_t{2}, std::size_t{3}, std::size_t{64},
                             std::size_t{1000}}) {
    RunCountedPasses(200, chunks);
  }
}

TEST(ThreadTeam, CallsFromSeveralThreadsAtOnceAllComplete) {
  std::vector<std::thread> callers;
  for (int i = 0; i < 4; ++i) callers.emplace_back([] { RunCountedPasses(300, 17); });
  for (auto& caller : callers) caller.join();
}

TEST(ThreadTeam, APassStartedFromInsideAChunkRunsToo) {
  std::atomic<int> inner{0};
  auto body = [&inner](std::size_t) {
    auto innerBody = [&inner](std::size_t) { inner.fetch_add(1); };
    ThreadTeam::Get().Run(5, innerBody);
  };
  ThreadTeam::Get().Run(8, body);
  EXPECT_EQ(inner.load(), 40);
}

TEST(ThreadTeam, APassAfterTheWorkersFellAsleepStillCompletes) {
  RunCountedPasses(3, 50);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  RunCountedPasses(3, 50);
}

// One pass of the stress test below: its own context and counts. The
// records form a ring of two halves: while the passes go through one half,
// nothing else happens between one pass and the next; when they move on to
// the other, the half they left last time round is checked and cleared. A
// chunk run late, or with the context of another pass, is counted where the
// check sees it.
constexpr std::size_t kMaxStressChunks = 32;
thread_local bool t_stressCaller = false;
std::atomic<long> g_chunksOnWorkers{0};

struct PassRecord {
  std::size_t chunks = 0;
  std::atomic<int> runs[kMaxStressChunks] = {};
  std::atomic<int> outOfRange{0};
  std::atomic<int> whileClosed{0};
  std::atomic<bool> open{false};

  static void Task(void* context, std::size_t chunk) {
    auto& record = *static_cast<PassRecord*>(context);
    if (!t_stressCaller) g_chunksOnWorkers.fetch_add(1, std::memory_order_relaxed);
    if (!record.open.load()) record.whileClosed.fetch_add(1);
    if (chunk >= record.chunks) {
      record.outOfRange.fetch_add(1);
    } else {
      record.runs[chunk].fetch_add(1);
    }
  }

  // Every chunk ran once, none out of range, and none outside the pass.
  ::testing::AssertionResult RanEachChunkOnce() const {
    if (outOfRange.load() != 0) return ::testing::AssertionFailure() << "ran a chunk of a larger pass";
    if (whileClosed.load() != 0) return ::testing::AssertionFailure() << "ran a chunk outside its pass";
    for (std::size_t c = 0; c < chunks; ++c) {
      const int count = runs[c].load();
      if (count != 1) return ::testing::AssertionFailure() << "chunk " << c << " of " << chunks << " ran " << count << " times";
    }
    return ::testing::AssertionSuccess();
  }

  void Clear() {
    chunks = 0;
    for (auto& r : runs) r.store(0);
    outOfRange.store(0);
    whileClosed.store(0);
  }
};

TEST(ThreadTeam, BackToBackShortPassesNeverShareAChunk) {
  // Many short passes of differing sizes, back to back, on four threads: a
  // thread still looking for chunks of one pass when the next starts finds
  // that pass's cursors and must take nothing from them. Were it to, a
  // chunk of the next pass would run with the old pass's context (after
  // that pass returned, and perhaps out of its range) and be missing from
  // the new one, whose caller counted it done. A thread is late that way
  // only while the workers run beside the caller, so the passes go on until
  // the workers have run many chunks (a few tens of thousands of passes on
  // a machine with processors to spare).
  ASSERT_EQ(ThreadTeam::Get().Size(), 4);
  constexpr std::size_t kHalf = 4096;
  constexpr long kWorkerChunks = 200000;
  constexpr std::size_t kMaxPasses = 5000000;
  t_stressCaller = true;
  g_chunksOnWorkers.store(0);
  std::vector<PassRecord> ring(2 * kHalf);
  std::size_t pass = 0;
  for (; pass < kMaxPasses && g_chunksOnWorkers.load(std::memory_order_relaxed) < kWorkerChunks; ++pass) {
    const std::size_t slot = pass % ring.size();
    if (slot % kHalf == 0) {
      const std::size_t other = (slot + kHalf) % ring.size();
      for (std::size_t i = other; i < other + kHalf; ++i) {
        ASSERT_TRUE(ring[i].RanEachChunkOnce()) << "pass " << pass - kHalf + (i - other);
        ring[i].Clear();
      }
    }
    PassRecord& record = ring[slot];
    record.chunks = 2 + pass * 7 % (kMaxStressChunks - 1);
    record.open.store(true);
    ThreadTeam::Get().RunTask(record.chunks, &PassRecord::Task, &record);
    record.open.store(false);
  }
  t_stressCaller = false;
  // A thread late from the last passes shows in the passes after them.
  RunCountedPasses(100, 17);
  for (const PassRecord& record : ring) ASSERT_TRUE(record.RanEachChunkOnce()) << "one of the last passes";
  if (g_chunksOnWorkers.load() < kWorkerChunks) {
    GTEST_SKIP() << "the workers ran " << g_chunksOnWorkers.load() << " chunks of " << pass
                 << " passes: too few to race the caller (the machine is busy)";
  }
}

TEST(PassLayout, ChunksCoverEveryUnitOfEveryPlaneOnceAndInOrderPerThread) {
  for (auto [units, planes, perUnit] : {std::make_tuple(7, 1, 1), std::make_tuple(1 << 20, 3, 1),
                                        std::make_tuple(4000, 3, 6000), std::make_tuple(512, 1, 512)}) {
    const PassLayout layout(static_cast<std::size_t>(units), planes, static_cast<std::size_t>(perUnit), 64);
    std::vector<int> covered(static_cast<std::size_t>(units) * planes, 0);
    for (std::size_t chunk = 0; chunk < layout.Chunks(); ++chunk) {
      const auto range = layout.Units(chunk);
      ASSERT_LE(range.end, static_cast<std::size_t>(units));
      for (std::size_t u = range.begin; u < range.end; ++u) {
        covered[static_cast<std::size_t>(layout.Plane(chunk)) * units + u] += 1;
      }
    }
    for (int c : covered) ASSERT_EQ(c, 1);
  }
}

}  // namespace
