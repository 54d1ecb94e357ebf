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

  std::size_t SelStart() const { return std::min(caret, anchor); }
  std::size_t SelEnd() const { return std::max(caret, anchor); }

  void Describe(HWND hWnd, WindowView& view) const override {
    view.edit.caret = static_cast<int>(caret);
    view.edit.selStart = static_cast<int>(SelStart());
    view.edit.selEnd = static_cast<int>(SelEnd());
    auto style = static_cast<DWORD>(GetWindowLongA(hWnd, GWL_STYLE));
    view.edit.readOnly = (style & ES_READONLY) != 0;
    view.edit.password = (style & ES_PASSWORD) != 0;
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
  return true;
}

void MoveCaret(HWND hWnd, EditState& state, std::size_t to, bool extend) {
  state.caret = SnapToChar(TextOf(hWnd), to);
  if (!extend) state.anchor = state.caret;
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

}  // namespace

LRESULT CALLBACK EditProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  std::shared_ptr<EditState> state = ControlStateFor<EditState>(hWnd, msg);
  if (!state) return DefWindowProcA(hWnd, msg, wParam, lParam);
  switch (msg) {
    case WM_GETDLGCODE: {
      LRESULT code = DLGC_WANTCHARS | DLGC_HASSETSEL | DLGC_WANTARROWS;
      if ((StyleOf(hWnd) & ES_MULTILINE) != 0) code |= DLGC_WANTALLKEYS;
      return code;
    }
    case WM_SETTEXT:
      TextOf(hWnd) = lParam != 0 ? reinterpret_cast<LPCSTR>(lParam) : "";
      state->caret = state->anchor = 0;
      state->modified = false;
      NotifyParent(hWnd, EN_UPDATE);
      if (!IsWindow(hWnd)) return TRUE;
      Invalidate(hWnd);
      NotifyParent(hWnd, EN_CHANGE);
      return TRUE;
    case EM_GETSEL: {
      auto start = static_cast<DWORD>(state->SelStart());
      auto end = static_cast<DWORD>(state->SelEnd());
      if (wParam != 0) *reinterpret_cast<DWORD*>(wParam) = start;
      if (lParam != 0) *reinterpret_cast<DWORD*>(lParam) = end;
      return (start > 0xFFFF || end > 0xFFFF) ? -1 : MAKELRESULT(start, end);
    }
    case EM_SETSEL: {
      const std::string& text = TextOf(hWnd);
      auto start = static_cast<long long>(static_cast<int>(wParam));
      auto end = static_cast<long long>(static_cast<int>(lParam));
      if (start == -1) {
        state->anchor = state->caret;  // no selection; the caret stays
      } else {
        auto clamp = [&](long long pos) {
          return SnapToChar(text, pos < 0 || pos > static_cast<long long>(text.size()) ? text.size()
                                                                                       : static_cast<std::size_t>(pos));
        };
        state->anchor = clamp(start);
        state->caret = clamp(end);
      }
      Invalidate(hWnd);
      return 0;
    }
    case EM_REPLACESEL:
      if (ReplaceSelection(hWnd, *state, lParam != 0 ? reinterpret_cast<LPCSTR>(lParam) : "")) Changed(hWnd, *state);
      return 0;
    case EM_LIMITTEXT:
      state->limit = wParam != 0 ? static_cast<std::size_t>(wParam) : 0x7FFFFFFE;
      return 0;
    case EM_GETLIMITTEXT:
      return static_cast<LRESULT>(state->limit);
    case EM_GETMODIFY:
      return state->modified ? TRUE : FALSE;
    case EM_SETMODIFY:
      state->modified = wParam != 0;
      return 0;
    case EM_SETREADONLY: {
      DWORD style = StyleOf(hWnd);
      SetWindowLongA(hWnd, GWL_STYLE, static_cast<LONG>(wParam != 0 ? (style | ES_READONLY) : (style & ~ES_READONLY)));
      return TRUE;
    }
    case WM_CHAR:
      TypeCharacter(hWnd, *state, static_cast<char32_t>(wParam));
      return 0;
    case WM_KEYDOWN: {
      bool extend = GetKeyState(VK_SHIFT) < 0;
      const std::string& text = TextOf(hWnd);
      bool hasSelection = state->SelStart() != state->SelEnd();
      switch (wParam) {
        case VK_LEFT:
          MoveCaret(hWnd, *state,
                    !extend && hasSelection ? state->SelStart() : PrevCharBoundary(text, state->caret), extend);
          return 0;
        case VK_RIGHT:
          MoveCaret(hWnd, *state,
                    !extend && hasSelection ? state->SelEnd() : NextCharBoundary(text, state->caret), extend);
          return 0;
        case VK_HOME:
          MoveCaret(hWnd, *state, 0, extend);
          return 0;
        case VK_END:
          MoveCaret(hWnd, *state, text.size(), extend);
          return 0;
        case VK_DELETE:
          if ((StyleOf(hWnd) & ES_READONLY) != 0) {
            MessageBeep(0);
            return 0;
          }
          if (!hasSelection) {
            if (state->caret >= text.size()) return 0;
            state->anchor = NextCharBoundary(text, state->caret);
          }
          ReplaceSelection(hWnd, *state, std::string());
          Changed(hWnd, *state);
          return 0;
        default:
          return DefWindowProcA(hWnd, msg, wParam, lParam);
      }
    }
    case WM_LBUTTONDOWN: {
      if (GetFocus() != hWnd) SetFocus(hWnd);
      if (!IsWindow(hWnd) || GetFocus() != hWnd) return 0;
      std::size_t at = OffsetAtX(hWnd, GET_X_LPARAM(lParam));
      MoveCaret(hWnd, *state, at, (wParam & MK_SHIFT) != 0);
      state->selecting = true;
      SetCapture(hWnd);
      return 0;
    }
    case WM_MOUSEMOVE:
      if (state->selecting) MoveCaret(hWnd, *state, OffsetAtX(hWnd, GET_X_LPARAM(lParam)), true);
      return 0;
    case WM_LBUTTONUP:
      if (state->selecting) {
        state->selecting = false;
        if (GetCapture() == hWnd) ReleaseCapture();
      }
      return 0;
    case WM_CAPTURECHANGED:
      state->selecting = false;
      return 0;
    case WM_SETFOCUS:
      Invalidate(hWnd);
      NotifyParent(hWnd, EN_SETFOCUS);
      return 0;
    case WM_KILLFOCUS:
      Invalidate(hWnd);
      NotifyParent(hWnd, EN_KILLFOCUS);
      return 0;
    case WM_ENABLE:
      Invalidate(hWnd);
      return 0;
    default:
      return DefWindowProcA(hWnd, msg, wParam, lParam);
  }
}

}  // namespace win::detail
