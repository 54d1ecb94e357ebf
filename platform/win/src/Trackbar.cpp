// The common-controls trackbar ("msctls_trackbar32") and the registration
// of the common controls.
#include <algorithm>

#include "win/src/ControlProc.h"
#include "win/src/RangeModel.h"
#include "win/src/System.h"

namespace win::detail {
namespace {

constexpr int kThumbLength = 11;  // pixels along the channel

struct TrackbarState : ControlState {
  RangeModel range{0, 100, 0, 1, 20};
  bool pageSet = false;  // until set, the page follows a fifth of the range
  int ticFreq = 1;
  std::vector<int> tics;
  int selStart = 0, selEnd = 0;
  bool dragging = false;
  bool paging = false;

  void RangeChanged() {
    if (!pageSet) range.page = std::max<long long>((static_cast<long long>(range.max) - range.min) / 5, 1);
    range.pos = range.Clamp(range.pos);
  }
  void Describe(HWND hWnd, WindowView& view) const override;
};

using Call = ControlCall<TrackbarState>;

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

int CoordinateOf(HWND hWnd, const RangeModel& range, int position) {
  RECT channel = ChannelRect(hWnd);
  bool vertical = IsVertical(hWnd);
  int start = vertical ? channel.top : channel.left;
  int end = vertical ? channel.bottom : channel.right;
  int span = range.max - range.min;
  if (span <= 0) return start;
  return start + MulDiv(range.Clamp(position) - range.min, end - start, span);
}

int PositionAt(HWND hWnd, const RangeModel& range, int coordinate) {
  RECT channel = ChannelRect(hWnd);
  bool vertical = IsVertical(hWnd);
  int start = vertical ? channel.top : channel.left;
  int end = vertical ? channel.bottom : channel.right;
  if (end <= start) return range.min;
  return range.Clamp(range.min + MulDiv(coordinate - start, range.max - range.min, end - start));
}

RECT ThumbRect(HWND hWnd, const RangeModel& range) {
  RECT client = ClientRectOf(hWnd);
  int at = CoordinateOf(hWnd, range, range.pos);
  int half = kThumbLength / 2;
  if (IsVertical(hWnd)) return RECT{1, at - half, std::max<LONG>(1, client.right - 1), at + half + 1};
  return RECT{at - half, 1, at + half + 1, std::max<LONG>(1, client.bottom - 1)};
}

void TrackbarState::Describe(HWND hWnd, WindowView& view) const {
  view.range.min = range.min;
  view.range.max = range.max;
  view.range.pos = range.pos;
  view.range.page = static_cast<int>(range.page);
  view.range.line = range.line;
  view.range.trackPos = range.pos;
  view.range.tracking = dragging;
  view.range.vertical = IsVertical(hWnd);
  view.channelRect = ChannelRect(hWnd);
  view.thumbRect = ThumbRect(hWnd, range);
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
  if (state.range.MoveTo(target)) Invalidate(hWnd);
  Notify(hWnd, code, state.range.pos);
}

struct KeyMove {
  WPARAM key;
  UINT code;
};
constexpr KeyMove kKeyMoves[] = {{VK_LEFT, TB_LINEUP},   {VK_UP, TB_LINEUP},     {VK_RIGHT, TB_LINEDOWN},
                                 {VK_DOWN, TB_LINEDOWN}, {VK_PRIOR, TB_PAGEUP},  {VK_NEXT, TB_PAGEDOWN},
                                 {VK_HOME, TB_TOP},      {VK_END, TB_BOTTOM}};

const KeyMove* MoveForKey(WPARAM key) {
  for (const KeyMove& move : kKeyMoves) {
    if (move.key == key) return &move;
  }
  return nullptr;
}

long long TargetOf(const RangeModel& range, UINT code) {
  switch (code) {
    case TB_LINEUP:
      return static_cast<long long>(range.pos) - range.line;
    case TB_LINEDOWN:
      return static_cast<long long>(range.pos) + range.line;
    case TB_PAGEUP:
      return range.pos - range.page;
    case TB_PAGEDOWN:
      return range.pos + range.page;
    case TB_TOP:
      return range.min;
    default:
      return range.max;
  }
}

int AutoTicCount(const TrackbarState& state) {
  if (state.ticFreq <= 0) return 0;
  int count = 0;
  for (long long at = static_cast<long long>(state.range.min) + state.ticFreq; at < state.range.max;
       at += state.ticFreq) {
    ++count;
  }
  return count;
}

// ---- Handlers -------------------------------------------------------------------

// Answers 0 and redraws when the message's wParam asks for it.
ControlAnswer RedrawIfAsked(const Call& call) {
  if (call.wParam != 0) Invalidate(call.hWnd);
  return 0;
}

ControlAnswer GetPos(const Call& call) { return call.state.range.pos; }
ControlAnswer GetRangeMin(const Call& call) { return call.state.range.min; }
ControlAnswer GetRangeMax(const Call& call) { return call.state.range.max; }

ControlAnswer SetPos(const Call& call) {
  call.state.range.pos = call.state.range.Clamp(static_cast<int>(call.lParam));
  return RedrawIfAsked(call);
}

ControlAnswer SetRange(const Call& call) {
  RangeModel& range = call.state.range;
  if (call.msg == TBM_SETRANGE) {
    range.min = SignedLow(call.lParam);
    range.max = SignedHigh(call.lParam);
  } else if (call.msg == TBM_SETRANGEMIN) {
    range.min = static_cast<int>(call.lParam);
  } else {
    range.max = static_cast<int>(call.lParam);
  }
  call.state.RangeChanged();
  return RedrawIfAsked(call);
}

ControlAnswer SetTicFreq(const Call& call) {
  call.state.ticFreq = static_cast<int>(call.wParam);
  Invalidate(call.hWnd);
  return 0;
}

ControlAnswer SetTic(const Call& call) {
  int at = static_cast<int>(call.lParam);
  std::vector<int>& tics = call.state.tics;
  if (at < call.state.range.min || at > call.state.range.max) return FALSE;
  tics.push_back(at);
  std::sort(tics.begin(), tics.end());
  return TRUE;
}

ControlAnswer GetTic(const Call& call) {
  return call.wParam < call.state.tics.size() ? call.state.tics[call.wParam] : -1;
}

ControlAnswer ClearTics(const Call& call) {
  call.state.tics.clear();
  return RedrawIfAsked(call);
}

ControlAnswer GetNumTics(const Call& call) {
  auto style = static_cast<DWORD>(GetWindowLongA(call.hWnd, GWL_STYLE));
  if ((style & TBS_NOTICKS) != 0) return 0;
  // The two ends, and the marks between them.
  int between = (style & TBS_AUTOTICKS) != 0 ? AutoTicCount(call.state) : static_cast<int>(call.state.tics.size());
  return 2 + between;
}

ControlAnswer SetSel(const Call& call) {
  TrackbarState& state = call.state;
  if (call.msg == TBM_SETSEL) {
    state.selStart = SignedLow(call.lParam);
    state.selEnd = SignedHigh(call.lParam);
  } else if (call.msg == TBM_SETSELSTART) {
    state.selStart = static_cast<int>(call.lParam);
  } else if (call.msg == TBM_SETSELEND) {
    state.selEnd = static_cast<int>(call.lParam);
  } else {
    state.selStart = state.selEnd = 0;  // TBM_CLEARSEL
  }
  return RedrawIfAsked(call);
}

ControlAnswer GetSelStart(const Call& call) { return call.state.selStart; }
ControlAnswer GetSelEnd(const Call& call) { return call.state.selEnd; }

ControlAnswer SetPageSize(const Call& call) {
  auto previous = static_cast<int>(call.state.range.page);
  call.state.range.page = static_cast<int>(call.lParam);
  call.state.pageSet = true;
  return previous;
}

ControlAnswer GetPageSize(const Call& call) { return static_cast<int>(call.state.range.page); }

ControlAnswer SetLineSize(const Call& call) {
  int previous = call.state.range.line;
  call.state.range.line = static_cast<int>(call.lParam);
  return previous;
}

ControlAnswer GetLineSize(const Call& call) { return call.state.range.line; }

ControlAnswer GetThumbRect(const Call& call) {
  if (call.lParam != 0) *reinterpret_cast<LPRECT>(call.lParam) = ThumbRect(call.hWnd, call.state.range);
  return 0;
}

ControlAnswer GetChannelRect(const Call& call) {
  if (call.lParam != 0) *reinterpret_cast<LPRECT>(call.lParam) = ChannelRect(call.hWnd);
  return 0;
}

ControlAnswer GetDlgCode(const Call&) { return DLGC_WANTARROWS; }

ControlAnswer KeyDown(const Call& call) {
  const KeyMove* move = MoveForKey(call.wParam);
  if (move == nullptr) return std::nullopt;
  UserMove(call.hWnd, call.state, TargetOf(call.state.range, move->code), move->code);
  return 0;
}

ControlAnswer KeyUp(const Call& call) {
  if (MoveForKey(call.wParam) == nullptr) return std::nullopt;
  Notify(call.hWnd, TB_ENDTRACK, 0);
  return 0;
}

ControlAnswer ButtonDown(const Call& call) {
  HWND hWnd = call.hWnd;
  TrackbarState& state = call.state;
  if (GetFocus() != hWnd) SetFocus(hWnd);
  if (!IsWindow(hWnd)) return 0;
  POINT at{GET_X_LPARAM(call.lParam), GET_Y_LPARAM(call.lParam)};
  RECT thumb = ThumbRect(hWnd, state.range);
  SetCapture(hWnd);
  if (at.x >= thumb.left && at.x < thumb.right && at.y >= thumb.top && at.y < thumb.bottom) {
    state.dragging = true;
    Invalidate(hWnd);
    return 0;
  }
  // A click in the channel moves a page towards the click.
  int along = IsVertical(hWnd) ? at.y : at.x;
  UINT code = along < CoordinateOf(hWnd, state.range, state.range.pos) ? TB_PAGEUP : TB_PAGEDOWN;
  state.paging = true;
  UserMove(hWnd, state, TargetOf(state.range, code), code);
  return 0;
}

ControlAnswer MouseMove(const Call& call) {
  if (!call.state.dragging) return 0;
  int along = IsVertical(call.hWnd) ? GET_Y_LPARAM(call.lParam) : GET_X_LPARAM(call.lParam);
  int pos = PositionAt(call.hWnd, call.state.range, along);
  if (pos != call.state.range.pos) {
    call.state.range.pos = pos;
    Invalidate(call.hWnd);
    Notify(call.hWnd, TB_THUMBTRACK, pos);
  }
  return 0;
}

ControlAnswer ButtonUp(const Call& call) {
  HWND hWnd = call.hWnd;
  TrackbarState& state = call.state;
  if (state.dragging) {
    state.dragging = false;
    if (GetCapture() == hWnd) ReleaseCapture();
    Invalidate(hWnd);
    Notify(hWnd, TB_THUMBPOSITION, state.range.pos);
    if (IsWindow(hWnd)) Notify(hWnd, TB_ENDTRACK, 0);
  } else if (state.paging) {
    state.paging = false;
    if (GetCapture() == hWnd) ReleaseCapture();
    Notify(hWnd, TB_ENDTRACK, 0);
  }
  return 0;
}

ControlAnswer CaptureChanged(const Call& call) {
  TrackbarState& state = call.state;
  if (reinterpret_cast<HWND>(call.lParam) != call.hWnd && (state.dragging || state.paging)) {
    state.dragging = state.paging = false;
    Invalidate(call.hWnd);
  }
  return 0;
}

const ControlRoute<TrackbarState> kRoutes[] = {
    {TBM_GETPOS, GetPos},           {TBM_GETRANGEMIN, GetRangeMin},       {TBM_GETRANGEMAX, GetRangeMax},
    {TBM_SETPOS, SetPos},           {TBM_SETRANGE, SetRange},             {TBM_SETRANGEMIN, SetRange},
    {TBM_SETRANGEMAX, SetRange},    {TBM_SETTICFREQ, SetTicFreq},         {TBM_SETTIC, SetTic},
    {TBM_GETTIC, GetTic},           {TBM_CLEARTICS, ClearTics},           {TBM_GETNUMTICS, GetNumTics},
    {TBM_SETSEL, SetSel},           {TBM_SETSELSTART, SetSel},            {TBM_SETSELEND, SetSel},
    {TBM_CLEARSEL, SetSel},         {TBM_GETSELSTART, GetSelStart},       {TBM_GETSELEND, GetSelEnd},
    {TBM_SETPAGESIZE, SetPageSize}, {TBM_GETPAGESIZE, GetPageSize},       {TBM_SETLINESIZE, SetLineSize},
    {TBM_GETLINESIZE, GetLineSize}, {TBM_GETTHUMBRECT, GetThumbRect},     {TBM_GETCHANNELRECT, GetChannelRect},
    {WM_GETDLGCODE, GetDlgCode},    {WM_KEYDOWN, KeyDown},                {WM_KEYUP, KeyUp},
    {WM_LBUTTONDOWN, ButtonDown},   {WM_MOUSEMOVE, MouseMove},            {WM_LBUTTONUP, ButtonUp},
    {WM_CAPTURECHANGED, CaptureChanged}};

}  // namespace

POINT TrackbarPointForPosition(HWND hWnd, int position) {
  std::shared_ptr<TrackbarState> state = ControlOf<TrackbarState>(hWnd);
  if (!state) return POINT{0, 0};
  RECT client = ClientRectOf(hWnd);
  int at = CoordinateOf(hWnd, state->range, position);
  return IsVertical(hWnd) ? POINT{client.right / 2, at} : POINT{at, client.bottom / 2};
}

LRESULT CALLBACK TrackbarProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return RunControl(hWnd, msg, wParam, lParam, kRoutes, kRedrawOnEnable | kRedrawOnFocus);
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
