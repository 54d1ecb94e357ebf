// How the program ends, and the one kind of failure that carries it. Every
// failure is turned into a line on stderr and an exit status in one place
// (ReportFailures in ErrorReporting.h).
#pragma once

#include <stdexcept>
#include <string>

namespace calvane::app {

enum class ExitStatus : int {
  Done = 0,
  DialogCancelled = 1,
  Usage = 2,
  File = 3,
  Plugin = 4,
  Interrupted = 130,
};

// A failure the user is told about in one line; the message names the file
// (when there is one) and the cause.
class AppError : public std::runtime_error {
 public:
  AppError(ExitStatus status, const std::string& message) : std::runtime_error(message), m_status(status) {}
  ExitStatus status() const { return m_status; }

 private:
  ExitStatus m_status;
};

inline AppError UsageError(const std::string& message) { return AppError(ExitStatus::Usage, message); }

inline AppError FileError(const std::string& path, const std::string& cause) {
  return AppError(ExitStatus::File, path + ": " + cause);
}

inline AppError PluginError(const std::string& path, const std::string& cause) {
  return AppError(ExitStatus::Plugin, path + ": " + cause);
}

// Ctrl-C: nothing more is written, and the program ends with 130.
inline AppError Interrupted(const std::string& message) { return AppError(ExitStatus::Interrupted, message); }

}  // namespace calvane::app
