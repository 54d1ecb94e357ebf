// The one place where failures become a line on stderr and an exit status.
#pragma once

#include <functional>
#include <string>

namespace calvane::app {

// Writes "calvane: <message>" as one line on stderr.
void PrintError(const std::string& message);

// Writes "calvane: <message>" on stderr unless quiet messages are wanted.
void PrintNote(const std::string& message);
void SetQuiet(bool quiet);

// Folds line breaks and tabs into single spaces, so that a message made for
// a dialog box reads as one line on a terminal.
std::string OneLine(const std::string& text);

// Host errors that present themselves (ShowableError::Show) print as one
// line through PrintError.
void InstallHostErrorSink();

// Runs `body` and returns its exit status; any failure that leaves it is
// reported in one line and mapped to its status, and its message kept in
// `reason` when one is given.
int ReportFailures(const std::function<int()>& body, std::string* reason = nullptr);

}  // namespace calvane::app
