// Runs the built calvane program as a person runs it, on real files in a
// temporary folder, with its output caught in files.
#pragma once

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "TestFiles.h"

extern char** environ;

namespace calvane::app::test {

struct Result {
  int status = -1;
  std::string out;
  std::string err;
};

// Starts `program` with `args`, this process's environment and
// `extraEnvironment` (NAME=value, taking precedence), stdin from /dev/null
// and its output going to `out` and `err`; its pid, or -1 when it could not
// start.
inline pid_t SpawnProgram(const std::string& program, const std::vector<std::string>& args, const std::string& out,
                          const std::string& err, const std::vector<std::string>& extraEnvironment = {}) {
  std::vector<std::string> all = {program};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : all) argv.push_back(arg.data());
  argv.push_back(nullptr);
  std::vector<std::string> variables(extraEnvironment);
  for (char** variable = environ; *variable != nullptr; ++variable) variables.emplace_back(*variable);
  std::vector<char*> envp;
  for (std::string& variable : variables) envp.push_back(variable.data());
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t pid = -1;
  const int started = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  return started == 0 ? pid : -1;
}

// Waits for a program started with SpawnProgram and reads what it wrote.
inline Result FinishProgram(pid_t pid, const std::string& out, const std::string& err) {
  Result result;
  int status = 0;
  waitpid(pid, &status, 0);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
  result.out = ReadText(out);
  result.err = ReadText(err);
  return result;
}

// Runs `program` to its end, its output caught in a folder of its own.
inline Result RunProgram(const std::string& program, const std::vector<std::string>& args,
                         const std::vector<std::string>& extraEnvironment = {}) {
  const TempDir logs;
  const pid_t pid = SpawnProgram(program, args, logs / "out", logs / "err", extraEnvironment);
  if (pid < 0) {
    ADD_FAILURE() << "cannot start " << program;
    return Result{};
  }
  return FinishProgram(pid, logs / "out", logs / "err");
}

class Program : public ::testing::Test {
 protected:
  // Starts calvane with `args`; its output goes to files outside the
  // working folder.
  pid_t Start(const std::vector<std::string>& args) {
    const pid_t pid = SpawnProgram(CALVANE_PROGRAM, args, m_logs / "out", m_logs / "err");
    EXPECT_GE(pid, 0);
    return pid;
  }

  Result Finish(pid_t pid) { return FinishProgram(pid, m_logs / "out", m_logs / "err"); }

  Result Run(const std::vector<std::string>& args) { return Finish(Start(args)); }

  // The one error line, and nothing else on stderr.
  static void ExpectOneErrorLine(const Result& r, int status, const std::string& naming) {
    EXPECT_EQ(r.status, status) << r.err;
    EXPECT_THAT(r.err, ::testing::StartsWith("calvane: "));
    EXPECT_THAT(r.err, ::testing::HasSubstr(naming));
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  }

  TempDir m_dir;
  TempDir m_logs;
};

}  // namespace calvane::app::test
