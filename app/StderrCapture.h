// Some image libraries print their complaints straight to stderr (libpng's
// "libpng error: ..."), beside the one line that calvane prints about the
// same failure. While a capture lives, whatever is written to stderr is kept
// instead, so that it can serve as the cause when the library reports
// nothing better.
#pragma once

#include <string>

namespace calvane::app {

class StderrCapture {
 public:
  StderrCapture();
  ~StderrCapture();
  StderrCapture(const StderrCapture&) = delete;
  StderrCapture& operator=(const StderrCapture&) = delete;

  // Puts stderr back and returns what was written to it meanwhile (at most
  // a few kilobytes, folded into one line).
  std::string Finish();

 private:
  int m_saved = -1;
  int m_capture = -1;
};

}  // namespace calvane::app
