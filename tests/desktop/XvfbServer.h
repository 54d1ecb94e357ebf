// A virtual X server (Xvfb) of the tests' own, on a display number it picks
// itself, and the programs run against it: xdotool to type and click,
// ImageMagick's import for screenshots, and the program under test. Every
// wait polls against a deadline, so nothing depends on the machine's speed.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace desktop_test {

class XvfbServer {
 public:
  // True when Xvfb, xdotool and import can be run here.
  static bool ToolsAvailable(std::string* missing);

  // Starts Xvfb with one 1024x768 screen of 24 bits; Running() tells
  // whether it came up.
  XvfbServer();
  // Stops the server by its process id.
  ~XvfbServer();
  XvfbServer(const XvfbServer&) = delete;
  XvfbServer& operator=(const XvfbServer&) = delete;

  bool Running() const { return m_pid > 0 && !m_display.empty(); }
  // ":N"
  const std::string& Display() const { return m_display; }

  // Runs a program with DISPLAY set to this server and returns what it
  // wrote to stdout; `status` gets its exit status.
  std::string Run(const std::vector<std::string>& command, int* status = nullptr) const;
  // xdotool with these arguments; its output with the trailing newline cut.
  std::string Xdotool(const std::vector<std::string>& arguments) const;

  static constexpr std::chrono::seconds kDeadline{30};

 private:
  pid_t m_pid = -1;
  std::string m_display;
};

// A program under test, run against a server with its stdout read.
class Client {
 public:
  Client(const XvfbServer& server, const std::vector<std::string>& command);
  ~Client();  // ends it when it still runs
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;

  // Waits for the program to end; its exit status, or -1 after the deadline.
  int WaitForExit();
  // All it wrote to stdout (after it ended).
  const std::string& Output() const { return m_output; }

 private:
  pid_t m_pid = -1;
  int m_stdout = -1;
  int m_status = -1;
  std::string m_output;
};

// Polls `ready` until it holds or the deadline passes.
bool WaitUntil(const std::function<bool()>& ready);

}  // namespace desktop_test
