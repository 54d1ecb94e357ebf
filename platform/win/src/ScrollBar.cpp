// Scroll bars: the scroll bar control (SB_CTL, driven by SBM_* messages) and
// the standard bars of a window (SB_HORZ, SB_VERT).
#include <algorithm>

#include "win/src/System.h"

namespace win::detail {

// The highest position the thumb can reach: a page shows the last
// max - min + 1 - page positions.
static int MaxScrollPos(const ScrollData& data) {
  int page = static_cast<int>(std::min<UINT>(data.page, 0x7FFFFFFF));
  return std::max(data.min, data.max - std::max(page - 1, 0));
}

int ClampScrollPos(const ScrollData& data, int pos) { return std::clamp(pos, data.min, MaxScrollPos(data)); }

int ApplyScrollInfo(ScrollData& data, const SCROLLINFO& info) {
  if ((info.fMask & SIF_RANGE) != 0) {
    data.min = info.nMin;
    data.max = info.nMax;
  }
  if ((info.fMask & SIF_PAGE) != 0) data.page = info.nPage;
  // The page never exceeds the range.
  long long span = static_cast<long long>(data.max) - data.min + 1;
  if (span < 0) span = 0;
  if (static_cast<long long>(data.page) > span) data.page = static_cast<UINT>(span);
  if ((info.fMask & SIF_POS) != 0) data.pos = info.nPos;
  data.pos = ClampScrollPos(data, data.pos);
  return data.pos;
}

BOOL ReadScrollInfo(const ScrollData& data, SCROLLINFO& info) {
  if ((info.fMask & SIF_RANGE) != 0) {
    info.nMin = data.min;
    info.nMax = data.max;
  }
  if ((info.fMask & SIF_PAGE) != 0) info.nPage = data.page;
  if ((info.fMask & SIF_POS) != 0) info.nPos = data.pos;
  if ((info.fMask & SIF_TRACKPOS) != 0) info.nTrackPos = data.tracking ? data.trackPos : data.pos;
  return (info.fMask & SIF_ALL) != 0 ? TRUE : FALSE;
}

namespace {

struct ScrollBarState : ControlState {
  ScrollData data;
  UINT heldCode = SB_ENDSCROLL;  // a key or button being held

