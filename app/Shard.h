// Shares of a batch: `--shard K/N` takes the K-th of N deterministic,
// balanced, contiguous shares of the inputs in their order (a pattern's
// frames in number order, or the INPUT list as given), so that N runs with
// K = 1..N cover every input exactly once. `--shard auto` reads K and N from
// the job array the run is a task of.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>

namespace calvane::app {

struct ShardRequest {
  bool automatic = false;  // K and N from the job array's environment
  long long k = 1;         // 1..n
  long long n = 1;
};

// A shard the command line or the environment got wrong; what() is one
// sentence for the user.
class ShardError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// "K/N" (decimal, 1 <= K <= N) or "auto" (any case).
ShardRequest ParseShard(const std::string& text);

// Reads an environment variable: its value, or nothing when unset.
using Environment = std::function<std::optional<std::string>(const char* name)>;
Environment ProcessEnvironment();

// K and N of a Slurm job-array task: K counts the task's place in the array
// from 1 (SLURM_ARRAY_TASK_ID against SLURM_ARRAY_TASK_MIN, in steps of
// SLURM_ARRAY_TASK_STEP when the array has one), N is
// SLURM_ARRAY_TASK_COUNT. Throws ShardError when they are missing or
// disagree.
ShardRequest ShardFromJobArray(const Environment& environment);

// The inputs [begin, end) of shard k of n over `count` inputs. Shares differ
// in size by at most one; some are empty when there are fewer inputs than
// shares.
struct ShareRange {
  std::size_t begin = 0;
  std::size_t end = 0;
};
ShareRange ShareOf(std::size_t count, const ShardRequest& shard);

}  // namespace calvane::app
