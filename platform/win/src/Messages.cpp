// Messages: sending, posting, the queue, translation of keys into
// characters, dispatching, and the input that presentations feed.
//
// The queue holds posted messages and input apart. Posted messages are taken
// before input, as on the original platform, so whatever the handling of one
// input posts (a deferred notification, say) is handled before the next key
// or click.
#include <algorithm>

#include "win/src/System.h"

using namespace win::detail;

namespace {

bool IsKeyMessage(UINT message) { return message >= WM_KEYFIRST && message <= WM_KEYLAST; }
bool IsMouseMessage(UINT message) { return message >= WM_MOUSEFIRST && message <= WM_MOUSELAST; }

// Decides where an input message goes, now that it is about to be taken.
bool RouteInput(QueuedMessage& q) {
  State& state = GetState();
  if (q.msg.hwnd != nullptr) return Find(q.msg.hwnd) != nullptr;  // addressed input (closing a window)
  if (IsKeyMessage(q.msg.message)) {
    HWND target = state.focus != nullptr ? state.focus : state.active;
    if (Find(target) == nullptr) return false;
    q.msg.hwnd = target;
    return true;
  }
  if (IsMouseMessage(q.msg.message)) {
    HWND target = Find(state.capture) != nullptr ? state.capture : WindowFromPoint(q.screenPoint);
    if (target == nullptr || !IsWindowEnabled(target)) return false;
    POINT client = q.screenPoint;
    ScreenToClient(target, &client);
    q.msg.hwnd = target;
    q.msg.lParam = MAKELPARAM(client.x, client.y);
    return true;
  }
  return false;
}

bool Matches(const MSG& msg, HWND filter, UINT first, UINT last) {
  if (filter != nullptr && msg.hwnd != filter && !IsChild(filter, msg.hwnd)) return false;
  if (first == 0 && last == 0) return true;
  return msg.message >= first && msg.message <= last;
}

bool TakeMessage(MSG* out, HWND filter, UINT first, UINT last, bool remove) {
  State& state = GetState();
  for (auto it = state.posted.begin(); it != state.posted.end(); ++it) {
    if (!Matches(it->msg, filter, first, last)) continue;
    *out = it->msg;
    if (remove) state.posted.erase(it);
    return true;
  }
  while (!state.input.empty()) {
    QueuedMessage& q = state.input.front();
    if (!RouteInput(q)) {
      state.input.pop_front();
      continue;
    }
    // Input keeps its order: only the oldest can be taken.
    if (!Matches(q.msg, filter, first, last)) return false;
    *out = q.msg;
    if (remove) {
      state.keyModifiers = q.modifiers;
      if (IsMouseMessage(q.msg.message)) state.cursor = q.screenPoint;
      state.input.pop_front();
    }
    return true;
  }
  return false;
}

LPARAM KeyLParam(bool down, unsigned modifiers) {
  DWORD flags = 1;  // repeat count
  if ((modifiers & win::kAlt) != 0) flags |= 1u << 29;
  if (!down) flags |= (1u << 30) | (1u << 31);
  return static_cast<LPARAM>(flags);
}

// The character a key gives on a US keyboard, or 0.
char32_t CharForKey(UINT vk, bool shift, bool control) {
  if (vk >= 'A' && vk <= 'Z') {
    if (control) return static_cast<char32_t>(vk - 'A' + 1);
    return shift ? vk : vk - 'A' + 'a';
  }
  if (control) return 0;
  static const char kShiftedDigits[] = ")!@#$%^&*(";
  if (vk >= '0' && vk <= '9') return shift ? static_cast<char32_t>(kShiftedDigits[vk - '0']) : vk;
  struct OemKey {
    UINT vk;
    char plain, shifted;
  };
  static const OemKey kOem[] = {{VK_OEM_1, ';', ':'},     {VK_OEM_PLUS, '=', '+'},   {VK_OEM_COMMA, ',', '<'},
                                {VK_OEM_MINUS, '-', '_'}, {VK_OEM_PERIOD, '.', '>'}, {VK_OEM_2, '/', '?'},
                                {VK_OEM_3, '`', '~'},     {VK_OEM_4, '[', '{'},      {VK_OEM_5, '\\', '|'},
                                {VK_OEM_6, ']', '}'},     {VK_OEM_7, '\'', '"'}};
  for (const OemKey& key : kOem) {
    if (key.vk == vk) return static_cast<char32_t>(shift ? key.shifted : key.plain);
  }
  switch (vk) {
    case VK_SPACE:
      return ' ';
    case VK_BACK:
      return 8;
    case VK_TAB:
      return 9;
    case VK_RETURN:
      return 13;
    case VK_ESCAPE:
      return 27;
    default:
      return 0;
  }
}

bool KeyForChar(char32_t ch, UINT* vk, bool* shift) {
  if (ch == '\n') ch = '\r';
  static const UINT kCandidates[] = {VK_SPACE,     VK_BACK,     VK_TAB,        VK_RETURN,   VK_ESCAPE, VK_OEM_1,
                                     VK_OEM_PLUS,  VK_OEM_COMMA, VK_OEM_MINUS, VK_OEM_PERIOD, VK_OEM_2, VK_OEM_3,
                                     VK_OEM_4,     VK_OEM_5,    VK_OEM_6,      VK_OEM_7};
  auto tryKey = [&](UINT key) {
    for (bool shifted : {false, true}) {
      if (CharForKey(key, shifted, false) == ch) {
        *vk = key;
        *shift = shifted;
        return true;
      }
    }
    return false;
  };
  for (UINT key = '0'; key <= '9'; ++key) {
    if (tryKey(key)) return true;
  }
  for (UINT key = 'A'; key <= 'Z'; ++key) {
    if (tryKey(key)) return true;
  }
  for (UINT key : kCandidates) {
    if (tryKey(key)) return true;
  }
  return false;
}

void QueueInput(UINT message, WPARAM wParam, LPARAM lParam, unsigned modifiers, POINT point = POINT{0, 0},
                HWND target = nullptr) {
  QueuedMessage q;
  q.msg = MSG{target, message, wParam, lParam, 0, point};
  q.modifiers = modifiers;
  q.input = true;
  q.screenPoint = point;
  GetState().input.push_back(q);
}

}  // namespace

