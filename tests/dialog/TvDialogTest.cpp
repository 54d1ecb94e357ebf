// The total-variation dialog: the value/slider mappings to the last bit,
// the coupling of fields and sliders, and validation on focus loss and OK.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <set>
#include <stdexcept>

#include "dialog/DialogTestSupport.h"
#include "dialog/Resource.h"
#include "dialog/TvDialog.h"
#include "win/commctrl.h"

namespace {

using dialog_test::ActiveDialog;
using dialog_test::ActiveItem;
using dialog_test::DialogTest;
using dialog_test::ItemText;
using dialog_test::PumpMessages;
using dialog_test::TrackbarPos;
using dialog_test::VarianceSliderPos;
using win::Delivery;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr int kAdditive = 0;
constexpr int kMultiplicative = 1;

// The nearest single to a decimal: the values the mappings must hit exactly.
float Single(double value) { return static_cast<float>(value); }

// A dialog that opens with a given noise type, as CParameterDlg does.
class TypedDialog : public CTvDialog {
 public:
  explicit TypedDialog(int type) : CTvDialog(IDD_TV_PARAMETERS, nullptr), m_type(type) {}
  BOOL OnInitDialog() override {
    SetNoiseType(m_type);
    return CTvDialog::OnInitDialog();
  }

 private:
  int m_type;
};

class TvDialog : public DialogTest {
 protected:
  // Replaces the text of a field the way a user does: select it all, type.
  void TypeInto(int id, const std::string& text) {
    headless.Do([id] { SendMessageA(ActiveItem(id), EM_SETSEL, 0, -1); }).Type(text);
  }
  std::vector<std::string> BoxTexts() const { return dialog_test::BoxTexts(headless); }
};

TEST(TvDialogMapping, SliderPositionsGiveTheSingleNearestToTheProduct) {
  EXPECT_EQ(CTvDialog::PositionToVariance(3, kAdditive), Single(3.000000238418579));
  EXPECT_NE(CTvDialog::PositionToVariance(3, kAdditive), 3.0f);
  EXPECT_EQ(CTvDialog::PositionToVariance(1000, kAdditive), Single(1000.0000610351562));
  EXPECT_EQ(CTvDialog::PositionToVariance(700, kMultiplicative), Single(0.7000000476837158));
  EXPECT_EQ(CTvDialog::PositionToVariance(1000, kMultiplicative), 1.0f);
  EXPECT_EQ(CTvDialog::PositionToVariance(33, kMultiplicative), Single(0.032999999821186066));
  EXPECT_EQ(CTvDialog::PositionToVariance(0, kMultiplicative), 0.0f);
}

TEST(TvDialogMapping, VariancesTruncateTowardZeroToAPosition) {
  EXPECT_EQ(CTvDialog::VarianceToPosition(5.0f, kAdditive), 5);
  EXPECT_EQ(CTvDialog::VarianceToPosition(5.99f, kAdditive), 5);
  EXPECT_EQ(CTvDialog::VarianceToPosition(2500.0f, kAdditive), 2500) << "not limited to the slider's range";
  EXPECT_EQ(CTvDialog::VarianceToPosition(10000000.0f, kAdditive), 10000000);
  EXPECT_EQ(CTvDialog::VarianceToPosition(0.25f, kMultiplicative), 250);
  EXPECT_EQ(CTvDialog::VarianceToPosition(Single(0.7), kMultiplicative), 699);
  EXPECT_EQ(CTvDialog::VarianceToPosition(-0.5f, kAdditive), 0) << "toward zero";
  EXPECT_EQ(CTvDialog::VarianceToPosition(1e30f, kAdditive), std::numeric_limits<int>::max());
}

TEST(TvDialogMapping, OnlyThirteenMultiplicativePositionsComeBackOneLower) {
  const std::set<int> lower = {33, 66, 132, 147, 257, 264, 294, 505, 514, 528, 551, 565, 588};
  for (int position = 0; position <= 1000; ++position) {
    const float variance = CTvDialog::PositionToVariance(position, kMultiplicative);
    const int expected = lower.count(position) != 0 ? position - 1 : position;
    ASSERT_EQ(CTvDialog::VarianceToPosition(variance, kMultiplicative), expected) << "position " << position;
    ASSERT_EQ(CTvDialog::VarianceToPosition(CTvDialog::PositionToVariance(position, kAdditive), kAdditive), position)
        << "additive position " << position;
  }
}

TEST(TvDialogMapping, TheMaximumFollowsTheNoiseType) {
  EXPECT_EQ(CTvDialog::VarianceMaximum(1), 1.0f);
  EXPECT_EQ(CTvDialog::VarianceMaximum(0), 10000000.0f);
  EXPECT_EQ(CTvDialog::VarianceMaximum(2), 10000000.0f);
  EXPECT_EQ(CTvDialog::VarianceMaximum(-1), 10000000.0f);
  EXPECT_EQ(CTvDialog::SliderScale(0), 1000.0f);
  EXPECT_EQ(CTvDialog::SliderScale(1), 1.0f);
}

TEST_F(TvDialog, OpensWithTheMembersInFieldsAndSetUpSliders) {
  CTvDialog dialog(IDD_TV_PARAMETERS, nullptr);
  EXPECT_EQ(dialog.m_fNoiseVariance, 5.0f);
  EXPECT_EQ(dialog.m_nNoiseType, 0);
  EXPECT_EQ(dialog.m_nIterations, 20);
  EXPECT_EQ(dialog.m_sliderVariance.m_hWnd, nullptr);
  headless.Do([&] {
    HWND hDlg = ActiveDialog();
    EXPECT_EQ(ItemText(hDlg, IDC_VARIANCE), "5");
    EXPECT_EQ(ItemText(hDlg, IDC_ITERATIONS), "20");
    EXPECT_EQ(GetFocus(), GetDlgItem(hDlg, IDC_VARIANCE)) << "the first tab stop";
    EXPECT_EQ(dialog.m_sliderVariance.m_nControlType, CEitherSlider::kTrackbar);
    EXPECT_EQ(dialog.m_sliderVariance.m_hWnd, GetDlgItem(hDlg, IDC_VARIANCE_SLIDER));
    EXPECT_EQ(dialog.m_sliderIterations.m_hWnd, GetDlgItem(hDlg, IDC_ITERATIONS_SLIDER));
    win::WindowView view;
    ASSERT_TRUE(win::DescribeWindow(GetDlgItem(hDlg, IDC_VARIANCE_SLIDER), &view));
    EXPECT_EQ(view.range.min, 0);
    EXPECT_EQ(view.range.max, 1000);
    EXPECT_EQ(view.range.pos, 5);
    EXPECT_EQ(view.range.page, 50);
    EXPECT_EQ(view.range.line, 1);
    ASSERT_TRUE(win::DescribeWindow(GetDlgItem(hDlg, IDC_ITERATIONS_SLIDER), &view));
    EXPECT_EQ(view.range.min, 1);
    EXPECT_EQ(view.range.max, 1000);
    EXPECT_EQ(view.range.pos, 20);
  });
  EXPECT_EQ(dialog.DoModal(), IDCANCEL);
  EXPECT_THAT(headless.ScriptErrors(), IsEmpty());
}

TEST_F(TvDialog, SliderKeysSetTheExactAdditiveVariance) {
  CTvDialog dialog(IDD_TV_PARAMETERS, nullptr);
  headless.Press(VK_TAB).Press(VK_HOME).Press(VK_RIGHT).Press(VK_RIGHT).Press(VK_RIGHT).Do([&] {
    EXPECT_EQ(dialog.m_fNoiseVariance, Single(3.000000238418579));
    EXPECT_EQ(VarianceSliderPos(ActiveDialog()), 3);
    EXPECT_EQ(ItemText(ActiveDialog(), IDC_VARIANCE), "3");
  });
  headless.Press(VK_END).Do([&] {
    EXPECT_EQ(dialog.m_fNoiseVariance, Single(1000.0000610351562));
    EXPECT_EQ(VarianceSliderPos(ActiveDialog()), 1000);
    EXPECT_EQ(ItemText(ActiveDialog(), IDC_VARIANCE), "1000");
  });
  headless.Press(VK_PRIOR).Do([&] { EXPECT_EQ(VarianceSliderPos(ActiveDialog()), 950); });
  EXPECT_EQ(dialog.DoModal(), IDCANCEL);
  EXPECT_TRUE(headless.MessageBoxes().empty());
}

TEST_F(TvDialog, MultiplicativeSliderPositionsAndTheirRoundTrip) {
  TypedDialog dialog(kMultiplicative);
  headless.Do([&] {
    EXPECT_EQ(dialog.m_fNoiseVariance, 1.0f) << "lowered to the multiplicative maximum";
    EXPECT_EQ(VarianceSliderPos(ActiveDialog()), 1000);
  });
  headless.Press(VK_TAB).Press(VK_HOME);
  for (int page = 0; page < 14; ++page) headless.Press(VK_NEXT);
  headless.Do([&] {
    EXPECT_EQ(dialog.m_fNoiseVariance, Single(0.7000000476837158));
    EXPECT_EQ(VarianceSliderPos(ActiveDialog()), 700) << "stays at 700";
    EXPECT_EQ(ItemText(ActiveDialog(), IDC_VARIANCE), "0.7");
  });
  headless.Press(VK_HOME);
  for (int step = 0; step < 33; ++step) headless.Press(VK_RIGHT);
  headless.Do([&] {
    EXPECT_EQ(dialog.m_fNoiseVariance, Single(0.032999999821186066));
    EXPECT_EQ(VarianceSliderPos(ActiveDialog()), 32) << "one lower after the round trip";
  });
  headless.Press(VK_END).Do([&] { EXPECT_EQ(dialog.m_fNoiseVariance, 1.0f); });
  EXPECT_EQ(dialog.DoModal(), IDCANCEL);
}

TEST_F(TvDialog, ArrowKeysGetPastAPositionThatComesBackOneLower) {
  TypedDialog dialog(kMultiplicative);
  headless.Press(VK_TAB).Press(VK_HOME);
  for (int step = 0; step < 35; ++step) headless.Press(VK_RIGHT);
  headless.Do([&] {
    // The key's release reports the slider where the exchange put it (32);
    // reading the variance back from there would hold the slider at 32 for
    // ever, however often the key is pressed.
    EXPECT_EQ(dialog.m_fNoiseVariance, CTvDialog::PositionToVariance(34, kMultiplicative));
    EXPECT_EQ(VarianceSliderPos(ActiveDialog()), 34);
  });
  EXPECT_EQ(dialog.DoModal(), IDCANCEL);
}

TEST_F(TvDialog, OkReadsTheFieldsSoTheVarianceIsWhatTheFieldShows) {
  TypedDialog dialog(kMultiplicative);
  headless.Press(VK_TAB).Press(VK_HOME);
  for (int page = 0; page < 14; ++page) headless.Press(VK_NEXT);
  headless.Click(IDOK);
  EXPECT_EQ(dialog.DoModal(), IDOK);
  EXPECT_EQ(dialog.m_fNoiseVariance, Single(0.7)) << "the field shows 0.7, not 0.70000005";
  EXPECT_EQ(dialog.m_nIterations, 20);
}

TEST_F(TvDialog, ATypedVarianceMovesTheSliderWhenTheFieldIsLeft) {
  TypedDialog dialog(kMultiplicative);
  TypeInto(IDC_VARIANCE, "0.7");
  headless.Do([&] { EXPECT_EQ(VarianceSliderPos(ActiveDialog()), 1000) << "not before the field is left"; });
  headless.Press(VK_TAB).Do([&] {
    EXPECT_EQ(dialog.m_fNoiseVariance, Single(0.699999988079071));
    EXPECT_EQ(VarianceSliderPos(ActiveDialog()), 699);
  });
  EXPECT_EQ(dialog.DoModal(), IDCANCEL);
  EXPECT_TRUE(headless.MessageBoxes().empty());
}

TEST_F(TvDialog, AVarianceAboveTheMaximumIsRefusedOnLeavingAndOnOk) {
  TypedDialog dialog(kMultiplicative);
  TypeInto(IDC_VARIANCE, "1.5");
  headless.Press(VK_TAB).Do([&] {
    EXPECT_EQ(GetFocus(), ActiveItem(IDC_VARIANCE)) << "the focus comes back to the field";
    EXPECT_EQ(dialog.m_fNoiseVariance, 1.5f) << "read before the range check";
    EXPECT_EQ(VarianceSliderPos(ActiveDialog()), 1000) << "the slider keeps its position";
  });
  headless.Click(IDOK).Do([&] { EXPECT_TRUE(IsWindow(ActiveDialog())) << "the dialog stays open"; });
  headless.Press(VK_ESCAPE);
  EXPECT_EQ(dialog.DoModal(), IDCANCEL);
  EXPECT_THAT(BoxTexts(), ElementsAre("Enter a number from 0 to 1.", "Enter a number from 0 to 1."));
}

TEST_F(TvDialog, FieldLimitsOnFocusLoss) {
  CTvDialog dialog(IDD_TV_PARAMETERS, nullptr);
  ASSERT_TRUE(dialog.Create(IDD_TV_PARAMETERS));
  HWND hDlg = dialog.m_hWnd;
  struct Case {
    int id;
    const char* text;
    bool accepted;
  };
  const Case cases[] = {
      {IDC_VARIANCE, "0", true},       {IDC_VARIANCE, "-1", false},      {IDC_VARIANCE, "10000000", true},
      {IDC_VARIANCE, "10000001", false}, {IDC_VARIANCE, "five", false},  {IDC_ITERATIONS, "1", true},
      {IDC_ITERATIONS, "1000", true},  {IDC_ITERATIONS, "0", false},     {IDC_ITERATIONS, "1001", false},
      {IDC_ITERATIONS, "2.5", false},  {IDC_ITERATIONS, "abc", false},    {IDC_VARIANCE, "12.5", true},
      {IDC_ITERATIONS, "999", true},
  };
  for (const Case& c : cases) {
    headless.ClearRecords();
    HWND hField = GetDlgItem(hDlg, c.id);
    SetWindowTextA(hField, c.text);
    SetFocus(GetDlgItem(hDlg, IDOK));
    SendMessageA(hDlg, WM_COMMAND, MAKEWPARAM(c.id, FDN_KILLFOCUS), reinterpret_cast<LPARAM>(hField));
    EXPECT_EQ(headless.MessageBoxes().empty(), c.accepted) << c.text;
    EXPECT_EQ(GetFocus() == hField, !c.accepted) << c.text;
  }
  EXPECT_EQ(dialog.m_fNoiseVariance, 12.5f);
  EXPECT_EQ(VarianceSliderPos(hDlg), 12);
  EXPECT_EQ(dialog.m_nIterations, 999);
  EXPECT_EQ(TrackbarPos(GetDlgItem(hDlg, IDC_ITERATIONS_SLIDER)), 999);
  PumpMessages();
  dialog.DestroyWindow();
}

TEST_F(TvDialog, AFailureOtherThanTheFrameworksIsSwallowedToo) {
  CTvDialog dialog(IDD_TV_PARAMETERS, nullptr);
  ASSERT_TRUE(dialog.Create(IDD_TV_PARAMETERS));
  HWND hField = GetDlgItem(dialog.m_hWnd, IDC_ITERATIONS);
  SetWindowTextA(hField, "0");
  SetFocus(GetDlgItem(dialog.m_hWnd, IDOK));
  // The refusal's own box fails with a standard exception.
  dialog_test::FailingBoxes failing;
  {
    win::PresentationScope scope(failing);
    EXPECT_NO_THROW(
        SendMessageA(dialog.m_hWnd, WM_COMMAND, MAKEWPARAM(IDC_ITERATIONS, FDN_KILLFOCUS), reinterpret_cast<LPARAM>(hField)));
  }
  EXPECT_EQ(GetFocus(), hField);
  PumpMessages();
  dialog.DestroyWindow();
}

TEST_F(TvDialog, SettingTheNoiseTypeLowersButNeverRaisesTheVariance) {
  CTvDialog dialog(IDD_TV_PARAMETERS, nullptr);
  ASSERT_TRUE(dialog.Create(IDD_TV_PARAMETERS));
  HWND hDlg = dialog.m_hWnd;
  HWND hVarianceEdit = GetDlgItem(hDlg, IDC_VARIANCE);
  HWND hIterationsEdit = GetDlgItem(hDlg, IDC_ITERATIONS);
  {
    win::MessageSpy spy;
    dialog.SetNoiseType(0);
    dialog.SetNoiseVariance(5.0f);
    dialog.SetNoiseVariance(std::numeric_limits<float>::quiet_NaN());
    dialog.SetIterations(20);
    EXPECT_THAT(spy.Records(), IsEmpty()) << "an unchanged value changes nothing, not even the field";
  }
  win::MessageSpy spy;
  dialog.SetNoiseType(1);
  EXPECT_EQ(dialog.m_fNoiseVariance, 1.0f);
  EXPECT_EQ(ItemText(hDlg, IDC_VARIANCE), "1");
  EXPECT_EQ(VarianceSliderPos(hDlg), 1000);
  EXPECT_EQ(spy.Count(hIterationsEdit, WM_SETTEXT), 0) << "only the variance is exchanged";

  dialog.SetNoiseType(0);
  EXPECT_EQ(dialog.m_fNoiseVariance, 1.0f);
  EXPECT_EQ(VarianceSliderPos(hDlg), 1);

  spy.Clear();
  dialog.SetNoiseVariance(2500.0f);
  EXPECT_EQ(dialog.m_fNoiseVariance, 2500.0f) << "stored unclamped";
  EXPECT_EQ(ItemText(hDlg, IDC_VARIANCE), "2500");
  HWND hSlider = GetDlgItem(hDlg, IDC_VARIANCE_SLIDER);
  EXPECT_THAT(spy.To(hSlider, Delivery::Sent), ElementsAre(win::Sent(hSlider, TBM_SETPOS, TRUE, 2500)));
  EXPECT_EQ(TrackbarPos(hSlider), 1000) << "the trackbar shows its upper end";
  EXPECT_EQ(spy.Count(hVarianceEdit, WM_SETTEXT), 1);
  dialog.DestroyWindow();
}

TEST_F(TvDialog, BothScrollMessagesFromASliderAreHandledAlike) {
  CTvDialog dialog(IDD_TV_PARAMETERS, nullptr);
  ASSERT_TRUE(dialog.Create(IDD_TV_PARAMETERS));
  HWND hDlg = dialog.m_hWnd;
  HWND hVariance = GetDlgItem(hDlg, IDC_VARIANCE_SLIDER);
  HWND hIterations = GetDlgItem(hDlg, IDC_ITERATIONS_SLIDER);
  SendMessageA(hVariance, TBM_SETPOS, TRUE, 7);
  SendMessageA(hDlg, WM_VSCROLL, MAKEWPARAM(SB_THUMBPOSITION, 7), reinterpret_cast<LPARAM>(hVariance));
  EXPECT_EQ(dialog.m_fNoiseVariance, CTvDialog::PositionToVariance(7, kAdditive));
  SendMessageA(hIterations, TBM_SETPOS, TRUE, 30);
  SendMessageA(hDlg, WM_HSCROLL, MAKEWPARAM(SB_ENDSCROLL, 0), reinterpret_cast<LPARAM>(hIterations));
  EXPECT_EQ(dialog.m_nIterations, 30);
  EXPECT_EQ(ItemText(hDlg, IDC_ITERATIONS), "30");

  // A scroll message from any other control, or from none, changes nothing.
  win::MessageSpy spy;
  SendMessageA(hDlg, WM_HSCROLL, MAKEWPARAM(SB_LINEDOWN, 0), reinterpret_cast<LPARAM>(GetDlgItem(hDlg, IDOK)));
  SendMessageA(hDlg, WM_VSCROLL, MAKEWPARAM(SB_LINEDOWN, 0), 0);
  EXPECT_EQ(dialog.m_fNoiseVariance, CTvDialog::PositionToVariance(7, kAdditive));
  EXPECT_EQ(dialog.m_nIterations, 30);
  EXPECT_EQ(spy.Count(hVariance, TBM_SETPOS) + spy.Count(hIterations, TBM_SETPOS), 0);
  dialog.DestroyWindow();
}

TEST_F(TvDialog, CancelReadsNothingEvenFromAnInvalidField) {
  CTvDialog dialog(IDD_TV_PARAMETERS, nullptr);
  TypeInto(IDC_VARIANCE, "abc");
  headless.Click(IDCANCEL);
  EXPECT_EQ(dialog.DoModal(), IDCANCEL);
  EXPECT_TRUE(headless.MessageBoxes().empty());
  EXPECT_EQ(dialog.m_fNoiseVariance, 5.0f);
}

TEST_F(TvDialog, TwoInvalidFieldsDoNotSendTheFocusBackAndForth) {
  CTvDialog dialog(IDD_TV_PARAMETERS, nullptr);
  // A safety net: end the run if the fields keep asking for validation.
  int requests = 0;
  const int cookie = win::AddMessageObserver([&](const win::MessageRecord& record) {
    if (record.delivery == Delivery::Posted && record.message == WM_COMMAND &&
        HIWORD(record.wParam) == FDN_KILLFOCUS && ++requests > 20) {
      EndDialog(record.hwnd, -2);
    }
  });
  TypeInto(IDC_VARIANCE, "abc");
  // Pressing Cancel and letting go elsewhere takes the focus without a check.
  headless.Do([] {
    const POINT cancel = win::WindowCentreOnScreen(ActiveItem(IDCANCEL));
    const POINT away = win::WindowCentreOnScreen(ActiveItem(IDC_VARIANCE_SLIDER));
    win::PostMouseInput(WM_LBUTTONDOWN, cancel);
    win::PostMouseInput(WM_MOUSEMOVE, away);
    win::PostMouseInput(WM_LBUTTONUP, away);
  });
  headless.Do([] { EXPECT_EQ(GetFocus(), ActiveItem(IDCANCEL)); });
  headless.Click(IDC_ITERATIONS);
  TypeInto(IDC_ITERATIONS, "0");
  headless.Click(IDC_VARIANCE);
  headless.Do([] { EXPECT_EQ(GetFocus(), ActiveItem(IDC_ITERATIONS)); });
  headless.Click(IDCANCEL);
  const INT_PTR result = dialog.DoModal();
  win::RemoveMessageObserver(cookie);
  EXPECT_EQ(result, IDCANCEL);
  EXPECT_THAT(BoxTexts(), ElementsAre("Enter a whole number from 1 to 1000."));
}

}  // namespace
