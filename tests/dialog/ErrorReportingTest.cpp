// The error boxes: exact texts, the error icon, the plug-in's caption, and
// host errors reported at most once.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "dialog/DialogTestSupport.h"
#include "errors/ErrorReporting.h"
#include "host/HostErrors.h"

namespace {

using dialog_test::DialogTest;
using ::testing::ElementsAre;

const std::string kPrefix = "An error occurred while trying to perform the operation: \n\n\t";
const std::string kGeneric = "An error occurred while trying to perform the operation.";

// A host error that records which of its operations the reporting calls,
// and how many boxes had been shown when SetReported came.
template <class Base>
class SpyError : public Base {
 public:
  SpyError(std::string message, bool reported, const win::HeadlessPresentation& boxes)
      : Base(std::move(message)), m_boxes(boxes) {
    Base::SetReported(reported ? 1 : 0);
  }
  unsigned char IsReported() override {
    calls.push_back("IsReported");
    return Base::IsReported();
  }
  void SetReported(unsigned char reported) override {
    calls.push_back("SetReported(" + std::to_string(reported) + ")");
    boxesAtSetReported = m_boxes.MessageBoxes().size();
    Base::SetReported(reported);
  }
  std::string GetMessageText() override {
    calls.push_back("GetMessageText");
    return Base::GetMessageText();
  }
  std::vector<std::string> calls;
  std::size_t boxesAtSetReported = 0;

