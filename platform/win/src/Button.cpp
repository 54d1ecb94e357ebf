// The predefined button and static controls.
#include "win/src/ControlProc.h"
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

using Call = ControlCall<ButtonState>;

// ---- Button handlers ------------------------------------------------------------

ControlAnswer GetDlgCode(const Call& call) {
  DWORD type = ButtonType(call.hWnd);
  if (type == BS_GROUPBOX) return DLGC_STATIC;
  if (type == BS_DEFPUSHBUTTON) return DLGC_BUTTON | DLGC_DEFPUSHBUTTON;
  if (type == BS_PUSHBUTTON) return DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON;
  return DLGC_BUTTON;
}

ControlAnswer ButtonDown(const Call& call) {
  HWND hWnd = call.hWnd;
  if (ButtonType(hWnd) == BS_GROUPBOX) return 0;
  if (GetFocus() != hWnd) SetFocus(hWnd);
  // Moving the focus may have run code that took it elsewhere, or
  // destroyed the button; then the press is lost, as on the original.
  if (!IsWindow(hWnd) || GetFocus() != hWnd) return 0;
  SetCapture(hWnd);
  call.state.tracking = true;
  SetPushed(hWnd, call.state, true);
  return 0;
}

ControlAnswer MouseMove(const Call& call) {
  if (call.state.tracking) SetPushed(call.hWnd, call.state, Inside(call.hWnd, call.lParam));
  return 0;
}

ControlAnswer ButtonUp(const Call& call) {
  HWND hWnd = call.hWnd;
  ButtonState& state = call.state;
  if (!state.tracking) return 0;
  state.tracking = false;
  bool clicked = state.pushed && Inside(hWnd, call.lParam);
  SetPushed(hWnd, state, false);
  if (GetCapture() == hWnd) ReleaseCapture();
  if (clicked && IsWindow(hWnd)) Click(hWnd, state);
  return 0;
}

ControlAnswer CaptureChanged(const Call& call) {
  if (call.state.tracking && reinterpret_cast<HWND>(call.lParam) != call.hWnd) {
    call.state.tracking = false;
    SetPushed(call.hWnd, call.state, false);
  }
  return 0;
}

ControlAnswer KeyDown(const Call& call) {
  if (call.wParam != VK_SPACE || ButtonType(call.hWnd) == BS_GROUPBOX) return std::nullopt;
  call.state.spaceDown = true;
  SetPushed(call.hWnd, call.state, true);
  return 0;
}

ControlAnswer KeyUp(const Call& call) {
  if (call.wParam != VK_SPACE || !call.state.spaceDown) return std::nullopt;
  call.state.spaceDown = false;
  SetPushed(call.hWnd, call.state, false);
  Click(call.hWnd, call.state);
  return 0;
}

ControlAnswer Char(const Call&) { return 0; }

// A press in progress is abandoned when the focus goes; the tail redraws.
ControlAnswer KillFocus(const Call& call) {
  HWND hWnd = call.hWnd;
  call.state.spaceDown = false;
  if (call.state.tracking) {
    call.state.tracking = false;
    if (GetCapture() == hWnd) ReleaseCapture();
  }
  SetPushed(hWnd, call.state, false);
  return std::nullopt;
}

ControlAnswer ClickMessage(const Call& call) {
  // The original clicks with a mouse press and release.
  SendMessageA(call.hWnd, WM_LBUTTONDOWN, MK_LBUTTON, 0);
  if (IsWindow(call.hWnd)) SendMessageA(call.hWnd, WM_LBUTTONUP, 0, 0);
  return 0;
}

ControlAnswer GetCheck(const Call& call) { return call.state.check; }

ControlAnswer SetCheck(const Call& call) {
  call.state.check = static_cast<UINT>(call.wParam);
  Invalidate(call.hWnd);
  return 0;
}

ControlAnswer GetState(const Call& call) {
  return call.state.check | (call.state.pushed ? BST_PUSHED : 0) | (GetFocus() == call.hWnd ? BST_FOCUS : 0);
}

ControlAnswer SetState(const Call& call) {
  SetPushed(call.hWnd, call.state, call.wParam != 0);
  return 0;
}

ControlAnswer SetStyle(const Call& call) {
  auto style = static_cast<DWORD>(GetWindowLongA(call.hWnd, GWL_STYLE));
  style = (style & ~static_cast<DWORD>(0xFFFF)) | LOWORD(call.wParam);
  if (Window* window = Find(call.hWnd)) window->style = style;
  if (call.lParam != 0) Invalidate(call.hWnd);
  return 0;
}

const ControlRoute<ButtonState> kButtonRoutes[] = {
    {WM_GETDLGCODE, GetDlgCode}, {WM_LBUTTONDOWN, ButtonDown}, {WM_MOUSEMOVE, MouseMove},
    {WM_LBUTTONUP, ButtonUp},    {WM_CAPTURECHANGED, CaptureChanged}, {WM_KEYDOWN, KeyDown},
    {WM_KEYUP, KeyUp},           {WM_CHAR, Char},               {WM_KILLFOCUS, KillFocus},
    {BM_CLICK, ClickMessage},    {BM_GETCHECK, GetCheck},       {BM_SETCHECK, SetCheck},
    {BM_GETSTATE, GetState},     {BM_SETSTATE, SetState},       {BM_SETSTYLE, SetStyle}};

// ---- Static handlers ------------------------------------------------------------

using StaticCall = ControlCall<StaticState>;

ControlAnswer StaticDlgCode(const StaticCall&) { return DLGC_STATIC; }

ControlAnswer StaticButtonDown(const StaticCall& call) {
  call.state.pressed = (GetWindowLongA(call.hWnd, GWL_STYLE) & SS_NOTIFY) != 0;
  return 0;
}

ControlAnswer StaticButtonUp(const StaticCall& call) {
  if (call.state.pressed) {
    call.state.pressed = false;
    NotifyParent(call.hWnd, STN_CLICKED);
  }
  return 0;
}

const ControlRoute<StaticState> kStaticRoutes[] = {
    {WM_GETDLGCODE, StaticDlgCode}, {WM_LBUTTONDOWN, StaticButtonDown}, {WM_LBUTTONUP, StaticButtonUp}};

}  // namespace

LRESULT CALLBACK ButtonProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return RunControl(hWnd, msg, wParam, lParam, kButtonRoutes, kRedrawOnEnable | kRedrawOnFocus);
}

LRESULT CALLBACK StaticProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return RunControl(hWnd, msg, wParam, lParam, kStaticRoutes, kRedrawOnEnable);
}

}  // namespace win::detail
