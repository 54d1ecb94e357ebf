// Helpers shared by the platform's tests: a headless presentation installed
// for each test, a module holding a parameter-style dialog, and clean-up of
// windows a failing test leaves behind.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "win/commctrl.h"
#include "win/headless.h"
#include "win/resources.h"
#include "win/spy.h"

namespace platform_test {

// Control identifiers of the test dialog.
enum : WORD {
  kDialogId = 130,
  kFirstEdit = 1014,
  kFirstSlider = 1006,
  kSecondEdit = 1013,
  kSecondSlider = 1007,
  kHelpButton = 1001,
};

// A dialog with two labelled edit fields, each followed by a trackbar, and
// OK (default), Cancel and Help buttons, in that tab order.
win::DialogTemplateBuilder TwoFieldDialog();

// Every test runs with its own headless presentation and leaves no window.
class PlatformTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  HMODULE module() const { return m_module; }
  win::HeadlessPresentation headless;

 private:
  win::PresentationScope* m_scope = nullptr;
  HMODULE m_module = nullptr;
};

// A plain top-level window whose procedure records nothing and answers
// DefWindowProcA; its class is registered once.
HWND CreateTopLevel(const char* caption = "top");
std::string TextOf(HWND hWnd);

}  // namespace platform_test
