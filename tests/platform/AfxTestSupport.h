// A framework module for tests: its own module state with the test dialog
// and a title among its resources, current for the test, with an
// application object registered with it.
#pragma once

#include <memory>

#include "PlatformTestSupport.h"
#include "afx/afxcmn.h"
#include "afx/afxwin.h"

namespace platform_test {

constexpr const char* kTestAppTitle = "Framework Test";

class AfxTest : public PlatformTest {
 protected:
  void SetUp() override {
    PlatformTest::SetUp();
    state = std::make_unique<AFX_MODULE_STATE>("afx-test-module");
    win::AddDialogResource(state->m_hCurrentInstanceHandle, kDialogId, TwoFieldDialog());
    win::AddStringResource(state->m_hCurrentInstanceHandle, AFX_IDS_APP_TITLE, kTestAppTitle);
    previous = AfxSetModuleState(state.get());
    app = std::make_unique<CWinApp>();
    app->LoadAppName();
  }

  void TearDown() override {
    app.reset();
    AfxSetModuleState(previous);
    PlatformTest::TearDown();
    AfxReleaseTempMaps();
    state.reset();
  }

  std::unique_ptr<AFX_MODULE_STATE> state;
  std::unique_ptr<CWinApp> app;
  AFX_MODULE_STATE* previous = nullptr;
};

}  // namespace platform_test
