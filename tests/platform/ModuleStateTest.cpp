// Module state: the current state per thread, nested guards, application
// objects and their titles, resource look-up, and a module's start-up.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>

#include "AfxTestSupport.h"

using namespace platform_test;
using ::testing::ElementsAre;

namespace {

// A module of this test program started from its static initialisers, the
// way a plug-in starts.
AFX_MODULE_STATE* StaticModuleState() {
  static AFX_MODULE_STATE state("static-module");
  return &state;
}

void AddStaticModuleResources(HINSTANCE hInstance) {
  win::AddStringResource(hInstance, AFX_IDS_APP_TITLE, "Static Module");
}

class CStaticApp : public CWinApp {
 public:
  BOOL InitInstance() override {
    ++initCount;
    moduleDuringInit = AfxGetModuleState();
    return CWinApp::InitInstance();
  }
  int initCount = 0;
  AFX_MODULE_STATE* moduleDuringInit = nullptr;
};

CAfxModuleLoadScope s_load AFX_MODULE_LOAD_PRIORITY(StaticModuleState(), &AddStaticModuleResources);
CStaticApp theStaticApp;
CAfxModuleStartup s_startup(StaticModuleState());

TEST(ModuleStartup, StaticInitialisersStartAModuleWithItsOwnStateAndTitle) {
  EXPECT_TRUE(s_startup.Succeeded());
  EXPECT_TRUE(AfxIsModuleStarted(StaticModuleState()));
  EXPECT_EQ(theStaticApp.m_pModuleState, StaticModuleState()) << "the state was current at construction";
  EXPECT_EQ(StaticModuleState()->m_pCurrentWinApp, &theStaticApp);
  EXPECT_EQ(theStaticApp.initCount, 1);
  EXPECT_EQ(theStaticApp.moduleDuringInit, StaticModuleState());
  EXPECT_STREQ(theStaticApp.m_pszAppName, "Static Module");
  EXPECT_NE(AfxGetModuleState(), StaticModuleState()) << "loading puts the previous state back";
  {
    AFX_MANAGE_STATE(StaticModuleState());
    EXPECT_STREQ(AfxGetAppName(), "Static Module");
    EXPECT_EQ(AfxGetApp(), &theStaticApp);
  }
}

class ModuleStateTest : public AfxTest {};

TEST_F(ModuleStateTest, GuardsNestAndPutTheirPredecessorBackOnEveryWayOut) {
  AFX_MODULE_STATE outer("outer");
  AFX_MODULE_STATE inner("inner");
  AFX_MODULE_STATE* before = AfxGetModuleState();
  try {
    AFX_MANAGE_STATE(&outer);
    EXPECT_EQ(AfxGetModuleState(), &outer);
    {
      AFX_MANAGE_STATE(&inner);
      EXPECT_EQ(AfxGetModuleState(), &inner);
    }
    EXPECT_EQ(AfxGetModuleState(), &outer);
    AFX_MAINTAIN_STATE2 innerAgain(&inner);
    throw std::runtime_error("leaves both guards");
  } catch (const std::runtime_error&) {
  }
  EXPECT_EQ(AfxGetModuleState(), before);
}

TEST_F(ModuleStateTest, EachThreadHasItsOwnCurrentState) {
  AFX_MODULE_STATE* seen = nullptr;
  std::thread other([&seen] { seen = AfxGetModuleState(); });
  other.join();
  EXPECT_EQ(seen, AfxGetAppModuleState()) << "a new thread starts with the program's state";
  EXPECT_EQ(AfxGetModuleState(), state.get());
}

TEST_F(ModuleStateTest, MessageBoxesCarryTheTitleOfTheModuleThatIsCurrent) {
  AfxMessageBox("from the test module", MB_ICONERROR, 0);
  {
    AFX_MANAGE_STATE(StaticModuleState());
    AfxMessageBox("from the static module");
  }
  ASSERT_EQ(headless.MessageBoxes().size(), 2u);
  EXPECT_EQ(headless.MessageBoxes()[0].caption, kTestAppTitle);
  EXPECT_EQ(headless.MessageBoxes()[0].style, static_cast<UINT>(MB_ICONERROR)) << "an icon given is kept";
  EXPECT_EQ(headless.MessageBoxes()[1].caption, "Static Module");
  EXPECT_EQ(headless.MessageBoxes()[1].style, static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION));
}

