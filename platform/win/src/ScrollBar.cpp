// Scroll bars: the scroll bar control (SB_CTL, driven by SBM_* messages) and
// the standard bars of a window (SB_HORZ, SB_VERT).
#include <algorithm>

#include "win/src/ControlProc.h"
#include "win/src/System.h"

namespace win::detail {

int ApplyScrollInfo(ScrollData& data, const SCROLLINFO& info) {
  RangeModel& range = data.range;
  if ((info.fMask & SIF_RANGE) != 0) {
    range.min = info.nMin;
    range.max = info.nMax;
  }
  if ((info.fMask & SIF_PAGE) != 0) range.page = info.nPage;
  // The page never exceeds the range.
  long long span = static_cast<long long>(range.max) - range.min + 1;
  if (span < 0) span = 0;
  if (range.page > span) range.page = span;
  if ((info.fMask & SIF_POS) != 0) range.pos = info.nPos;
  range.pos = range.Clamp(range.pos);
  return range.pos;
}

BOOL ReadScrollInfo(const ScrollData& data, SCROLLINFO& info) {
  if ((info.fMask & SIF_RANGE) != 0) {
    info.nMin = data.range.min;
    info.nMax = data.range.max;
  }
  if ((info.fMask & SIF_PAGE) != 0) info.nPage = static_cast<UINT>(data.range.page);
  if ((info.fMask & SIF_POS) != 0) info.nPos = data.range.pos;
  if ((info.fMask & SIF_TRACKPOS) != 0) info.nTrackPos = data.tracking ? data.trackPos : data.range.pos;
  return (info.fMask & SIF_ALL) != 0 ? TRUE : FALSE;
}

namespace {

struct ScrollBarState : ControlState {
  ScrollData data;
  UINT heldCode = SB_ENDSCROLL;  // a key or button being held

