// Dialog data exchange and CDialog: number text, the exchange in both
// directions, failures (message box, focus, exception) and modal runs.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>
#include <stdexcept>

#include "AfxTestSupport.h"

using namespace platform_test;
using ::testing::ElementsAre;

namespace {

// ---- Number text ----------------------------------------------------------------------

TEST(NumberText, FloatsShowUpToSixSignificantDigitsWithoutAnExponentInFieldRanges) {
  auto show = [](float value) { return std::string(AfxFormatNumber(value, FLT_DIG)); };
  EXPECT_EQ(show(5.0f), "5");
  EXPECT_EQ(show(0.7f), "0.7");
  EXPECT_EQ(show(10000000.0f), "10000000");
  EXPECT_EQ(show(3.000000238418579f), "3");
  EXPECT_EQ(show(1000.0000610351562f), "1000");
  EXPECT_EQ(show(0.032999999821186066f), "0.033");
  EXPECT_EQ(show(0.699999988079071f), "0.7");
  EXPECT_EQ(show(123456789.0f), "123457000");
  EXPECT_EQ(show(1e-7f), "0.0000001");
  EXPECT_EQ(show(-2.5f), "-2.5");
  EXPECT_EQ(show(-0.0f), "0");
  EXPECT_EQ(show(FLT_MAX), "3.40282e+38");
  EXPECT_EQ(std::string(AfxFormatNumber(0.1, DBL_DIG)), "0.1");
  EXPECT_EQ(std::string(AfxFormatNumber(1.0 / 3.0, DBL_DIG)), "0.333333333333333");
}

TEST(NumberText, ReadingTakesOneNumberBetweenOptionalBlanksAndNothingElse) {
  double value = -1;
  for (const char* good : {"  1.5\t", "+2", "-0.25", ".5", "5.", "1e3", "1E-2", "0012", "0"}) {
    EXPECT_TRUE(AfxParseDouble(good, &value)) << good;
  }
  ASSERT_TRUE(AfxParseDouble(" 1e3 ", &value));
  EXPECT_EQ(value, 1000.0);
  ASSERT_TRUE(AfxParseDouble("1e-999", &value));
  EXPECT_EQ(value, 0.0) << "too small to tell from zero";
  for (const char* bad : {"", " ", "1,5", "abc", "1.5x", "nan", "inf", "0x10", "1 2", "e5", "1e", "--1", ".",
                          "1e999", "1.5.2"}) {
    EXPECT_FALSE(AfxParseDouble(bad, &value)) << bad;
  }
  int number = -1;
  ASSERT_TRUE(AfxParseInt(" 42 ", &number));
  EXPECT_EQ(number, 42);
  ASSERT_TRUE(AfxParseInt("-2147483648", &number));
  EXPECT_EQ(number, std::numeric_limits<int>::min());
  EXPECT_TRUE(AfxParseInt("+7", &number));
  for (const char* bad : {"2147483648", "1.0", "1e3", "", "4 2", "+", "0x1"}) {
    EXPECT_FALSE(AfxParseInt(bad, &number)) << bad;
  }
}

// ---- The exchange ---------------------------------------------------------------------

class CFieldsDialog : public CDialog {
 public:
  CFieldsDialog() : CDialog(kDialogId) {}

  void DoDataExchange(CDataExchange* pDX) override {
    DDX_Text(pDX, kFirstEdit, m_fFirst);
    DDV_MinMaxFloat(pDX, m_fFirst, 0.0f, 10000000.0f);
    DDX_Text(pDX, kSecondEdit, m_nSecond);
    DDV_MinMaxInt(pDX, m_nSecond, 1, 1000);
  }

  afx_msg void OnFirstChanged() { ++m_nChanges; }

  float m_fFirst = 5.0f;
  int m_nSecond = 20;
  int m_nChanges = 0;

  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CFieldsDialog, CDialog)
  ON_EN_CHANGE(kFirstEdit, OnFirstChanged)
END_MESSAGE_MAP()

class DataExchangeTest : public AfxTest {
 protected:
  static std::string FieldText(int id) { return TextOf(GetDlgItem(GetActiveWindow(), id)); }

  static std::pair<DWORD, DWORD> FieldSelection(int id) {
    DWORD start = 0, end = 0;
    SendMessageA(GetDlgItem(GetActiveWindow(), id), EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                 reinterpret_cast<LPARAM>(&end));
    return {start, end};
  }

