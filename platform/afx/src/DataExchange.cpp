// Dialog data exchange: moving values between members and controls, and
// validating what the user typed. Numbers are read and written without the
// C library's locale, so a decimal point is a point whatever the program's
// locale says.
#include <cfloat>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>
#include <string>

#include "afx/afxwin.h"

namespace {

std::string WindowText(HWND hWnd) {
  int length = GetWindowTextLengthA(hWnd);
  std::string text(static_cast<std::size_t>(length) + 1, '\0');
  int copied = GetWindowTextA(hWnd, &text[0], length + 1);
  text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
  return text;
}

bool IsBlank(char ch) { return ch == ' ' || ch == '\t'; }

// The text between optional blanks.
std::string Trimmed(LPCSTR lpszText) {
  std::string text = lpszText != nullptr ? lpszText : "";
  std::size_t first = 0;
  while (first < text.size() && IsBlank(text[first])) ++first;
  std::size_t last = text.size();
  while (last > first && IsBlank(text[last - 1])) --last;
  return text.substr(first, last - first);
}

bool IsDigit(char ch) { return ch >= '0' && ch <= '9'; }

void FailRange(CDataExchange* pDX, UINT nIDPrompt, const CString& minText, const CString& maxText) {
  CString prompt;
  AfxFormatString2(prompt, nIDPrompt, minText, maxText);
  AfxMessageBox(prompt, MB_OK, nIDPrompt);
  pDX->Fail();
}

CString IntText(long long value) { return CString(std::to_string(value)); }

}  // namespace

// ---- Number text ------------------------------------------------------------------

CString AfxFormatNumber(double value, int nSignificantDigits) {
  if (std::isnan(value)) return CString("nan");
  if (std::isinf(value)) return CString(value < 0 ? "-inf" : "inf");
  if (value == 0) return CString("0");  // also for -0
  if (nSignificantDigits < 1) nSignificantDigits = 1;
  if (nSignificantDigits > 17) nSignificantDigits = 17;
  char buffer[64];
  auto converted = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific,
                                 nSignificantDigits - 1);
  std::string scientific(buffer, converted.ptr);
  bool negative = scientific[0] == '-';
  std::size_t e = scientific.find('e');
  std::string digits;
  for (std::size_t i = negative ? 1 : 0; i < e; ++i) {
    if (scientific[i] != '.') digits += scientific[i];
  }
  int exponent = std::stoi(scientific.substr(e + 1));
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

  std::string text = negative ? "-" : "";
  if (exponent >= 16 || exponent < -9) {
    // Far outside any field's range: the exponent form stays short.
    text += digits.substr(0, 1);
    if (digits.size() > 1) text += "." + digits.substr(1);
    char expText[16];
    std::snprintf(expText, sizeof expText, "e%c%02d", exponent < 0 ? '-' : '+', std::abs(exponent));
    text += expText;
  } else if (exponent >= 0) {
    auto whole = static_cast<std::size_t>(exponent) + 1;
    std::string integer = digits.substr(0, std::min(whole, digits.size()));
    integer.append(whole - integer.size(), '0');
    text += integer;
    if (digits.size() > whole) text += "." + digits.substr(whole);
  } else {
    text += "0." + std::string(static_cast<std::size_t>(-exponent - 1), '0') + digits;
  }
  return CString(text);
}

BOOL AfxParseInt(LPCSTR lpszText, int* pValue) {
  std::string text = Trimmed(lpszText);
  std::size_t start = (!text.empty() && (text[0] == '+' || text[0] == '-')) ? 1 : 0;
  if (start == text.size()) return FALSE;
  for (std::size_t i = start; i < text.size(); ++i) {
    if (!IsDigit(text[i])) return FALSE;
  }
  // from_chars takes a minus sign but no plus sign.
  const char* first = text.data() + (text[0] == '+' ? 1 : 0);
  long long value = 0;
  auto result = std::from_chars(first, text.data() + text.size(), value);
  if (result.ec != std::errc() || value < INT_MIN || value > INT_MAX) return FALSE;
  *pValue = static_cast<int>(value);
  return TRUE;
}

