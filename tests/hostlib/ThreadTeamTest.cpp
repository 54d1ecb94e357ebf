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
  EXPECT_GE(ThreadTeam::Get().Size(), 1);
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
