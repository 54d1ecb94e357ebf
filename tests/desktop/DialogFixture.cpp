// A program that shows the test dialog (laid out like the plug-in's, from
// the same template) on the desktop presentation, so that the presentation
// can be driven under a real X server without the plug-in. It prints
// "OK <first> <second>" or "Cancel" when the dialog ends and exits 0 after
// OK, 1 after Cancel, 2 when there is no desktop. Help and F1 print "help"
// to stderr.
#include <cstdio>

#include "term/ParameterDialog.h"
#include "desktop/desktop.h"

int main() {
  const std::string unavailable = win::desktop::UnavailableReason();
  if (!unavailable.empty()) {
    std::fprintf(stderr, "desktop-dialog-fixture: %s\n", unavailable.c_str());
    return 2;
  }
  HMODULE module = win::CreateModule("desktop-dialog-fixture");
  win::AddDialogResource(module, term_test::kDialogId, term_test::ParameterDialogTemplate());
  term_test::ParameterValues values;
  INT_PTR result;
  {
    std::unique_ptr<win::Presentation> desktop = win::desktop::MakeDesktopPresentation();
    win::PresentationScope scope(*desktop);
    result = term_test::RunParameterDialog(module, values, [] { std::fprintf(stderr, "help\n"); });
  }
  if (result == IDOK) {
    std::printf("OK %d %d\n", values.first, values.second);
    return 0;
  }
  std::printf("Cancel\n");
  return 1;
}
