#include "app/StderrCapture.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>

#include "app/ErrorReporting.h"

namespace calvane::app {

StderrCapture::StderrCapture() {
  std::fflush(stderr);
  m_capture = memfd_create("calvane-stderr", MFD_CLOEXEC);
  if (m_capture < 0) return;  // then the libraries' text simply shows
  m_saved = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 0);
  if (m_saved < 0 || dup2(m_capture, STDERR_FILENO) < 0) {
    if (m_saved >= 0) close(m_saved);
    close(m_capture);
    m_saved = m_capture = -1;
  }
}

StderrCapture::~StderrCapture() { Finish(); }

std::string StderrCapture::Finish() {
  if (m_capture < 0) return {};
  std::fflush(stderr);
  dup2(m_saved, STDERR_FILENO);
  close(m_saved);
  char text[4096];
  const ssize_t length = pread(m_capture, text, sizeof text, 0);
  close(m_capture);
  m_saved = m_capture = -1;
  return length > 0 ? OneLine(std::string(text, static_cast<std::size_t>(length))) : std::string();
}

}  // namespace calvane::app
