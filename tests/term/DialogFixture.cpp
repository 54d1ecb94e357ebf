// A program that shows the test dialog (laid out like the plug-in's) on the
// terminal presentation, so that the presentation can be run in a real
// pseudo-terminal without the plug-in. It prints "OK <first> <second>" or
// "Cancel" when the dialog ends and exits 0 after OK, 1 after Cancel, 2
// when there is no terminal.
//
//   --help-text TEXT   Help and F1 write TEXT to stderr (the screen shows it)
//   --crash            Help and F1 abort the program
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "ParameterDialog.h"
#include "term/cursesterminal.h"
#include "term/terminal.h"

int main(int argc, char** argv) {
  std::string helpText = "help: the help page";
  bool crashOnHelp = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help-text") == 0 && i + 1 < argc) helpText = argv[++i];
    if (std::strcmp(argv[i], "--crash") == 0) crashOnHelp = true;
  }
  const std::string unavailable = win::term::TerminalUnavailableReason();
  if (!unavailable.empty()) {
    std::fprintf(stderr, "dialog-fixture: %s\n", unavailable.c_str());
    return 2;
  }
  HMODULE module = win::CreateModule("dialog-fixture");
  win::AddDialogResource(module, term_test::kDialogId, term_test::ParameterDialogTemplate());
  term_test::ParameterValues values;
  INT_PTR result;
  {
    win::term::CursesTerminal terminal;
    win::TerminalPresentation presentation(terminal);
    win::PresentationScope scope(presentation);
    result = term_test::RunParameterDialog(module, values, [&] {
      if (crashOnHelp) std::abort();
      std::fprintf(stderr, "%s\n", helpText.c_str());
    });
  }
  if (result == IDOK) {
    std::printf("OK %d %d\n", values.first, values.second);
    return 0;
  }
  std::printf("Cancel\n");
  return 1;
}
