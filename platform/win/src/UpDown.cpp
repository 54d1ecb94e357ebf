// The common-controls up-down control ("msctls_updown32"). Its range runs
// from its lower to its upper end in either direction; the up arrow steps towards
// the upper end. Positions travel in 16 bits in UDM_SETRANGE, UDM_SETPOS,
// UDM_GETPOS and UDM_GETRANGE, and in 32 bits in their ...32 forms.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "win/src/ControlProc.h"
#include "win/src/System.h"

namespace win::detail {
namespace {

struct UpDownState : ControlState {
  // The original's default range: 100 down to 0. `min` is the lower end as
  // set, `max` the upper one; the up arrow steps towards `max`.
  RangeModel range{100, 0, 0, 1, 0, RangeModel::Order::EitherWay};
  HWND buddy = nullptr;
  int base = 10;
  bool pressed = false;

  void Describe(HWND hWnd, WindowView& view) const override {
    view.range.min = range.min;
    view.range.max = range.max;
    view.range.pos = range.pos;
    view.range.trackPos = range.pos;
    view.range.line = 1;
    view.range.vertical = (GetWindowLongA(hWnd, GWL_STYLE) & UDS_HORZ) == 0;
    view.range.tracking = pressed;
  }
};

using Call = ControlCall<UpDownState>;

DWORD StyleOf(HWND hWnd) { return static_cast<DWORD>(GetWindowLongA(hWnd, GWL_STYLE)); }

void UpdateBuddy(HWND hWnd, const UpDownState& state) {
  if ((StyleOf(hWnd) & UDS_SETBUDDYINT) == 0 || !IsWindow(state.buddy)) return;
  std::string text;
  if (state.base == 16) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%X", static_cast<unsigned>(state.range.pos));
    text = buffer;
  } else {
    text = std::to_string(state.range.pos);
  }
  SetWindowTextA(state.buddy, text.c_str());
}

// Reads the position back from the buddy's text; false when there is no
// buddy that shows the position, or its text is not a position in range.
bool ReadBuddy(HWND hWnd, UpDownState& state) {
  if ((StyleOf(hWnd) & UDS_SETBUDDYINT) == 0 || !IsWindow(state.buddy)) return false;
  char buffer[64];
  GetWindowTextA(state.buddy, buffer, sizeof buffer);
  char* end = nullptr;
  long value = std::strtol(buffer, &end, state.base == 16 ? 16 : 10);
  if (end == buffer || *end != '\0' || !state.range.Contains(value)) return false;
  state.range.pos = static_cast<int>(value);
  return true;
}

void Scroll(HWND hWnd, UINT code, int pos) {
  HWND parent = GetParent(hWnd);
  if (parent == nullptr) return;
  UINT message = (StyleOf(hWnd) & UDS_HORZ) != 0 ? WM_HSCROLL : WM_VSCROLL;
  SendMessageA(parent, message, MAKEWPARAM(code, pos), reinterpret_cast<LPARAM>(hWnd));
}

// One step towards the upper end (up) or the lower end (down). The parent
// may change or refuse the step through UDN_DELTAPOS.
void Step(HWND hWnd, UpDownState& state, bool up) {
  RangeModel& range = state.range;
  int delta = (range.max >= range.min) == up ? 1 : -1;
  HWND parent = GetParent(hWnd);
  NMUPDOWN notice{{hWnd, static_cast<UINT_PTR>(GetDlgCtrlID(hWnd)), UDN_DELTAPOS}, range.pos, delta};
  if (parent != nullptr &&
      SendMessageA(parent, WM_NOTIFY, notice.hdr.idFrom, reinterpret_cast<LPARAM>(&notice)) != 0) {
    return;
  }
  if (!IsWindow(hWnd)) return;
  long long target = static_cast<long long>(range.pos) + notice.iDelta;
  if (!range.Contains(target) && (StyleOf(hWnd) & UDS_WRAP) != 0) {
    target = target < range.Lowest() ? range.Highest() : range.Lowest();
  }
  if (range.MoveTo(target)) {
    UpdateBuddy(hWnd, state);
    Invalidate(hWnd);
  }
  Scroll(hWnd, SB_THUMBPOSITION, range.pos);
}

bool IsArrowKey(WPARAM key) { return key == VK_UP || key == VK_DOWN || key == VK_LEFT || key == VK_RIGHT; }

// ---- Handlers -------------------------------------------------------------------

ControlAnswer SetRange(const Call& call) {
  if (call.msg == UDM_SETRANGE) {
    // The upper end in the low word, the lower one in the high word.
    call.state.range.SetRange(SignedHigh(call.lParam), SignedLow(call.lParam));
  } else {
    call.state.range.SetRange(static_cast<int>(call.wParam), static_cast<int>(call.lParam));
  }
  Invalidate(call.hWnd);
  return 0;
}

ControlAnswer GetRange(const Call& call) {
  return static_cast<LRESULT>(static_cast<DWORD>(MAKELONG(call.state.range.max, call.state.range.min)));
}

ControlAnswer GetRange32(const Call& call) {
  if (call.wParam != 0) *reinterpret_cast<int*>(call.wParam) = call.state.range.min;
  if (call.lParam != 0) *reinterpret_cast<int*>(call.lParam) = call.state.range.max;
  return 0;
}

ControlAnswer SetPos(const Call& call) {
  RangeModel& range = call.state.range;
  int previous = range.pos;
  range.pos = range.Clamp(call.msg == UDM_SETPOS ? SignedLow(call.lParam) : static_cast<int>(call.lParam));
  UpdateBuddy(call.hWnd, call.state);
  Invalidate(call.hWnd);
  return previous;
}

ControlAnswer GetPos(const Call& call) {
  // The high word reports an error when no buddy shows the position, as on
  // the original; the low word holds the position all the same.
  bool ok = ReadBuddy(call.hWnd, call.state);
  return static_cast<LRESULT>(static_cast<DWORD>(MAKELONG(call.state.range.pos, ok ? 0 : 1)));
}

ControlAnswer GetPos32(const Call& call) {
  bool ok = ReadBuddy(call.hWnd, call.state);
  if (call.lParam != 0) *reinterpret_cast<BOOL*>(call.lParam) = ok ? FALSE : TRUE;
  return call.state.range.pos;
}

ControlAnswer SetBuddy(const Call& call) {
  HWND previous = call.state.buddy;
  call.state.buddy = reinterpret_cast<HWND>(call.wParam);
  UpdateBuddy(call.hWnd, call.state);
  return reinterpret_cast<LRESULT>(previous);
}

ControlAnswer GetBuddy(const Call& call) { return reinterpret_cast<LRESULT>(call.state.buddy); }

ControlAnswer SetBase(const Call& call) {
  if (call.wParam != 10 && call.wParam != 16) return 0;
  int previous = call.state.base;
  call.state.base = static_cast<int>(call.wParam);
  UpdateBuddy(call.hWnd, call.state);
  return previous;
}

ControlAnswer GetBase(const Call& call) { return call.state.base; }
ControlAnswer GetDlgCode(const Call&) { return DLGC_WANTARROWS; }

ControlAnswer KeyDown(const Call& call) {
  if (!IsArrowKey(call.wParam)) return std::nullopt;
  Step(call.hWnd, call.state, call.wParam == VK_UP || call.wParam == VK_RIGHT);
  return 0;
}

ControlAnswer KeyUp(const Call& call) {
  if (!IsArrowKey(call.wParam)) return std::nullopt;
  Scroll(call.hWnd, SB_ENDSCROLL, call.state.range.pos);
  return 0;
}

ControlAnswer ButtonDown(const Call& call) {
  // Upper half (or right half of a horizontal one): up.
  RECT client = ClientRectOf(call.hWnd);
  bool horizontal = (StyleOf(call.hWnd) & UDS_HORZ) != 0;
  bool up = horizontal ? GET_X_LPARAM(call.lParam) >= client.right / 2 : GET_Y_LPARAM(call.lParam) < client.bottom / 2;
  call.state.pressed = true;
  SetCapture(call.hWnd);
  Step(call.hWnd, call.state, up);
  return 0;
}

ControlAnswer ButtonUp(const Call& call) {
  if (call.state.pressed) {
    call.state.pressed = false;
    if (GetCapture() == call.hWnd) ReleaseCapture();
    Scroll(call.hWnd, SB_ENDSCROLL, call.state.range.pos);
  }
  return 0;
}

ControlAnswer CaptureChanged(const Call& call) {
  if (reinterpret_cast<HWND>(call.lParam) != call.hWnd) call.state.pressed = false;
  return 0;
}

const ControlRoute<UpDownState> kRoutes[] = {
    {UDM_SETRANGE, SetRange},   {UDM_GETRANGE, GetRange},     {UDM_SETRANGE32, SetRange},
    {UDM_GETRANGE32, GetRange32}, {UDM_SETPOS, SetPos},       {UDM_SETPOS32, SetPos},
    {UDM_GETPOS, GetPos},       {UDM_GETPOS32, GetPos32},     {UDM_SETBUDDY, SetBuddy},
    {UDM_GETBUDDY, GetBuddy},   {UDM_SETBASE, SetBase},       {UDM_GETBASE, GetBase},
    {WM_GETDLGCODE, GetDlgCode}, {WM_KEYDOWN, KeyDown},       {WM_KEYUP, KeyUp},
    {WM_LBUTTONDOWN, ButtonDown}, {WM_LBUTTONUP, ButtonUp},   {WM_CAPTURECHANGED, CaptureChanged}};

}  // namespace

LRESULT CALLBACK UpDownProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return RunControl(hWnd, msg, wParam, lParam, kRoutes, kRedrawOnEnable);
}

}  // namespace win::detail
