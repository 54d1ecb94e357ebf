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

  // In this order: the interface the plug-in calls through.
  virtual unsigned char IsReported();
  virtual void SetReported(unsigned char reported);
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

  // Presents the error through the host's error sink (see SetShowableErrorSink).
  virtual void Show();
};

// Where ShowableError::Show sends its text; the program installs one. The
// default writes the text to standard error.
using ShowableErrorSink = void (*)(const char* text);
CALVANE_HOST_API ShowableErrorSink SetShowableErrorSink(ShowableErrorSink sink);