extern "C" {

LRESULT WINAPI SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  WindowRef window = Lookup(hWnd);
  if (!window) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  NotifyObservers(win::Delivery::Sent, hWnd, Msg, wParam, lParam);
  return window->proc(hWnd, Msg, wParam, lParam);
}

BOOL WINAPI PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  if (hWnd != nullptr && Find(hWnd) == nullptr) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  NotifyObservers(win::Delivery::Posted, hWnd, Msg, wParam, lParam);
  QueuedMessage q;
  q.msg = MSG{hWnd, Msg, wParam, lParam, 0, GetState().cursor};
  GetState().posted.push_back(q);
  return TRUE;
}

void WINAPI PostQuitMessage(int nExitCode) {
  State& state = GetState();
  state.quitPosted = true;
  state.quitCode = nExitCode;
}

BOOL WINAPI GetMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax) {
  if (lpMsg == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  State& state = GetState();
  for (;;) {
    if (TakeMessage(lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax, true)) return lpMsg->message != WM_QUIT;
    if (state.quitPosted) {
      state.quitPosted = false;
      *lpMsg = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(state.quitCode), 0, 0, state.cursor};
      return FALSE;
    }
    if (!CurrentPresentation().WaitForInput()) {
      SetLastError(ERROR_NO_MORE_INPUT);
      return -1;
    }
  }
}

BOOL WINAPI PeekMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax, UINT wRemoveMsg) {
  if (lpMsg == nullptr) return FALSE;
  State& state = GetState();
  bool remove = (wRemoveMsg & PM_REMOVE) != 0;
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (TakeMessage(lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax, remove)) return TRUE;
    if (state.quitPosted) {
      if (remove) state.quitPosted = false;
      *lpMsg = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(state.quitCode), 0, 0, state.cursor};
      return TRUE;
    }
    if (attempt == 0) CurrentPresentation().PollInput();
  }
  return FALSE;
}

BOOL WINAPI TranslateMessage(const MSG* lpMsg) {
  if (lpMsg == nullptr || (lpMsg->message != WM_KEYDOWN && lpMsg->message != WM_SYSKEYDOWN)) return FALSE;
  unsigned modifiers = GetState().keyModifiers;
  char32_t ch = CharForKey(static_cast<UINT>(lpMsg->wParam), (modifiers & win::kShift) != 0,
                           (modifiers & win::kControl) != 0 && (modifiers & win::kAlt) == 0);
  if (ch == 0) return FALSE;
  UINT message = lpMsg->message == WM_SYSKEYDOWN ? WM_SYSCHAR : WM_CHAR;
  return PostMessageA(lpMsg->hwnd, message, static_cast<WPARAM>(ch), lpMsg->lParam);
}