  std::vector<std::string> BoxTexts() const {
    std::vector<std::string> texts;
    for (const auto& box : headless.MessageBoxes()) texts.push_back(box.text);
    return texts;
  }
};

TEST_F(DataExchangeTest, OpeningShowsTheMembersAndOkWithoutChangesKeepsThem) {
  CFieldsDialog dialog;
  headless.Do([&] {
    EXPECT_EQ(FieldText(kFirstEdit), "5");
    EXPECT_EQ(FieldText(kSecondEdit), "20");
    EXPECT_EQ(dialog.m_nChanges, 0) << "notifications are ignored while data is exchanged";
    EXPECT_EQ(GetDlgCtrlID(GetFocus()), kFirstEdit);
  });
  headless.Press(VK_RETURN);
  EXPECT_EQ(dialog.DoModal(), IDOK);
  EXPECT_EQ(dialog.m_fFirst, 5.0f);
  EXPECT_EQ(dialog.m_nSecond, 20);
  EXPECT_TRUE(headless.MessageBoxes().empty());
  EXPECT_EQ(dialog.m_hWnd, nullptr) << "the window went with the modal run";
}

TEST_F(DataExchangeTest, OkReadsWhatTheUserTyped) {
  CFieldsDialog dialog;
  headless.Type("0.7").Press(VK_TAB).Press(VK_TAB).Type(" 30 ").Press(VK_RETURN);
  EXPECT_EQ(dialog.DoModal(), IDOK);
  EXPECT_EQ(dialog.m_fFirst, 0.7f);
  EXPECT_EQ(dialog.m_nSecond, 30);
  EXPECT_GT(dialog.m_nChanges, 0) << "typing notifies";
}

TEST_F(DataExchangeTest, AMalformedNumberKeepsTheDialogOpenWithTheFieldSelected) {
  CFieldsDialog dialog;
  headless.Type("abc").Press(VK_RETURN);
  headless.Do([] {
    EXPECT_EQ(GetDlgCtrlID(GetFocus()), kFirstEdit);
    EXPECT_EQ(FieldSelection(kFirstEdit), std::make_pair(DWORD{0}, DWORD{3}));
  });
  headless.Type("7").Press(VK_RETURN);
  EXPECT_EQ(dialog.DoModal(), IDOK);
  EXPECT_EQ(dialog.m_fFirst, 7.0f);
  ASSERT_EQ(headless.MessageBoxes().size(), 1u);
  const win::MessageBoxRecord& box = headless.MessageBoxes()[0];
  EXPECT_EQ(box.text, "Enter a number.");
  EXPECT_EQ(box.caption, kTestAppTitle);
  EXPECT_EQ(box.style, static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION));
}

TEST_F(DataExchangeTest, AValueOutOfRangeIsReadIntoTheMemberThenRefusedWithTheRange) {
  CFieldsDialog dialog;
  headless.Press(VK_TAB).Press(VK_TAB).Type("1001").Press(VK_RETURN);
  headless.Do([&] {
    EXPECT_EQ(GetDlgCtrlID(GetFocus()), kSecondEdit);
    EXPECT_EQ(dialog.m_nSecond, 1001) << "read before it was checked";
  });
  headless.Press(VK_TAB, win::kShift).Press(VK_TAB, win::kShift).Type("-1").Press(VK_RETURN).Press(VK_ESCAPE);
  EXPECT_EQ(dialog.DoModal(), IDCANCEL);
  EXPECT_THAT(BoxTexts(), ElementsAre("Enter a whole number from 1 to 1000.", "Enter a number from 0 to 10000000."));
}

TEST_F(DataExchangeTest, CancelReadsNothing) {
  CFieldsDialog dialog;
  headless.Type("abc").Press(VK_ESCAPE);
  EXPECT_EQ(dialog.DoModal(), IDCANCEL);
  EXPECT_EQ(dialog.m_fFirst, 5.0f);
  EXPECT_TRUE(headless.MessageBoxes().empty());

  CFieldsDialog closed;
  EXPECT_EQ(closed.DoModal(), IDCANCEL) << "an exhausted script closes the dialog";
  EXPECT_THAT(headless.ClosedOnExhaustion(), ElementsAre("Two Fields"));
}

TEST_F(DataExchangeTest, ADialogThatCannotRunAnswersMinusOne) {
  CDialog missing(4321u);
  EXPECT_EQ(missing.DoModal(), -1);

  class CBrokenDialog : public CDialog {
   public:
    CBrokenDialog() : CDialog(kDialogId) {}
    void DoDataExchange(CDataExchange* pDX) override {
      int value = 0;
      DDX_Text(pDX, 999, value);  // no such control
    }
  } broken;
  EXPECT_EQ(broken.DoModal(), -1);
  ASSERT_EQ(headless.MessageBoxes().size(), 1u);
  EXPECT_EQ(headless.MessageBoxes()[0].text, "An unsupported operation was attempted.");
  EXPECT_TRUE(win::TopLevelWindows().empty());
}

