#include "XvfbServer.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace desktop_test {
namespace {

bool OnPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::string paths = path != nullptr ? path : "/usr/bin:/bin";
  std::size_t start = 0;
  while (start <= paths.size()) {
    const std::size_t end = paths.find(':', start);
    const std::string folder = paths.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (!folder.empty() && access((folder + "/" + program).c_str(), X_OK) == 0) return true;
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return false;
}

// The environment with DISPLAY set to `display` and no Wayland display, so
// that GTK uses the X server under test.
std::vector<std::string> EnvironmentFor(const std::string& display) {
  std::vector<std::string> result;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string variable = *entry;
    if (variable.rfind("DISPLAY=", 0) == 0 || variable.rfind("WAYLAND_DISPLAY=", 0) == 0) continue;
    result.push_back(variable);
  }
  result.push_back("DISPLAY=" + display);
  // No accessibility bus to look for: there is none under the test server.
  result.push_back("NO_AT_BRIDGE=1");
  return result;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
  std::vector<char*> pointers;
  for (std::string& s : strings) pointers.push_back(s.data());
  pointers.push_back(nullptr);
  return pointers;
}

// Spawns `command` with its stdout on a new pipe (returned in `out`), stdin
// from /dev/null.
pid_t Spawn(std::vector<std::string> command, std::vector<std::string> environment, int* out) {
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
  std::vector<char*> argv = Pointers(command);
  std::vector<char*> envp = Pointers(environment);
  pid_t pid = -1;
  const int error = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  close(pipeFds[1]);
  if (error != 0) {
    close(pipeFds[0]);
    throw std::runtime_error("cannot run " + command[0]);
  }
  *out = pipeFds[0];
  return pid;
}

// Reads what is ready on `fd` into `text`; false at its end.
bool ReadSome(int fd, std::string& text, int timeoutMs) {
  pollfd p{fd, POLLIN, 0};
  if (poll(&p, 1, timeoutMs) <= 0) return true;
  char buffer[4096];
  const ssize_t n = read(fd, buffer, sizeof buffer);
  if (n <= 0) return false;
  text.append(buffer, static_cast<std::size_t>(n));
  return true;
}

using Clock = std::chrono::steady_clock;

}  // namespace

bool WaitUntil(const std::function<bool()>& ready) {
  const auto deadline = Clock::now() + XvfbServer::kDeadline;
  while (Clock::now() < deadline) {
    if (ready()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return ready();
}

bool XvfbServer::ToolsAvailable(std::string* missing) {
  for (const char* tool : {"Xvfb", "xdotool", "import"}) {
    if (!OnPath(tool)) {
      if (missing != nullptr) *missing = tool;
      return false;
    }
  }
  return true;
}

XvfbServer::XvfbServer() {
  // -displayfd: the server picks a free display number and writes it to
  // the descriptor once it accepts clients.
  int out = -1;
  std::vector<std::string> environment = EnvironmentFor("");
  // -noreset: the server stays as it is when its last client leaves,
  // rather than resetting while the next test connects.
  m_pid = Spawn({"Xvfb", "-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp", "-noreset"},
                environment, &out);
  std::string text;
  const auto deadline = Clock::now() + kDeadline;
  while (Clock::now() < deadline && text.find('\n') == std::string::npos) {
    if (!ReadSome(out, text, 100)) break;
  }
  close(out);
  if (text.find('\n') != std::string::npos) m_display = ":" + text.substr(0, text.find('\n'));
}

XvfbServer::~XvfbServer() {
  if (m_pid <= 0) return;
  kill(m_pid, SIGTERM);
  int status = 0;
  waitpid(m_pid, &status, 0);
}

std::string XvfbServer::Run(const std::vector<std::string>& command, int* status) const {
  int out = -1;
  const pid_t pid = Spawn(command, EnvironmentFor(m_display), &out);
  std::string text;
  while (ReadSome(out, text, 1000)) {
  }
  close(out);
  int waitStatus = 0;
  waitpid(pid, &waitStatus, 0);
  if (status != nullptr) *status = WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : 128 + WTERMSIG(waitStatus);
  return text;
}

std::string XvfbServer::Xdotool(const std::vector<std::string>& arguments) const {
  std::vector<std::string> command{"xdotool"};
  command.insert(command.end(), arguments.begin(), arguments.end());
  std::string text = Run(command);
  while (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

Client::Client(const XvfbServer& server, const std::vector<std::string>& command) {
  m_pid = Spawn(command, EnvironmentFor(server.Display()), &m_stdout);
}

Client::~Client() {
  if (m_pid > 0) {
    kill(m_pid, SIGKILL);
    waitpid(m_pid, nullptr, 0);
  }
  if (m_stdout >= 0) close(m_stdout);
}

int Client::WaitForExit() {
  if (m_pid <= 0) return m_status;
  const auto deadline = Clock::now() + XvfbServer::kDeadline;
  while (Clock::now() < deadline) {
    ReadSome(m_stdout, m_output, 50);
    int status = 0;
    if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
      while (ReadSome(m_stdout, m_output, 0)) {
        pollfd p{m_stdout, POLLIN, 0};
        if (poll(&p, 1, 0) <= 0) break;
      }
      m_pid = -1;
      m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      return m_status;
    }
  }
  return -1;
}

}  // namespace desktop_test