TEST_F(ModuleStateTest, AnApplicationWithANameKeepsItAndUnregistersWhenDestroyed) {
  AFX_MODULE_STATE module("named");
  {
    AFX_MANAGE_STATE(&module);
    CWinApp named("Given Name");
    EXPECT_EQ(module.m_pCurrentWinApp, &named);
    named.LoadAppName();
    EXPECT_STREQ(named.m_pszAppName, "Given Name");
  }
  EXPECT_EQ(module.m_pCurrentWinApp, nullptr);
}

TEST_F(ModuleStateTest, ResourcesAreFoundInTheCurrentModuleThenTheChainThenTheFramework) {
  CString text;
  ASSERT_TRUE(AfxLoadString(AFX_IDP_PARSE_INT, text));
  EXPECT_EQ(text, "Enter a whole number.") << "the framework's own";
  win::AddStringResource(state->m_hCurrentInstanceHandle, AFX_IDP_PARSE_INT, "Whole numbers only!");
  ASSERT_TRUE(AfxLoadString(AFX_IDP_PARSE_INT, text));
  EXPECT_EQ(text, "Whole numbers only!") << "a module may replace it";

  // The static module has started and joined the chain: its title is found
  // from here, after this module's own.
  AFX_MODULE_STATE bare("bare");
  AFX_MANAGE_STATE(&bare);
  ASSERT_TRUE(AfxLoadString(AFX_IDS_APP_TITLE, text));
  EXPECT_EQ(text, "Static Module");
  EXPECT_EQ(AfxFindResourceHandle(MAKEINTRESOURCEA(kDialogId), RT_DIALOG), bare.m_hCurrentResourceHandle)
      << "a template nobody in the chain has: the current module's handle";
  EXPECT_FALSE(AfxLoadString(12345, text));
  EXPECT_TRUE(text.IsEmpty());
}

class CCountingApp : public CWinApp {
 public:
  explicit CCountingApp(BOOL accept) : m_accept(accept) {}
  BOOL InitInstance() override { return m_accept; }
  int ExitInstance() override {
    ++exits;
    return 0;
  }
  int exits = 0;

 private:
  BOOL m_accept;
};

TEST_F(ModuleStateTest, AModuleWhoseApplicationRefusesToStartIsNotStarted) {
  AFX_MODULE_STATE module("refusing");
  AFX_MODULE_STATE* before = AfxGetModuleState();
  ASSERT_TRUE(AfxBeginModuleLoad(&module, nullptr));
  EXPECT_EQ(AfxGetModuleState(), &module);
  CCountingApp refusing(FALSE);
  EXPECT_FALSE(AfxEndModuleLoad(&module));
  EXPECT_EQ(refusing.exits, 1) << "ExitInstance after a refused InitInstance";
  EXPECT_FALSE(AfxIsModuleStarted(&module));
  EXPECT_EQ(AfxGetModuleState(), before);
  AfxUnloadModule(&module);
  EXPECT_EQ(refusing.exits, 1) << "a module that never started does not stop";
}

TEST_F(ModuleStateTest, AStartedModuleStopsOnceAndLeavesTheChain) {
  AFX_MODULE_STATE module("stopping");
  ASSERT_TRUE(AfxBeginModuleLoad(&module, [](HINSTANCE hInstance) {
    win::AddStringResource(hInstance, 40000, "only in the stopping module");
  }));
  CCountingApp app(TRUE);
  ASSERT_TRUE(AfxEndModuleLoad(&module));
  CString text;
  EXPECT_TRUE(AfxLoadString(40000, text)) << "found through the chain";
  AfxUnloadModule(&module);
  AfxUnloadModule(&module);
  EXPECT_EQ(app.exits, 1);
  EXPECT_FALSE(AfxIsModuleStarted(&module));
  EXPECT_FALSE(AfxLoadString(40000, text)) << "gone from the chain";
}

}  // namespace
