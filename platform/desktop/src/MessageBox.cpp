#include "desktop/messagebox.h"

namespace win::desktop {

std::vector<MessageBoxButton> MessageBoxButtons(UINT type) {
  switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL:
      return {{IDOK, "_OK"}, {IDCANCEL, "_Cancel"}};
    case MB_ABORTRETRYIGNORE:
      return {{IDABORT, "_Abort"}, {IDRETRY, "_Retry"}, {IDIGNORE, "_Ignore"}};
    case MB_YESNOCANCEL:
      return {{IDYES, "_Yes"}, {IDNO, "_No"}, {IDCANCEL, "_Cancel"}};
    case MB_YESNO:
      return {{IDYES, "_Yes"}, {IDNO, "_No"}};
    case MB_RETRYCANCEL:
      return {{IDRETRY, "_Retry"}, {IDCANCEL, "_Cancel"}};
    case MB_CANCELTRYCONTINUE:
      return {{IDCANCEL, "_Cancel"}, {IDTRYAGAIN, "_Try Again"}, {IDCONTINUE, "C_ontinue"}};
    default:
      return {{IDOK, "_OK"}};
  }
}

std::optional<int> EscapeAnswer(UINT type) {
  const std::vector<MessageBoxButton> buttons = MessageBoxButtons(type);
  for (const MessageBoxButton& button : buttons) {
    if (button.id == IDCANCEL) return IDCANCEL;
  }
  if (buttons.size() == 1 && buttons.front().id == IDOK) return IDOK;
  return std::nullopt;
}

}  // namespace win::desktop
