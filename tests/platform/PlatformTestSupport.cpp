#include "PlatformTestSupport.h"

namespace platform_test {

win::DialogTemplateBuilder TwoFieldDialog() {
  win::DialogTemplateBuilder dialog(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME, 0, 0, 178, 62);
  dialog.Caption("Two Fields")
      .Font(8, "MS Sans Serif")
      .Control(0xFFFF, win::kStaticClassOrdinal, "First &value:", 0x5002000C, 7, 8, 50, 8)
      .Control(kFirstEdit, win::kEditClassOrdinal, "", 0x50810000, 61, 7, 30, 12)
      .Control(kFirstSlider, TRACKBAR_CLASSA, "Slider1", 0x50010018, 93, 8, 78, 9)
      .Control(0xFFFF, win::kStaticClassOrdinal, "&Second:", 0x5002000C, 7, 24, 51, 8)
      .Control(kSecondEdit, win::kEditClassOrdinal, "", 0x50810000, 61, 22, 30, 12)
      .Control(kSecondSlider, TRACKBAR_CLASSA, "Slider1", 0x50010018, 93, 24, 78, 9)
      .Control(IDOK, win::kButtonClassOrdinal, "OK", 0x50010001, 7, 41, 50, 14)
      .Control(IDCANCEL, win::kButtonClassOrdinal, "Cancel", 0x50010000, 64, 41, 50, 14)
      .Control(kHelpButton, win::kButtonClassOrdinal, "Help", 0x50010000, 121, 41, 50, 14);
  return dialog;
}

void PlatformTest::SetUp() {
  m_scope = new win::PresentationScope(headless);
  InitCommonControls();
  m_module = win::CreateModule("platform-test");
  win::AddDialogResource(m_module, kDialogId, TwoFieldDialog());
}

void PlatformTest::TearDown() {
  for (HWND hWnd : win::TopLevelWindows()) DestroyWindow(hWnd);
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
  }
  SetFocus(nullptr);
  win::DestroyModule(m_module);
  delete m_scope;
}

HWND CreateTopLevel(const char* caption) {
  static const char kClass[] = "PlatformTestTop";
  WNDCLASSA wc{};
  if (!GetClassInfoA(nullptr, kClass, &wc)) {
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = kClass;
    RegisterClassA(&wc);
  }
  return CreateWindowExA(0, kClass, caption, WS_POPUP | WS_VISIBLE, 10, 10, 200, 100, nullptr, nullptr, nullptr,
                         nullptr);
}

std::string TextOf(HWND hWnd) {
  char buffer[256];
  GetWindowTextA(hWnd, buffer, sizeof buffer);
  return buffer;
}

}  // namespace platform_test
