// The framework's data exchange on typed text of any bytes, two ways:
//
// - its number parsing, against what the text says: AfxParseInt takes
//   exactly an optionally signed run of digits that fits an int, between
//   blanks; AfxParseDouble exactly a decimal number that fits a double
//   (one too small to tell from zero reads as zero); every double it
//   reads is finite and reads back the same from AfxFormatNumber's text;
// - the text typed into a field of the plug-in's parameter dialog, run
//   headless through the configure entry, then OK: when the dialog takes
//   it, the set holds a noise level and an iteration count within limits.
#include <cerrno>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "afx/afxwin.h"
#include "app/HostContext.h"
#include "dialog/Resource.h"
#include "fuzz/FuzzHost.h"
#include "host/PluginParam.h"
#include "win/headless.h"

namespace {

using calvane::fuzz::Require;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string Trimmed(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// [sign] digits [. digits] or [sign] . digits, then [e [sign] digits].
bool IsDecimalNumber(const std::string& text) {
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  std::size_t digits = 0;
  while (i < text.size() && IsDigit(text[i])) ++i, ++digits;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && IsDigit(text[i])) ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    const std::size_t start = i;
    while (i < text.size() && IsDigit(text[i])) ++i;
    if (i == start) return false;
  }
  return i == text.size();
}

void CheckIntParsing(const std::string& text) {
  const std::string trimmed = Trimmed(text);
  const std::size_t start = !trimmed.empty() && (trimmed[0] == '+' || trimmed[0] == '-') ? 1 : 0;
  bool digitsOnly = trimmed.size() > start;
  for (std::size_t i = start; i < trimmed.size(); ++i) digitsOnly = digitsOnly && IsDigit(trimmed[i]);
  errno = 0;
  const long long expected = digitsOnly ? std::strtoll(trimmed.c_str(), nullptr, 10) : 0;
  const bool fits = digitsOnly && errno == 0 && expected >= INT_MIN && expected <= INT_MAX;
  int value = 0;
  const bool parsed = AfxParseInt(text.c_str(), &value) != FALSE;
  Require(parsed == fits, "AfxParseInt took text that is no int, or refused one");
  if (parsed) Require(value == expected, "AfxParseInt read another value");
}

void CheckDoubleParsing(const std::string& text) {
  const std::string trimmed = Trimmed(text);
  double value = 0;
  const bool parsed = AfxParseDouble(text.c_str(), &value) != FALSE;
  if (!IsDecimalNumber(trimmed)) {
    Require(!parsed, "AfxParseDouble took text that is no decimal number");
    return;
  }
  errno = 0;
  const double expected = std::strtod(trimmed.c_str(), nullptr);
  const bool overflows = std::isinf(expected);
  Require(parsed == !overflows, "AfxParseDouble refused a number that fits, or took one that does not");
  if (!parsed) return;
  Require(std::isfinite(value), "AfxParseDouble read a value that is not finite");
  if (errno == ERANGE) {
    // Below the smallest normal double: zero or the nearest subnormal will do.
    Require(value == 0.0 || value == expected, "AfxParseDouble read a tiny number as another value");
  } else {
    Require(value == expected, "AfxParseDouble read another value");
  }
  double again = 0;
  Require(AfxParseDouble(AfxFormatNumber(value, 17), &again) != FALSE && again == value,
          "AfxFormatNumber's text of a double does not read back");
  if (std::fabs(value) <= FLT_MAX) {
    const float single = static_cast<float>(value);
    Require(AfxParseDouble(AfxFormatNumber(single, 9), &again) != FALSE && static_cast<float>(again) == single,
            "AfxFormatNumber's text of a float does not read back");
  }
}

// The text typed into the noise level field (or, after two tabs, the
// iteration count), then Enter.
void CheckTypedIntoTheDialog(bool iterationsField, const std::string& text) {
  win::HeadlessPresentation presentation;
  win::PresentationScope scope(presentation);
  if (iterationsField) presentation.Press(VK_TAB).Press(VK_TAB);
  presentation.Type(text).Press(VK_RETURN);

  calvane::app::AppContext ctx;
  ctx.SetInteractive(true);
  const int result = calvane::fuzz::CallEntry(PluginEntryNumber::Configure, &ctx);
  Require(result == 0 || result == 1, "the configure entry returned neither 0 nor 1");
  Require(ctx.GetParams() != nullptr, "the configure entry left no parameter set");
  if (result != 0) return;
  const PluginParamEntry* entries = ctx.GetParams()->m_pEntries;
  const float variance = entries[1].value.f;
  Require(variance >= 0.0f && variance <= entries[1].maximum.f, "OK took a noise level outside its limits");
  Require(entries[2].value.i >= 1 && entries[2].value.i <= 1000, "OK took an iteration count outside its limits");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // The functions read C strings: the text ends at the first NUL.
  std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  text = text.substr(0, text.find('\0'));
  CheckIntParsing(text);
  CheckDoubleParsing(text);
  if (text.size() <= 64) CheckTypedIntoTheDialog((data[0] & 1) != 0, text);
  return 0;
}
