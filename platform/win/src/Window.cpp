// Window classes and windows: creation and destruction, window data and
// text, relations, geometry, visibility, enabling, focus, activation,
// capture, and the default window procedure.
#include <algorithm>
#include <cstring>

#include "win/src/System.h"

namespace win::detail {

WindowClass* RegisterSystemClass(State& state, const char* name, ATOM atom, WNDPROC proc, ControlKind kind,
                                 int cbWndExtra) {
  auto cls = std::make_unique<WindowClass>();
  cls->name = name;
  cls->atom = atom;
  cls->proc = proc;
  cls->kind = kind;
  cls->cbWndExtra = cbWndExtra;
  cls->style = CS_GLOBALCLASS;
  state.classes.push_back(std::move(cls));
  return state.classes.back().get();
}

WindowClass* FindClass(LPCSTR name) {
  if (name == nullptr) return nullptr;
  for (auto& cls : GetState().classes) {
    if (IS_INTRESOURCE(name) ? cls->atom == static_cast<ATOM>(reinterpret_cast<ULONG_PTR>(name))
                             : lstrcmpiA(cls->name.c_str(), name) == 0) {
      return cls.get();
    }
  }
  return nullptr;
}

ControlKind KindOf(HWND hWnd) {
  Window* window = Find(hWnd);
  if (window == nullptr) return ControlKind::Other;
  if (window->dialog) return ControlKind::Dialog;
  return window->cls->kind;
}

RECT NonClientInsets(DWORD style, DWORD exStyle) {
  int border = 0;
  if ((style & WS_CAPTION) == WS_CAPTION || (style & (WS_DLGFRAME | WS_THICKFRAME)) != 0 ||
      (exStyle & WS_EX_DLGMODALFRAME) != 0) {
    border = 3;
  } else if ((style & WS_BORDER) != 0) {
    border = 1;
  }
  int caption = (style & WS_CAPTION) == WS_CAPTION ? 18 : 0;
  return RECT{border, border + caption, border, border};
}

POINT ClientOrigin(HWND hWnd) {
  Window* window = Find(hWnd);
  if (window == nullptr) return POINT{0, 0};
  POINT origin = window->parent != nullptr ? ClientOrigin(window->parent) : POINT{0, 0};
  RECT insets = NonClientInsets(window->style, window->exStyle);
  return POINT{origin.x + window->rect.left + insets.left, origin.y + window->rect.top + insets.top};
}

RECT ClientRectOf(HWND hWnd) {
  Window* window = Find(hWnd);
  if (window == nullptr) return RECT{};
  RECT insets = NonClientInsets(window->style, window->exStyle);
  LONG width = window->rect.right - window->rect.left - insets.left - insets.right;
  LONG height = window->rect.bottom - window->rect.top - insets.top - insets.bottom;
  return RECT{0, 0, std::max<LONG>(width, 0), std::max<LONG>(height, 0)};
}

HWND DialogOf(HWND hWnd) {
  for (Window* window = Find(hWnd); window != nullptr; window = Find(window->parent)) {
    if (window->dialog) return window->handle;
  }
  return nullptr;
}

int CharWidth(HWND hWnd) {
  Window* dialog = Find(DialogOf(hWnd));
  return dialog != nullptr ? dialog->dialog->baseX : 8;
}

void NotifyParent(HWND hWnd, WORD code) {
  Window* window = Find(hWnd);
  if (window == nullptr || window->parent == nullptr) return;
  SendMessageA(window->parent, WM_COMMAND, MAKEWPARAM(window->id, code), reinterpret_cast<LPARAM>(hWnd));
}

namespace {

bool IsInSubtree(HWND root, HWND hWnd) { return hWnd != nullptr && (hWnd == root || IsChild(root, hWnd)); }

// Takes a window out of every table, with its remaining children; no
// messages. Runs after WM_NCDESTROY, or when creation is abandoned.
void RemoveWindow(HWND hWnd) {
  State& state = GetState();
  WindowRef window = Lookup(hWnd);
  if (!window) return;
  for (HWND child : std::vector<HWND>(window->children)) RemoveWindow(child);
  window->alive = false;
  if (Window* parent = Find(window->parent)) {
    auto& siblings = parent->children;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), hWnd), siblings.end());
  }
  state.topLevel.erase(std::remove(state.topLevel.begin(), state.topLevel.end(), hWnd), state.topLevel.end());
  state.windows.erase(hWnd);
  window->cls->windowCount--;
  // Messages queued for a window that no longer exists are dropped.
  auto forThis = [hWnd](const QueuedMessage& q) { return q.msg.hwnd == hWnd; };
  state.posted.erase(std::remove_if(state.posted.begin(), state.posted.end(), forThis), state.posted.end());
  if (state.focus == hWnd) state.focus = nullptr;
  if (state.active == hWnd) state.active = nullptr;
  if (state.capture == hWnd) state.capture = nullptr;
  CurrentPresentation().OnWindowDestroyed(hWnd);
}

