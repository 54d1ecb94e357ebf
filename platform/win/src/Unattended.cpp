// The presentation the window system runs with when none is installed.
#include <algorithm>

#include "win/presentation.h"

namespace win {

HWND UnattendedPresentation::FrontWindow() {
  HWND active = GetActiveWindow();
  if (active != nullptr && IsWindowVisible(active)) return active;
  std::vector<HWND> windows = TopLevelWindows();
  for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
    if (IsWindowVisible(*it) && IsWindowEnabled(*it)) return *it;
  }
  return nullptr;
}

bool UnattendedPresentation::CloseFrontWindowOnce(std::string* caption) {
  HWND window = FrontWindow();
  if (window == nullptr || std::find(m_closedWindows.begin(), m_closedWindows.end(), window) != m_closedWindows.end()) {
    return false;
  }
  m_closedWindows.push_back(window);
  if (caption != nullptr) {
    char text[256];
    GetWindowTextA(window, text, sizeof text);
    *caption = text;
  }
  PostCloseInput(window);
  return true;
}

bool UnattendedPresentation::WaitForInput() { return CloseFrontWindowOnce(nullptr); }

int UnattendedPresentation::DefaultButton(UINT type) {
  static const std::vector<int> kButtons[] = {
      {IDOK}, {IDOK, IDCANCEL}, {IDABORT, IDRETRY, IDIGNORE}, {IDYES, IDNO, IDCANCEL},
      {IDYES, IDNO}, {IDRETRY, IDCANCEL}, {IDCANCEL, IDTRYAGAIN, IDCONTINUE}};
  UINT kind = type & MB_TYPEMASK;
  const std::vector<int>& buttons = kind < 7 ? kButtons[kind] : kButtons[0];
  std::size_t index = (type & MB_DEFMASK) >> 8;
  return index < buttons.size() ? buttons[index] : buttons[0];
}

int UnattendedPresentation::ShowMessageBox(HWND, const char*, const char*, UINT type) { return DefaultButton(type); }

}  // namespace win
