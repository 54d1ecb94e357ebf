#include "app/Shard.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace calvane::app {
namespace {

// A whole decimal number of at most 18 digits, nothing else.
std::optional<long long> Decimal(const std::string& text) {
  if (text.empty() || text.size() > 18) return std::nullopt;
  long long value = 0;
  for (const char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// An integer variable of the job array's, which must be set.
long long ArrayVariable(const Environment& environment, const char* name) {
  const std::optional<std::string> text = environment(name);
  if (!text) {
    throw ShardError(std::string("--shard auto: ") + name +
                     " is not set; auto works inside a Slurm job array (sbatch --array), elsewhere give --shard K/N");
  }
  const bool negative = !text->empty() && (*text)[0] == '-';
  const std::optional<long long> value = Decimal(negative ? text->substr(1) : *text);
  if (!value) throw ShardError(std::string("--shard auto: ") + name + " is '" + *text + "', not a whole number");
  return negative ? -*value : *value;
}

}  // namespace

ShardRequest ParseShard(const std::string& text) {
  if (Lower(text) == "auto") return ShardRequest{true, 1, 1};
  const std::size_t slash = text.find('/');
  const std::optional<long long> k = slash == std::string::npos ? std::nullopt : Decimal(text.substr(0, slash));
  const std::optional<long long> n = slash == std::string::npos ? std::nullopt : Decimal(text.substr(slash + 1));
  if (!k || !n) {
    throw ShardError("--shard: '" + text + "' is neither K/N (the K-th of N shares, for example 2/8) nor 'auto'");
  }
  if (*n < 1 || *k < 1 || *k > *n) {
    throw ShardError("--shard: '" + text + "' has no such share; K runs from 1 to N, and N is 1 or more");
  }
  return ShardRequest{false, *k, *n};
}

Environment ProcessEnvironment() {
  return [](const char* name) -> std::optional<std::string> {
    const char* value = std::getenv(name);
    if (value == nullptr) return std::nullopt;
    return std::string(value);
  };
}

ShardRequest ShardFromJobArray(const Environment& environment) {
  const long long id = ArrayVariable(environment, "SLURM_ARRAY_TASK_ID");
  const long long count = ArrayVariable(environment, "SLURM_ARRAY_TASK_COUNT");
  const long long min = ArrayVariable(environment, "SLURM_ARRAY_TASK_MIN");
  long long step = 1;
  if (environment("SLURM_ARRAY_TASK_STEP")) step = ArrayVariable(environment, "SLURM_ARRAY_TASK_STEP");
  // An array with gaps (--array=7,12) has a step of 1 but a last task past
  // MIN + (COUNT - 1) * STEP; its tasks could not share the frames evenly.
  const bool gaps = environment("SLURM_ARRAY_TASK_MAX") &&
                    ArrayVariable(environment, "SLURM_ARRAY_TASK_MAX") != min + (count - 1) * step;
  if (gaps || count < 1 || step < 1 || id < min || (id - min) % step != 0 || (id - min) / step >= count) {
    throw ShardError("--shard auto: task " + std::to_string(id) + " does not fit an array of " + std::to_string(count) +
                     " tasks from " + std::to_string(min) + " in steps of " + std::to_string(step) +
                     " (an array with gaps, such as --array=1,5,7, has no even shares: give --shard K/N)");
  }
  return ShardRequest{false, (id - min) / step + 1, count};
}

ShareRange ShareOf(std::size_t count, const ShardRequest& shard) {
  // The first count % n shares take one input more than the others.
  const auto n = static_cast<unsigned long long>(shard.n);
  const unsigned long long each = count / n;
  const unsigned long long more = count % n;
  const auto start = [&](unsigned long long before) {
    return static_cast<std::size_t>(before * each + std::min(before, more));
  };
  const auto k = static_cast<unsigned long long>(shard.k);
  return ShareRange{start(k - 1), start(k)};
}

}  // namespace calvane::app
