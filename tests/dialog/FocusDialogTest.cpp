// The deferred validation request: when an edit field loses the focus to
// anything but Cancel, FDN_KILLFOCUS is posted for it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

#include "dialog/DialogTestSupport.h"
#include "dialog/FocusDialog.h"
#include "dialog/ParameterDlg.h"
#include "dialog/Resource.h"

namespace {

using dialog_test::DialogTest;
using dialog_test::PumpMessages;
using win::Delivery;
using win::MessageRecord;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

// Validates both fields by recording the requests; may send the focus back
// to the variance field, as a failed validation does.
class ValidatingDialog : public CFocusDialog {
 public:
  ValidatingDialog() : CFocusDialog(IDD_TV_PARAMETERS, nullptr) {}
  std::vector<UINT> validated;
  bool refocusVariance = false;

 protected:
  void OnValidateVariance() {
    validated.push_back(IDC_VARIANCE);
    if (refocusVariance) FocusControl(IDC_VARIANCE);
  }
  void OnValidateIterations() { validated.push_back(IDC_ITERATIONS); }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(ValidatingDialog, CFocusDialog)
  ON_CONTROL(FDN_KILLFOCUS, IDC_VARIANCE, OnValidateVariance)
  ON_CONTROL(FDN_KILLFOCUS, IDC_ITERATIONS, OnValidateIterations)
END_MESSAGE_MAP()

// Handles the iterations field's EN_KILLFOCUS itself.
class OwnKillFocusDialog : public CFocusDialog {
 public:
  OwnKillFocusDialog() : CFocusDialog(IDD_TV_PARAMETERS, nullptr) {}
  int ownKillFocus = 0;

 protected:
  void OnKillFocusIterations() { ++ownKillFocus; }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(OwnKillFocusDialog, CFocusDialog)
  ON_EN_KILLFOCUS(IDC_ITERATIONS, OnKillFocusIterations)
END_MESSAGE_MAP()

class FocusDialog : public DialogTest {
 protected:
  void Open(CDialog& dialog) {
    ASSERT_TRUE(dialog.Create(IDD_TV_PARAMETERS));
    hDlg = dialog.m_hWnd;
    hVariance = GetDlgItem(hDlg, IDC_VARIANCE);
    hIterations = GetDlgItem(hDlg, IDC_ITERATIONS);
    PumpMessages();
  }
  std::vector<MessageRecord> Posted(const win::MessageSpy& spy) const { return spy.To(hDlg, Delivery::Posted); }
  MessageRecord Request(UINT id, HWND hCtrl) const {
    return win::Posted(hDlg, WM_COMMAND, MAKEWPARAM(id, FDN_KILLFOCUS), reinterpret_cast<LPARAM>(hCtrl));
  }

