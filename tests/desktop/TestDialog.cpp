#include "TestDialog.h"

namespace desktop_test {
namespace {

INT_PTR CALLBACK Proc(HWND dialog, UINT message, WPARAM, LPARAM) {
  if (message == WM_INITDIALOG) {
    SendDlgItemMessageA(dialog, term_test::kFirstSlider, TBM_SETRANGE, FALSE, MAKELPARAM(0, 1000));
    SendDlgItemMessageA(dialog, term_test::kFirstSlider, TBM_SETPAGESIZE, 0, 50);
    return TRUE;
  }
  return FALSE;
}

HMODULE Module() {
  static HMODULE module = [] {
    HMODULE m = win::CreateModule("desktop-test-dialog");
    win::AddDialogResource(m, term_test::kDialogId, term_test::ParameterDialogTemplate());
    return m;
  }();
  return module;
}

}  // namespace

TestDialog::TestDialog() {
  InitCommonControls();
  m_dialog = CreateDialogParamA(Module(), MAKEINTRESOURCEA(term_test::kDialogId), nullptr, Proc, 0);
  ShowWindow(m_dialog, SW_SHOW);
}

TestDialog::~TestDialog() {
  if (IsWindow(m_dialog)) DestroyWindow(m_dialog);
}

void TestDialog::Pump() const {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (IsDialogMessageA(m_dialog, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

}  // namespace desktop_test