// A dialog whose Help button fails the way a host call can.
class CThrowingDialog : public CFieldsDialog {
 public:
  afx_msg void OnHelpButton() { throw std::runtime_error("help failed"); }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CThrowingDialog, CFieldsDialog)
  ON_BN_CLICKED(kHelpButton, OnHelpButton)
END_MESSAGE_MAP()

TEST_F(DataExchangeTest, AnExceptionFromAHandlerLeavesDoModalWithTheDialogGone) {
  AFX_MODULE_STATE* before = AfxGetModuleState();
  CThrowingDialog dialog;
  headless.Click(kHelpButton);
  EXPECT_THROW(dialog.DoModal(), std::runtime_error);
  EXPECT_EQ(dialog.m_hWnd, nullptr);
  EXPECT_TRUE(win::TopLevelWindows().empty());
  EXPECT_EQ(AfxGetModuleState(), before);

  CFieldsDialog next;
  headless.Press(VK_ESCAPE);
  EXPECT_EQ(next.DoModal(), IDCANCEL) << "the next dialog runs as usual";
}

class ModelessExchangeTest : public DataExchangeTest {
 protected:
  void SetUp() override {
    DataExchangeTest::SetUp();
    ASSERT_TRUE(dialog.Create(kDialogId));
    first = ::GetDlgItem(dialog.m_hWnd, kFirstEdit);
    second = ::GetDlgItem(dialog.m_hWnd, kSecondEdit);
  }
  void TearDown() override {
    dialog.DestroyWindow();
    DataExchangeTest::TearDown();
  }

  CFieldsDialog dialog;
  HWND first = nullptr;
  HWND second = nullptr;
};

TEST_F(ModelessExchangeTest, WritingSetsTheTextOnlyWhenItChanges) {
  CDataExchange write(&dialog, FALSE);
  float value = 0.7f;
  win::MessageSpy spy;
  DDX_Text(&write, kFirstEdit, value);
  DDX_Text(&write, kFirstEdit, value);
  EXPECT_EQ(TextOf(first), "0.7");
  EXPECT_EQ(spy.Count(first, WM_SETTEXT), 1);
  float huge = 5000.0f;
  DDV_MinMaxFloat(&write, huge, 0.0f, 1.0f);  // writing: no check
  EXPECT_TRUE(headless.MessageBoxes().empty());
}

TEST_F(ModelessExchangeTest, AFailedReadTellsTheUserFocusesTheFieldAndThrowsByPointer) {
  SetWindowTextA(first, "x1");
  SetFocus(second);
  CDataExchange read(&dialog, TRUE);
  float value = 5.0f;
  bool caught = false;
  try {
    DDX_Text(&read, kFirstEdit, value);
  } catch (CException* e) {
    caught = e->IsKindOf(RUNTIME_CLASS(CUserException)) != FALSE;
    e->Delete();
  }
  EXPECT_TRUE(caught);
  EXPECT_EQ(value, 5.0f) << "a malformed field leaves the member alone";
  EXPECT_EQ(GetFocus(), first);
  DWORD start = 0, end = 0;
  SendMessageA(first, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  EXPECT_EQ(std::make_pair(start, end), std::make_pair(DWORD{0}, DWORD{2}));
  EXPECT_THAT(BoxTexts(), ElementsAre("Enter a number."));
  EXPECT_EQ(read.m_idLastControl, static_cast<UINT>(kFirstEdit));
}

TEST_F(ModelessExchangeTest, NumbersThatDoNotFitAndValuesThatAreNotNumbersFail) {
  auto fails = [&](auto action) {
    try {
      action();
    } catch (CException* e) {
      e->Delete();
      return true;
    }
    return false;
  };
  CDataExchange read(&dialog, TRUE);
  int whole = 0;
  SetWindowTextA(second, "99999999999");
  EXPECT_TRUE(fails([&] { DDX_Text(&read, kSecondEdit, whole); }));
  float single = 0;
  SetWindowTextA(first, "1e39");
  EXPECT_TRUE(fails([&] { DDX_Text(&read, kFirstEdit, single); }));
  float notANumber = std::numeric_limits<float>::quiet_NaN();
  EXPECT_TRUE(fails([&] { DDV_MinMaxFloat(&read, notANumber, 0.0f, 1.0f); }));
  EXPECT_THAT(BoxTexts(), ElementsAre("Enter a whole number from -2147483648 to 2147483647.",
                                      "Enter a number from -3.40282e+38 to 3.40282e+38.",
                                      "Enter a number from 0 to 1."));
  bool notSupported = false;
  try {
    DDX_Text(&read, 999, whole);
  } catch (CException* e) {
    notSupported = e->IsKindOf(RUNTIME_CLASS(CNotSupportedException)) != FALSE;
    e->Delete();
  }
  EXPECT_TRUE(notSupported) << "a control the dialog does not have";
}

}  // namespace
