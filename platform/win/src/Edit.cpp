// The predefined single-line edit control. The text lives in the window's
// text; the caret and the selection are byte offsets on character
// boundaries of its UTF-8.
//
// Unlike the original, a field without ES_AUTOHSCROLL does not refuse
// characters that would run past its right edge: the window system has no
// real font to measure with, and a field that silently stops taking digits
// would lose input. A presentation shows the part around the caret.
#include <algorithm>
#include <cctype>

#include "win/src/ControlProc.h"
#include "win/src/System.h"

namespace win::detail {
namespace {

constexpr std::size_t kDefaultLimit = 30000;

struct EditState : ControlState {
  std::size_t caret = 0;
  std::size_t anchor = 0;  // the other end of the selection
  std::size_t limit = kDefaultLimit;
  bool modified = false;
  bool selecting = false;  // the mouse is held down in the field
  unsigned caretShown = 0;  // see WindowView::Edit
  unsigned textSet = 0;

  std::size_t SelStart() const { return std::min(caret, anchor); }
  std::size_t SelEnd() const { return std::max(caret, anchor); }

  void Describe(HWND hWnd, WindowView& view) const override {
    view.edit.caret = static_cast<int>(caret);
    view.edit.selStart = static_cast<int>(SelStart());
    view.edit.selEnd = static_cast<int>(SelEnd());
    auto style = static_cast<DWORD>(GetWindowLongA(hWnd, GWL_STYLE));
    view.edit.readOnly = (style & ES_READONLY) != 0;
    view.edit.password = (style & ES_PASSWORD) != 0;
    view.edit.caretShown = caretShown;
    view.edit.textSet = textSet;
  }
};

std::string& TextOf(HWND hWnd) { return Find(hWnd)->text; }

DWORD StyleOf(HWND hWnd) { return static_cast<DWORD>(GetWindowLongA(hWnd, GWL_STYLE)); }

std::size_t SnapToChar(const std::string& text, std::size_t pos) {
  pos = std::min(pos, text.size());
  while (pos > 0 && pos < text.size() && (static_cast<unsigned char>(text[pos]) & 0xC0) == 0x80) --pos;
  return pos;
}

// Tells the parent that the text changed (EN_UPDATE before the field is
// redrawn, EN_CHANGE after); returns false when the field is gone.
bool Changed(HWND hWnd, EditState& state) {
  state.modified = true;
  NotifyParent(hWnd, EN_UPDATE);
  if (!IsWindow(hWnd)) return false;
  Invalidate(hWnd);
  NotifyParent(hWnd, EN_CHANGE);
  return IsWindow(hWnd) != FALSE;
}

// Replaces the selection; false when the limit refused it.
bool ReplaceSelection(HWND hWnd, EditState& state, const std::string& insert) {
  std::string& text = TextOf(hWnd);
  std::size_t start = state.SelStart();
  std::size_t end = state.SelEnd();
  if (text.size() - (end - start) + insert.size() > state.limit) {
    NotifyParent(hWnd, EN_MAXTEXT);
    return false;
  }
  text.replace(start, end - start, insert);
  state.caret = state.anchor = start + insert.size();
  ++state.caretShown;
  return true;
}

void MoveCaret(HWND hWnd, EditState& state, std::size_t to, bool extend) {
  state.caret = SnapToChar(TextOf(hWnd), to);
  if (!extend) state.anchor = state.caret;
  ++state.caretShown;
  Invalidate(hWnd);
}

std::size_t OffsetAtX(HWND hWnd, int x) {
  const std::string& text = TextOf(hWnd);
  int width = std::max(1, CharWidth(hWnd));
  int chars = std::max(0, (x - 1 + width / 2) / width);
  return ByteOffsetOfChar(text, static_cast<std::size_t>(chars));
}

void TypeCharacter(HWND hWnd, EditState& state, char32_t ch) {
  DWORD style = StyleOf(hWnd);
  if ((style & ES_READONLY) != 0) {
    MessageBeep(0);
    return;
  }
  if (ch == 8) {
    if (state.SelStart() == state.SelEnd()) {
      if (state.caret == 0) return;
      state.anchor = PrevCharBoundary(TextOf(hWnd), state.caret);
    }
    ReplaceSelection(hWnd, state, std::string());
    Changed(hWnd, state);
    return;
  }
  if (ch < 0x20 || ch == 0x7F) return;
  if ((style & ES_NUMBER) != 0 && !(ch >= '0' && ch <= '9')) {
    MessageBeep(0);
    return;
  }
  std::string insert;
  AppendUtf8(insert, ch);
  if (ReplaceSelection(hWnd, state, insert)) Changed(hWnd, state);
}

using Call = ControlCall<EditState>;

// ---- Handlers -------------------------------------------------------------------

ControlAnswer GetDlgCode(const Call& call) {
  LRESULT code = DLGC_WANTCHARS | DLGC_HASSETSEL | DLGC_WANTARROWS;
  if ((StyleOf(call.hWnd) & ES_MULTILINE) != 0) code |= DLGC_WANTALLKEYS;
  return code;
}

ControlAnswer SetText(const Call& call) {
  HWND hWnd = call.hWnd;
  TextOf(hWnd) = call.lParam != 0 ? reinterpret_cast<LPCSTR>(call.lParam) : "";
  call.state.caret = call.state.anchor = 0;
  call.state.modified = false;
  ++call.state.textSet;
  NotifyParent(hWnd, EN_UPDATE);
  if (!IsWindow(hWnd)) return TRUE;
  Invalidate(hWnd);
  NotifyParent(hWnd, EN_CHANGE);
  return TRUE;
}

ControlAnswer GetSel(const Call& call) {
  auto start = static_cast<DWORD>(call.state.SelStart());
  auto end = static_cast<DWORD>(call.state.SelEnd());
  if (call.wParam != 0) *reinterpret_cast<DWORD*>(call.wParam) = start;
  if (call.lParam != 0) *reinterpret_cast<DWORD*>(call.lParam) = end;
  return (start > 0xFFFF || end > 0xFFFF) ? -1 : MAKELRESULT(start, end);
}

ControlAnswer SetSel(const Call& call) {
  const std::string& text = TextOf(call.hWnd);
  auto start = static_cast<long long>(static_cast<int>(call.wParam));
  auto end = static_cast<long long>(static_cast<int>(call.lParam));
  if (start == -1) {
    call.state.anchor = call.state.caret;  // no selection; the caret stays
  } else {
    // A position out of the text stands for its end.
    auto clamp = [&](long long pos) {
      return SnapToChar(text, pos < 0 || pos > static_cast<long long>(text.size()) ? text.size()
                                                                                   : static_cast<std::size_t>(pos));
    };
    call.state.anchor = clamp(start);
    call.state.caret = clamp(end);
  }
  Invalidate(call.hWnd);
  return 0;
}

ControlAnswer ScrollCaret(const Call& call) {
  ++call.state.caretShown;
  Invalidate(call.hWnd);
  return TRUE;
}

ControlAnswer ReplaceSel(const Call& call) {
  const char* insert = call.lParam != 0 ? reinterpret_cast<LPCSTR>(call.lParam) : "";
  if (ReplaceSelection(call.hWnd, call.state, insert)) Changed(call.hWnd, call.state);
  return 0;
}

ControlAnswer LimitText(const Call& call) {
  call.state.limit = call.wParam != 0 ? static_cast<std::size_t>(call.wParam) : 0x7FFFFFFE;
  return 0;
}

ControlAnswer GetLimitText(const Call& call) { return static_cast<LRESULT>(call.state.limit); }
ControlAnswer GetModify(const Call& call) { return call.state.modified ? TRUE : FALSE; }

ControlAnswer SetModify(const Call& call) {
  call.state.modified = call.wParam != 0;
  return 0;
}

ControlAnswer SetReadOnly(const Call& call) {
  DWORD style = StyleOf(call.hWnd);
  SetWindowLongA(call.hWnd, GWL_STYLE,
                 static_cast<LONG>(call.wParam != 0 ? (style | ES_READONLY) : (style & ~ES_READONLY)));
  return TRUE;
}

ControlAnswer Char(const Call& call) {
  TypeCharacter(call.hWnd, call.state, static_cast<char32_t>(call.wParam));
  return 0;
}

// Delete: the selection, or the character after the caret.
void DeleteForward(HWND hWnd, EditState& state) {
  const std::string& text = TextOf(hWnd);
  if ((StyleOf(hWnd) & ES_READONLY) != 0) {
    MessageBeep(0);
    return;
  }
  if (state.SelStart() == state.SelEnd()) {
    if (state.caret >= text.size()) return;
    state.anchor = NextCharBoundary(text, state.caret);
  }
  ReplaceSelection(hWnd, state, std::string());
  Changed(hWnd, state);
}

ControlAnswer KeyDown(const Call& call) {
  EditState& state = call.state;
  bool extend = GetKeyState(VK_SHIFT) < 0;
  const std::string& text = TextOf(call.hWnd);
  bool collapse = !extend && state.SelStart() != state.SelEnd();  // an arrow ends the selection at its side
  switch (call.wParam) {
    case VK_LEFT:
      MoveCaret(call.hWnd, state, collapse ? state.SelStart() : PrevCharBoundary(text, state.caret), extend);
      return 0;
    case VK_RIGHT:
      MoveCaret(call.hWnd, state, collapse ? state.SelEnd() : NextCharBoundary(text, state.caret), extend);
      return 0;
    case VK_HOME:
      MoveCaret(call.hWnd, state, 0, extend);
      return 0;
    case VK_END:
      MoveCaret(call.hWnd, state, text.size(), extend);
      return 0;
    case VK_DELETE:
      DeleteForward(call.hWnd, state);
      return 0;
    default:
      return std::nullopt;
  }
}

ControlAnswer ButtonDown(const Call& call) {
  HWND hWnd = call.hWnd;
  if (GetFocus() != hWnd) SetFocus(hWnd);
  if (!IsWindow(hWnd) || GetFocus() != hWnd) return 0;
  std::size_t at = OffsetAtX(hWnd, GET_X_LPARAM(call.lParam));
  MoveCaret(hWnd, call.state, at, (call.wParam & MK_SHIFT) != 0);
  call.state.selecting = true;
  SetCapture(hWnd);
  return 0;
}

ControlAnswer MouseMove(const Call& call) {
  if (call.state.selecting) MoveCaret(call.hWnd, call.state, OffsetAtX(call.hWnd, GET_X_LPARAM(call.lParam)), true);
  return 0;
}

ControlAnswer ButtonUp(const Call& call) {
  if (call.state.selecting) {
    call.state.selecting = false;
    if (GetCapture() == call.hWnd) ReleaseCapture();
  }
  return 0;
}

ControlAnswer CaptureChanged(const Call& call) {
  call.state.selecting = false;
  return 0;
}

// The field redraws and tells its parent.
ControlAnswer FocusChanged(const Call& call) {
  Invalidate(call.hWnd);
  NotifyParent(call.hWnd, call.msg == WM_SETFOCUS ? EN_SETFOCUS : EN_KILLFOCUS);
  return 0;
}

const ControlRoute<EditState> kRoutes[] = {
    {WM_GETDLGCODE, GetDlgCode},     {WM_SETTEXT, SetText},         {EM_GETSEL, GetSel},
    {EM_SETSEL, SetSel},             {EM_REPLACESEL, ReplaceSel},   {EM_LIMITTEXT, LimitText},
    {EM_GETLIMITTEXT, GetLimitText}, {EM_GETMODIFY, GetModify},     {EM_SETMODIFY, SetModify},
    {EM_SETREADONLY, SetReadOnly},   {WM_CHAR, Char},               {WM_KEYDOWN, KeyDown},
    {WM_LBUTTONDOWN, ButtonDown},    {WM_MOUSEMOVE, MouseMove},     {WM_LBUTTONUP, ButtonUp},
    {WM_CAPTURECHANGED, CaptureChanged}, {WM_SETFOCUS, FocusChanged}, {WM_KILLFOCUS, FocusChanged},
    {EM_SCROLLCARET, ScrollCaret}};

}  // namespace

LRESULT CALLBACK EditProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return RunControl(hWnd, msg, wParam, lParam, kRoutes, kRedrawOnEnable);
}

}  // namespace win::detail
