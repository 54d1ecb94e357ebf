// What the dialog tests share: the plug-in's own module state current (as
// inside an entry), a headless presentation with a script, and checks that
// a test leaves no window behind.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "afx/afxcmn.h"
#include "afx/afxwin.h"
#include "win/headless.h"
#include "win/spy.h"

namespace dialog_test {

class DialogTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  win::HeadlessPresentation headless;

 private:
  win::PresentationScope* m_scope = nullptr;
  AFX_MODULE_STATE* m_previousState = nullptr;
};

// Delivers everything queued, as a modal loop would between inputs.
void PumpMessages();

// A presentation whose message boxes fail, as a broken display would.
class FailingBoxes : public win::HeadlessPresentation {
 public:
  int ShowMessageBox(HWND owner, const char* text, const char* caption, UINT type) override;
};

std::vector<std::string> BoxTexts(const win::HeadlessPresentation& presentation);

// The dialog a script step runs in, and its controls.
HWND ActiveDialog();
HWND ActiveItem(int id);

std::string TextOf(HWND hWnd);
std::string ItemText(HWND hDlg, int id);
int TrackbarPos(HWND hTrackbar);
// The variance slider's position as the dialog asks for it.
int VarianceSliderPos(HWND hDlg);

}  // namespace dialog_test
