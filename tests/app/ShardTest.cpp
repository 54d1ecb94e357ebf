#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "app/Shard.h"

namespace calvane::app {
namespace {

Environment Fake(std::map<std::string, std::string> variables) {
  return [variables](const char* name) -> std::optional<std::string> {
    const auto found = variables.find(name);
    if (found == variables.end()) return std::nullopt;
    return found->second;
  };
}

TEST(Shard, SharesCoverEveryInputOnceInOrderAndDifferByAtMostOne) {
  for (const std::size_t count : {0u, 1u, 5u, 12u, 1000u, 1001u}) {
    for (const long long n : {1LL, 2LL, 3LL, 7LL, 12LL, 13LL}) {
      SCOPED_TRACE(std::to_string(count) + " inputs in " + std::to_string(n) + " shares");
      std::size_t next = 0;
      std::size_t smallest = count;
      std::size_t largest = 0;
      for (long long k = 1; k <= n; ++k) {
        const ShareRange share = ShareOf(count, ShardRequest{false, k, n});
        EXPECT_EQ(share.begin, next) << "share " << k << " must start where the one before ended";
        ASSERT_LE(share.begin, share.end);
        next = share.end;
        smallest = std::min(smallest, share.end - share.begin);
        largest = std::max(largest, share.end - share.begin);
      }
      EXPECT_EQ(next, count) << "the last share ends at the last input";
      EXPECT_LE(largest - smallest, 1u);
    }
  }
  // Exact shares of 12 frames over 3 tasks, and of 5 over 3.
  EXPECT_EQ(ShareOf(12, {false, 2, 3}).begin, 4u);
  EXPECT_EQ(ShareOf(12, {false, 2, 3}).end, 8u);
  EXPECT_EQ(ShareOf(5, {false, 1, 3}).end, 2u);
  EXPECT_EQ(ShareOf(5, {false, 3, 3}).begin, 4u);
}

TEST(Shard, ParsesKOfNAndAutoAndSaysWhatIsWrong) {
  const ShardRequest given = ParseShard("2/8");
  EXPECT_FALSE(given.automatic);
  EXPECT_EQ(given.k, 2);
  EXPECT_EQ(given.n, 8);
  EXPECT_TRUE(ParseShard("AUTO").automatic);
  EXPECT_EQ(ParseShard("8/8").k, 8);
  const std::map<std::string, std::string> wrong = {
      {"0/4", "--shard: '0/4' has no such share; K runs from 1 to N, and N is 1 or more"},
      {"5/4", "--shard: '5/4' has no such share; K runs from 1 to N, and N is 1 or more"},
      {"1/0", "--shard: '1/0' has no such share; K runs from 1 to N, and N is 1 or more"},
      {"-1/4", "--shard: '-1/4' is neither K/N (the K-th of N shares, for example 2/8) nor 'auto'"},
      {"0x2/4", "--shard: '0x2/4' is neither K/N (the K-th of N shares, for example 2/8) nor 'auto'"},
      {"2", "--shard: '2' is neither K/N (the K-th of N shares, for example 2/8) nor 'auto'"},
      {"2/", "--shard: '2/' is neither K/N (the K-th of N shares, for example 2/8) nor 'auto'"},
      {"1/2/3", "--shard: '1/2/3' is neither K/N (the K-th of N shares, for example 2/8) nor 'auto'"},
  };
  for (const auto& [text, message] : wrong) {
    try {
      ParseShard(text);
      ADD_FAILURE() << text << " was taken";
    } catch (const ShardError& error) {
      EXPECT_EQ(error.what(), message);
    }
  }
}

TEST(Shard, AutoTakesTheTasksPlaceInItsJobArray) {
  // --array=0-2: tasks 0, 1, 2 are shares 1, 2, 3 of 3.
  for (int id = 0; id < 3; ++id) {
    const ShardRequest task = ShardFromJobArray(Fake(
        {{"SLURM_ARRAY_TASK_ID", std::to_string(id)}, {"SLURM_ARRAY_TASK_COUNT", "3"}, {"SLURM_ARRAY_TASK_MIN", "0"}}));
    EXPECT_EQ(task.k, id + 1);
    EXPECT_EQ(task.n, 3);
  }
  // --array=10-18:4: tasks 10, 14, 18.
  const ShardRequest stepped = ShardFromJobArray(Fake({{"SLURM_ARRAY_TASK_ID", "14"},
                                                       {"SLURM_ARRAY_TASK_COUNT", "3"},
                                                       {"SLURM_ARRAY_TASK_MIN", "10"},
                                                       {"SLURM_ARRAY_TASK_STEP", "4"}}));
  EXPECT_EQ(stepped.k, 2);
  EXPECT_EQ(stepped.n, 3);
}

TEST(Shard, AutoOutsideAJobArrayOrInOneWithGapsIsAnError) {
  const auto message = [](const Environment& environment) {
    try {
      ShardFromJobArray(environment);
    } catch (const ShardError& error) {
      return std::string(error.what());
    }
    return std::string("taken");
  };
  EXPECT_EQ(message(Fake({})),
            "--shard auto: SLURM_ARRAY_TASK_ID is not set; auto works inside a Slurm job array (sbatch --array), "
            "elsewhere give --shard K/N");
  EXPECT_EQ(message(Fake({{"SLURM_ARRAY_TASK_ID", "1"}, {"SLURM_ARRAY_TASK_MIN", "0"}})),
            "--shard auto: SLURM_ARRAY_TASK_COUNT is not set; auto works inside a Slurm job array (sbatch --array), "
            "elsewhere give --shard K/N");
  EXPECT_EQ(message(Fake({{"SLURM_ARRAY_TASK_ID", "x"}, {"SLURM_ARRAY_TASK_COUNT", "3"}, {"SLURM_ARRAY_TASK_MIN", "0"}})),
            "--shard auto: SLURM_ARRAY_TASK_ID is 'x', not a whole number");
  // --array=1,5,7: three tasks, but task 5 is not the second of an even run.
  EXPECT_EQ(message(Fake({{"SLURM_ARRAY_TASK_ID", "5"}, {"SLURM_ARRAY_TASK_COUNT", "3"}, {"SLURM_ARRAY_TASK_MIN", "1"}})),
            "--shard auto: task 5 does not fit an array of 3 tasks from 1 in steps of 1 (an array with gaps, such as "
            "--array=1,5,7, has no even shares: give --shard K/N)");
  // --array=7,12: two tasks, a step of 1, and the last task past 7 + 1.
  EXPECT_EQ(message(Fake({{"SLURM_ARRAY_TASK_ID", "7"},
                          {"SLURM_ARRAY_TASK_COUNT", "2"},
                          {"SLURM_ARRAY_TASK_MIN", "7"},
                          {"SLURM_ARRAY_TASK_MAX", "12"},
                          {"SLURM_ARRAY_TASK_STEP", "1"}})),
            "--shard auto: task 7 does not fit an array of 2 tasks from 7 in steps of 1 (an array with gaps, such as "
            "--array=1,5,7, has no even shares: give --shard K/N)");
  EXPECT_EQ(message(Fake({{"SLURM_ARRAY_TASK_ID", "8"},
                          {"SLURM_ARRAY_TASK_COUNT", "2"},
                          {"SLURM_ARRAY_TASK_MIN", "7"},
                          {"SLURM_ARRAY_TASK_MAX", "8"}})),
            "taken");
}

}  // namespace
}  // namespace calvane::app