 private:
  const win::HeadlessPresentation& m_boxes;
};

class SpyShowable : public SpyError<ShowableError> {
 public:
  using SpyError<ShowableError>::SpyError;
  void Show() override { calls.push_back("Show"); }
};

class ErrorReporting : public DialogTest {
 protected:
  std::vector<std::string> BoxTexts() const { return dialog_test::BoxTexts(headless); }
};

TEST_F(ErrorReporting, AnEmptyOrMissingTextShowsTheGenericMessageInAnErrorBox) {
  ShowError(nullptr);
  ShowError("");
  ASSERT_THAT(BoxTexts(), ElementsAre(kGeneric, kGeneric));
  for (const auto& box : headless.MessageBoxes()) {
    EXPECT_EQ(box.style, static_cast<UINT>(MB_ICONERROR));
    EXPECT_EQ(box.caption, "Total Variation Denoise");
  }
}

TEST_F(ErrorReporting, ADetailFollowsThePrefixDirectly) {
  ShowError("disk full");
  ShowError("x");
  EXPECT_THAT(BoxTexts(), ElementsAre(kPrefix + "disk full", kPrefix + "x"));
  EXPECT_EQ(headless.MessageBoxes()[1].style, static_cast<UINT>(MB_ICONERROR));
}

TEST_F(ErrorReporting, AnAnonymousFailureNamesItsContextInQuotes) {
  ReportUnknownError(nullptr);
  ReportUnknownError("");
  ReportUnknownError("Calvane Parameters");
  EXPECT_THAT(BoxTexts(), ElementsAre(kPrefix + "An unknown error occurred", kPrefix + "An unknown error occurred in ''",
                                      kPrefix + "An unknown error occurred in 'Calvane Parameters'"));
}

TEST_F(ErrorReporting, AStandardExceptionIsShownByItsText) {
  std::runtime_error error("the curvature library is missing");
  ReportException(error);
  EXPECT_THAT(BoxTexts(), ElementsAre(kPrefix + "the curvature library is missing"));
}

TEST_F(ErrorReporting, AStandardExceptionWithoutTextShowsTheGenericMessage) {
  struct Silent : std::exception {
    const char* what() const noexcept override { return nullptr; }
  } silent;
  struct Empty : std::exception {
    const char* what() const noexcept override { return ""; }
  } empty;
  ReportException(silent);
  ReportStdException(empty);
  EXPECT_THAT(BoxTexts(), ElementsAre(kGeneric, kGeneric));
}

TEST_F(ErrorReporting, AHostErrorIsShownThenMarkedReportedOnce) {
  SpyError<AlertableError> error("the image is locked", false, headless);
  ReportException(error);
  EXPECT_THAT(BoxTexts(), ElementsAre(kPrefix + "the image is locked"));
  EXPECT_THAT(error.calls, ElementsAre("IsReported", "GetMessageText", "SetReported(1)"));
  EXPECT_EQ(error.boxesAtSetReported, 1u) << "marked reported only after the box";

  // Reported now: a second report shows nothing.
  error.calls.clear();
  ReportException(error);
  EXPECT_EQ(headless.MessageBoxes().size(), 1u);
  EXPECT_THAT(error.calls, ElementsAre("IsReported"));
}

TEST_F(ErrorReporting, AHostErrorWithoutMessageShowsTheGenericMessage) {
  SpyError<AlertableError> error("", false, headless);
  ReportAlertableError(error);
  EXPECT_THAT(BoxTexts(), ElementsAre(kGeneric));
  EXPECT_THAT(error.calls, ElementsAre("IsReported", "GetMessageText", "SetReported(1)"));
  EXPECT_EQ(error.boxesAtSetReported, 1u);
}

TEST_F(ErrorReporting, AnAlreadyReportedHostErrorShowsNothingAndIsNotTouched) {
  SpyError<AlertableError> plain("told already", true, headless);
  SpyShowable showable("told already", true, headless);
  ReportException(plain);
  ReportException(showable);
  EXPECT_TRUE(headless.MessageBoxes().empty());
  EXPECT_THAT(plain.calls, ElementsAre("IsReported"));
  EXPECT_THAT(showable.calls, ElementsAre("IsReported"));
}

TEST_F(ErrorReporting, AShowableErrorShowsItselfAndNothingElse) {
  SpyShowable showable("the host shows this", false, headless);
  ReportException(showable);
  EXPECT_TRUE(headless.MessageBoxes().empty());
  EXPECT_THAT(showable.calls, ElementsAre("IsReported", "Show"));
}

TEST_F(ErrorReporting, AHostErrorWhoseBoxFailedIsNotMarkedReported) {
  dialog_test::FailingBoxes failing;
  win::PresentationScope scope(failing);
  SpyError<AlertableError> error("the image is locked", false, headless);
  EXPECT_THROW(ReportAlertableError(error), std::runtime_error);
  EXPECT_THAT(error.calls, ElementsAre("IsReported", "GetMessageText"));
  EXPECT_EQ(error.IsReported(), 0);
}

// A framework exception with a message of its own that tells when it goes.
class TrackedException : public CException {
 public:
  explicit TrackedException(bool* destroyed) : m_destroyed(destroyed) {}
  ~TrackedException() override { *m_destroyed = true; }
  BOOL GetErrorMessage(LPSTR lpszError, UINT nMaxError, PUINT pnHelpContext) override {
    lstrcpynA(lpszError, "The template is damaged.", static_cast<int>(nMaxError));
    if (pnHelpContext != nullptr) *pnHelpContext = 0;
    return TRUE;
  }

 private:
  bool* m_destroyed;
};

TEST_F(ErrorReporting, AFrameworkExceptionReportsItselfAndStaysAlive) {
  bool destroyed = false;
  CException* error = new TrackedException(&destroyed);
  headless.AnswerMessageBox(IDOK);
  EXPECT_EQ(ReportCException(error), IDOK);
  ASSERT_EQ(headless.MessageBoxes().size(), 1u);
  EXPECT_EQ(headless.MessageBoxes()[0].text, "The template is damaged.");
  EXPECT_EQ(headless.MessageBoxes()[0].caption, "Total Variation Denoise");
  EXPECT_EQ(headless.MessageBoxes()[0].style & MB_TYPEMASK, static_cast<UINT>(MB_OK));
  EXPECT_FALSE(destroyed);
  error->Delete();
  EXPECT_TRUE(destroyed);
}

}  // namespace
