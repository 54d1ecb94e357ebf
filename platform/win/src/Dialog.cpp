// The dialog manager: dialogs from templates, the modal loop, the default
// dialog procedure and the dialog keyboard interface.
#include <algorithm>
#include <cctype>
#include <limits>

#include "win/resources.h"
#include "win/src/System.h"

namespace win::detail {

void DialogSetFocus(HWND hCtl) {
  // The original selects an edit's text before moving the focus into it,
  // so that typing replaces it.
  if ((SendMessageA(hCtl, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL) != 0) SendMessageA(hCtl, EM_SETSEL, 0, -1);
  if (IsWindow(hCtl)) SetFocus(hCtl);
}

namespace {

// Base units of a dialog font: pixels per 4 horizontal and 8 vertical
// dialog units. The window system has no fonts; this model gives the
// metrics of the usual 8-point dialog font (6 by 13 pixels).
void BaseUnitsForFont(int pointSize, int* baseX, int* baseY) {
  if (pointSize <= 0) {
    *baseX = 8;
    *baseY = 16;
    return;
  }
  *baseX = std::max(1, (pointSize * 3 + 2) / 4);
  *baseY = std::max(1, (pointSize * 13 + 4) / 8);
}

HWND ChildContaining(HWND hDlg, HWND hWnd) {
  for (Window* window = Find(hWnd); window != nullptr; window = Find(window->parent)) {
    if (window->parent == hDlg) return window->handle;
  }
  return nullptr;
}

bool CanTakeFocus(HWND hWnd) {
  Window* window = Find(hWnd);
  return window != nullptr && (window->style & WS_VISIBLE) != 0 && (window->style & WS_DISABLED) == 0;
}

UINT DlgCode(HWND hWnd, const MSG* msg) {
  return static_cast<UINT>(SendMessageA(hWnd, WM_GETDLGCODE, msg != nullptr ? msg->wParam : 0,
                                        reinterpret_cast<LPARAM>(msg)));
}

bool IsPushButton(HWND hWnd) {
  Window* window = Find(hWnd);
  if (window == nullptr || window->cls->kind != ControlKind::Button) return false;
  DWORD type = window->style & BS_TYPEMASK;
  return type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON;
}

// True when `text` marks `ch` with an ampersand ("&&" is a literal one).
bool HasMnemonic(const std::string& text, char32_t ch) {
  for (std::size_t i = 0; i + 1 < text.size(); ++i) {
    if (text[i] != '&') continue;
    if (text[i + 1] == '&') {
      ++i;
      continue;
    }
    return ch < 0x80 && std::tolower(static_cast<unsigned char>(text[i + 1])) == std::tolower(static_cast<int>(ch));
  }
  return false;
}

// Alt+letter, or a plain letter when the focus does not take characters:
// the control whose text marks the letter acts. A label sends the focus on
// to the control that follows it; a push button is clicked.
bool HandleMnemonic(HWND hDlg, HWND hFocus, char32_t ch) {
  Window* dialog = Find(hDlg);
  if (dialog == nullptr) return false;
  std::vector<HWND> children = dialog->children;
  if (children.empty()) return false;
  auto focusIt = std::find(children.begin(), children.end(), ChildContaining(hDlg, hFocus));
  std::size_t start = focusIt == children.end() ? 0 : static_cast<std::size_t>(focusIt - children.begin()) + 1;
  for (std::size_t n = 0; n < children.size(); ++n) {
    std::size_t index = (start + n) % children.size();
    HWND child = children[index];
    Window* window = Find(child);
    if (window == nullptr || !CanTakeFocus(child) || !HasMnemonic(window->text, ch)) continue;
    ControlKind kind = window->cls->kind;
    DWORD buttonType = window->style & BS_TYPEMASK;
    bool isLabel = (kind == ControlKind::Static && (window->style & SS_NOPREFIX) == 0) ||
                   (kind == ControlKind::Button && buttonType == BS_GROUPBOX);
    if (isLabel) {
      for (std::size_t k = index + 1; k < children.size(); ++k) {
        HWND next = children[k];
        Window* candidate = Find(next);
        if (candidate == nullptr || !CanTakeFocus(next)) continue;
        if ((DlgCode(next, nullptr) & DLGC_STATIC) != 0) continue;
        DialogSetFocus(next);
        return true;
      }
      return true;
    }
    if (kind == ControlKind::Button) {
      if (!IsPushButton(child)) DialogSetFocus(child);
      if (IsWindow(child)) SendMessageA(child, BM_CLICK, 0, 0);
      return true;
    }
  }
  return false;
}

void SendCommand(HWND hDlg, int id) {
  HWND control = GetDlgItem(hDlg, id);
  if (control != nullptr && !IsWindowEnabled(control)) {
    MessageBeep(0);
    return;
  }
  SendMessageA(hDlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(control));
}

// Creates a template's controls in the dialog, in order; the first default
// push button becomes the dialog's default. False when a control could not
// be made or the dialog went away meanwhile.
bool CreateTemplateControls(HWND hDlg, HINSTANCE hInstance, const win::DialogTemplateInfo& info, int baseX,
                            int baseY) {
  bool defaultFound = false;
  for (const auto& item : info.items) {
    LPVOID creationData = item.creationData.empty() ? nullptr : const_cast<BYTE*>(item.creationData.data());
    HWND control = CreateWindowExA(item.exStyle | WS_EX_NOPARENTNOTIFY, item.className.c_str(), item.text.c_str(),
                                   item.style | WS_CHILD, MulDiv(item.x, baseX, 4), MulDiv(item.y, baseY, 8),
                                   MulDiv(item.cx, baseX, 4), MulDiv(item.cy, baseY, 8), hDlg,
                                   reinterpret_cast<HMENU>(static_cast<UINT_PTR>(item.id)), hInstance, creationData);
    if (control == nullptr || Find(hDlg) == nullptr) return false;
    Window* window = Find(control);
    window->hasDialogUnits = true;
    window->dialogUnits = RECT{item.x, item.y, item.x + item.cx, item.y + item.cy};
    if (!defaultFound && window->cls->kind == ControlKind::Button && (item.style & BS_TYPEMASK) == BS_DEFPUSHBUTTON) {
      Find(hDlg)->dialog->defId = item.id;
      defaultFound = true;
    }
  }
  return true;
}

// The dialog's own data on its window: its procedure, base units and font,
// and its rectangle in dialog units.
void AttachDialogData(HWND hDlg, const win::DialogTemplateInfo& info, DLGPROC dlgProc, int baseX, int baseY) {
  Window* dialog = Find(hDlg);
  dialog->dialog = std::make_unique<DialogData>();
  dialog->dialog->dlgProc = dlgProc;
  dialog->dialog->baseX = baseX;
  dialog->dialog->baseY = baseY;
  dialog->dialog->fontFace = info.typeface;
  dialog->dialog->pointSize = info.pointSize;
  dialog->hasDialogUnits = true;
  dialog->dialogUnits = RECT{info.x, info.y, info.x + info.cx, info.y + info.cy};
}

HWND CreateDialogFromTemplate(HINSTANCE hInstance, const void* data, HWND hWndParent, DLGPROC dlgProc,
                              LPARAM initParam) {
  std::size_t size = ResourceSizeAt(data);
  win::DialogTemplateInfo info;
  if (!win::ParseDialogTemplate(data, size != 0 ? size : std::numeric_limits<std::size_t>::max(), &info)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  int baseX, baseY;
  BaseUnitsForFont((info.style & DS_SETFONT) != 0 ? info.pointSize : 0, &baseX, &baseY);
  DWORD style = info.style & ~static_cast<DWORD>(WS_VISIBLE);
  DWORD exStyle = info.exStyle | ((info.style & DS_MODALFRAME) != 0 ? WS_EX_DLGMODALFRAME : 0);
  if ((style & WS_CHILD) == 0) style |= WS_POPUP;

  RECT client{0, 0, MulDiv(info.cx, baseX, 4), MulDiv(info.cy, baseY, 8)};
  RECT frame = client;
  AdjustWindowRectEx(&frame, style, FALSE, exStyle);
  int width = frame.right - frame.left;
  int height = frame.bottom - frame.top;
  POINT origin{0, 0};
  HWND reference = (style & WS_CHILD) != 0 ? hWndParent : GetAncestor(hWndParent, GA_ROOT);
  if ((style & WS_CHILD) == 0 && reference != nullptr) origin = ClientOrigin(reference);
  int x = origin.x + MulDiv(info.x, baseX, 4);
  int y = origin.y + MulDiv(info.y, baseY, 8);
  if ((info.style & DS_CENTER) != 0 && (style & WS_CHILD) == 0) {
    RECT area{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    if (reference != nullptr) GetWindowRect(reference, &area);
    x = (area.left + area.right - width) / 2;
    y = (area.top + area.bottom - height) / 2;
  }

  LPCSTR className = info.className.empty() ? WC_DIALOG : info.className.c_str();
  HWND hDlg = CreateWindowExA(exStyle, className, info.caption.c_str(), style, x, y, width, height, hWndParent,
                              nullptr, hInstance, nullptr);
  if (hDlg == nullptr) return nullptr;
  struct Abandon {
    HWND hDlg;
    bool keep = false;
    ~Abandon() {
      if (!keep && IsWindow(hDlg)) DestroyWindow(hDlg);
    }
  } abandon{hDlg};

  AttachDialogData(hDlg, info, dlgProc, baseX, baseY);

  if (!CreateTemplateControls(hDlg, hInstance, info, baseX, baseY)) return nullptr;

  HWND first = GetNextDlgTabItem(hDlg, nullptr, FALSE);
  LRESULT setFocus = SendMessageA(hDlg, WM_INITDIALOG, reinterpret_cast<WPARAM>(first), initParam);
  if (Find(hDlg) == nullptr) return nullptr;
  if (setFocus != 0 && first != nullptr && IsWindow(first)) DialogSetFocus(first);
  if (Find(hDlg) == nullptr) return nullptr;
  if ((info.style & WS_VISIBLE) != 0) ShowWindow(hDlg, SW_SHOW);
  abandon.keep = IsWindow(hDlg) != FALSE;
  return abandon.keep ? hDlg : nullptr;
}

// Closing a dialog is pressing its Cancel button, unless that button is
// disabled.
void CloseDialog(HWND hDlg) {
  HWND cancel = GetDlgItem(hDlg, IDCANCEL);
  if (cancel != nullptr && !IsWindowEnabled(cancel)) {
    MessageBeep(0);
  } else {
    PostMessageA(hDlg, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(cancel));
  }
}

// A dialog going inactive remembers its focused control; coming back, it
// gives that control the focus unless the focus is in the dialog already.
void KeepFocusAcrossActivation(HWND hDlg, DialogData& data, bool active) {
  HWND focus = GetFocus();
  if (!active) {
    if (focus != nullptr && IsChild(hDlg, focus)) data.savedFocus = focus;
  } else if (data.savedFocus != nullptr && IsWindow(data.savedFocus) && IsChild(hDlg, data.savedFocus)) {
    if (focus == nullptr || !(focus == hDlg || IsChild(hDlg, focus))) SetFocus(data.savedFocus);
  }
}

const void* LoadTemplate(HINSTANCE hInstance, LPCSTR name) {
  HRSRC resource = FindResourceA(hInstance, name, RT_DIALOG);
  return resource != nullptr ? LockResource(LoadResource(hInstance, resource)) : nullptr;
}

}  // namespace
}  // namespace win::detail

using namespace win::detail;

extern "C" {

HWND WINAPI CreateDialogIndirectParamA(HINSTANCE hInstance, LPCDLGTEMPLATEA lpTemplate, HWND hWndParent,
                                       DLGPROC lpDialogFunc, LPARAM dwInitParam) {
  return CreateDialogFromTemplate(hInstance, lpTemplate, hWndParent, lpDialogFunc, dwInitParam);
}

HWND WINAPI CreateDialogParamA(HINSTANCE hInstance, LPCSTR lpTemplateName, HWND hWndParent, DLGPROC lpDialogFunc,
                               LPARAM dwInitParam) {
  const void* data = LoadTemplate(hInstance, lpTemplateName);
  if (data == nullptr) return nullptr;
  return CreateDialogFromTemplate(hInstance, data, hWndParent, lpDialogFunc, dwInitParam);
}

INT_PTR WINAPI DialogBoxIndirectParamA(HINSTANCE hInstance, LPCDLGTEMPLATEA hDialogTemplate, HWND hWndParent,
                                       DLGPROC lpDialogFunc, LPARAM dwInitParam) {
  HWND owner = GetAncestor(hWndParent, GA_ROOT);
  HWND hDlg = CreateDialogFromTemplate(hInstance, hDialogTemplate, owner, lpDialogFunc, dwInitParam);
  if (hDlg == nullptr) return -1;
  bool ownerDisabled = owner != nullptr && IsWindowEnabled(owner) && EnableWindow(owner, FALSE) == FALSE;
  // On every way out, the owner comes back before the dialog goes, so that
  // it can take the activation and the focus.
  struct Cleanup {
    HWND hDlg, owner;
    bool ownerDisabled;
    ~Cleanup() {
      if (ownerDisabled && IsWindow(owner)) EnableWindow(owner, TRUE);
      if (IsWindow(hDlg)) DestroyWindow(hDlg);
    }
  } cleanup{hDlg, owner, ownerDisabled};

  Window* dialog = Find(hDlg);
  if (dialog != nullptr && !dialog->dialog->ended && !IsWindowVisible(hDlg)) ShowWindow(hDlg, SW_SHOW);
  for (;;) {
    dialog = Find(hDlg);
    if (dialog == nullptr) return -1;  // destroyed without EndDialog
    if (dialog->dialog->ended) return dialog->dialog->result;
    MSG msg;
    BOOL got = GetMessageA(&msg, nullptr, 0, 0);
    if (got == 0) {
      // The quit request belongs to the loop outside: hand it on.
      PostQuitMessage(static_cast<int>(msg.wParam));
      return -1;
    }
    if (got == -1) return -1;
    if (!IsDialogMessageA(hDlg, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }
}

INT_PTR WINAPI DialogBoxParamA(HINSTANCE hInstance, LPCSTR lpTemplateName, HWND hWndParent, DLGPROC lpDialogFunc,
                               LPARAM dwInitParam) {
  const void* data = LoadTemplate(hInstance, lpTemplateName);
  if (data == nullptr) return -1;
  return DialogBoxIndirectParamA(hInstance, static_cast<LPCDLGTEMPLATEA>(data), hWndParent, lpDialogFunc,
                                 dwInitParam);
}

BOOL WINAPI EndDialog(HWND hDlg, INT_PTR nResult) {
  Window* dialog = Find(hDlg);
  if (dialog == nullptr || !dialog->dialog) return FALSE;
  dialog->dialog->ended = true;
  dialog->dialog->result = nResult;
  return TRUE;
}

LRESULT WINAPI DefDlgProcA(HWND hDlg, UINT Msg, WPARAM wParam, LPARAM lParam) {
  Window* dialog = Find(hDlg);
  if (dialog == nullptr || !dialog->dialog) return DefWindowProcA(hDlg, Msg, wParam, lParam);
  if (DLGPROC dlgProc = dialog->dialog->dlgProc) {
    INT_PTR handled = dlgProc(hDlg, Msg, wParam, lParam);
    if (Msg == WM_INITDIALOG) return handled;
    dialog = Find(hDlg);
    if (handled != 0) return dialog != nullptr && dialog->dialog ? dialog->dialog->msgResult : 0;
    if (dialog == nullptr || !dialog->dialog) return 0;
  } else if (Msg == WM_INITDIALOG) {
    return TRUE;
  }
  DialogData& data = *dialog->dialog;
  switch (Msg) {
    case WM_CLOSE:
      CloseDialog(hDlg);
      return 0;
    case DM_GETDEFID:
      return data.defId != 0 ? MAKELRESULT(data.defId, DC_HASDEFID) : 0;
    case DM_SETDEFID: {
      HWND previous = GetDlgItem(hDlg, data.defId);
      data.defId = static_cast<WORD>(wParam);
      Invalidate(previous);
      Invalidate(GetDlgItem(hDlg, data.defId));
      return TRUE;
    }
    case WM_ACTIVATE:
      KeepFocusAcrossActivation(hDlg, data, LOWORD(wParam) != WA_INACTIVE);
      return 0;
    case WM_NEXTDLGCTL: {
      // lParam nonzero: wParam is the control; else wParam picks the next
      // (0) or previous tab stop.
      HWND target = lParam != 0 ? reinterpret_cast<HWND>(wParam)
                                : GetNextDlgTabItem(hDlg, GetFocus(), wParam != 0 ? TRUE : FALSE);
      if (target != nullptr && IsWindow(target)) DialogSetFocus(target);
      return 0;
    }
    case WM_SETFOCUS: {
      // The dialog itself passes the focus on to a control.
      HWND target = data.savedFocus;
      if (target == nullptr || !IsWindow(target) || !IsChild(hDlg, target) || !CanTakeFocus(target)) {
        target = GetNextDlgTabItem(hDlg, nullptr, FALSE);
      }
      if (target != nullptr) DialogSetFocus(target);
      return 0;
    }
    default:
      return DefWindowProcA(hDlg, Msg, wParam, lParam);
  }
}

BOOL WINAPI IsDialogMessageA(HWND hDlg, LPMSG lpMsg) {
  if (lpMsg == nullptr || Find(hDlg) == nullptr) return FALSE;
  if (lpMsg->hwnd != hDlg && !IsChild(hDlg, lpMsg->hwnd)) return FALSE;
  HWND target = lpMsg->hwnd;
  UINT message = lpMsg->message;
  if (message == WM_KEYDOWN || message == WM_CHAR || message == WM_SYSCHAR) {
    UINT code = DlgCode(target, lpMsg);
    if ((code & DLGC_WANTMESSAGE) == 0) {
      if (message == WM_KEYDOWN) {
        switch (lpMsg->wParam) {
          case VK_TAB:
            if ((code & DLGC_WANTTAB) != 0) break;
            {
              HWND from = target == hDlg ? nullptr : target;
              HWND next = GetNextDlgTabItem(hDlg, from, GetKeyState(VK_SHIFT) < 0);
              if (next != nullptr) DialogSetFocus(next);
            }
            return TRUE;
          case VK_LEFT:
          case VK_UP:
          case VK_RIGHT:
          case VK_DOWN:
            if ((code & DLGC_WANTARROWS) != 0) break;
            if (target != hDlg) {
              bool previous = lpMsg->wParam == VK_LEFT || lpMsg->wParam == VK_UP;
              HWND next = GetNextDlgGroupItem(hDlg, target, previous ? TRUE : FALSE);
              if (next != nullptr && next != target) DialogSetFocus(next);
            }
            return TRUE;
          case VK_RETURN: {
            int id = IDOK;
            if ((code & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON)) != 0) {
              id = GetDlgCtrlID(target);
            } else {
              LRESULT defId = SendMessageA(hDlg, DM_GETDEFID, 0, 0);
              if (HIWORD(defId) == DC_HASDEFID) id = LOWORD(defId);
            }
            SendCommand(hDlg, id);
            return TRUE;
          }
          case VK_ESCAPE:
            SendCommand(hDlg, IDCANCEL);
            return TRUE;
          default:
            break;
        }
      } else if (message == WM_SYSCHAR || (code & DLGC_WANTCHARS) == 0) {
        auto ch = static_cast<char32_t>(lpMsg->wParam);
        if (ch > ' ' && HandleMnemonic(hDlg, GetFocus(), ch)) return TRUE;
      }
    }
  }
  TranslateMessage(lpMsg);
  DispatchMessageA(lpMsg);
  return TRUE;
}

HWND WINAPI GetNextDlgTabItem(HWND hDlg, HWND hCtl, BOOL bPrevious) {
  Window* dialog = Find(hDlg);
  if (dialog == nullptr) return nullptr;
  const std::vector<HWND>& children = dialog->children;
  auto n = static_cast<long>(children.size());
  if (n == 0) return nullptr;
  HWND from = hCtl != nullptr ? ChildContaining(hDlg, hCtl) : nullptr;
  long index = from == nullptr ? (bPrevious ? n : -1) : static_cast<long>(std::find(children.begin(), children.end(), from) - children.begin());
  long step = bPrevious ? -1 : 1;
  for (long k = 1; k <= n; ++k) {
    HWND candidate = children[static_cast<std::size_t>(((index + step * k) % n + n) % n)];
    if (CanTakeFocus(candidate) && (Find(candidate)->style & WS_TABSTOP) != 0) return candidate;
  }
  return nullptr;
}

HWND WINAPI GetNextDlgGroupItem(HWND hDlg, HWND hCtl, BOOL bPrevious) {
  Window* dialog = Find(hDlg);
  HWND from = ChildContaining(hDlg, hCtl);
  if (dialog == nullptr || from == nullptr) return nullptr;
  const std::vector<HWND>& children = dialog->children;
  auto at = static_cast<std::size_t>(std::find(children.begin(), children.end(), from) - children.begin());
  // A group runs from a control with WS_GROUP to the control before the next one.
  std::size_t first = at;
  while (first > 0 && (Find(children[first])->style & WS_GROUP) == 0) --first;
  std::size_t last = at;
  while (last + 1 < children.size() && (Find(children[last + 1])->style & WS_GROUP) == 0) ++last;
  std::size_t size = last - first + 1;
  for (std::size_t k = 1; k < size; ++k) {
    std::size_t offset = bPrevious ? (at - first + size - k) % size : (at - first + k) % size;
    HWND candidate = children[first + offset];
    if (CanTakeFocus(candidate) && (DlgCode(candidate, nullptr) & DLGC_STATIC) == 0) return candidate;
  }
  return hCtl;
}

BOOL WINAPI MapDialogRect(HWND hDlg, LPRECT lpRect) {
  Window* dialog = Find(hDlg);
  if (dialog == nullptr || !dialog->dialog || lpRect == nullptr) return FALSE;
  int baseX = dialog->dialog->baseX;
  int baseY = dialog->dialog->baseY;
  lpRect->left = MulDiv(lpRect->left, baseX, 4);
  lpRect->right = MulDiv(lpRect->right, baseX, 4);
  lpRect->top = MulDiv(lpRect->top, baseY, 8);
  lpRect->bottom = MulDiv(lpRect->bottom, baseY, 8);
  return TRUE;
}

LONG WINAPI GetDialogBaseUnits(void) { return MAKELONG(8, 16); }

}  // extern "C"
