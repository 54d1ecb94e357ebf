// The window system's state, presentations, observers, hooks, message boxes,
// string helpers and Unicode conversion.
#include "win/src/System.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "win/src/ControlProc.h"

namespace win::detail {

ControlState::~ControlState() = default;

State& GetState() {
  // Built on first use and never destroyed, so that windows and modules may
  // be cleaned up by other static objects at exit in any order.
  static State* state = [] {
    auto* s = new State;
    RegisterSystemClass(*s, "Button", 0x8080, ButtonProc, ControlKind::Button);
    RegisterSystemClass(*s, "Edit", 0x8081, EditProc, ControlKind::Edit);
    RegisterSystemClass(*s, "Static", 0x8082, StaticProc, ControlKind::Static);
    RegisterSystemClass(*s, "ScrollBar", 0x8084, ScrollBarProc, ControlKind::ScrollBar);
    RegisterSystemClass(*s, "#32770", 0x8002, DefDlgProcA, ControlKind::Dialog, DLGWINDOWEXTRA);
    return s;
  }();
  return *state;
}

Window* Find(HWND hWnd) {
  if (hWnd == nullptr) return nullptr;
  State& state = GetState();
  auto it = state.windows.find(hWnd);
  return it == state.windows.end() ? nullptr : it->second.get();
}

WindowRef Lookup(HWND hWnd) {
  if (hWnd == nullptr) return nullptr;
  State& state = GetState();
  auto it = state.windows.find(hWnd);
  return it == state.windows.end() ? nullptr : it->second;
}

Presentation& CurrentPresentation() {
  static UnattendedPresentation fallback;
  Presentation* current = GetState().presentation;
  return current != nullptr ? *current : fallback;
}

void NotifyObservers(Delivery delivery, HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  State& state = GetState();
  if (state.observers.empty()) return;
  // Observers may add or remove observers while they run.
  auto observers = state.observers;
  MessageRecord record{delivery, hWnd, message, wParam, lParam};
  for (auto& entry : observers) entry.second(record);
}

void Invalidate(HWND hWnd) {
  if (Find(hWnd) != nullptr) CurrentPresentation().OnWindowInvalidated(hWnd);
}

LRESULT ControlTail(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam, unsigned redrawOn) {
  const bool focus = msg == WM_SETFOCUS || msg == WM_KILLFOCUS;
  if ((msg == WM_ENABLE && (redrawOn & kRedrawOnEnable) != 0) || (focus && (redrawOn & kRedrawOnFocus) != 0)) {
    Invalidate(hWnd);
    return 0;
  }
  return DefWindowProcA(hWnd, msg, wParam, lParam);
}

LRESULT CallCbtHooks(int code, WPARAM wParam, LPARAM lParam) {
  State& state = GetState();
  for (auto it = state.hooks.rbegin(); it != state.hooks.rend(); ++it) {
    if (it->idHook == WH_CBT) return it->proc(code, wParam, lParam);
  }
  return 0;
}

// ---- Unicode ------------------------------------------------------------------

namespace {
bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }
}  // namespace

std::u16string Utf8ToUtf16(const std::string& text) {
  std::u16string out;
  std::size_t pos = 0;
  while (pos < text.size()) {
    char32_t cp = DecodeUtf8At(text, pos);
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (cp >> 10));
      out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
  }
  return out;
}

std::string Utf16ToUtf8(const std::u16string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t cp = text[i];
    if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp < 0xE000) {
      cp = 0xFFFD;
    }
    AppendUtf8(out, cp);
  }
  return out;
}

std::size_t NextCharBoundary(const std::string& text, std::size_t pos) {
  if (pos >= text.size()) return text.size();
  ++pos;
  while (pos < text.size() && IsContinuation(static_cast<unsigned char>(text[pos]))) ++pos;
  return pos;
}

std::size_t PrevCharBoundary(const std::string& text, std::size_t pos) {
  if (pos == 0) return 0;
  pos = std::min(pos, text.size()) - 1;
  while (pos > 0 && IsContinuation(static_cast<unsigned char>(text[pos]))) --pos;
  return pos;
}

std::size_t CharCount(const std::string& text, std::size_t bytes) {
  std::size_t count = 0;
  for (std::size_t pos = 0; pos < bytes && pos < text.size(); pos = NextCharBoundary(text, pos)) ++count;
  return count;
}

std::size_t ByteOffsetOfChar(const std::string& text, std::size_t chars) {
  std::size_t pos = 0;
  for (std::size_t i = 0; i < chars && pos < text.size(); ++i) pos = NextCharBoundary(text, pos);
  return pos;
}

}  // namespace win::detail

using namespace win::detail;

// ---- Presentations --------------------------------------------------------------

