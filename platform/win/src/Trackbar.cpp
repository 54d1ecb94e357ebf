// The common-controls trackbar ("msctls_trackbar32") and the registration
// of the common controls.
#include <algorithm>

#include "win/src/System.h"

namespace win::detail {
namespace {

constexpr int kThumbLength = 11;  // pixels along the channel

struct TrackbarState : ControlState {
  int min = 0, max = 100, pos = 0;
  int line = 1, page = 20;
  bool pageSet = false;  // until set, the page follows a fifth of the range
  int ticFreq = 1;
  std::vector<int> tics;
  int selStart = 0, selEnd = 0;
  bool dragging = false;
  bool paging = false;

  int Clamp(int value) const { return std::max(min, std::min(value, max)); }
  void RangeChanged() {
    if (!pageSet) page = std::max((max - min) / 5, 1);
    pos = Clamp(pos);
  }
  void Describe(HWND hWnd, WindowView& view) const override;
};

bool IsVertical(HWND hWnd) { return (GetWindowLongA(hWnd, GWL_STYLE) & TBS_VERT) != 0; }

// The channel runs along the control, leaving room for half a thumb at
// each end; a position maps linearly onto it.
RECT ChannelRect(HWND hWnd) {
  RECT client = ClientRectOf(hWnd);
  int margin = kThumbLength / 2 + 2;
  if (IsVertical(hWnd)) {
    int centre = client.right / 2;
    return RECT{centre - 2, margin, centre + 2, std::max<LONG>(margin, client.bottom - margin)};
  }
  int centre = client.bottom / 2;
  return RECT{margin, centre - 2, std::max<LONG>(margin, client.right - margin), centre + 2};
}

int CoordinateOf(HWND hWnd, const TrackbarState& state, int position) {
  RECT channel = ChannelRect(hWnd);
  bool vertical = IsVertical(hWnd);
  int start = vertical ? channel.top : channel.left;
  int end = vertical ? channel.bottom : channel.right;
  int range = state.max - state.min;
  if (range <= 0) return start;
  return start + MulDiv(state.Clamp(position) - state.min, end - start, range);
}

int PositionAt(HWND hWnd, const TrackbarState& state, int coordinate) {
  RECT channel = ChannelRect(hWnd);
  bool vertical = IsVertical(hWnd);
  int start = vertical ? channel.top : channel.left;
  int end = vertical ? channel.bottom : channel.right;
  if (end <= start) return state.min;
  return state.Clamp(state.min + MulDiv(coordinate - start, state.max - state.min, end - start));
}

RECT ThumbRect(HWND hWnd, const TrackbarState& state) {
  RECT client = ClientRectOf(hWnd);
  int at = CoordinateOf(hWnd, state, state.pos);
  int half = kThumbLength / 2;
  if (IsVertical(hWnd)) return RECT{1, at - half, std::max<LONG>(1, client.right - 1), at + half + 1};
  return RECT{at - half, 1, at + half + 1, std::max<LONG>(1, client.bottom - 1)};
}

void TrackbarState::Describe(HWND hWnd, WindowView& view) const {
  view.range.min = min;
  view.range.max = max;
  view.range.pos = pos;
  view.range.page = page;
  view.range.line = line;
  view.range.trackPos = pos;
  view.range.tracking = dragging;
  view.range.vertical = IsVertical(hWnd);
  view.channelRect = ChannelRect(hWnd);
  view.thumbRect = ThumbRect(hWnd, *this);
}

void Notify(HWND hWnd, UINT code, int pos) {
  HWND parent = GetParent(hWnd);
  if (parent == nullptr) return;
  WORD high = (code == TB_THUMBPOSITION || code == TB_THUMBTRACK) ? static_cast<WORD>(pos) : 0;
  SendMessageA(parent, IsVertical(hWnd) ? WM_VSCROLL : WM_HSCROLL, MAKEWPARAM(code, high),
               reinterpret_cast<LPARAM>(hWnd));
}

// Moves the thumb for the user and tells the parent, whether or not the
// position changed (pressing End at the end still reports TB_BOTTOM).
void UserMove(HWND hWnd, TrackbarState& state, long long target, UINT code) {
  int clamped = static_cast<int>(std::max<long long>(state.min, std::min<long long>(target, state.max)));
  if (clamped != state.pos) {
    state.pos = clamped;
    Invalidate(hWnd);
  }
  Notify(hWnd, code, state.pos);
}

bool KeyMove(HWND hWnd, TrackbarState& state, WPARAM key) {
  switch (key) {
    case VK_LEFT:
    case VK_UP:
      UserMove(hWnd, state, static_cast<long long>(state.pos) - state.line, TB_LINEUP);
      return true;
    case VK_RIGHT:
    case VK_DOWN:
      UserMove(hWnd, state, static_cast<long long>(state.pos) + state.line, TB_LINEDOWN);
      return true;
    case VK_PRIOR:
      UserMove(hWnd, state, static_cast<long long>(state.pos) - state.page, TB_PAGEUP);
      return true;
    case VK_NEXT:
      UserMove(hWnd, state, static_cast<long long>(state.pos) + state.page, TB_PAGEDOWN);
      return true;
    case VK_HOME:
      UserMove(hWnd, state, state.min, TB_TOP);
      return true;
    case VK_END:
      UserMove(hWnd, state, state.max, TB_BOTTOM);
      return true;
    default:
      return false;
  }
}

bool IsMoveKey(WPARAM key) {
  return key == VK_LEFT || key == VK_UP || key == VK_RIGHT || key == VK_DOWN || key == VK_PRIOR || key == VK_NEXT ||
         key == VK_HOME || key == VK_END;
}

int AutoTicCount(const TrackbarState& state) {
  if (state.ticFreq <= 0) return 0;
  int count = 0;
  for (long long at = static_cast<long long>(state.min) + state.ticFreq; at < state.max; at += state.ticFreq) ++count;
  return count;
}

}  // namespace

POINT TrackbarPointForPosition(HWND hWnd, int position) {
  std::shared_ptr<TrackbarState> state = ControlOf<TrackbarState>(hWnd);
  if (!state) return POINT{0, 0};
  RECT client = ClientRectOf(hWnd);
  int at = CoordinateOf(hWnd, *state, position);
  return IsVertical(hWnd) ? POINT{client.right / 2, at} : POINT{at, client.bottom / 2};
}

LRESULT CALLBACK TrackbarProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  std::shared_ptr<TrackbarState> state = ControlStateFor<TrackbarState>(hWnd, msg);
  if (!state) return DefWindowProcA(hWnd, msg, wParam, lParam);
  auto redrawIf = [hWnd](WPARAM redraw) {
    if (redraw != 0) Invalidate(hWnd);
  };
  switch (msg) {
    case TBM_GETPOS:
      return state->pos;
    case TBM_GETRANGEMIN:
      return state->min;
    case TBM_GETRANGEMAX:
      return state->max;
    case TBM_SETPOS:
      state->pos = state->Clamp(static_cast<int>(lParam));
      redrawIf(wParam);
      return 0;
    case TBM_SETRANGE:
      state->min = static_cast<SHORT>(LOWORD(lParam));
      state->max = static_cast<SHORT>(HIWORD(lParam));
      state->RangeChanged();
      redrawIf(wParam);
      return 0;
    case TBM_SETRANGEMIN:
      state->min = static_cast<int>(lParam);
      state->RangeChanged();
      redrawIf(wParam);
      return 0;
    case TBM_SETRANGEMAX:
      state->max = static_cast<int>(lParam);
      state->RangeChanged();
      redrawIf(wParam);
      return 0;
    case TBM_SETTICFREQ:
      state->ticFreq = static_cast<int>(wParam);
      Invalidate(hWnd);
      return 0;
    case TBM_SETTIC: {
      int at = static_cast<int>(lParam);
      if (at < state->min || at > state->max) return FALSE;
      state->tics.push_back(at);
      std::sort(state->tics.begin(), state->tics.end());
      return TRUE;
    }
    case TBM_GETTIC:
      return wParam < state->tics.size() ? state->tics[wParam] : -1;
    case TBM_CLEARTICS:
      state->tics.clear();
      redrawIf(wParam);
      return 0;
    case TBM_GETNUMTICS: {
      auto style = static_cast<DWORD>(GetWindowLongA(hWnd, GWL_STYLE));
      if ((style & TBS_NOTICKS) != 0) return 0;
      // The two ends, and the marks between them.
      int between = (style & TBS_AUTOTICKS) != 0 ? AutoTicCount(*state) : static_cast<int>(state->tics.size());
      return 2 + between;
    }
    case TBM_SETSEL:
      state->selStart = static_cast<SHORT>(LOWORD(lParam));
      state->selEnd = static_cast<SHORT>(HIWORD(lParam));
      redrawIf(wParam);
      return 0;
    case TBM_SETSELSTART:
      state->selStart = static_cast<int>(lParam);
      redrawIf(wParam);
      return 0;
    case TBM_SETSELEND:
      state->selEnd = static_cast<int>(lParam);
      redrawIf(wParam);
      return 0;
    case TBM_GETSELSTART:
      return state->selStart;
    case TBM_GETSELEND:
      return state->selEnd;
    case TBM_CLEARSEL:
      state->selStart = state->selEnd = 0;
      redrawIf(wParam);
      return 0;
    case TBM_SETPAGESIZE: {
      int previous = state->page;
      state->page = static_cast<int>(lParam);
      state->pageSet = true;
      return previous;
    }
    case TBM_GETPAGESIZE:
      return state->page;
    case TBM_SETLINESIZE: {
      int previous = state->line;
      state->line = static_cast<int>(lParam);
      return previous;
    }
    case TBM_GETLINESIZE:
      return state->line;
    case TBM_GETTHUMBRECT:
      if (lParam != 0) *reinterpret_cast<LPRECT>(lParam) = ThumbRect(hWnd, *state);
      return 0;
    case TBM_GETCHANNELRECT:
      if (lParam != 0) *reinterpret_cast<LPRECT>(lParam) = ChannelRect(hWnd);
      return 0;
    case WM_GETDLGCODE:
      return DLGC_WANTARROWS;
    case WM_KEYDOWN:
      if (KeyMove(hWnd, *state, wParam)) return 0;
      return DefWindowProcA(hWnd, msg, wParam, lParam);
    case WM_KEYUP:
      if (IsMoveKey(wParam)) {
        Notify(hWnd, TB_ENDTRACK, 0);
        return 0;
      }
      return DefWindowProcA(hWnd, msg, wParam, lParam);
    case WM_LBUTTONDOWN: {
      if (GetFocus() != hWnd) SetFocus(hWnd);
      if (!IsWindow(hWnd)) return 0;
      POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
      RECT thumb = ThumbRect(hWnd, *state);
      SetCapture(hWnd);
      if (at.x >= thumb.left && at.x < thumb.right && at.y >= thumb.top && at.y < thumb.bottom) {
        state->dragging = true;
        Invalidate(hWnd);
        return 0;
      }
      // A click in the channel moves a page towards the click.
      int along = IsVertical(hWnd) ? at.y : at.x;
      bool before = along < CoordinateOf(hWnd, *state, state->pos);
      state->paging = true;
      UserMove(hWnd, *state, static_cast<long long>(state->pos) + (before ? -state->page : state->page),
               before ? TB_PAGEUP : TB_PAGEDOWN);
      return 0;
    }
    case WM_MOUSEMOVE:
      if (state->dragging) {
        int along = IsVertical(hWnd) ? GET_Y_LPARAM(lParam) : GET_X_LPARAM(lParam);
        int pos = PositionAt(hWnd, *state, along);
        if (pos != state->pos) {
          state->pos = pos;
          Invalidate(hWnd);
          Notify(hWnd, TB_THUMBTRACK, pos);
        }
      }
      return 0;
    case WM_LBUTTONUP:
      if (state->dragging) {
        state->dragging = false;
        if (GetCapture() == hWnd) ReleaseCapture();
        Invalidate(hWnd);
        Notify(hWnd, TB_THUMBPOSITION, state->pos);
        if (IsWindow(hWnd)) Notify(hWnd, TB_ENDTRACK, 0);
      } else if (state->paging) {
        state->paging = false;
        if (GetCapture() == hWnd) ReleaseCapture();
        Notify(hWnd, TB_ENDTRACK, 0);
      }
      return 0;
    case WM_CAPTURECHANGED:
      if (reinterpret_cast<HWND>(lParam) != hWnd && (state->dragging || state->paging)) {
        state->dragging = state->paging = false;
        Invalidate(hWnd);
      }
      return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_ENABLE:
      Invalidate(hWnd);
      return 0;
    default:
      return DefWindowProcA(hWnd, msg, wParam, lParam);
  }
}

}  // namespace win::detail

using namespace win::detail;

extern "C" {

BOOL WINAPI InitCommonControlsEx(const INITCOMMONCONTROLSEX* picce) {
  if (picce == nullptr || picce->dwSize != sizeof(INITCOMMONCONTROLSEX)) return FALSE;
  State& state = GetState();
  if ((picce->dwICC & ICC_BAR_CLASSES) != 0 && FindClass(TRACKBAR_CLASSA) == nullptr) {
    RegisterSystemClass(state, TRACKBAR_CLASSA, 0x8090, TrackbarProc, win::ControlKind::Trackbar);
  }
  if ((picce->dwICC & ICC_UPDOWN_CLASS) != 0 && FindClass(UPDOWN_CLASSA) == nullptr) {
    RegisterSystemClass(state, UPDOWN_CLASSA, 0x8091, UpDownProc, win::ControlKind::UpDown);
  }
  return TRUE;
}

void WINAPI InitCommonControls(void) {
  INITCOMMONCONTROLSEX init{sizeof(INITCOMMONCONTROLSEX), ICC_BAR_CLASSES | ICC_UPDOWN_CLASS};
  InitCommonControlsEx(&init);
}

}  // extern "C"
