// The host library's exceptions. An AlertableError knows whether the user
// has been told about it; a ShowableError can present itself.
#pragma once

#include <exception>
#include <string>

#include "host/HostApi.h"

class CALVANE_HOST_API AlertableError : public std::exception {
 public:
  explicit AlertableError(std::string message);
  ~AlertableError() override;

  // In this order: the interface the plug-in calls through. None throws.
  // 1 once the user has been told (SetReported, Show), else 0.
  virtual unsigned char IsReported();
  // Nonzero marks the error as told to the user, 0 as not told.
  virtual void SetReported(unsigned char reported);
  // A copy of the message given at construction.
  virtual std::string GetMessageText();

  const char* what() const noexcept override;

 private:
  std::string m_message;
  bool m_reported = false;
};

class CALVANE_HOST_API ShowableError : public AlertableError {
 public:
  explicit ShowableError(std::string message);
  ~ShowableError() override;

  // Passes the message to the host's error sink (see SetShowableErrorSink)
  // and marks the error as reported.
  virtual void Show();
};

// Where ShowableError::Show sends its text; the program installs one. The
// default writes the text and a line end to standard error. Returns the
// sink replaced; null puts the default back. Safe from any thread.
using ShowableErrorSink = void (*)(const char* text);
CALVANE_HOST_API ShowableErrorSink SetShowableErrorSink(ShowableErrorSink sink);
