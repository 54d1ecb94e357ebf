#include "app/HelpPage.h"

#include <fcntl.h>
#include <spawn.h>
#include <unistd.h>

#include <cstdlib>

#include "app/ErrorReporting.h"
#include "app/PluginLibrary.h"

extern char** environ;

namespace calvane::app {
namespace {

constexpr const char* kDefaultPage = "Calvane.htm";

bool HaveDesktop() {
  for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY"}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && *value != '\0') return true;
  }
  return false;
}

// Starts the desktop's viewer without waiting for it; the dialog that asked
// for help stays usable.
bool StartViewer(const std::string& path) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  std::string program = "xdg-open";
  std::string argument = path;
  char* argv[] = {program.data(), argument.data(), nullptr};
  pid_t pid = 0;
  const int result = posix_spawnp(&pid, "xdg-open", &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  return result == 0;
}

}  // namespace

std::string FindHelpPage(const std::string& name) {
  std::string file = name.empty() ? kDefaultPage : name;
  const std::size_t slash = file.rfind('/');
  if (slash != std::string::npos) file = file.substr(slash + 1);
  if (file.empty() || file == "." || file == "..") return {};
  const std::string directory = ProgramDirectory();
  for (const std::string& candidate : {directory + "/" + file, directory + "/../share/doc/calvane/" + file}) {
    if (access(candidate.c_str(), R_OK) == 0) return candidate;
  }
  return {};
}

void OpenHelpPage(const char* name) {
  const std::string page = name != nullptr ? name : kDefaultPage;
  const std::string path = FindHelpPage(page);
  if (path.empty()) {
    PrintError("help page " + page + " is not installed beside the program (" + ProgramDirectory() + ")");
    return;
  }
  const bool opened = HaveDesktop() && StartViewer(path);
  PrintError(std::string(opened ? "help opened in your browser: " : "help: ") + path);
}

}  // namespace calvane::app