  void Describe(HWND hWnd, WindowView& view) const override;
};

bool IsVertical(HWND hWnd) { return (GetWindowLongA(hWnd, GWL_STYLE) & SBS_VERT) != 0; }

// Layout along the bar: an arrow button at each end, the thumb between.
struct BarLayout {
  int length, thickness, trackStart, trackEnd, thumbStart, thumbEnd;
};

BarLayout Layout(HWND hWnd, const ScrollData& data) {
  RECT client = ClientRectOf(hWnd);
  bool vertical = IsVertical(hWnd);
  BarLayout layout{};
  layout.length = vertical ? client.bottom : client.right;
  layout.thickness = std::max(1, static_cast<int>(vertical ? client.right : client.bottom));
  int arrow = std::min(layout.thickness, layout.length / 2);
  layout.trackStart = arrow;
  layout.trackEnd = layout.length - arrow;
  int track = std::max(0, layout.trackEnd - layout.trackStart);
  long long span = static_cast<long long>(data.max) - data.min + 1;
  int thumb = data.page == 0 || span <= 0 ? std::min(layout.thickness, track)
                                          : static_cast<int>(std::min<long long>(track, track * static_cast<long long>(data.page) / span));
  thumb = std::min(std::max(thumb, std::min(8, track)), track);
  int travel = track - thumb;
  int range = MaxScrollPos(data) - data.min;
  int pos = data.tracking ? data.trackPos : data.pos;
  layout.thumbStart = layout.trackStart + (range > 0 ? MulDiv(pos - data.min, travel, range) : 0);
  layout.thumbEnd = layout.thumbStart + thumb;
  return layout;
}

void ScrollBarState::Describe(HWND hWnd, WindowView& view) const {
  view.range.min = data.min;
  view.range.max = data.max;
  view.range.pos = data.pos;
  view.range.page = static_cast<int>(data.page);
  view.range.line = 1;
  view.range.trackPos = data.tracking ? data.trackPos : data.pos;
  view.range.tracking = data.tracking;
  view.range.vertical = IsVertical(hWnd);
  BarLayout layout = Layout(hWnd, data);
  view.thumbRect = view.range.vertical ? RECT{0, layout.thumbStart, layout.thickness, layout.thumbEnd}
                                       : RECT{layout.thumbStart, 0, layout.thumbEnd, layout.thickness};
}

void Notify(HWND hWnd, UINT code, int pos) {
  HWND parent = GetParent(hWnd);
  if (parent == nullptr) return;
  SendMessageA(parent, IsVertical(hWnd) ? WM_VSCROLL : WM_HSCROLL, MAKEWPARAM(code, pos),
               reinterpret_cast<LPARAM>(hWnd));
}

int PositionAt(HWND hWnd, const ScrollData& data, int along) {
  BarLayout layout = Layout(hWnd, data);
  int thumb = layout.thumbEnd - layout.thumbStart;
  int travel = layout.trackEnd - layout.trackStart - thumb;
  int range = MaxScrollPos(data) - data.min;
  if (travel <= 0 || range <= 0) return data.min;
  return ClampScrollPos(data, data.min + MulDiv(along - layout.trackStart - thumb / 2, range, travel));
}

UINT KeyCode(WPARAM key) {
  switch (key) {
    case VK_LEFT:
    case VK_UP:
      return SB_LINEUP;
    case VK_RIGHT:
    case VK_DOWN:
      return SB_LINEDOWN;
    case VK_PRIOR:
      return SB_PAGEUP;
    case VK_NEXT:
      return SB_PAGEDOWN;
    case VK_HOME:
      return SB_TOP;
    case VK_END:
      return SB_BOTTOM;
    default:
      return SB_ENDSCROLL;
  }
}

}  // namespace

LRESULT CALLBACK ScrollBarProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  std::shared_ptr<ScrollBarState> state = ControlStateFor<ScrollBarState>(hWnd, msg);
  if (!state) return DefWindowProcA(hWnd, msg, wParam, lParam);
  ScrollData& data = state->data;
  switch (msg) {
    case SBM_SETPOS: {
      int previous = data.pos;
      data.pos = ClampScrollPos(data, static_cast<int>(wParam));
      if (lParam != 0) Invalidate(hWnd);
      return previous;
    }
    case SBM_GETPOS:
      return data.pos;
    case SBM_SETRANGE:
    case SBM_SETRANGEREDRAW: {
      int previous = data.pos;
      SCROLLINFO info{sizeof(SCROLLINFO), SIF_RANGE, static_cast<int>(wParam), static_cast<int>(lParam), 0, 0, 0};
      ApplyScrollInfo(data, info);
      if (msg == SBM_SETRANGEREDRAW) Invalidate(hWnd);
      return data.pos != previous ? previous : 0;
    }
    case SBM_GETRANGE:
      if (wParam != 0) *reinterpret_cast<LPINT>(wParam) = data.min;
      if (lParam != 0) *reinterpret_cast<LPINT>(lParam) = data.max;
      return 0;
    case SBM_SETSCROLLINFO: {
      auto* info = reinterpret_cast<LPCSCROLLINFO>(lParam);
      if (info == nullptr || info->cbSize != sizeof(SCROLLINFO)) return 0;
      int pos = ApplyScrollInfo(data, *info);
      if (wParam != 0) Invalidate(hWnd);
      return pos;
    }
    case SBM_GETSCROLLINFO: {
      auto* info = reinterpret_cast<LPSCROLLINFO>(lParam);
      if (info == nullptr || info->cbSize != sizeof(SCROLLINFO)) return FALSE;
      return ReadScrollInfo(data, *info);
    }
    case WM_GETDLGCODE:
      return DLGC_WANTARROWS;
    case WM_KEYDOWN: {
      UINT code = KeyCode(wParam);
      if (code == SB_ENDSCROLL) return DefWindowProcA(hWnd, msg, wParam, lParam);
      state->heldCode = code;
      Notify(hWnd, code, 0);
      return 0;
    }
    case WM_KEYUP:
      if (KeyCode(wParam) == SB_ENDSCROLL) return DefWindowProcA(hWnd, msg, wParam, lParam);
      state->heldCode = SB_ENDSCROLL;
      Notify(hWnd, SB_ENDSCROLL, 0);
      return 0;
    case WM_LBUTTONDOWN: {
      if ((GetWindowLongA(hWnd, GWL_STYLE) & WS_TABSTOP) != 0 && GetFocus() != hWnd) SetFocus(hWnd);
      if (!IsWindow(hWnd)) return 0;
      BarLayout layout = Layout(hWnd, data);
      int along = IsVertical(hWnd) ? GET_Y_LPARAM(lParam) : GET_X_LPARAM(lParam);
      SetCapture(hWnd);
      if (along >= layout.thumbStart && along < layout.thumbEnd) {
        data.tracking = true;
        data.trackPos = data.pos;
        state->heldCode = SB_THUMBTRACK;
        return 0;
      }
      UINT code = along < layout.trackStart ? SB_LINEUP
                  : along >= layout.trackEnd ? SB_LINEDOWN
                  : along < layout.thumbStart ? SB_PAGEUP
                                              : SB_PAGEDOWN;
      state->heldCode = code;
      Notify(hWnd, code, 0);
      return 0;
    }
    case WM_MOUSEMOVE:
      if (data.tracking) {
        int pos = PositionAt(hWnd, data, IsVertical(hWnd) ? GET_Y_LPARAM(lParam) : GET_X_LPARAM(lParam));
        if (pos != data.trackPos) {
          data.trackPos = pos;
          Invalidate(hWnd);
          Notify(hWnd, SB_THUMBTRACK, pos);
        }
      }
      return 0;
    case WM_LBUTTONUP: {
      if (state->heldCode == SB_ENDSCROLL) return 0;
      bool wasTracking = data.tracking;
      state->heldCode = SB_ENDSCROLL;
      if (GetCapture() == hWnd) ReleaseCapture();
      if (wasTracking) {
        int pos = data.trackPos;
        data.tracking = false;
        Notify(hWnd, SB_THUMBPOSITION, pos);
        if (!IsWindow(hWnd)) return 0;
      }
      Notify(hWnd, SB_ENDSCROLL, 0);
      return 0;
    }
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

namespace {

ScrollData* StandardBar(HWND hWnd, int nBar) {
  Window* window = Find(hWnd);
  if (window == nullptr) return nullptr;
  if (nBar == SB_HORZ) return &window->hScroll;
  if (nBar == SB_VERT) return &window->vScroll;
  return nullptr;
}

}  // namespace

extern "C" {

int WINAPI GetScrollPos(HWND hWnd, int nBar) {
  if (nBar == SB_CTL) return static_cast<int>(SendMessageA(hWnd, SBM_GETPOS, 0, 0));
  ScrollData* data = StandardBar(hWnd, nBar);
  return data != nullptr ? data->pos : 0;
}

int WINAPI SetScrollPos(HWND hWnd, int nBar, int nPos, BOOL bRedraw) {
  if (nBar == SB_CTL) return static_cast<int>(SendMessageA(hWnd, SBM_SETPOS, static_cast<WPARAM>(nPos), bRedraw));
  ScrollData* data = StandardBar(hWnd, nBar);
  if (data == nullptr) return 0;
  int previous = data->pos;
  data->pos = ClampScrollPos(*data, nPos);
  if (bRedraw) Invalidate(hWnd);
  return previous;
}

BOOL WINAPI GetScrollRange(HWND hWnd, int nBar, LPINT lpMinPos, LPINT lpMaxPos) {
  if (nBar == SB_CTL) {
    if (!IsWindow(hWnd)) return FALSE;
    SendMessageA(hWnd, SBM_GETRANGE, reinterpret_cast<WPARAM>(lpMinPos), reinterpret_cast<LPARAM>(lpMaxPos));
    return TRUE;
  }
  ScrollData* data = StandardBar(hWnd, nBar);
  if (data == nullptr) return FALSE;
  if (lpMinPos != nullptr) *lpMinPos = data->min;
  if (lpMaxPos != nullptr) *lpMaxPos = data->max;
  return TRUE;
}

BOOL WINAPI SetScrollRange(HWND hWnd, int nBar, int nMinPos, int nMaxPos, BOOL bRedraw) {
  if (nBar == SB_CTL) {
    if (!IsWindow(hWnd)) return FALSE;
    SendMessageA(hWnd, bRedraw ? SBM_SETRANGEREDRAW : SBM_SETRANGE, static_cast<WPARAM>(nMinPos), nMaxPos);
    return TRUE;
  }
  ScrollData* data = StandardBar(hWnd, nBar);
  if (data == nullptr) return FALSE;
  SCROLLINFO info{sizeof(SCROLLINFO), SIF_RANGE, nMinPos, nMaxPos, 0, 0, 0};
  ApplyScrollInfo(*data, info);
  if (bRedraw) Invalidate(hWnd);
  return TRUE;
}

BOOL WINAPI GetScrollInfo(HWND hwnd, int nBar, LPSCROLLINFO lpsi) {
  if (lpsi == nullptr || lpsi->cbSize != sizeof(SCROLLINFO)) return FALSE;
  if (nBar == SB_CTL) {
    return IsWindow(hwnd) ? static_cast<BOOL>(SendMessageA(hwnd, SBM_GETSCROLLINFO, 0, reinterpret_cast<LPARAM>(lpsi)))
                          : FALSE;
  }
  ScrollData* data = StandardBar(hwnd, nBar);
  return data != nullptr ? ReadScrollInfo(*data, *lpsi) : FALSE;
}

int WINAPI SetScrollInfo(HWND hwnd, int nBar, LPCSCROLLINFO lpsi, BOOL redraw) {
  if (lpsi == nullptr || lpsi->cbSize != sizeof(SCROLLINFO)) return 0;
  if (nBar == SB_CTL) {
    return static_cast<int>(SendMessageA(hwnd, SBM_SETSCROLLINFO, static_cast<WPARAM>(redraw),
                                         reinterpret_cast<LPARAM>(lpsi)));
  }
  ScrollData* data = StandardBar(hwnd, nBar);
  if (data == nullptr) return 0;
  int pos = ApplyScrollInfo(*data, *lpsi);
  if (redraw) Invalidate(hwnd);
  return pos;
}

}  // extern "C"
