// The plug-in's error reporting with any thrown value: the configure entry
// runs on a host whose GetParams throws what the input describes (standard
// exceptions with any text or none, host errors reported or not and
// showing themselves or not, framework exceptions, and values of no
// exception type), with the message boxes shown headless.
//
// Findings: a result other than 1, more than one box, a box other than the
// one the failure calls for, a host error shown twice, the module state
// not put back, a framework exception not released (a leak), a sanitizer
// report. A host error whose own operations throw must pass that on.
#include <cstdint>
#include <stdexcept>
#include <string>

#include "afx/afx.h"
#include "afx/afxstate.h"
#include "errors/ErrorReporting.h"
#include "fuzz/FuzzHost.h"
#include "host/HostErrors.h"
#include "host/PluginContext.h"
#include "win/headless.h"

namespace {

using calvane::fuzz::Require;

int g_shown = 0;
void CountShown(const char*) { ++g_shown; }

class NullWhat : public std::exception {
 public:
  const char* what() const noexcept override { return nullptr; }
};

class TextWhat : public std::exception {
 public:
  explicit TextWhat(std::string text) : m_text(std::move(text)) {}
  const char* what() const noexcept override { return m_text.c_str(); }

 private:
  std::string m_text;
};

struct NoBase {
  int value;
};

// Host errors whose message, or presentation, itself fails.
class FailingMessage : public AlertableError {
 public:
  using AlertableError::AlertableError;
  std::string GetMessageText() override { throw std::runtime_error("the message is gone"); }
};

class FailingShow : public ShowableError {
 public:
  using ShowableError::ShowableError;
  void Show() override { throw std::runtime_error("the display is gone"); }
};

enum Kind {
  kRuntimeError, kAlertable, kShowable, kNullWhat, kTextWhat, kMemory, kUser, kNotSupported,
  kInt, kCString, kString, kNoBase, kFailingAlertable, kFailingShowable, kKinds
};

class ThrowingHost final : public PluginContext {
 public:
  ThrowingHost(Kind kind, bool reported, std::string text) : m_kind(kind), m_reported(reported), m_text(std::move(text)) {}
  PluginParam* GetParams() override {
    switch (m_kind) {
      case kRuntimeError: throw std::runtime_error(m_text);
      case kAlertable: Throw(AlertableError(m_text));
      case kShowable: Throw(ShowableError(m_text));
      case kNullWhat: throw NullWhat();
      case kTextWhat: throw TextWhat(m_text);
      case kMemory: AfxThrowMemoryException();
      case kUser: AfxThrowUserException();
      case kNotSupported: AfxThrowNotSupportedException();
      case kInt: throw static_cast<int>(m_text.size());
      case kCString: throw m_text.c_str();
      case kString: throw m_text;
      case kNoBase: throw NoBase{7};
      case kFailingAlertable: Throw(FailingMessage(m_text));
      case kFailingShowable: Throw(FailingShow(m_text));
      case kKinds: break;
    }
    return nullptr;
  }

 private:
  template <class Error>
  [[noreturn]] void Throw(Error error) {
    error.SetReported(m_reported ? 1 : 0);
    throw error;
  }

  Kind m_kind;
  bool m_reported;
  std::string m_text;
};

std::string Detail(const std::string& text) {
  const std::string shown = text.substr(0, text.find('\0'));
  return shown.empty() ? std::string(kGenericErrorMessage) : kErrorDetailPrefix + shown;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  SetShowableErrorSink(&CountShown);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const auto kind = static_cast<Kind>(data[0] % kKinds);
  const bool reported = (data[0] & 0x80) != 0;
  const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);

  win::HeadlessPresentation presentation;
  win::PresentationScope scope(presentation);
  ThrowingHost host(kind, reported, text);
  g_shown = 0;
  AFX_MODULE_STATE* const before = AfxGetModuleState();
  bool passedOn = false;
  int result = -1;
  try {
    result = calvane::fuzz::CallEntry(PluginEntryNumber::Configure, &host);
  } catch (const std::runtime_error&) {
    passedOn = true;
  }
  Require(AfxGetModuleState() == before, "the module state was not put back");
  const auto& boxes = presentation.MessageBoxes();
  Require(boxes.size() <= 1, "more than one box for one failure");

  const bool failingReport = (kind == kFailingAlertable || kind == kFailingShowable) && !reported;
  Require(passedOn == failingReport, "a failure of the reporting itself was not passed on, or another was");
  if (passedOn) return 0;
  Require(result == 1, "the configure entry did not return 1 after a failure");

  switch (kind) {
    case kRuntimeError:
    case kTextWhat:
      Require(boxes.size() == 1 && boxes[0].text == Detail(text), "a standard exception's box is not its text");
      break;
    case kNullWhat:
      Require(boxes.size() == 1 && boxes[0].text == kGenericErrorMessage, "a null what() did not give the generic box");
      break;
    case kAlertable:
      Require(boxes.size() == (reported ? 0u : 1u), "a host error was shown twice, or not at all");
      if (!reported) Require(boxes[0].text == Detail(text), "a host error's box is not its message");
      break;
    case kShowable:
      Require(boxes.empty(), "a host error that shows itself got a box");
      Require(g_shown == (reported ? 0 : 1), "a host error was shown twice, or not at all");
      break;
    case kFailingAlertable:
    case kFailingShowable:
      Require(boxes.empty() && g_shown == 0, "a host error already reported was reported again");
      break;
    case kInt:
    case kCString:
    case kString:
    case kNoBase:
      Require(boxes.size() == 1 &&
                  boxes[0].text == std::string(kErrorDetailPrefix) + "An unknown error occurred in 'Calvane Parameters'",
              "a value of no exception type did not give the unknown-error box");
      break;
    case kMemory:
    case kUser:
    case kNotSupported:
    case kKinds:
      break;
  }
  return 0;
}
