#include "TmuxSession.h"

#include <dirent.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace term_test {
namespace {

constexpr auto kPollInterval = std::chrono::milliseconds(50);

std::string ShellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

// Runs a program and returns what it wrote to stdout and stderr; throws
// when it fails.
std::string Run(const std::vector<std::string>& argv) {
  int pipeFds[2];
  if (pipe(pipeFds) != 0) throw std::runtime_error("pipe failed");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", 0, 0);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDERR_FILENO);
  posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
  posix_spawn_file_actions_addclose(&actions, pipeFds[1]);

  // tmux inside tmux would talk to the outer server; the locale makes it
  // keep the screen's line drawing.
  std::vector<std::string> environment;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    if (std::strncmp(*entry, "TMUX=", 5) != 0 && std::strncmp(*entry, "LC_ALL=", 7) != 0) environment.emplace_back(*entry);
  }
  environment.emplace_back("LC_ALL=C.UTF-8");
  std::vector<char*> envp, args;
  for (std::string& e : environment) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::vector<std::string> copy = argv;
  for (std::string& a : copy) args.push_back(a.data());
  args.push_back(nullptr);

  pid_t pid = 0;
  const int spawned = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  close(pipeFds[1]);
  std::string output;
  char buffer[4096];
  ssize_t got;
  while ((got = read(pipeFds[0], buffer, sizeof buffer)) > 0) output.append(buffer, static_cast<std::size_t>(got));
  close(pipeFds[0]);
  if (spawned != 0) throw std::runtime_error("cannot run " + argv[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) throw std::runtime_error(argv[0] + " failed: " + output);
  return output;
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

// Parent of every process, from /proc.
std::map<int, int> Parents() {
  std::map<int, int> parents;
  DIR* proc = opendir("/proc");
  if (proc == nullptr) return parents;
  while (dirent* entry = readdir(proc)) {
    const int pid = std::atoi(entry->d_name);
    if (pid <= 0) continue;
    const std::string stat = ReadFile(std::string("/proc/") + entry->d_name + "/stat");
    const std::size_t close = stat.rfind(')');
    if (close == std::string::npos) continue;
    std::istringstream fields(stat.substr(close + 2));
    std::string state;
    int parent = 0;
    fields >> state >> parent;
    parents[pid] = parent;
  }
  closedir(proc);
  return parents;
}

}  // namespace

bool TmuxSession::Available() {
  try {
    Run({"tmux", "-V"});
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

TmuxSession::TmuxSession(const std::vector<std::string>& command, int width, int height) {
  char directory[] = "/tmp/calvane-term-XXXXXX";
  if (mkdtemp(directory) == nullptr) throw std::runtime_error("mkdtemp failed");
  m_directory = directory;
  m_socket = m_directory + "/tmux.sock";
  m_program = command.at(0).substr(command.at(0).rfind('/') + 1);
  std::ofstream(m_directory + "/tmux.conf") << "set -g status off\nset -g history-limit 0\n";

  // The shell records the terminal's modes before and after the program
  // and its exit status, then stays a little, so that the screen can be
  // read after the program is gone (and the server ends by itself should
  // the test not end it).
  std::string program;
  for (const std::string& part : command) program += " " + ShellQuote(part);
  const std::string d = ShellQuote(m_directory);
  const std::string script = "ulimit -c 0; stty -g > " + d + "/before; timeout --foreground 120" + program +
                             "; status=$?; stty -g > " + d + "/after; echo $status > " + d +
                             "/status.tmp; mv " + d + "/status.tmp " + d + "/status; exec sleep 60";
  const std::string shell = "env -u DISPLAY -u WAYLAND_DISPLAY TERM=xterm-256color LC_ALL=C.UTF-8 sh -c " + ShellQuote(script);
  Run({"tmux", "-S", m_socket, "-f", m_directory + "/tmux.conf", "new-session", "-d", "-s", "test", "-x",
       std::to_string(width), "-y", std::to_string(height), shell});
}

TmuxSession::~TmuxSession() {
  try {
    Run({"tmux", "-S", m_socket, "kill-server"});
  } catch (const std::exception&) {
    // Already gone.
  }
  for (const char* file : {"/before", "/after", "/status", "/status.tmp", "/tmux.conf", "/tmux.sock"}) {
    unlink((m_directory + file).c_str());
  }
  rmdir(m_directory.c_str());
}

std::string TmuxSession::Tmux(const std::vector<std::string>& arguments) const {
  std::vector<std::string> argv = {"tmux", "-S", m_socket};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  return Run(argv);
}

std::vector<std::string> TmuxSession::Screen() const { return SplitLines(Tmux({"capture-pane", "-p", "-t", "test"})); }

std::string TmuxSession::ScreenText() const { return Tmux({"capture-pane", "-p", "-t", "test"}); }

bool TmuxSession::WaitUntil(const std::function<bool(const std::vector<std::string>&)>& ready) const {
  const auto deadline = std::chrono::steady_clock::now() + kDeadline;
  for (;;) {
    if (ready(Screen())) return true;
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(kPollInterval);
  }
}

bool TmuxSession::WaitForText(const std::string& text) const {
  return WaitUntil([&](const std::vector<std::string>& lines) {
    for (const std::string& line : lines) {
      if (line.find(text) != std::string::npos) return true;
    }
    // A long line the terminal wrapped (a note naming a file in a deep
    // folder) is looked at whole.
    return Tmux({"capture-pane", "-p", "-J", "-t", "test"}).find(text) != std::string::npos;
  });
}

bool TmuxSession::WaitForTextGone(const std::string& text) const {
  return WaitUntil([&](const std::vector<std::string>& lines) {
    for (const std::string& line : lines) {
      if (line.find(text) != std::string::npos) return false;
    }
    return true;
  });
}

void TmuxSession::Keys(const std::vector<std::string>& keys) const {
  std::vector<std::string> arguments = {"send-keys", "-t", "test"};
  arguments.insert(arguments.end(), keys.begin(), keys.end());
  Tmux(arguments);
}

void TmuxSession::Resize(int width, int height) const {
  Tmux({"resize-window", "-t", "test", "-x", std::to_string(width), "-y", std::to_string(height)});
}

void TmuxSession::Bytes(const std::string& bytes) const { Tmux({"send-keys", "-t", "test", "-l", bytes}); }

std::string TmuxSession::Query(const std::string& format) const {
  std::string value = Tmux({"display-message", "-p", "-t", "test", format});
  while (!value.empty() && (value.back() == '\n' || value.back() == '\r')) value.pop_back();
  return value;
}

int TmuxSession::CursorX() const { return std::atoi(Query("#{cursor_x}").c_str()); }
int TmuxSession::CursorY() const { return std::atoi(Query("#{cursor_y}").c_str()); }

int TmuxSession::ProgramPid() const {
  const int shell = std::atoi(Query("#{pane_pid}").c_str());
  const std::map<int, int> parents = Parents();
  // The program is a descendant of the pane's shell (timeout runs it).
  std::vector<int> family = {shell};
  for (std::size_t i = 0; i < family.size(); ++i) {
    for (const auto& [pid, parent] : parents) {
      if (parent != family[i]) continue;
      std::string name = ReadFile("/proc/" + std::to_string(pid) + "/comm");
      if (!name.empty() && name.back() == '\n') name.pop_back();
      if (!name.empty() && m_program.compare(0, name.size(), name) == 0 && name != "timeout") return pid;
      family.push_back(pid);
    }
  }
  return 0;
}

int TmuxSession::WaitForExit() const {
  const auto deadline = std::chrono::steady_clock::now() + kDeadline;
  while (access((m_directory + "/status").c_str(), R_OK) != 0) {
    if (std::chrono::steady_clock::now() > deadline) return -1;
    std::this_thread::sleep_for(kPollInterval);
  }
  return std::atoi(ReadFile(m_directory + "/status").c_str());
}

::testing::AssertionResult TmuxSession::TerminalRestored() const {
  const std::string before = ReadFile(m_directory + "/before");
  const std::string after = ReadFile(m_directory + "/after");
  if (before.empty() || before != after) {
    return ::testing::AssertionFailure() << "terminal modes before: " << before << " after: " << after;
  }
  const std::string flags = Query(
      "alternate=#{alternate_on} cursor=#{cursor_flag} mouse=#{mouse_any_flag}#{mouse_button_flag}"
      "#{mouse_standard_flag}#{mouse_sgr_flag} keypad=#{keypad_flag}#{keypad_cursor_flag}");
  if (flags != "alternate=0 cursor=1 mouse=0000 keypad=00") {
    return ::testing::AssertionFailure() << "terminal left with " << flags;
  }
  return ::testing::AssertionSuccess();
}

}  // namespace term_test