namespace win {

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x110000) {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

char32_t DecodeUtf8At(const std::string& text, std::size_t& pos) {
  auto c = static_cast<unsigned char>(text[pos++]);
  if (c < 0x80) return c;
  int extra = (c >= 0xF0) ? 3 : (c >= 0xE0) ? 2 : (c >= 0xC0) ? 1 : -1;
  if (extra < 0) return 0xFFFD;
  char32_t cp = c & (0x3F >> extra);
  for (int i = 0; i < extra; ++i) {
    if (pos >= text.size() || !IsContinuation(static_cast<unsigned char>(text[pos]))) return 0xFFFD;
    cp = (cp << 6) | (static_cast<unsigned char>(text[pos++]) & 0x3F);
  }
  return cp;
}

Presentation::~Presentation() {
  // A presentation that goes away must not stay current.
  State& state = GetState();
  if (state.presentation == this) state.presentation = nullptr;
}
void Presentation::PollInput() {}
void Presentation::Beep(UINT) {}
void Presentation::OnWindowCreated(HWND) {}
void Presentation::OnWindowDestroyed(HWND) {}
void Presentation::OnWindowInvalidated(HWND) {}
void Presentation::OnFocusChanged(HWND, HWND) {}

Presentation* SetPresentation(Presentation* presentation) {
  State& state = GetState();
  Presentation* previous = state.presentation;
  state.presentation = presentation;
  return previous;
}

Presentation* GetPresentation() { return &CurrentPresentation(); }

PresentationScope::PresentationScope(Presentation& presentation) : m_previous(SetPresentation(&presentation)) {}
PresentationScope::~PresentationScope() { SetPresentation(m_previous); }

int AddMessageObserver(MessageObserver observer) {
  State& state = GetState();
  int cookie = state.nextObserver++;
  state.observers.emplace_back(cookie, std::move(observer));
  return cookie;
}

void RemoveMessageObserver(int cookie) {
  auto& observers = GetState().observers;
  observers.erase(std::remove_if(observers.begin(), observers.end(),
                                 [cookie](const auto& entry) { return entry.first == cookie; }),
                  observers.end());
}

}  // namespace win

// ---- Message boxes, hooks, strings, errors --------------------------------------------

extern "C" {

int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
  // The original captions a box without a caption "Error".
  return CurrentPresentation().ShowMessageBox(hWnd, lpText != nullptr ? lpText : "",
                                              lpCaption != nullptr ? lpCaption : "Error", uType);
}

BOOL WINAPI MessageBeep(UINT uType) {
  CurrentPresentation().Beep(uType);
  return TRUE;
}

HHOOK WINAPI SetWindowsHookExA(int idHook, HOOKPROC lpfn, HINSTANCE, DWORD) {
  if (idHook != WH_CBT || lpfn == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  State& state = GetState();
  auto handle = reinterpret_cast<HHOOK>(state.nextHook++);
  state.hooks.push_back(Hook{handle, idHook, lpfn});
  return handle;
}

BOOL WINAPI UnhookWindowsHookEx(HHOOK hhk) {
  auto& hooks = GetState().hooks;
  auto it = std::find_if(hooks.begin(), hooks.end(), [hhk](const Hook& hook) { return hook.handle == hhk; });
  if (it == hooks.end()) return FALSE;
  hooks.erase(it);
  return TRUE;
}

LRESULT WINAPI CallNextHookEx(HHOOK hhk, int nCode, WPARAM wParam, LPARAM lParam) {
  auto& hooks = GetState().hooks;
  auto it = std::find_if(hooks.begin(), hooks.end(), [hhk](const Hook& hook) { return hook.handle == hhk; });
  if (it == hooks.end()) return 0;
  int idHook = it->idHook;
  // The next hook is the one installed before this one.
  while (it != hooks.begin()) {
    --it;
    if (it->idHook == idHook) return it->proc(nCode, wParam, lParam);
  }
  return 0;
}

int WINAPI lstrcmpiA(LPCSTR a, LPCSTR b) {
  if (a == nullptr || b == nullptr) return (a == nullptr ? 0 : 1) - (b == nullptr ? 0 : 1);
  for (;; ++a, ++b) {
    int ca = std::tolower(static_cast<unsigned char>(*a));
    int cb = std::tolower(static_cast<unsigned char>(*b));
    if (ca != cb) return ca < cb ? -1 : 1;
    if (ca == 0) return 0;
  }
}

int WINAPI lstrcmpA(LPCSTR a, LPCSTR b) {
  if (a == nullptr || b == nullptr) return (a == nullptr ? 0 : 1) - (b == nullptr ? 0 : 1);
  int result = std::strcmp(a, b);
  return result < 0 ? -1 : result > 0 ? 1 : 0;
}

int WINAPI lstrlenA(LPCSTR s) { return s != nullptr ? static_cast<int>(std::strlen(s)) : 0; }

LPSTR WINAPI lstrcpynA(LPSTR dst, LPCSTR src, int iMaxLength) {
  if (dst == nullptr || iMaxLength <= 0) return dst;
  int i = 0;
  for (; src != nullptr && i < iMaxLength - 1 && src[i] != '\0'; ++i) dst[i] = src[i];
  dst[i] = '\0';
  return dst;
}

int WINAPI MulDiv(int nNumber, int nNumerator, int nDenominator) {
  if (nDenominator == 0) return -1;
  long long product = static_cast<long long>(nNumber) * nNumerator;
  // Rounds half away from zero, as the original does.
  long long half = (nDenominator < 0 ? -nDenominator : nDenominator) / 2;
  long long result = ((product < 0) != (nDenominator < 0)) ? (product - half) / nDenominator
                                                           : (product + half) / nDenominator;
  if (result > 0x7FFFFFFFLL || result < -0x80000000LL) return -1;
  return static_cast<int>(result);
}

DWORD WINAPI GetLastError(void) { return GetState().lastError; }
void WINAPI SetLastError(DWORD dwErrCode) { GetState().lastError = dwErrCode; }

}  // extern "C"
