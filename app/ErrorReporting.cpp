#include "app/ErrorReporting.h"

#include <cstdio>
#include <new>

#include "app/ExitStatus.h"
#include "app/Progress.h"
#include "host/HostErrors.h"

namespace calvane::app {
namespace {

bool g_quiet = false;

void WriteLine(const std::string& message) {
  // A progress bar may own the terminal line; messages start on a clean one.
  ClearProgressLine();
  std::fprintf(stderr, "calvane: %s\n", OneLine(message).c_str());
  std::fflush(stderr);
}

void ShowHostError(const char* text) { PrintError(text != nullptr && *text != '\0' ? text : "an error occurred in the plug-in"); }

}  // namespace

void PrintError(const std::string& message) { WriteLine(message); }

void PrintNote(const std::string& message) {
  if (!g_quiet) WriteLine(message);
}

void SetQuiet(bool quiet) { g_quiet = quiet; }

std::string OneLine(const std::string& text) {
  std::string line;
  line.reserve(text.size());
  bool pendingSpace = false;
  for (char c : text) {
    if (c == '\n' || c == '\r' || c == '\t') {
      pendingSpace = !line.empty();
      continue;
    }
    if (pendingSpace && c != ' ') line += ' ';
    pendingSpace = false;
    line += c;
  }
  return line;
}

void InstallHostErrorSink() { SetShowableErrorSink(&ShowHostError); }

int ReportFailures(const std::function<int()>& body, std::string* reason) {
  std::string message;
  int status = static_cast<int>(ExitStatus::Plugin);
  try {
    return body();
  } catch (const AppError& error) {
    message = error.what();
    status = static_cast<int>(error.status());
  } catch (AlertableError& error) {
    // A host error that escaped the plug-in: tell the user once.
    message = error.GetMessageText();
    if (error.IsReported() != 0) {
      if (reason != nullptr) *reason = OneLine(message);
      return status;
    }
  } catch (const std::bad_alloc&) {
    message = "not enough memory";
  } catch (const std::exception& error) {
    message = error.what();
  } catch (...) {
    message = "an unknown error occurred";
  }
  PrintError(message);
  if (reason != nullptr) *reason = OneLine(message);
  return status;
}

}  // namespace calvane::app
