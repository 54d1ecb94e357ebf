// The configure entry on a recording host: the calls it makes in order, its
// results, the dialog it runs, the one error box of each failure, and the
// module state put back on every way out.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>
#include <string>

#include "afx/afxwin.h"
#include "dialog/DialogTestSupport.h"
#include "dialog/Resource.h"
#include "host/HostErrors.h"
#include "plugin/CalvaneApp.h"
#include "params/ParameterList.h"
#include "plugin/DefaultParams.h"
#include "plugin/Entries.h"
#include "plugin/RecordingHost.h"
#include "win/headless.h"
#include "win/presentation.h"
#include "win/spy.h"

namespace {

using recording::Context;
using recording::host;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

const std::string kPrefix = "An error occurred while trying to perform the operation: \n\n\t";

// A headless presentation that also notes, for every box, whether any window
// was still up and which module state was current.
class WatchingPresentation : public win::HeadlessPresentation {
 public:
  int ShowMessageBox(HWND owner, const char* text, const char* caption, UINT type) override {
    windowsAtBox.push_back(win::TopLevelWindows().size());
    pluginStateAtBox.push_back(AfxGetModuleState() == AfxGetStaticModuleState());
    return HeadlessPresentation::ShowMessageBox(owner, text, caption, type);
  }
  std::vector<std::size_t> windowsAtBox;
  std::vector<bool> pluginStateAtBox;
};

class ConfigureEntryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host().Reset();
    work = recording::MakeImage(2, 2, 1, 255.0f, 0.0f, "work");
    scope = std::make_unique<win::PresentationScope>(presentation);
    previous = AfxSetModuleState(&outer);
  }
  void TearDown() override {
    EXPECT_EQ(AfxGetModuleState(), &outer) << "the state before the call is current again";
    EXPECT_TRUE(win::TopLevelWindows().empty());
    AfxSetModuleState(previous);
    scope.reset();
    host().Reset();
  }

  int Configure(PluginContext* ctx) { return ENTRYPOINT.entries[PluginEntryNumber::Configure - 1](ctx); }

  std::vector<std::string> BoxTexts() const { return dialog_test::BoxTexts(presentation); }

  static double Address(const void* p) { return static_cast<double>(reinterpret_cast<std::uintptr_t>(p)); }

  Image work;
  WatchingPresentation presentation;
  std::unique_ptr<win::PresentationScope> scope;
  AFX_MODULE_STATE outer{"outer"};
  AFX_MODULE_STATE* previous = nullptr;
};

TEST_F(ConfigureEntryTest, WithoutASetAndWithoutInteractionTheDefaultSetIsStored) {
  Context ctx(&work);
  win::MessageSpy spy;
  EXPECT_EQ(Configure(&ctx), 0);
  EXPECT_THAT(host().Ops(), ElementsAre("GetParams", "SetParams", "IsInteractive"));
  ASSERT_NE(ctx.m_params, nullptr);
  EXPECT_EQ(host().calls[1].values[0], Address(ctx.m_params));
  EXPECT_EQ(ctx.m_params->m_pEntries[PARAM_NOISE_TYPE].value.i, 0);
  EXPECT_EQ(ctx.m_params->m_pEntries[PARAM_NOISE_VARIANCE].value.f, 5.0f);
  EXPECT_EQ(ctx.m_params->m_pEntries[PARAM_ITERATIONS].value.i, 20);
  EXPECT_TRUE(spy.Records().empty()) << "no dialog";
  for (const auto& call : host().calls) EXPECT_TRUE(call.moduleStateWasThePluginOwn) << call.op;
  delete ctx.m_params;
}

TEST_F(ConfigureEntryTest, ASetTheHostHoldsIsKeptWithoutInteraction) {
  PluginParam* params = recording::MakeParams(1, 0.5f, 7);
  Context ctx(&work, params);
  EXPECT_EQ(Configure(&ctx), 0);
  EXPECT_THAT(host().Ops(), ElementsAre("GetParams", "IsInteractive"));
  EXPECT_EQ(ctx.m_params, params);
  EXPECT_EQ(params->m_pEntries[PARAM_NOISE_VARIANCE].maximum.f, 10000000.0f) << "no dialog opened on it";
  delete params;
}

TEST_F(ConfigureEntryTest, OkHandsTheEditedSetBackToTheHost) {
  PluginParam* params = recording::MakeParams(0, 5.0f, 20);
  Context ctx(&work, params, true);
  std::size_t windowsAtSetParams = 99;
  host().onCall = [&](const std::string& op) {
    if (op == "SetParams") windowsAtSetParams = win::TopLevelWindows().size();
  };
  presentation.Do([] { SendMessageA(GetDlgItem(GetActiveWindow(), IDC_ITERATIONS), EM_SETSEL, 0, -1); })
      .Press('I', win::kAlt)
      .Type("30")
      .Press(VK_RETURN);
  EXPECT_EQ(Configure(&ctx), 0);
  EXPECT_THAT(host().Ops(), ElementsAre("GetParams", "IsInteractive", "SetParams", "GetParams"));
  EXPECT_EQ(host().calls[2].values[0], Address(params)) << "the very set the dialog was opened on";
  EXPECT_EQ(windowsAtSetParams, 0u) << "the dialog's window is closed by then";
  EXPECT_EQ(params->m_pEntries[PARAM_ITERATIONS].value.i, 30);
  EXPECT_EQ(params->m_pEntries[PARAM_NOISE_VARIANCE].value.f, 5.0f);
  EXPECT_THAT(presentation.MessageBoxes(), IsEmpty());
  delete params;
}