LRESULT WINAPI DispatchMessageA(const MSG* lpMsg) {
  if (lpMsg == nullptr || lpMsg->hwnd == nullptr) return 0;
  WindowRef window = Lookup(lpMsg->hwnd);
  if (!window) return 0;
  NotifyObservers(win::Delivery::Dispatched, lpMsg->hwnd, lpMsg->message, lpMsg->wParam, lpMsg->lParam);
  return window->proc(lpMsg->hwnd, lpMsg->message, lpMsg->wParam, lpMsg->lParam);
}

LRESULT WINAPI CallWindowProcA(WNDPROC lpPrevWndFunc, HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  return lpPrevWndFunc != nullptr ? lpPrevWndFunc(hWnd, Msg, wParam, lParam) : 0;
}

SHORT WINAPI GetKeyState(int nVirtKey) {
  unsigned modifiers = GetState().keyModifiers;
  unsigned wanted = 0;
  if (nVirtKey == VK_SHIFT) wanted = win::kShift;
  if (nVirtKey == VK_CONTROL) wanted = win::kControl;
  if (nVirtKey == VK_MENU) wanted = win::kAlt;
  return (modifiers & wanted) != 0 ? static_cast<SHORT>(-0x8000) : 0;
}

}  // extern "C"

namespace win {

void PostKeyInput(UINT virtualKey, bool down, unsigned modifiers) {
  UINT message = (modifiers & kAlt) != 0 ? (down ? WM_SYSKEYDOWN : WM_SYSKEYUP) : (down ? WM_KEYDOWN : WM_KEYUP);
  QueueInput(message, virtualKey, KeyLParam(down, modifiers), modifiers);
}

void PostKeyPress(UINT virtualKey, unsigned modifiers) {
  PostKeyInput(virtualKey, true, modifiers);
  PostKeyInput(virtualKey, false, modifiers);
}

void PostCharInput(char32_t character) {
  UINT vk = 0;
  bool shift = false;
  if (KeyForChar(character, &vk, &shift)) {
    PostKeyPress(vk, shift ? kShift : kNoModifier);
  } else {
    QueueInput(WM_CHAR, static_cast<WPARAM>(character), 1, kNoModifier);
  }
}

void PostTextInput(const std::string& text) {
  std::u16string wide = Utf8ToUtf16(text);
  for (std::size_t i = 0; i < wide.size(); ++i) {
    char32_t cp = wide[i];
    if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < wide.size()) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (wide[i + 1] - 0xDC00);
      ++i;
    }
    PostCharInput(cp);
  }
}

void PostMouseInput(UINT message, POINT screenPoint, unsigned modifiers) {
  State& state = GetState();
  if (message == WM_LBUTTONDOWN) state.mouseButtons |= MK_LBUTTON;
  if (message == WM_LBUTTONUP) state.mouseButtons &= ~static_cast<unsigned>(MK_LBUTTON);
  if (message == WM_RBUTTONDOWN) state.mouseButtons |= MK_RBUTTON;
  if (message == WM_RBUTTONUP) state.mouseButtons &= ~static_cast<unsigned>(MK_RBUTTON);
  WPARAM keys = state.mouseButtons | ((modifiers & kShift) != 0 ? MK_SHIFT : 0) |
                ((modifiers & kControl) != 0 ? MK_CONTROL : 0);
  QueueInput(message, keys, 0, modifiers, screenPoint);
}

void PostCloseInput(HWND hWnd) {
  if (Find(hWnd) == nullptr) return;
  QueueInput(WM_SYSCOMMAND, SC_CLOSE, 0, kNoModifier, POINT{0, 0}, GetAncestor(hWnd, GA_ROOT));
}

POINT WindowCentreOnScreen(HWND hWnd) {
  RECT rect{};
  GetWindowRect(hWnd, &rect);
  return POINT{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
}

POINT TrackbarPointOnScreen(HWND hTrackbar, int position) {
  POINT point = TrackbarPointForPosition(hTrackbar, position);
  ClientToScreen(hTrackbar, &point);
  return point;
}

}  // namespace win
