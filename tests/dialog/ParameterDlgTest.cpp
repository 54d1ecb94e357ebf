// The parameter dialog on the host's parameter set: loading and clamping,
// the maximum written on every opening, the write-back only after a valid
// OK, and the help page.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

#include "dialog/DialogTestSupport.h"
#include "dialog/ParameterDlg.h"
#include "dialog/Resource.h"
#include "params/ParameterList.h"
#include "plugin/DefaultParams.h"
#include "plugin/RecordingHost.h"

namespace {

using dialog_test::ActiveDialog;
using dialog_test::ActiveItem;
using dialog_test::DialogTest;
using dialog_test::ItemText;
using dialog_test::TrackbarPos;
using dialog_test::VarianceSliderPos;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

class ParameterDlg : public DialogTest {
 protected:
  void SetUp() override {
    DialogTest::SetUp();
    recording::host().Reset();
  }

  std::unique_ptr<PluginParam> Params(int type, float variance, int iterations) {
    std::unique_ptr<PluginParam> params(recording::MakeParams(type, variance, iterations));
    params->m_pEntries[PARAM_NOISE_VARIANCE].maximum.f = 123.0f;  // whatever the host had
    return params;
  }
  static int Type(const PluginParam& p) { return p.m_pEntries[PARAM_NOISE_TYPE].value.i; }
  static float Variance(const PluginParam& p) { return p.m_pEntries[PARAM_NOISE_VARIANCE].value.f; }
  static float Maximum(const PluginParam& p) { return p.m_pEntries[PARAM_NOISE_VARIANCE].maximum.f; }
  static int Iterations(const PluginParam& p) { return p.m_pEntries[PARAM_ITERATIONS].value.i; }

  // Opens the dialog on `params`, notes what it shows, and presses OK.
  struct Shown {
    std::string variance, iterations;
    int varianceSlider = -1;
    float maximumWhileOpen = 0;
  };
  Shown OpenAndConfirm(PluginParam& params) {
    Shown shown;
    headless.Do([&] {
      shown.variance = ItemText(ActiveDialog(), IDC_VARIANCE);
      shown.iterations = ItemText(ActiveDialog(), IDC_ITERATIONS);
      shown.varianceSlider = VarianceSliderPos(ActiveDialog());
      shown.maximumWhileOpen = Maximum(params);
    });
    headless.Click(IDOK);
    CParameterDlg dialog(&params, nullptr);
    EXPECT_EQ(dialog.DoModal(), IDOK);
    return shown;
  }
};

TEST_F(ParameterDlg, TheDefaultSetOpensAsItIsAndOkWritesItBack) {
  std::unique_ptr<PluginParam> params(CreateDefaultParams());
  const Shown shown = OpenAndConfirm(*params);
  EXPECT_EQ(shown.variance, "5");
  EXPECT_EQ(shown.iterations, "20");
  EXPECT_EQ(shown.varianceSlider, 5);
  EXPECT_EQ(shown.maximumWhileOpen, 10000000.0f);
  EXPECT_EQ(Type(*params), 0);
  EXPECT_EQ(Variance(*params), 5.0f);
  EXPECT_EQ(Iterations(*params), 20);
  EXPECT_THAT(headless.MessageBoxes(), IsEmpty());
}

TEST_F(ParameterDlg, MultiplicativeNoiseNarrowsTheVarianceAndItsMaximum) {
  auto params = Params(1, 5.0f, 20);
  Shown shown = OpenAndConfirm(*params);
  EXPECT_EQ(shown.variance, "1");
  EXPECT_EQ(shown.varianceSlider, 1000);
  EXPECT_EQ(shown.maximumWhileOpen, 1.0f);
  EXPECT_EQ(Type(*params), 1);
  EXPECT_EQ(Variance(*params), 1.0f);

  params = Params(1, 0.25f, 20);
  shown = OpenAndConfirm(*params);
  EXPECT_EQ(shown.variance, "0.25");
  EXPECT_EQ(shown.varianceSlider, 250);
  EXPECT_EQ(Variance(*params), 0.25f);
}

TEST_F(ParameterDlg, AnUnknownNoiseTypeOpensAsAdditiveAndIsWrittenBackAsZero) {
  for (int stored : {2, -1}) {
    auto params = Params(stored, 5.0f, 20);
    const Shown shown = OpenAndConfirm(*params);
    EXPECT_EQ(shown.variance, "5") << stored;
    EXPECT_EQ(shown.maximumWhileOpen, 10000000.0f) << stored;
    EXPECT_EQ(Type(*params), 0) << stored;
  }
}

TEST_F(ParameterDlg, StoredValuesAreBroughtIntoRangeWithoutAMessage) {
  struct Case {
    float variance;
    int iterations;
    float expectedVariance;
    int expectedIterations;
  };
  const Case cases[] = {
      {20000000.0f, 0, 10000000.0f, 1}, {-3.0f, -5, 0.0f, 1}, {0.0f, 5000, 0.0f, 1000},
      {-0.0f, 1, 0.0f, 1},              {7.5f, 1000, 7.5f, 1000},
  };
  for (const Case& c : cases) {
    auto params = Params(0, c.variance, c.iterations);
    OpenAndConfirm(*params);
    EXPECT_EQ(Variance(*params), c.expectedVariance) << c.variance;
    EXPECT_FALSE(std::signbit(Variance(*params))) << c.variance;
    EXPECT_EQ(Iterations(*params), c.expectedIterations) << c.iterations;
  }
  EXPECT_THAT(headless.MessageBoxes(), IsEmpty());
}

TEST_F(ParameterDlg, AStoredVarianceThatIsNotANumberKeepsTheDialogsOwn) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  auto additive = Params(0, nan, 20);
  EXPECT_EQ(OpenAndConfirm(*additive).variance, "5");
  EXPECT_EQ(Variance(*additive), 5.0f);
  auto multiplicative = Params(1, nan, 20);
  EXPECT_EQ(OpenAndConfirm(*multiplicative).variance, "1");
  EXPECT_EQ(Variance(*multiplicative), 1.0f);
}