// A host that has lost its set by the time it is asked again.
class ForgetfulContext : public Context {
 public:
  using Context::Context;
  PluginParam* GetParams() override {
    PluginParam* params = Context::GetParams();
    return ++m_asked > 1 ? nullptr : params;
  }

 private:
  int m_asked = 0;
};

TEST_F(ConfigureEntryTest, OkFollowedByNoSetAtTheHostAnswersOneWithoutABox) {
  PluginParam* params = recording::MakeParams(0, 5.0f, 20);
  ForgetfulContext ctx(&work, params, true);
  presentation.Click(IDOK);
  EXPECT_EQ(Configure(&ctx), 1);
  EXPECT_THAT(host().Ops(), ElementsAre("GetParams", "IsInteractive", "SetParams", "GetParams"));
  EXPECT_THAT(presentation.MessageBoxes(), IsEmpty());
  delete params;
}

TEST_F(ConfigureEntryTest, CancelOrClosingTheDialogAnswersOneAndHandsNothingBack) {
  PluginParam* params = recording::MakeParams(0, 5.0f, 20);
  Context ctx(&work, params, true);
  presentation.Type("77").Click(IDCANCEL);
  EXPECT_EQ(Configure(&ctx), 1);
  EXPECT_THAT(host().Ops(), ElementsAre("GetParams", "IsInteractive"));
  host().Reset();
  presentation.Type("77");  // then the script runs out: the window is closed
  EXPECT_EQ(Configure(&ctx), 1);
  EXPECT_THAT(presentation.ClosedOnExhaustion(), ElementsAre(kPluginTitle));
  EXPECT_THAT(host().Ops(), ElementsAre("GetParams", "IsInteractive"));
  EXPECT_EQ(params->m_pEntries[PARAM_NOISE_VARIANCE].value.f, 5.0f);
  EXPECT_THAT(presentation.MessageBoxes(), IsEmpty());
  delete params;
}

TEST_F(ConfigureEntryTest, TheDefaultSetStaysWithTheHostWhenTheUserCancels) {
  Context ctx(&work, nullptr, true);
  presentation.Press(VK_ESCAPE);
  EXPECT_EQ(Configure(&ctx), 1);
  EXPECT_THAT(host().Ops(), ElementsAre("GetParams", "SetParams", "IsInteractive"));
  ASSERT_NE(ctx.m_params, nullptr);
  EXPECT_EQ(ctx.m_params->m_pEntries[PARAM_ITERATIONS].value.i, 20);
  delete ctx.m_params;
}

AlertableError ReportedError(const char* message) {
  AlertableError error(message);
  error.SetReported(1);
  return error;
}

TEST_F(ConfigureEntryTest, AHostErrorAlreadyReportedEndsTheCallWithoutABox) {
  PluginParam* params = recording::MakeParams(0, 5.0f, 20);
  Context ctx(&work, params, true);
  host().onCall = [](const std::string& op) {
    if (op == "SetParams") throw ReportedError("the host said so");
  };
  presentation.Click(IDOK);
  EXPECT_EQ(Configure(&ctx), 1);
  EXPECT_THAT(host().Ops(), ElementsAre("GetParams", "IsInteractive", "SetParams"));
  EXPECT_THAT(presentation.MessageBoxes(), IsEmpty());
  delete params;
}

TEST_F(ConfigureEntryTest, AHostErrorIsShownOnceTheDialogIsGone) {
  PluginParam* params = recording::MakeParams(0, 5.0f, 20);
  Context ctx(&work, params, true);
  host().onCall = [](const std::string& op) {
    if (op == "SetParams") throw AlertableError("the parameter store is read-only");
  };
  presentation.Click(IDOK);
  EXPECT_EQ(Configure(&ctx), 1);
  EXPECT_THAT(BoxTexts(), ElementsAre(kPrefix + "the parameter store is read-only"));
  EXPECT_EQ(presentation.MessageBoxes()[0].caption, kPluginTitle);
  EXPECT_EQ(presentation.MessageBoxes()[0].style, static_cast<UINT>(MB_ICONERROR));
  EXPECT_THAT(presentation.windowsAtBox, ElementsAre(0u));
  EXPECT_THAT(presentation.pluginStateAtBox, ElementsAre(true));
  delete params;
}