  HWND hDlg = nullptr, hVariance = nullptr, hIterations = nullptr;
};

TEST_F(FocusDialog, LeavingAFieldForCancelRequestsNothing) {
  ValidatingDialog dialog;
  Open(dialog);
  SetFocus(hVariance);
  win::MessageSpy spy;
  SetFocus(GetDlgItem(hDlg, IDCANCEL));
  EXPECT_EQ(spy.Count(hVariance, WM_KILLFOCUS), 1);
  EXPECT_THAT(Posted(spy), IsEmpty());
  PumpMessages();
  EXPECT_THAT(dialog.validated, IsEmpty());
  dialog.DestroyWindow();
}

TEST_F(FocusDialog, LeavingAFieldForAnythingElseRequestsItsValidationOnce) {
  ValidatingDialog dialog;
  Open(dialog);
  for (int target : {IDOK, IDC_ITERATIONS, IDC_VARIANCE_SLIDER, IDC_HELP_BUTTON}) {
    SetFocus(hVariance);
    PumpMessages();
    dialog.validated.clear();
    win::MessageSpy spy;
    SetFocus(GetDlgItem(hDlg, target));
    EXPECT_THAT(Posted(spy), ElementsAre(Request(IDC_VARIANCE, hVariance))) << "to " << target;
    EXPECT_THAT(dialog.validated, IsEmpty()) << "deferred until the focus change is over";
    PumpMessages();
    EXPECT_THAT(dialog.validated, ElementsAre(IDC_VARIANCE)) << "to " << target;
  }
  dialog.DestroyWindow();
}

TEST_F(FocusDialog, AFieldWhoseKillFocusTheDialogHandlesItselfIsNotRequested) {
  OwnKillFocusDialog dialog;
  Open(dialog);
  SetFocus(hIterations);
  win::MessageSpy spy;
  SetFocus(GetDlgItem(hDlg, IDOK));
  EXPECT_EQ(dialog.ownKillFocus, 1);
  EXPECT_THAT(Posted(spy), IsEmpty());
  // The field without a handler of its own still is.
  SetFocus(hVariance);
  SetFocus(GetDlgItem(hDlg, IDOK));
  EXPECT_THAT(Posted(spy), ElementsAre(Request(IDC_VARIANCE, hVariance)));
  dialog.DestroyWindow();
}

TEST_F(FocusDialog, RoutingAnswersFalseAndPostsNothingForQueriesAndIdentifierZero) {
  OwnKillFocusDialog dialog;
  Open(dialog);
  win::MessageSpy spy;
  EXPECT_FALSE(dialog.OnCmdMsg(0, EN_KILLFOCUS, nullptr, nullptr));
  AFX_CMDHANDLERINFO info{};
  EXPECT_FALSE(dialog.OnCmdMsg(IDC_VARIANCE, EN_KILLFOCUS, nullptr, &info));
  EXPECT_FALSE(dialog.OnCmdMsg(IDC_VARIANCE, FDN_KILLFOCUS, nullptr, nullptr)) << "no handler for it";
  EXPECT_THAT(Posted(spy), IsEmpty());
  // A query the base answers is answered, and posts nothing either.
  EXPECT_TRUE(dialog.OnCmdMsg(IDC_ITERATIONS, EN_KILLFOCUS, nullptr, &info));
  EXPECT_EQ(info.pTarget, &dialog);
  EXPECT_EQ(dialog.ownKillFocus, 0);
  // A direct notification posts and still counts as unhandled.
  EXPECT_FALSE(dialog.OnCmdMsg(IDC_VARIANCE, EN_KILLFOCUS, nullptr, nullptr));
  EXPECT_EQ(Posted(spy).size(), 1u);
  dialog.DestroyWindow();
}

TEST_F(FocusDialog, WithoutACancelButtonOnlyAFocusLostToNoWindowGoesUnchecked) {
  ValidatingDialog dialog;
  Open(dialog);
  DestroyWindow(GetDlgItem(hDlg, IDCANCEL));
  SetFocus(hVariance);
  win::MessageSpy spy;
  SetFocus(GetDlgItem(hDlg, IDOK));
  EXPECT_EQ(Posted(spy).size(), 1u);
  SetFocus(hVariance);
  spy.Clear();
  SetFocus(nullptr);
  EXPECT_THAT(Posted(spy), IsEmpty());
  dialog.DestroyWindow();
}

TEST_F(FocusDialog, FocusMovesOfAValidationHandlerRequestNoFurtherValidation) {
  ValidatingDialog dialog;
  Open(dialog);
  dialog.refocusVariance = true;
  SetFocus(hVariance);
  SetFocus(hIterations);
  PumpMessages();
  // The handler sent the focus back from the iterations field: checking that
  // field now would answer a move the user never made.
  EXPECT_THAT(dialog.validated, ElementsAre(IDC_VARIANCE));
  EXPECT_EQ(GetFocus(), hVariance);
  // The user's next move is checked again.
  dialog.validated.clear();
  SetFocus(GetDlgItem(hDlg, IDOK));
  PumpMessages();
  EXPECT_THAT(dialog.validated, ElementsAre(IDC_VARIANCE));
  dialog.DestroyWindow();
}

TEST_F(FocusDialog, FocusControlMovesTheFocusOnlyToAControlThatExists) {
  ValidatingDialog dialog;
  Open(dialog);
  SetFocus(hVariance);
  dialog.FocusControl(9999);
  EXPECT_EQ(GetFocus(), hVariance);
  dialog.FocusControl(IDC_ITERATIONS);
  EXPECT_EQ(GetFocus(), hIterations);
  PumpMessages();
  dialog.DestroyWindow();
}

TEST(FocusDialogClass, DerivedDialogsAnswerWithTheFocusDialogRecord) {
  const CRuntimeClass* record = RUNTIME_CLASS(CFocusDialog);
  EXPECT_STREQ(record->m_lpszClassName, "CFocusDialog");
  EXPECT_EQ(record->m_pBaseClass, RUNTIME_CLASS(CDialog));
  EXPECT_EQ(record->m_pfnCreateObject, nullptr);
  CTvDialog tv(IDD_TV_PARAMETERS, nullptr);
  CParameterDlg parameters(nullptr, nullptr);
  EXPECT_EQ(tv.GetRuntimeClass(), record);
  EXPECT_EQ(parameters.GetRuntimeClass(), record);
  EXPECT_TRUE(parameters.IsKindOf(RUNTIME_CLASS(CDialog)));
}

}  // namespace