TEST_F(ParameterDlg, CancelWritesNoValueButTheMaximumStaysRewritten) {
  auto params = Params(0, 12.0f, 40);
  // Change the iterations to 30 with the slider, then cancel.
  headless.Do([] { SetFocus(ActiveItem(IDC_ITERATIONS_SLIDER)); }).Press(VK_HOME);
  for (int step = 0; step < 29; ++step) headless.Press(VK_RIGHT);
  headless.Do([] { EXPECT_EQ(ItemText(ActiveDialog(), IDC_ITERATIONS), "30"); });
  headless.Click(IDCANCEL);
  CParameterDlg dialog(params.get(), nullptr);
  EXPECT_EQ(dialog.DoModal(), IDCANCEL);
  EXPECT_EQ(dialog.m_nIterations, 30);
  EXPECT_EQ(Type(*params), 0);
  EXPECT_EQ(Variance(*params), 12.0f);
  EXPECT_EQ(Iterations(*params), 40);
  EXPECT_EQ(Maximum(*params), 10000000.0f);
}

TEST_F(ParameterDlg, AnInvalidFieldOnOkWritesNothingEvenAfterAValidOne) {
  auto params = Params(0, 5.0f, 20);
  headless.Do([] { SendMessageA(ActiveItem(IDC_VARIANCE), EM_SETSEL, 0, -1); }).Type("7").Press(VK_TAB);
  headless.Do([] { SetWindowTextA(ActiveItem(IDC_ITERATIONS), "many"); });
  headless.Click(IDOK).Do([] { EXPECT_NE(ActiveDialog(), nullptr) << "still open"; });
  headless.Press(VK_ESCAPE);
  CParameterDlg dialog(params.get(), nullptr);
  EXPECT_EQ(dialog.DoModal(), IDCANCEL);
  ASSERT_EQ(headless.MessageBoxes().size(), 1u);
  EXPECT_EQ(headless.MessageBoxes()[0].text, "Enter a whole number.");
  EXPECT_EQ(Variance(*params), 5.0f);
  EXPECT_EQ(Iterations(*params), 20);
}

TEST_F(ParameterDlg, OkWritesTheValuesTheFieldsShow) {
  auto params = Params(1, 0.5f, 20);
  headless.Press(VK_TAB).Press(VK_HOME);
  for (int page = 0; page < 14; ++page) headless.Press(VK_NEXT);
  headless.Click(IDOK);
  CParameterDlg dialog(params.get(), nullptr);
  EXPECT_EQ(dialog.DoModal(), IDOK);
  EXPECT_EQ(Variance(*params), static_cast<float>(0.7)) << "0.7 as shown, not the slider's 0.70000005";
}

TEST_F(ParameterDlg, TheHelpButtonAndF1OpenTheHelpPageAndLeaveTheDialogAsItIs) {
  auto params = Params(0, 5.0f, 20);
  headless.Click(IDC_HELP_BUTTON).Press(VK_F1).Do([] {
    EXPECT_NE(ActiveDialog(), nullptr);
    EXPECT_EQ(ItemText(ActiveDialog(), IDC_VARIANCE), "5");
  });
  headless.Press(VK_ESCAPE);
  CParameterDlg dialog(params.get(), nullptr);
  EXPECT_EQ(dialog.DoModal(), IDCANCEL);
  const auto help = recording::host().Named("PluginHelp");
  ASSERT_EQ(help.size(), 2u);
  EXPECT_EQ(help[0].text, "Calvane.htm");
  EXPECT_EQ(help[1].text, "Calvane.htm");
  EXPECT_TRUE(help[0].moduleStateWasThePluginOwn);
  EXPECT_EQ(Variance(*params), 5.0f);
}

}  // namespace