TEST_F(ConfigureEntryTest, AFailureInsideTheDialogIsReportedAfterItAndTheNextRunWorks) {
  PluginParam* params = recording::MakeParams(0, 5.0f, 20);
  Context ctx(&work, params, true);
  host().onCall = [](const std::string& op) {
    if (op == "PluginHelp") throw std::runtime_error("the help viewer is missing");
  };
  presentation.Click(IDC_HELP_BUTTON);
  EXPECT_EQ(Configure(&ctx), 1);
  EXPECT_THAT(BoxTexts(), ElementsAre(kPrefix + "the help viewer is missing"));
  EXPECT_THAT(presentation.windowsAtBox, ElementsAre(0u));

  host().Reset();
  presentation.Click(IDOK);
  EXPECT_EQ(Configure(&ctx), 0);
  EXPECT_THAT(host().Ops(), ElementsAre("GetParams", "IsInteractive", "SetParams", "GetParams"));
  delete params;
}

TEST_F(ConfigureEntryTest, AShowableErrorShowsItselfInsteadOfABox) {
  static std::vector<std::string> shown;
  shown.clear();
  const ShowableErrorSink before = SetShowableErrorSink([](const char* text) { shown.push_back(text); });
  Context ctx(&work);
  host().onCall = [](const std::string& op) {
    if (op == "IsInteractive") throw ShowableError("the image is being edited elsewhere");
  };
  EXPECT_EQ(Configure(&ctx), 1);
  SetShowableErrorSink(before);
  EXPECT_THAT(shown, ElementsAre("the image is being edited elsewhere"));
  EXPECT_THAT(presentation.MessageBoxes(), IsEmpty());
  delete ctx.m_params;
}

TEST_F(ConfigureEntryTest, AnyOtherThrownValueNamesTheParameterContext) {
  Context ctx(&work, recording::MakeParams(0, 5.0f, 20));
  host().onCall = [](const std::string& op) {
    if (op == "IsInteractive") throw 42;
  };
  EXPECT_EQ(Configure(&ctx), 1);
  EXPECT_EQ(Configure(&ctx), 1);
  const std::string expected = kPrefix + "An unknown error occurred in 'Calvane Parameters'";
  EXPECT_THAT(BoxTexts(), ElementsAre(expected, expected));
  delete ctx.m_params;
}

TEST_F(ConfigureEntryTest, AStandardExceptionIsShownByItsText) {
  Context ctx(&work);
  host().onCall = [](const std::string& op) {
    if (op == "GetParams") throw std::length_error("parameter table full");
  };
  EXPECT_EQ(Configure(&ctx), 1);
  EXPECT_THAT(host().Ops(), ElementsAre("GetParams"));
  EXPECT_THAT(BoxTexts(), ElementsAre(kPrefix + "parameter table full"));
}

BOOL FailParameterSetAllocation(std::size_t nSize, BOOL, LONG) { return nSize == sizeof(PluginParam) ? FALSE : TRUE; }

TEST_F(ConfigureEntryTest, MemoryExhaustionIsTheFrameworksToReport) {
  Context ctx(&work, nullptr, true);
  const AFX_ALLOC_HOOK before = AfxSetAllocHook(&FailParameterSetAllocation);
  const int result = Configure(&ctx);
  AfxSetAllocHook(before);
  EXPECT_EQ(result, 1);
  EXPECT_THAT(host().Ops(), ElementsAre("GetParams")) << "nothing was handed to the host";
  EXPECT_EQ(ctx.m_params, nullptr);
  ASSERT_EQ(presentation.MessageBoxes().size(), 1u);
  EXPECT_EQ(presentation.MessageBoxes()[0].text, "Out of memory.");
  EXPECT_EQ(presentation.MessageBoxes()[0].caption, kPluginTitle);
  EXPECT_EQ(presentation.MessageBoxes()[0].style & MB_TYPEMASK, static_cast<UINT>(MB_OK));
}

TEST_F(ConfigureEntryTest, AFailingErrorBoxLeavesTheEntryWithTheStateRestored) {
  dialog_test::FailingBoxes failing;
  win::PresentationScope failingScope(failing);
  Context ctx(&work, recording::MakeParams(0, 5.0f, 20));
  host().onCall = [](const std::string& op) {
    if (op == "IsInteractive") throw 7;
  };
  EXPECT_THROW(Configure(&ctx), std::runtime_error);
  EXPECT_EQ(AfxGetModuleState(), &outer);
  delete ctx.m_params;
}

TEST_F(ConfigureEntryTest, AModuleThatDidNotStartRefusesWithoutTouchingTheHost) {
  AFX_MODULE_STATE* plugin = AfxGetStaticModuleState();
  ASSERT_TRUE(AfxIsModuleStarted(plugin));
  plugin->m_bStarted = FALSE;
  Context ctx(&work, nullptr, true);
  const int result = Configure(&ctx);
  plugin->m_bStarted = TRUE;
  EXPECT_EQ(result, 1);
  EXPECT_THAT(host().calls, IsEmpty());
}

TEST(PluginStartUp, TheApplicationObjectStartedWithThePluginsTitle) {
  AFX_MANAGE_STATE(AfxGetStaticModuleState());
  EXPECT_TRUE(IsPluginModuleStarted());
  CWinApp* app = AfxGetApp();
  ASSERT_NE(app, nullptr);
  EXPECT_NE(dynamic_cast<CCalvaneApp*>(app), nullptr);
  EXPECT_STREQ(AfxGetAppName(), "Total Variation Denoise");
}

}  // namespace
