#include "dialog/DialogTestSupport.h"

#include <stdexcept>

#include "dialog/Resource.h"
#include "win/commctrl.h"
#include "win/presentation.h"

namespace dialog_test {

void DialogTest::SetUp() {
  m_scope = new win::PresentationScope(headless);
  m_previousState = AfxSetModuleState(AfxGetStaticModuleState());
}

void DialogTest::TearDown() {
  const std::vector<HWND> left = win::TopLevelWindows();
  EXPECT_TRUE(left.empty()) << left.size() << " window(s) left behind";
  for (HWND hWnd : left) DestroyWindow(hWnd);
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
  }
  SetFocus(nullptr);
  AfxReleaseTempMaps();
  AfxSetModuleState(m_previousState);
  delete m_scope;
}

void PumpMessages() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

int FailingBoxes::ShowMessageBox(HWND, const char*, const char*, UINT) { throw std::runtime_error("no display"); }

std::vector<std::string> BoxTexts(const win::HeadlessPresentation& presentation) {
  std::vector<std::string> texts;
  for (const auto& box : presentation.MessageBoxes()) texts.push_back(box.text);
  return texts;
}

HWND ActiveDialog() { return GetActiveWindow(); }
HWND ActiveItem(int id) { return GetDlgItem(GetActiveWindow(), id); }

std::string TextOf(HWND hWnd) {
  char buffer[256] = {};
  GetWindowTextA(hWnd, buffer, sizeof buffer);
  return buffer;
}

std::string ItemText(HWND hDlg, int id) { return TextOf(GetDlgItem(hDlg, id)); }

int TrackbarPos(HWND hTrackbar) { return static_cast<int>(SendMessageA(hTrackbar, TBM_GETPOS, 0, 0)); }

int VarianceSliderPos(HWND hDlg) { return TrackbarPos(GetDlgItem(hDlg, IDC_VARIANCE_SLIDER)); }

}  // namespace dialog_test
