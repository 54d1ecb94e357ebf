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

class Program : public ::testing::Test {
 protected:
  // Starts calvane with `args`; its output goes to files outside the
  // working folder.
  pid_t Start(const std::vector<std::string>& args) {
    std::vector<std::string> all = {CALVANE_PROGRAM};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : all) argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, (m_logs / "out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, (m_logs / "err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    const int started = posix_spawn(&pid, CALVANE_PROGRAM, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    EXPECT_EQ(started, 0);
    return pid;
  }

  Result Finish(pid_t pid) {
    Result result;
    int status = 0;
    waitpid(pid, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
    result.out = ReadText(m_logs / "out");
    result.err = ReadText(m_logs / "err");
    return result;
  }

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