  void Describe(HWND hWnd, WindowView& view) const override;
};

using Call = ControlCall<ScrollBarState>;

bool IsVertical(HWND hWnd) { return (GetWindowLongA(hWnd, GWL_STYLE) & SBS_VERT) != 0; }

// Layout along the bar: an arrow button at each end, the thumb between.
struct BarLayout {
  int length, thickness, trackStart, trackEnd, thumbStart, thumbEnd;
};

BarLayout Layout(HWND hWnd, const ScrollData& data) {
  const RangeModel& range = data.range;
  RECT client = ClientRectOf(hWnd);
  bool vertical = IsVertical(hWnd);
  BarLayout layout{};
  layout.length = vertical ? client.bottom : client.right;
  layout.thickness = std::max(1, static_cast<int>(vertical ? client.right : client.bottom));
  int arrow = std::min(layout.thickness, layout.length / 2);
  layout.trackStart = arrow;
  layout.trackEnd = layout.length - arrow;
  int track = std::max(0, layout.trackEnd - layout.trackStart);
  long long span = static_cast<long long>(range.max) - range.min + 1;
  int thumb = range.page == 0 || span <= 0 ? std::min(layout.thickness, track)
                                           : static_cast<int>(std::min<long long>(track, track * range.page / span));
  thumb = std::min(std::max(thumb, std::min(8, track)), track);
  int travel = track - thumb;
  int reach = range.Highest() - range.min;
  int pos = data.tracking ? data.trackPos : range.pos;
  layout.thumbStart = layout.trackStart + (reach > 0 ? MulDiv(pos - range.min, travel, reach) : 0);
  layout.thumbEnd = layout.thumbStart + thumb;
  return layout;
}

void ScrollBarState::Describe(HWND hWnd, WindowView& view) const {
  view.range.min = data.range.min;
  view.range.max = data.range.max;
  view.range.pos = data.range.pos;
  view.range.page = static_cast<int>(data.range.page);
  view.range.line = 1;
  view.range.trackPos = data.tracking ? data.trackPos : data.range.pos;
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
  int reach = data.range.Highest() - data.range.min;
  if (travel <= 0 || reach <= 0) return data.range.min;
  return data.range.Clamp(data.range.min + MulDiv(along - layout.trackStart - thumb / 2, reach, travel));
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

// ---- Handlers -------------------------------------------------------------------

ControlAnswer SetPos(const Call& call) {
  RangeModel& range = call.state.data.range;
  int previous = range.pos;
  range.pos = range.Clamp(static_cast<int>(call.wParam));
  if (call.lParam != 0) Invalidate(call.hWnd);
  return previous;
}

ControlAnswer GetPos(const Call& call) { return call.state.data.range.pos; }

ControlAnswer SetRange(const Call& call) {
  int previous = call.state.data.range.pos;
  SCROLLINFO info{sizeof(SCROLLINFO), SIF_RANGE, static_cast<int>(call.wParam), static_cast<int>(call.lParam), 0, 0, 0};
  ApplyScrollInfo(call.state.data, info);
  if (call.msg == SBM_SETRANGEREDRAW) Invalidate(call.hWnd);
  return call.state.data.range.pos != previous ? previous : 0;
}

ControlAnswer GetRange(const Call& call) {
  if (call.wParam != 0) *reinterpret_cast<LPINT>(call.wParam) = call.state.data.range.min;
  if (call.lParam != 0) *reinterpret_cast<LPINT>(call.lParam) = call.state.data.range.max;
  return 0;
}

ControlAnswer SetScrollInfo(const Call& call) {
  auto* info = reinterpret_cast<LPCSCROLLINFO>(call.lParam);
  if (info == nullptr || info->cbSize != sizeof(SCROLLINFO)) return 0;
  int pos = ApplyScrollInfo(call.state.data, *info);
  if (call.wParam != 0) Invalidate(call.hWnd);
  return pos;
}

ControlAnswer GetScrollInfo(const Call& call) {
  auto* info = reinterpret_cast<LPSCROLLINFO>(call.lParam);
  if (info == nullptr || info->cbSize != sizeof(SCROLLINFO)) return FALSE;
  return ReadScrollInfo(call.state.data, *info);
}

ControlAnswer GetDlgCode(const Call&) { return DLGC_WANTARROWS; }

ControlAnswer KeyDown(const Call& call) {
  UINT code = KeyCode(call.wParam);
  if (code == SB_ENDSCROLL) return std::nullopt;
  call.state.heldCode = code;
  Notify(call.hWnd, code, 0);
  return 0;
}

ControlAnswer KeyUp(const Call& call) {
  if (KeyCode(call.wParam) == SB_ENDSCROLL) return std::nullopt;
  call.state.heldCode = SB_ENDSCROLL;
  Notify(call.hWnd, SB_ENDSCROLL, 0);
  return 0;
}

ControlAnswer ButtonDown(const Call& call) {
  HWND hWnd = call.hWnd;
  ScrollData& data = call.state.data;
  if ((GetWindowLongA(hWnd, GWL_STYLE) & WS_TABSTOP) != 0 && GetFocus() != hWnd) SetFocus(hWnd);
  if (!IsWindow(hWnd)) return 0;
  BarLayout layout = Layout(hWnd, data);
  int along = IsVertical(hWnd) ? GET_Y_LPARAM(call.lParam) : GET_X_LPARAM(call.lParam);
  SetCapture(hWnd);
  if (along >= layout.thumbStart && along < layout.thumbEnd) {
    data.tracking = true;
    data.trackPos = data.range.pos;
    call.state.heldCode = SB_THUMBTRACK;
    return 0;
  }
  UINT code = along < layout.trackStart ? SB_LINEUP
              : along >= layout.trackEnd ? SB_LINEDOWN
              : along < layout.thumbStart ? SB_PAGEUP
                                          : SB_PAGEDOWN;
  call.state.heldCode = code;
  Notify(hWnd, code, 0);
  return 0;
}

ControlAnswer MouseMove(const Call& call) {
  ScrollData& data = call.state.data;
  if (!data.tracking) return 0;
  int pos = PositionAt(call.hWnd, data, IsVertical(call.hWnd) ? GET_Y_LPARAM(call.lParam) : GET_X_LPARAM(call.lParam));
  if (pos != data.trackPos) {
    data.trackPos = pos;
    Invalidate(call.hWnd);
    Notify(call.hWnd, SB_THUMBTRACK, pos);
  }
  return 0;
}

ControlAnswer ButtonUp(const Call& call) {
  HWND hWnd = call.hWnd;
  ScrollData& data = call.state.data;
  if (call.state.heldCode == SB_ENDSCROLL) return 0;
  bool wasTracking = data.tracking;
  call.state.heldCode = SB_ENDSCROLL;
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

const ControlRoute<ScrollBarState> kRoutes[] = {
    {SBM_SETPOS, SetPos},           {SBM_GETPOS, GetPos},
    {SBM_SETRANGE, SetRange},       {SBM_SETRANGEREDRAW, SetRange},
    {SBM_GETRANGE, GetRange},       {SBM_SETSCROLLINFO, SetScrollInfo},
    {SBM_GETSCROLLINFO, GetScrollInfo}, {WM_GETDLGCODE, GetDlgCode},
    {WM_KEYDOWN, KeyDown},          {WM_KEYUP, KeyUp},
    {WM_LBUTTONDOWN, ButtonDown},   {WM_MOUSEMOVE, MouseMove},
    {WM_LBUTTONUP, ButtonUp}};

}  // namespace

LRESULT CALLBACK ScrollBarProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return RunControl(hWnd, msg, wParam, lParam, kRoutes, kRedrawOnEnable | kRedrawOnFocus);
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
  return data != nullptr ? data->range.pos : 0;
}

int WINAPI SetScrollPos(HWND hWnd, int nBar, int nPos, BOOL bRedraw) {
  if (nBar == SB_CTL) return static_cast<int>(SendMessageA(hWnd, SBM_SETPOS, static_cast<WPARAM>(nPos), bRedraw));
  ScrollData* data = StandardBar(hWnd, nBar);
  if (data == nullptr) return 0;
  int previous = data->range.pos;
  data->range.pos = data->range.Clamp(nPos);
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
  if (lpMinPos != nullptr) *lpMinPos = data->range.min;
  if (lpMaxPos != nullptr) *lpMaxPos = data->range.max;
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