BOOL AfxParseDouble(LPCSTR lpszText, double* pValue) {
  std::string text = Trimmed(lpszText);
  // [sign] digits [. digits] [e [sign] digits], with a digit somewhere in
  // the mantissa; nothing else (no "inf", "nan" or hexadecimal).
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  std::size_t mantissaStart = i;
  std::string integerDigits, fractionDigits;
  while (i < text.size() && IsDigit(text[i])) integerDigits += text[i++];
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && IsDigit(text[i])) fractionDigits += text[i++];
  }
  if (integerDigits.empty() && fractionDigits.empty()) return FALSE;
  long long exponent = 0;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    bool negativeExponent = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negativeExponent = text[i++] == '-';
    std::size_t expStart = i;
    for (; i < text.size() && IsDigit(text[i]); ++i) {
      if (exponent < 100000) exponent = exponent * 10 + (text[i] - '0');
    }
    if (i == expStart) return FALSE;
    if (negativeExponent) exponent = -exponent;
  }
  if (i != text.size()) return FALSE;

  // The decimal magnitude of the first significant digit decides, when the
  // value does not fit a double, between "too large" and "as good as zero".
  std::size_t firstInteger = integerDigits.find_first_not_of('0');
  std::size_t firstFraction = fractionDigits.find_first_not_of('0');
  if (firstInteger == std::string::npos && firstFraction == std::string::npos) {
    *pValue = negative ? -0.0 : 0.0;
    return TRUE;
  }
  long long magnitude = exponent + (firstInteger != std::string::npos
                                        ? static_cast<long long>(integerDigits.size() - firstInteger) - 1
                                        : -static_cast<long long>(firstFraction) - 1);
  double value = 0;
  auto result = std::from_chars(text.data() + mantissaStart, text.data() + text.size(), value);
  if (result.ec == std::errc::result_out_of_range) {
    if (magnitude >= 0) return FALSE;
    value = 0;
  } else if (result.ec != std::errc() || result.ptr != text.data() + text.size() || !std::isfinite(value)) {
    return FALSE;
  }
  *pValue = negative ? -value : value;
  return TRUE;
}

void AfxSetWindowText(HWND hWndCtrl, LPCSTR lpszNew) {
  std::string wanted = lpszNew != nullptr ? lpszNew : "";
  // Reading first spares the control a redraw and its change notifications.
  char old[256];
  if (wanted.size() < sizeof old) {
    int length = GetWindowTextA(hWndCtrl, old, static_cast<int>(sizeof old));
    if (static_cast<std::size_t>(length) == wanted.size() && std::strcmp(old, wanted.c_str()) == 0) return;
  }
  SetWindowTextA(hWndCtrl, wanted.c_str());
}

// ---- CDataExchange --------------------------------------------------------------------

CDataExchange::CDataExchange(CWnd* pDlgWnd, BOOL bSaveAndValidate)
    : m_bSaveAndValidate(bSaveAndValidate), m_pDlgWnd(pDlgWnd), m_idLastControl(0), m_bEditLastControl(FALSE) {}

HWND CDataExchange::PrepareCtrl(int nIDC) {
  HWND hWndCtrl = nullptr;
  m_pDlgWnd->GetDlgItem(nIDC, &hWndCtrl);
  if (hWndCtrl == nullptr) AfxThrowNotSupportedException();
  m_idLastControl = static_cast<UINT>(nIDC);
  m_bEditLastControl = FALSE;
  return hWndCtrl;
}

HWND CDataExchange::PrepareEditCtrl(int nIDC) {
  HWND hWndCtrl = PrepareCtrl(nIDC);
  m_bEditLastControl = TRUE;
  return hWndCtrl;
}

void CDataExchange::Fail() {
  if (m_bSaveAndValidate && m_idLastControl != 0) {
    HWND hWndLastControl = nullptr;
    m_pDlgWnd->GetDlgItem(static_cast<int>(m_idLastControl), &hWndLastControl);
    if (hWndLastControl != nullptr) {
      ::SetFocus(hWndLastControl);
      // Selected, so that what the user types next replaces the bad value.
      if (m_bEditLastControl) ::SendMessageA(hWndLastControl, EM_SETSEL, 0, -1);
    }
  }
  AfxThrowUserException();
}

// ---- DDX / DDV ------------------------------------------------------------------------

void DDX_Text(CDataExchange* pDX, int nIDC, int& value) {
  HWND hWndCtrl = pDX->PrepareEditCtrl(nIDC);
  if (!pDX->m_bSaveAndValidate) {
    AfxSetWindowText(hWndCtrl, std::to_string(value).c_str());
    return;
  }
  std::string text = WindowText(hWndCtrl);
  int parsed = 0;
  if (AfxParseInt(text.c_str(), &parsed)) {
    value = parsed;
    return;
  }
  double number = 0;
  if (AfxParseDouble(text.c_str(), &number) && text.find_first_of(".eE") == std::string::npos) {
    // Digits that do not fit: say which numbers do.
    FailRange(pDX, AFX_IDP_PARSE_INT_RANGE, IntText(INT_MIN), IntText(INT_MAX));
  }
  AfxMessageBox(AFX_IDP_PARSE_INT);
  pDX->Fail();
}

