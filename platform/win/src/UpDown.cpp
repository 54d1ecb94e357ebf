// The common-controls up-down control ("msctls_updown32"). Its range runs
// from `lower` to `upper` in either direction; the up arrow steps towards
// `upper`. Positions travel in 16 bits in UDM_SETRANGE, UDM_SETPOS,
// UDM_GETPOS and UDM_GETRANGE, and in 32 bits in their ...32 forms.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "win/src/System.h"

namespace win::detail {
namespace {

struct UpDownState : ControlState {
  // The original's default range: 100 down to 0.
  int lower = 100, upper = 0, pos = 0;
  HWND buddy = nullptr;
  int base = 10;
  bool pressed = false;

  int Low() const { return std::min(lower, upper); }
  int High() const { return std::max(lower, upper); }
  int Clamp(long long value) const {
    return static_cast<int>(std::max<long long>(Low(), std::min<long long>(value, High())));
  }
  void Describe(HWND hWnd, WindowView& view) const override {
    view.range.min = lower;
    view.range.max = upper;
    view.range.pos = pos;
    view.range.trackPos = pos;
    view.range.line = 1;
    view.range.vertical = (GetWindowLongA(hWnd, GWL_STYLE) & UDS_HORZ) == 0;
    view.range.tracking = pressed;
  }
};

DWORD StyleOf(HWND hWnd) { return static_cast<DWORD>(GetWindowLongA(hWnd, GWL_STYLE)); }

void UpdateBuddy(HWND hWnd, const UpDownState& state) {
  if ((StyleOf(hWnd) & UDS_SETBUDDYINT) == 0 || !IsWindow(state.buddy)) return;
  std::string text;
  if (state.base == 16) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%X", static_cast<unsigned>(state.pos));
    text = buffer;
  } else {
    text = std::to_string(state.pos);
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
  if (end == buffer || *end != '\0' || value < state.Low() || value > state.High()) return false;
  state.pos = static_cast<int>(value);
  return true;
}

void Scroll(HWND hWnd, UINT code, int pos) {
  HWND parent = GetParent(hWnd);
  if (parent == nullptr) return;
  UINT message = (StyleOf(hWnd) & UDS_HORZ) != 0 ? WM_HSCROLL : WM_VSCROLL;
  SendMessageA(parent, message, MAKEWPARAM(code, pos), reinterpret_cast<LPARAM>(hWnd));
}

// One step towards `upper` (up) or `lower` (down). The parent may change or
// refuse the step through UDN_DELTAPOS.
void Step(HWND hWnd, UpDownState& state, bool up) {
  int delta = (state.upper >= state.lower) == up ? 1 : -1;
  HWND parent = GetParent(hWnd);
  NMUPDOWN notice{{hWnd, static_cast<UINT_PTR>(GetDlgCtrlID(hWnd)), UDN_DELTAPOS}, state.pos, delta};
  if (parent != nullptr &&
      SendMessageA(parent, WM_NOTIFY, notice.hdr.idFrom, reinterpret_cast<LPARAM>(&notice)) != 0) {
    return;
  }
  if (!IsWindow(hWnd)) return;
  long long target = static_cast<long long>(state.pos) + notice.iDelta;
  if (target < state.Low() || target > state.High()) {
    if ((StyleOf(hWnd) & UDS_WRAP) == 0) {
      target = state.Clamp(target);
    } else {
      target = target < state.Low() ? state.High() : state.Low();
    }
  }
  if (static_cast<int>(target) != state.pos) {
    state.pos = static_cast<int>(target);
    UpdateBuddy(hWnd, state);
    Invalidate(hWnd);
  }
  Scroll(hWnd, SB_THUMBPOSITION, state.pos);
}

}  // namespace

LRESULT CALLBACK UpDownProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  std::shared_ptr<UpDownState> state = ControlStateFor<UpDownState>(hWnd, msg);
  if (!state) return DefWindowProcA(hWnd, msg, wParam, lParam);
  switch (msg) {
    case UDM_SETRANGE:
      state->upper = static_cast<SHORT>(LOWORD(lParam));
      state->lower = static_cast<SHORT>(HIWORD(lParam));
      state->pos = state->Clamp(state->pos);
      Invalidate(hWnd);
      return 0;
    case UDM_GETRANGE:
      return static_cast<LRESULT>(static_cast<DWORD>(MAKELONG(state->upper, state->lower)));
    case UDM_SETRANGE32:
      state->lower = static_cast<int>(wParam);
      state->upper = static_cast<int>(lParam);
      state->pos = state->Clamp(state->pos);
      Invalidate(hWnd);
      return 0;
    case UDM_GETRANGE32:
      if (wParam != 0) *reinterpret_cast<int*>(wParam) = state->lower;
      if (lParam != 0) *reinterpret_cast<int*>(lParam) = state->upper;
      return 0;
    case UDM_SETPOS:
    case UDM_SETPOS32: {
      int previous = state->pos;
      long long wanted = msg == UDM_SETPOS ? static_cast<SHORT>(LOWORD(lParam)) : static_cast<int>(lParam);
      state->pos = state->Clamp(wanted);
      UpdateBuddy(hWnd, *state);
      Invalidate(hWnd);
      return previous;
    }
    case UDM_GETPOS: {
      // The high word reports an error when no buddy shows the position,
      // as on the original; the low word holds the position all the same.
      bool ok = ReadBuddy(hWnd, *state);
      return static_cast<LRESULT>(static_cast<DWORD>(MAKELONG(state->pos, ok ? 0 : 1)));
    }
    case UDM_GETPOS32: {
      bool ok = ReadBuddy(hWnd, *state);
      if (lParam != 0) *reinterpret_cast<BOOL*>(lParam) = ok ? FALSE : TRUE;
      return state->pos;
    }
    case UDM_SETBUDDY: {
      HWND previous = state->buddy;
      state->buddy = reinterpret_cast<HWND>(wParam);
      UpdateBuddy(hWnd, *state);
      return reinterpret_cast<LRESULT>(previous);
    }
    case UDM_GETBUDDY:
      return reinterpret_cast<LRESULT>(state->buddy);
    case UDM_SETBASE: {
      if (wParam != 10 && wParam != 16) return 0;
      int previous = state->base;
      state->base = static_cast<int>(wParam);
      UpdateBuddy(hWnd, *state);
      return previous;
    }
    case UDM_GETBASE:
      return state->base;
    case WM_GETDLGCODE:
      return DLGC_WANTARROWS;
    case WM_KEYDOWN:
      if (wParam == VK_UP || wParam == VK_DOWN || wParam == VK_LEFT || wParam == VK_RIGHT) {
        Step(hWnd, *state, wParam == VK_UP || wParam == VK_RIGHT);
        return 0;
      }
      return DefWindowProcA(hWnd, msg, wParam, lParam);
    case WM_KEYUP:
      if (wParam == VK_UP || wParam == VK_DOWN || wParam == VK_LEFT || wParam == VK_RIGHT) {
        Scroll(hWnd, SB_ENDSCROLL, state->pos);
        return 0;
      }
      return DefWindowProcA(hWnd, msg, wParam, lParam);
    case WM_LBUTTONDOWN: {
      // Upper half (or right half of a horizontal one): up.
      RECT client = ClientRectOf(hWnd);
      bool horizontal = (StyleOf(hWnd) & UDS_HORZ) != 0;
      bool up = horizontal ? GET_X_LPARAM(lParam) >= client.right / 2 : GET_Y_LPARAM(lParam) < client.bottom / 2;
      state->pressed = true;
      SetCapture(hWnd);
      Step(hWnd, *state, up);
      return 0;
    }
    case WM_LBUTTONUP:
      if (state->pressed) {
        state->pressed = false;
        if (GetCapture() == hWnd) ReleaseCapture();
        Scroll(hWnd, SB_ENDSCROLL, state->pos);
      }
      return 0;
    case WM_CAPTURECHANGED:
      if (reinterpret_cast<HWND>(lParam) != hWnd) state->pressed = false;
      return 0;
    case WM_ENABLE:
      Invalidate(hWnd);
      return 0;
    default:
      return DefWindowProcA(hWnd, msg, wParam, lParam);
  }
}

}  // namespace win::detail
