// Message boxes on the desktop: a modal GTK message dialog over the window
// that asked, with the buttons of the box's style.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "win/windows.h"

namespace win::desktop {

struct MessageBoxButton {
  int id = 0;          // IDOK, IDCANCEL, ...
  std::string label;   // "_" marks a mnemonic, as GTK writes it
};

// The buttons of a box style (MB_OK, MB_YESNO, ...), in order.
std::vector<MessageBoxButton> MessageBoxButtons(UINT type);

// The answer Escape and the close button give: Cancel when the box has it,
// OK for a box with only OK; none for a box that asks a question without
// Cancel, which then has no close button.
std::optional<int> EscapeAnswer(UINT type);

}  // namespace win::desktop