void DDX_Text(CDataExchange* pDX, int nIDC, UINT& value) {
  HWND hWndCtrl = pDX->PrepareEditCtrl(nIDC);
  if (!pDX->m_bSaveAndValidate) {
    AfxSetWindowText(hWndCtrl, std::to_string(value).c_str());
    return;
  }
  std::string text = Trimmed(WindowText(hWndCtrl).c_str());
  unsigned long long parsed = 0;
  const char* first = text.data() + (!text.empty() && text[0] == '+' ? 1 : 0);
  auto result = std::from_chars(first, text.data() + text.size(), parsed);
  bool digitsOnly = first != text.data() + text.size() && result.ptr == text.data() + text.size();
  if (digitsOnly && result.ec == std::errc() && parsed <= UINT_MAX) {
    value = static_cast<UINT>(parsed);
    return;
  }
  if (digitsOnly) FailRange(pDX, AFX_IDP_PARSE_INT_RANGE, IntText(0), IntText(UINT_MAX));
  AfxMessageBox(AFX_IDP_PARSE_INT);
  pDX->Fail();
}

void DDX_Text(CDataExchange* pDX, int nIDC, float& value) {
  HWND hWndCtrl = pDX->PrepareEditCtrl(nIDC);
  if (!pDX->m_bSaveAndValidate) {
    AfxSetWindowText(hWndCtrl, AfxFormatNumber(value, FLT_DIG));
    return;
  }
  double parsed = 0;
  if (!AfxParseDouble(WindowText(hWndCtrl).c_str(), &parsed)) {
    AfxMessageBox(AFX_IDP_PARSE_REAL);
    pDX->Fail();
  }
  if (std::fabs(parsed) > FLT_MAX) {
    FailRange(pDX, AFX_IDP_PARSE_REAL_RANGE, AfxFormatNumber(-FLT_MAX, FLT_DIG), AfxFormatNumber(FLT_MAX, FLT_DIG));
  }
  value = static_cast<float>(parsed);
}

void DDX_Text(CDataExchange* pDX, int nIDC, double& value) {
  HWND hWndCtrl = pDX->PrepareEditCtrl(nIDC);
  if (!pDX->m_bSaveAndValidate) {
    AfxSetWindowText(hWndCtrl, AfxFormatNumber(value, DBL_DIG));
    return;
  }
  double parsed = 0;
  if (!AfxParseDouble(WindowText(hWndCtrl).c_str(), &parsed)) {
    AfxMessageBox(AFX_IDP_PARSE_REAL);
    pDX->Fail();
  }
  value = parsed;
}

void DDX_Text(CDataExchange* pDX, int nIDC, CString& value) {
  HWND hWndCtrl = pDX->PrepareEditCtrl(nIDC);
  if (pDX->m_bSaveAndValidate) {
    value = CString(WindowText(hWndCtrl));
  } else {
    AfxSetWindowText(hWndCtrl, value);
  }
}

void DDV_MinMaxInt(CDataExchange* pDX, int value, int minVal, int maxVal) {
  if (!pDX->m_bSaveAndValidate || (value >= minVal && value <= maxVal)) return;
  FailRange(pDX, AFX_IDP_PARSE_INT_RANGE, IntText(minVal), IntText(maxVal));
}

void DDV_MinMaxUInt(CDataExchange* pDX, UINT value, UINT minVal, UINT maxVal) {
  if (!pDX->m_bSaveAndValidate || (value >= minVal && value <= maxVal)) return;
  FailRange(pDX, AFX_IDP_PARSE_INT_RANGE, IntText(minVal), IntText(maxVal));
}

void DDV_MinMaxFloat(CDataExchange* pDX, float const& value, float minVal, float maxVal) {
  // Written so that a value that is not a number fails too.
  if (!pDX->m_bSaveAndValidate || (value >= minVal && value <= maxVal)) return;
  FailRange(pDX, AFX_IDP_PARSE_REAL_RANGE, AfxFormatNumber(minVal, FLT_DIG), AfxFormatNumber(maxVal, FLT_DIG));
}

void DDV_MinMaxDouble(CDataExchange* pDX, double const& value, double minVal, double maxVal) {
  if (!pDX->m_bSaveAndValidate || (value >= minVal && value <= maxVal)) return;
  FailRange(pDX, AFX_IDP_PARSE_REAL_RANGE, AfxFormatNumber(minVal, DBL_DIG), AfxFormatNumber(maxVal, DBL_DIG));
}

void DDV_MaxChars(CDataExchange* pDX, CString const& value, int nChars) {
  if (!pDX->m_bSaveAndValidate) {
    // The field itself refuses longer text from then on.
    HWND hWndCtrl = nullptr;
    pDX->m_pDlgWnd->GetDlgItem(static_cast<int>(pDX->m_idLastControl), &hWndCtrl);
    if (hWndCtrl != nullptr && pDX->m_bEditLastControl) ::SendMessageA(hWndCtrl, EM_LIMITTEXT, static_cast<WPARAM>(nChars), 0);
    return;
  }
  if (value.GetLength() <= nChars) return;
  CString prompt;
  AfxFormatString1(prompt, AFX_IDP_PARSE_STRING_SIZE, IntText(nChars));
  AfxMessageBox(prompt, MB_OK, AFX_IDP_PARSE_STRING_SIZE);
  pDX->Fail();
}
