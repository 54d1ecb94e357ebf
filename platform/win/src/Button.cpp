// The predefined button and static controls.
#include "win/src/System.h"

namespace win::detail {
namespace {

struct ButtonState : ControlState {
  bool pushed = false;
  bool tracking = false;  // the mouse went down on the button and is held
  bool spaceDown = false;
  UINT check = BST_UNCHECKED;

  void Describe(HWND, WindowView& view) const override {
    view.button.pushed = pushed;
    view.button.checked = check == BST_CHECKED;
  }
};

DWORD ButtonType(HWND hWnd) { return static_cast<DWORD>(GetWindowLongA(hWnd, GWL_STYLE)) & BS_TYPEMASK; }

bool Inside(HWND hWnd, LPARAM lParam) {
  RECT client = ClientRectOf(hWnd);
  int x = GET_X_LPARAM(lParam);
  int y = GET_Y_LPARAM(lParam);
  return x >= 0 && y >= 0 && x < client.right && y < client.bottom;
}

void SetPushed(HWND hWnd, ButtonState& state, bool pushed) {
  if (state.pushed == pushed) return;
  state.pushed = pushed;
  Invalidate(hWnd);
}

void Click(HWND hWnd, ButtonState& state) {
  if (ButtonType(hWnd) == BS_AUTOCHECKBOX) {
    state.check = state.check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED;
    Invalidate(hWnd);
  }
  NotifyParent(hWnd, BN_CLICKED);
}

struct StaticState : ControlState {
  bool pressed = false;
  void Describe(HWND, WindowView&) const override {}
};

}  // namespace

LRESULT CALLBACK ButtonProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  std::shared_ptr<ButtonState> state = ControlStateFor<ButtonState>(hWnd, msg);
  if (!state) return DefWindowProcA(hWnd, msg, wParam, lParam);
  DWORD type = ButtonType(hWnd);
  switch (msg) {
    case WM_GETDLGCODE:
      if (type == BS_GROUPBOX) return DLGC_STATIC;
      if (type == BS_DEFPUSHBUTTON) return DLGC_BUTTON | DLGC_DEFPUSHBUTTON;
      if (type == BS_PUSHBUTTON) return DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON;
      return DLGC_BUTTON;
    case WM_LBUTTONDOWN:
      if (type == BS_GROUPBOX) return 0;
      if (GetFocus() != hWnd) SetFocus(hWnd);
      // Moving the focus may have run code that took it elsewhere, or
      // destroyed the button; then the press is lost, as on the original.
      if (!IsWindow(hWnd) || GetFocus() != hWnd) return 0;
      SetCapture(hWnd);
      state->tracking = true;
      SetPushed(hWnd, *state, true);
      return 0;
    case WM_MOUSEMOVE:
      if (state->tracking) SetPushed(hWnd, *state, Inside(hWnd, lParam));
      return 0;
    case WM_LBUTTONUP: {
      if (!state->tracking) return 0;
      state->tracking = false;
      bool clicked = state->pushed && Inside(hWnd, lParam);
      SetPushed(hWnd, *state, false);
      if (GetCapture() == hWnd) ReleaseCapture();
      if (clicked && IsWindow(hWnd)) Click(hWnd, *state);
      return 0;
    }
    case WM_CAPTURECHANGED:
      if (state->tracking && reinterpret_cast<HWND>(lParam) != hWnd) {
        state->tracking = false;
        SetPushed(hWnd, *state, false);
      }
      return 0;
    case WM_KEYDOWN:
      if (wParam == VK_SPACE && type != BS_GROUPBOX) {
        state->spaceDown = true;
        SetPushed(hWnd, *state, true);
        return 0;
      }
      return DefWindowProcA(hWnd, msg, wParam, lParam);
    case WM_KEYUP:
      if (wParam == VK_SPACE && state->spaceDown) {
        state->spaceDown = false;
        SetPushed(hWnd, *state, false);
        Click(hWnd, *state);
        return 0;
      }
      return DefWindowProcA(hWnd, msg, wParam, lParam);
    case WM_CHAR:
      return 0;
    case WM_SETFOCUS:
      Invalidate(hWnd);
      return 0;
    case WM_KILLFOCUS:
      // A press in progress is abandoned when the focus goes.
      state->spaceDown = false;
      if (state->tracking) {
        state->tracking = false;
        if (GetCapture() == hWnd) ReleaseCapture();
      }
      SetPushed(hWnd, *state, false);
      Invalidate(hWnd);
      return 0;
    case WM_ENABLE:
      Invalidate(hWnd);
      return 0;
    case BM_CLICK:
      // The original clicks with a mouse press and release.
      SendMessageA(hWnd, WM_LBUTTONDOWN, MK_LBUTTON, 0);
      if (IsWindow(hWnd)) SendMessageA(hWnd, WM_LBUTTONUP, 0, 0);
      return 0;
    case BM_GETCHECK:
      return state->check;
    case BM_SETCHECK:
      state->check = static_cast<UINT>(wParam);
      Invalidate(hWnd);
      return 0;
    case BM_GETSTATE:
      return state->check | (state->pushed ? BST_PUSHED : 0) | (GetFocus() == hWnd ? BST_FOCUS : 0);
    case BM_SETSTATE:
      SetPushed(hWnd, *state, wParam != 0);
      return 0;
    case BM_SETSTYLE: {
      auto style = static_cast<DWORD>(GetWindowLongA(hWnd, GWL_STYLE));
      style = (style & ~static_cast<DWORD>(0xFFFF)) | LOWORD(wParam);
      if (Window* window = Find(hWnd)) window->style = style;
      if (lParam != 0) Invalidate(hWnd);
      return 0;
    }
    default:
      return DefWindowProcA(hWnd, msg, wParam, lParam);
  }
}

LRESULT CALLBACK StaticProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  std::shared_ptr<StaticState> state = ControlStateFor<StaticState>(hWnd, msg);
  if (!state) return DefWindowProcA(hWnd, msg, wParam, lParam);
  bool notify = (GetWindowLongA(hWnd, GWL_STYLE) & SS_NOTIFY) != 0;
  switch (msg) {
    case WM_GETDLGCODE:
      return DLGC_STATIC;
    case WM_LBUTTONDOWN:
      state->pressed = notify;
      return 0;
    case WM_LBUTTONUP:
      if (state->pressed) {
        state->pressed = false;
        NotifyParent(hWnd, STN_CLICKED);
      }
      return 0;
    case WM_ENABLE:
      Invalidate(hWnd);
      return 0;
    default:
      return DefWindowProcA(hWnd, msg, wParam, lParam);
  }
}

}  // namespace win::detail