// WM_DESTROY to the window, then its children (each with their own
// WM_NCDESTROY), then WM_NCDESTROY to the window itself.
void DestroyTree(HWND hWnd) {
  WindowRef window = Lookup(hWnd);
  if (!window) return;
  window->destroying = true;
  struct Remover {
    HWND hWnd;
    ~Remover() { RemoveWindow(hWnd); }
  } remover{hWnd};
  SendMessageA(hWnd, WM_DESTROY, 0, 0);
  for (HWND child : std::vector<HWND>(window->children)) DestroyTree(child);
  if (window->alive) SendMessageA(hWnd, WM_NCDESTROY, 0, 0);
}

void SetVisibleFlag(Window& window, bool visible) {
  if (visible) {
    window.style |= WS_VISIBLE;
  } else {
    window.style &= ~static_cast<DWORD>(WS_VISIBLE);
  }
}

}  // namespace
}  // namespace win::detail

using namespace win::detail;

extern "C" {

// ---- Classes -------------------------------------------------------------------------

ATOM WINAPI RegisterClassA(const WNDCLASSA* wc) {
  if (wc == nullptr || wc->lpszClassName == nullptr || IS_INTRESOURCE(wc->lpszClassName) ||
      wc->lpfnWndProc == nullptr || wc->cbWndExtra < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (FindClass(wc->lpszClassName) != nullptr) {
    SetLastError(ERROR_CLASS_ALREADY_EXISTS);
    return 0;
  }
  State& state = GetState();
  auto cls = std::make_unique<WindowClass>();
  cls->name = wc->lpszClassName;
  cls->atom = state.nextAtom++;
  cls->proc = wc->lpfnWndProc;
  cls->style = wc->style;
  cls->cbWndExtra = wc->cbWndExtra;
  cls->hInstance = wc->hInstance;
  ATOM atom = cls->atom;
  state.classes.push_back(std::move(cls));
  return atom;
}

BOOL WINAPI UnregisterClassA(LPCSTR lpClassName, HINSTANCE) {
  WindowClass* cls = FindClass(lpClassName);
  if (cls == nullptr || cls->atom < 0xC000) {
    SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
    return FALSE;
  }
  if (cls->windowCount > 0) {
    SetLastError(ERROR_CLASS_HAS_WINDOWS);
    return FALSE;
  }
  auto& classes = GetState().classes;
  classes.erase(std::remove_if(classes.begin(), classes.end(), [cls](const auto& c) { return c.get() == cls; }),
                classes.end());
  return TRUE;
}

BOOL WINAPI GetClassInfoA(HINSTANCE, LPCSTR lpClassName, WNDCLASSA* wc) {
  WindowClass* cls = FindClass(lpClassName);
  if (cls == nullptr || wc == nullptr) return FALSE;
  *wc = WNDCLASSA{};
  wc->style = cls->style;
  wc->lpfnWndProc = cls->proc;
  wc->cbWndExtra = cls->cbWndExtra;
  wc->hInstance = cls->hInstance;
  wc->lpszClassName = cls->name.c_str();
  return TRUE;
}

int WINAPI GetClassNameA(HWND hWnd, LPSTR lpClassName, int nMaxCount) {
  Window* window = Find(hWnd);
  if (window == nullptr) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  if (lpClassName == nullptr || nMaxCount <= 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const std::string& name = window->cls->name;
  int count = std::min<int>(static_cast<int>(name.size()), nMaxCount - 1);
  std::memcpy(lpClassName, name.data(), static_cast<std::size_t>(count));
  lpClassName[count] = '\0';
  return count;
}

// ---- Creation and destruction ------------------------------------------------------------

namespace {

// A new window of `cls`, registered and linked to its parent (or listed
// among the top-level windows), before any message reaches it.
HWND RegisterNewWindow(WindowClass* cls, const CREATESTRUCTA& cs) {
  State& state = GetState();
  const bool child = (cs.style & WS_CHILD) != 0;
  auto window = std::make_shared<Window>();
  window->handle = reinterpret_cast<HWND>(state.nextHandle);
  state.nextHandle += 0x10;
  window->cls = cls;
  window->proc = cls->proc;
  window->style = static_cast<DWORD>(cs.style);
  window->exStyle = cs.dwExStyle;
  window->parent = child ? cs.hwndParent : nullptr;
  window->owner = child ? nullptr : GetAncestor(cs.hwndParent, GA_ROOT);
  window->id = child ? reinterpret_cast<UINT_PTR>(cs.hMenu) : 0;
  window->rect = RECT{cs.x, cs.y, cs.x + std::max(cs.cx, 0), cs.y + std::max(cs.cy, 0)};
  window->hInstance = cs.hInstance;
  window->extra.assign(static_cast<std::size_t>(cls->cbWndExtra), 0);
  HWND hWnd = window->handle;
  state.windows[hWnd] = window;
  cls->windowCount++;
  if (child) {
    Find(cs.hwndParent)->children.push_back(hWnd);
  } else {
    state.topLevel.push_back(hWnd);
  }
  return hWnd;
}

// WM_NCCREATE, WM_CREATE and the first showing of a registered window. A
// window refused on the way, or destroyed by its own handlers, gives null.
HWND AnnounceNewWindow(HWND hWnd, CREATESTRUCTA& cs) {
  try {
    if (Find(hWnd) == nullptr) return nullptr;
    if (SendMessageA(hWnd, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs)) == 0) {
      DestroyWindow(hWnd);
      return nullptr;
    }
    if (Find(hWnd) == nullptr) return nullptr;
    if (SendMessageA(hWnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
      DestroyWindow(hWnd);
      return nullptr;
    }
    if (Find(hWnd) == nullptr) return nullptr;
    CurrentPresentation().OnWindowCreated(hWnd);
    if ((cs.style & WS_VISIBLE) != 0) SendMessageA(hWnd, WM_SHOWWINDOW, TRUE, 0);
  } catch (...) {
    DestroyWindow(hWnd);
    throw;
  }
  return Find(hWnd) != nullptr ? hWnd : nullptr;
}

}  // namespace

HWND WINAPI CreateWindowExA(DWORD dwExStyle, LPCSTR lpClassName, LPCSTR lpWindowName, DWORD dwStyle, int x, int y,
                            int nWidth, int nHeight, HWND hWndParent, HMENU hMenu, HINSTANCE hInstance,
                            LPVOID lpParam) {
  WindowClass* cls = FindClass(lpClassName);
  if (cls == nullptr) {
    SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
    return nullptr;
  }
  if (hWndParent != nullptr && Find(hWndParent) == nullptr) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  if ((dwStyle & WS_CHILD) != 0 && hWndParent == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (x == CW_USEDEFAULT) x = y = 0;
  if (nWidth == CW_USEDEFAULT) {
    nWidth = 320;
    nHeight = 240;
  }
  CREATESTRUCTA cs{lpParam,      hInstance,  hMenu,        hWndParent,    nHeight,     nWidth,
                   y,            x,          static_cast<LONG>(dwStyle), lpWindowName, lpClassName, dwExStyle};
  HWND hWnd = RegisterNewWindow(cls, cs);
  CBT_CREATEWNDA cbt{&cs, nullptr};
  if (CallCbtHooks(HCBT_CREATEWND, reinterpret_cast<WPARAM>(hWnd), reinterpret_cast<LPARAM>(&cbt)) != 0) {
    RemoveWindow(hWnd);
    return nullptr;
  }
  return AnnounceNewWindow(hWnd, cs);
}

BOOL WINAPI DestroyWindow(HWND hWnd) {
  State& state = GetState();
  WindowRef window = Lookup(hWnd);
  if (!window || window->destroying) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  if (CallCbtHooks(HCBT_DESTROYWND, reinterpret_cast<WPARAM>(hWnd), 0) != 0) return FALSE;
  window->destroying = true;
  struct Remover {
    HWND hWnd;
    ~Remover() { RemoveWindow(hWnd); }
  } remover{hWnd};

  // Windows it owns go first.
  for (HWND other : std::vector<HWND>(state.topLevel)) {
    Window* owned = Find(other);
    if (owned != nullptr && owned->owner == hWnd) DestroyWindow(other);
  }
  // The focus leaves before the window hears of its destruction, to the
  // parent of a child window or the owner of a top-level one.
  if (IsInSubtree(hWnd, state.focus)) {
    HWND heir = (window->style & WS_CHILD) != 0 ? window->parent : window->owner;
    if (heir != nullptr && (Find(heir) == nullptr || !IsWindowEnabled(heir) || Find(heir)->destroying)) heir = nullptr;
    SetFocus(heir);
  }
  if (IsInSubtree(hWnd, state.capture)) state.capture = nullptr;
  if (state.active == hWnd) {
    Window* owner = Find(window->owner);
    state.active = (owner != nullptr && !owner->destroying) ? owner->handle : nullptr;
    if (state.active != nullptr) Invalidate(state.active);
  }
  if (window->alive) {
    SetVisibleFlag(*window, false);
    window->destroying = false;  // DestroyTree marks it again
    DestroyTree(hWnd);
  }
  return TRUE;
}

BOOL WINAPI IsWindow(HWND hWnd) { return Find(hWnd) != nullptr ? TRUE : FALSE; }

BOOL WINAPI IsChild(HWND hWndParent, HWND hWnd) {
  Window* window = Find(hWnd);
  while (window != nullptr && window->parent != nullptr) {
    if (window->parent == hWndParent) return TRUE;
    window = Find(window->parent);
  }
  return FALSE;
}

HWND WINAPI GetParent(HWND hWnd) {
  Window* window = Find(hWnd);
  if (window == nullptr) return nullptr;
  if ((window->style & WS_CHILD) != 0) return window->parent;
  return (window->style & WS_POPUP) != 0 ? window->owner : nullptr;
}

HWND WINAPI GetAncestor(HWND hWnd, UINT gaFlags) {
  Window* window = Find(hWnd);
  if (window == nullptr) return nullptr;
  if (gaFlags == GA_PARENT) return window->parent;
  while (window->parent != nullptr) window = Find(window->parent);
  return window->handle;
}

HWND WINAPI GetWindow(HWND hWnd, UINT uCmd) {
  Window* window = Find(hWnd);
  if (window == nullptr) return nullptr;
  if (uCmd == GW_CHILD) return window->children.empty() ? nullptr : window->children.front();
  if (uCmd == GW_OWNER) return window->owner;
  const std::vector<HWND>& siblings =
      window->parent != nullptr ? Find(window->parent)->children : GetState().topLevel;
  auto it = std::find(siblings.begin(), siblings.end(), hWnd);
  switch (uCmd) {
    case GW_HWNDFIRST:
      return siblings.front();
    case GW_HWNDLAST:
      return siblings.back();
    case GW_HWNDNEXT:
      return (it == siblings.end() || it + 1 == siblings.end()) ? nullptr : *(it + 1);
    case GW_HWNDPREV:
      return (it == siblings.begin() || it == siblings.end()) ? nullptr : *(it - 1);
    default:
      return nullptr;
  }
}

HWND WINAPI GetDlgItem(HWND hDlg, int nIDDlgItem) {
  Window* dialog = Find(hDlg);
  if (dialog == nullptr) return nullptr;
  auto wanted = static_cast<UINT_PTR>(static_cast<UINT>(nIDDlgItem));
  for (HWND child : dialog->children) {
    Window* window = Find(child);
    // A template stores identifiers in 16 bits: -1 is kept as 0xFFFF.
    if (window->id == wanted || (nIDDlgItem == -1 && window->id == 0xFFFF)) return child;
  }
  return nullptr;
}

int WINAPI GetDlgCtrlID(HWND hWnd) {
  Window* window = Find(hWnd);
  return window != nullptr ? static_cast<int>(window->id) : 0;
}

// ---- Window data ------------------------------------------------------------------------

LONG_PTR WINAPI GetWindowLongPtrA(HWND hWnd, int nIndex) {
  Window* window = Find(hWnd);
  if (window == nullptr) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  switch (nIndex) {
    case GWLP_WNDPROC:
      return reinterpret_cast<LONG_PTR>(window->proc);
    case GWLP_HINSTANCE:
      return reinterpret_cast<LONG_PTR>(window->hInstance);
    case GWLP_HWNDPARENT:
      return reinterpret_cast<LONG_PTR>(window->parent != nullptr ? window->parent : window->owner);
    case GWLP_ID:
      return static_cast<LONG_PTR>(window->id);
    case GWL_STYLE:
      return static_cast<LONG_PTR>(static_cast<LONG>(window->style));
    case GWL_EXSTYLE:
      return static_cast<LONG_PTR>(window->exStyle);
    case GWLP_USERDATA:
      return window->userData;
    default:
      break;
  }
  if (window->dialog && nIndex == DWLP_MSGRESULT) return window->dialog->msgResult;
  if (window->dialog && nIndex == DWLP_DLGPROC) return reinterpret_cast<LONG_PTR>(window->dialog->dlgProc);
  if (window->dialog && nIndex == DWLP_USER) return window->dialog->user;
  if (nIndex < 0 || static_cast<std::size_t>(nIndex) + sizeof(LONG_PTR) > window->extra.size()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  LONG_PTR value;
  std::memcpy(&value, window->extra.data() + nIndex, sizeof value);
  return value;
}

LONG_PTR WINAPI SetWindowLongPtrA(HWND hWnd, int nIndex, LONG_PTR dwNewLong) {
  Window* window = Find(hWnd);
  if (window == nullptr) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  LONG_PTR previous = GetWindowLongPtrA(hWnd, nIndex);
  switch (nIndex) {
    case GWLP_WNDPROC:
      window->proc = reinterpret_cast<WNDPROC>(dwNewLong);
      return previous;
    case GWLP_HINSTANCE:
      window->hInstance = reinterpret_cast<HINSTANCE>(dwNewLong);
      return previous;
    case GWLP_HWNDPARENT:
      if (window->parent == nullptr) window->owner = reinterpret_cast<HWND>(dwNewLong);
      return previous;
    case GWLP_ID:
      window->id = static_cast<UINT_PTR>(dwNewLong);
      return previous;
    case GWL_STYLE:
      window->style = static_cast<DWORD>(dwNewLong);
      Invalidate(hWnd);
      return previous;
    case GWL_EXSTYLE:
      window->exStyle = static_cast<DWORD>(dwNewLong);
      Invalidate(hWnd);
      return previous;
    case GWLP_USERDATA:
      window->userData = dwNewLong;
      return previous;
    default:
      break;
  }
  if (window->dialog && nIndex == DWLP_MSGRESULT) {
    window->dialog->msgResult = dwNewLong;
  } else if (window->dialog && nIndex == DWLP_DLGPROC) {
    window->dialog->dlgProc = reinterpret_cast<DLGPROC>(dwNewLong);
  } else if (window->dialog && nIndex == DWLP_USER) {
    window->dialog->user = dwNewLong;
  } else if (nIndex >= 0 && static_cast<std::size_t>(nIndex) + sizeof(LONG_PTR) <= window->extra.size()) {
    std::memcpy(window->extra.data() + nIndex, &dwNewLong, sizeof dwNewLong);
  } else {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  return previous;
}

LONG WINAPI GetWindowLongA(HWND hWnd, int nIndex) { return static_cast<LONG>(GetWindowLongPtrA(hWnd, nIndex)); }

LONG WINAPI SetWindowLongA(HWND hWnd, int nIndex, LONG dwNewLong) {
  return static_cast<LONG>(SetWindowLongPtrA(hWnd, nIndex, nIndex == GWL_STYLE
                                                               ? static_cast<LONG_PTR>(static_cast<DWORD>(dwNewLong))
                                                               : dwNewLong));
}

// ---- Text -------------------------------------------------------------------------------

BOOL WINAPI SetWindowTextA(HWND hWnd, LPCSTR lpString) {
  if (Find(hWnd) == nullptr) return FALSE;
  return SendMessageA(hWnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(lpString)) != 0 ? TRUE : FALSE;
}

int WINAPI GetWindowTextA(HWND hWnd, LPSTR lpString, int nMaxCount) {
  if (Find(hWnd) == nullptr || lpString == nullptr || nMaxCount <= 0) return 0;
  lpString[0] = '\0';
  return static_cast<int>(
      SendMessageA(hWnd, WM_GETTEXT, static_cast<WPARAM>(nMaxCount), reinterpret_cast<LPARAM>(lpString)));
}

int WINAPI GetWindowTextLengthA(HWND hWnd) {
  if (Find(hWnd) == nullptr) return 0;
  return static_cast<int>(SendMessageA(hWnd, WM_GETTEXTLENGTH, 0, 0));
}

BOOL WINAPI SetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPCSTR lpString) {
  return SetWindowTextA(GetDlgItem(hDlg, nIDDlgItem), lpString);
}

UINT WINAPI GetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPSTR lpString, int cchMax) {
  HWND item = GetDlgItem(hDlg, nIDDlgItem);
  if (item == nullptr) {
    if (lpString != nullptr && cchMax > 0) lpString[0] = '\0';
    return 0;
  }
  return static_cast<UINT>(GetWindowTextA(item, lpString, cchMax));
}

LRESULT WINAPI SendDlgItemMessageA(HWND hDlg, int nIDDlgItem, UINT Msg, WPARAM wParam, LPARAM lParam) {
  HWND item = GetDlgItem(hDlg, nIDDlgItem);
  return item != nullptr ? SendMessageA(item, Msg, wParam, lParam) : 0;
}

// ---- Visibility and enabling ---------------------------------------------------------------

BOOL WINAPI ShowWindow(HWND hWnd, int nCmdShow) {
  WindowRef window = Lookup(hWnd);
  if (!window) return FALSE;
  bool wasVisible = (window->style & WS_VISIBLE) != 0;
  bool show = nCmdShow != SW_HIDE;
  if (show != wasVisible) {
    SendMessageA(hWnd, WM_SHOWWINDOW, show ? TRUE : FALSE, 0);
    if (!window->alive) return wasVisible ? TRUE : FALSE;
    SetVisibleFlag(*window, show);
    State& state = GetState();
    if (!show && IsInSubtree(hWnd, state.focus)) {
      SetFocus((window->style & WS_CHILD) != 0 ? window->parent : window->owner);
    }
    Invalidate(hWnd);
    if (window->parent != nullptr) Invalidate(window->parent);
  }
  if (show && window->alive && window->parent == nullptr && GetState().active != hWnd) SetActiveWindow(hWnd);
  return wasVisible ? TRUE : FALSE;
}

BOOL WINAPI IsWindowVisible(HWND hWnd) {
  for (Window* window = Find(hWnd); window != nullptr; window = Find(window->parent)) {
    if ((window->style & WS_VISIBLE) == 0) return FALSE;
    if (window->parent == nullptr) return TRUE;
  }
  return FALSE;
}

BOOL WINAPI EnableWindow(HWND hWnd, BOOL bEnable) {
  WindowRef window = Lookup(hWnd);
  if (!window) return FALSE;
  bool wasDisabled = (window->style & WS_DISABLED) != 0;
  if (wasDisabled == (bEnable == FALSE)) return wasDisabled ? TRUE : FALSE;
  if (bEnable == FALSE) {
    // A disabled window cannot keep the focus.
    if (IsInSubtree(hWnd, GetState().focus)) SetFocus(nullptr);
    if (!window->alive) return wasDisabled ? TRUE : FALSE;
    window->style |= WS_DISABLED;
  } else {
    window->style &= ~static_cast<DWORD>(WS_DISABLED);
  }
  SendMessageA(hWnd, WM_ENABLE, bEnable != FALSE ? TRUE : FALSE, 0);
  Invalidate(hWnd);
  return wasDisabled ? TRUE : FALSE;
}

BOOL WINAPI IsWindowEnabled(HWND hWnd) {
  Window* window = Find(hWnd);
  return window != nullptr && (window->style & WS_DISABLED) == 0 ? TRUE : FALSE;
}

// ---- Geometry -------------------------------------------------------------------------------

BOOL WINAPI SetWindowPos(HWND hWnd, HWND, int X, int Y, int cx, int cy, UINT uFlags) {
  WindowRef window = Lookup(hWnd);
  if (!window) return FALSE;
  RECT old = window->rect;
  RECT rect = old;
  if ((uFlags & SWP_NOMOVE) == 0) rect = RECT{X, Y, X + (old.right - old.left), Y + (old.bottom - old.top)};
  if ((uFlags & SWP_NOSIZE) == 0) {
    rect.right = rect.left + std::max(cx, 0);
    rect.bottom = rect.top + std::max(cy, 0);
  }
  window->rect = rect;
  if (rect.left != old.left || rect.top != old.top) {
    POINT origin = ClientOrigin(hWnd);
    SendMessageA(hWnd, WM_MOVE, 0, MAKELPARAM(origin.x, origin.y));
  }
  if (window->alive && (rect.right - rect.left != old.right - old.left || rect.bottom - rect.top != old.bottom - old.top)) {
    RECT client = ClientRectOf(hWnd);
    SendMessageA(hWnd, WM_SIZE, 0, MAKELPARAM(client.right, client.bottom));
  }
  if (window->alive && (uFlags & SWP_SHOWWINDOW) != 0) ShowWindow(hWnd, SW_SHOW);
  if (window->alive && (uFlags & SWP_HIDEWINDOW) != 0) ShowWindow(hWnd, SW_HIDE);
  if (window->alive && (uFlags & SWP_NOREDRAW) == 0) {
    Invalidate(hWnd);
    if (window->parent != nullptr) Invalidate(window->parent);
  }
  return TRUE;
}

BOOL WINAPI MoveWindow(HWND hWnd, int X, int Y, int nWidth, int nHeight, BOOL bRepaint) {
  return SetWindowPos(hWnd, nullptr, X, Y, nWidth, nHeight, SWP_NOZORDER | (bRepaint ? 0 : SWP_NOREDRAW));
}

BOOL WINAPI GetWindowRect(HWND hWnd, LPRECT lpRect) {
  Window* window = Find(hWnd);
  if (window == nullptr || lpRect == nullptr) return FALSE;
  POINT origin = window->parent != nullptr ? ClientOrigin(window->parent) : POINT{0, 0};
  *lpRect = RECT{origin.x + window->rect.left, origin.y + window->rect.top, origin.x + window->rect.right,
                 origin.y + window->rect.bottom};
  return TRUE;
}

BOOL WINAPI GetClientRect(HWND hWnd, LPRECT lpRect) {
  if (Find(hWnd) == nullptr || lpRect == nullptr) return FALSE;
  *lpRect = ClientRectOf(hWnd);
  return TRUE;
}

BOOL WINAPI ClientToScreen(HWND hWnd, LPPOINT lpPoint) {
  if (Find(hWnd) == nullptr || lpPoint == nullptr) return FALSE;
  POINT origin = ClientOrigin(hWnd);
  lpPoint->x += origin.x;
  lpPoint->y += origin.y;
  return TRUE;
}

BOOL WINAPI ScreenToClient(HWND hWnd, LPPOINT lpPoint) {
  if (Find(hWnd) == nullptr || lpPoint == nullptr) return FALSE;
  POINT origin = ClientOrigin(hWnd);
  lpPoint->x -= origin.x;
  lpPoint->y -= origin.y;
  return TRUE;
}

static bool Contains(const RECT& r, POINT p) { return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom; }

HWND WINAPI WindowFromPoint(POINT point) {
  const auto& topLevel = GetState().topLevel;
  for (auto it = topLevel.rbegin(); it != topLevel.rend(); ++it) {
    RECT rect;
    if (!IsWindowVisible(*it) || !GetWindowRect(*it, &rect) || !Contains(rect, point)) continue;
    HWND found = *it;
    // Descend to the deepest visible, enabled child under the point; a
    // disabled child lets the point through to its parent.
    for (bool descended = true; descended;) {
      descended = false;
      for (HWND child : Find(found)->children) {
        Window* window = Find(child);
        if ((window->style & WS_VISIBLE) == 0 || (window->style & WS_DISABLED) != 0) continue;
        if (GetWindowRect(child, &rect) && Contains(rect, point)) {
          found = child;
          descended = true;
          break;
        }
      }
    }
    return found;
  }
  return nullptr;
}

BOOL WINAPI InvalidateRect(HWND hWnd, const RECT*, BOOL) {
  if (hWnd == nullptr) {
    for (auto& entry : GetState().windows) Invalidate(entry.first);
    return TRUE;
  }
  if (Find(hWnd) == nullptr) return FALSE;
  Invalidate(hWnd);
  return TRUE;
}

BOOL WINAPI UpdateWindow(HWND hWnd) { return IsWindow(hWnd); }

BOOL WINAPI AdjustWindowRectEx(LPRECT lpRect, DWORD dwStyle, BOOL, DWORD dwExStyle) {
  if (lpRect == nullptr) return FALSE;
  RECT insets = NonClientInsets(dwStyle, dwExStyle);
  lpRect->left -= insets.left;
  lpRect->top -= insets.top;
  lpRect->right += insets.right;
  lpRect->bottom += insets.bottom;
  return TRUE;
}

int WINAPI GetSystemMetrics(int nIndex) {
  switch (nIndex) {
    case SM_CXSCREEN:
      return 1024;
    case SM_CYSCREEN:
      return 768;
    default:
      return 0;
  }
}

// ---- Focus, activation, capture --------------------------------------------------------------

HWND WINAPI GetFocus(void) { return GetState().focus; }
HWND WINAPI GetActiveWindow(void) { return GetState().active; }
HWND WINAPI GetCapture(void) { return GetState().capture; }

HWND WINAPI SetFocus(HWND hWnd) {
  State& state = GetState();
  if (hWnd != nullptr && Find(hWnd) == nullptr) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  HWND previous = state.focus;
  if (previous == hWnd) return previous;
  if (hWnd != nullptr) {
    HWND top = GetAncestor(hWnd, GA_ROOT);
    if (top != state.active) SetActiveWindow(top);
    if (Find(hWnd) == nullptr) return nullptr;
  }
  HWND lost = state.focus;
  if (lost == hWnd) return previous;
  // The focus is moved before the window losing it is told, so that during
  // WM_KILLFOCUS (and the EN_KILLFOCUS an edit sends from it) GetFocus
  // already names the window that receives the focus.
  state.focus = hWnd;
  if (Find(lost) != nullptr) SendMessageA(lost, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hWnd), 0);
  if (hWnd != nullptr && state.focus == hWnd && Find(hWnd) != nullptr) {
    SendMessageA(hWnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(Find(lost) != nullptr ? lost : nullptr), 0);
  }
  CurrentPresentation().OnFocusChanged(Find(lost) != nullptr ? lost : nullptr, state.focus);
  return Find(previous) != nullptr ? previous : nullptr;
}

HWND WINAPI SetActiveWindow(HWND hWnd) {
  State& state = GetState();
  Window* window = Find(hWnd);
  if (window != nullptr && window->parent != nullptr) hWnd = GetAncestor(hWnd, GA_ROOT);
  HWND previous = state.active;
  if (previous == hWnd) return previous;
  state.active = hWnd;
  if (hWnd != nullptr) {
    auto& topLevel = state.topLevel;
    topLevel.erase(std::remove(topLevel.begin(), topLevel.end(), hWnd), topLevel.end());
    topLevel.push_back(hWnd);
  }
  if (Find(previous) != nullptr) {
    SendMessageA(previous, WM_ACTIVATE, WA_INACTIVE, reinterpret_cast<LPARAM>(hWnd));
    Invalidate(previous);
  }
  if (hWnd != nullptr && state.active == hWnd && Find(hWnd) != nullptr) {
    SendMessageA(hWnd, WM_ACTIVATE, WA_ACTIVE, reinterpret_cast<LPARAM>(Find(previous) != nullptr ? previous : nullptr));
    Invalidate(hWnd);
  }
  return Find(previous) != nullptr ? previous : nullptr;
}

HWND WINAPI SetCapture(HWND hWnd) {
  State& state = GetState();
  HWND previous = state.capture;
  if (previous == hWnd) return previous;
  state.capture = Find(hWnd) != nullptr ? hWnd : nullptr;
  if (Find(previous) != nullptr) SendMessageA(previous, WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(hWnd));
  return previous;
}

BOOL WINAPI ReleaseCapture(void) {
  State& state = GetState();
  HWND previous = state.capture;
  state.capture = nullptr;
  if (Find(previous) != nullptr) SendMessageA(previous, WM_CAPTURECHANGED, 0, 0);
  return TRUE;
}

// ---- The default window procedure ------------------------------------------------------------

LRESULT WINAPI DefWindowProcA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  Window* window = Find(hWnd);
  if (window == nullptr) return 0;
  switch (Msg) {
    case WM_NCCREATE: {
      auto* cs = reinterpret_cast<CREATESTRUCTA*>(lParam);
      if (cs != nullptr && cs->lpszName != nullptr && !IS_INTRESOURCE(cs->lpszName)) window->text = cs->lpszName;
      return TRUE;
    }
    case WM_SETTEXT:
      window->text = lParam != 0 ? reinterpret_cast<LPCSTR>(lParam) : "";
      Invalidate(hWnd);
      return TRUE;
    case WM_GETTEXT: {
      auto* buffer = reinterpret_cast<LPSTR>(lParam);
      if (buffer == nullptr || wParam == 0) return 0;
      std::size_t count = std::min<std::size_t>(window->text.size(), wParam - 1);
      // Never cut a character in two.
      while (count > 0 && count < window->text.size() &&
             (static_cast<unsigned char>(window->text[count]) & 0xC0) == 0x80) {
        --count;
      }
      std::memcpy(buffer, window->text.data(), count);
      buffer[count] = '\0';
      return static_cast<LRESULT>(count);
    }
    case WM_GETTEXTLENGTH:
      return static_cast<LRESULT>(window->text.size());
    case WM_CLOSE:
      DestroyWindow(hWnd);
      return 0;
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == SC_CLOSE) SendMessageA(hWnd, WM_CLOSE, 0, 0);
      return 0;
    case WM_SYSKEYDOWN:
      if (wParam == VK_F4) PostMessageA(GetAncestor(hWnd, GA_ROOT), WM_SYSCOMMAND, SC_CLOSE, 0);
      return 0;
    case WM_KEYDOWN:
      if (wParam == VK_F1 && GetKeyState(VK_SHIFT) >= 0 && GetKeyState(VK_CONTROL) >= 0) {
        HELPINFO info{sizeof(HELPINFO), HELPINFO_WINDOW, GetDlgCtrlID(hWnd), hWnd, 0, GetState().cursor};
        SendMessageA(hWnd, WM_HELP, 0, reinterpret_cast<LPARAM>(&info));
      }
      return 0;
    case WM_HELP: {
      // Help travels up to the parent of a child, or the owner of a window.
      HWND up = window->parent != nullptr ? window->parent : window->owner;
      return up != nullptr ? SendMessageA(up, WM_HELP, wParam, lParam) : 0;
    }
    default:
      return 0;
  }
}

}  // extern "C"
