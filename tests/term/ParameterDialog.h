// A dialog laid out like the plug-in's (the same template), written against
// the window system alone: two number fields, each coupled to a trackbar,
// checked when the focus leaves them and on OK, and OK, Cancel and Help.
// The presentation's tests and the dialog fixture program share it.
#pragma once

#include <functional>
#include <string>

#include "win/commctrl.h"
#include "win/resources.h"

namespace term_test {

enum : WORD {
  kDialogId = 130,
  kFirstEdit = 1014,
  kFirstSlider = 1006,
  kSecondEdit = 1013,
  kSecondSlider = 1007,
  kHelpButton = 1001,
};

inline constexpr char kDialogCaption[] = "Total Variation Denoise";

win::DialogTemplateBuilder ParameterDialogTemplate();

struct ParameterValues {
  int first = 5;    // 0 to 1000
  int second = 20;  // 1 to 1000
};

// Runs the dialog modally from `module` (which holds the template as
// kDialogId) on `values`; they change only on OK. `onHelp` runs for the
// Help button and F1.
INT_PTR RunParameterDialog(HMODULE module, ParameterValues& values, std::function<void()> onHelp = {});

}  // namespace term_test
