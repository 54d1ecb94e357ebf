// Presentations. The window system draws nothing itself: a presentation is
// told what changed, reads what it needs to draw through DescribeWindow, and
// feeds the user's input (keys, characters, mouse, closing a window) into the
// input queue with the Post*Input functions. It also shows message boxes.
//
// One presentation is current for the process. Without one installed, the
// window system runs unattended (UnattendedPresentation below): a modal loop
// that needs input closes its window, and every message box takes its
// default button.
#pragma once

#include <string>
#include <vector>

#include "win/windows.h"

namespace win {

class WIN_API Presentation {
 public:
  virtual ~Presentation();

  // A GetMessageA found nothing queued. Feed input (or post anything) and
  // return true, or return false when no input will ever come; GetMessageA
  // then returns -1. May block until the user acts.
  virtual bool WaitForInput() = 0;
  // PeekMessageA found nothing queued: feed input that is ready, if any,
  // without blocking.
  virtual void PollInput();

  // Shows a message box modally and returns the button chosen (IDOK, ...).
  // `caption` is never null.
  virtual int ShowMessageBox(HWND owner, const char* text, const char* caption, UINT type) = 0;
  virtual void Beep(UINT type);

  // What changed, so that the presentation can draw it. A window needs
  // drawing after it was created, shown, moved, enabled, renamed or changed
  // its control state; controls told not to redraw do not report changes.
  virtual void OnWindowCreated(HWND hWnd);
  virtual void OnWindowDestroyed(HWND hWnd);
  virtual void OnWindowInvalidated(HWND hWnd);
  virtual void OnFocusChanged(HWND lostFocus, HWND gainedFocus);
};

// Nobody at the screen: when a message loop needs input, the window in front
// is closed once, as its close box would close it (a dialog turns that into
// IDCANCEL); a window that stays up after that leaves no input to wait for.
// Every message box takes its default button. The window system uses one of
// these when no presentation is installed; scripted presentations derive
// from it for what happens after their script.
class WIN_API UnattendedPresentation : public Presentation {
 public:
  bool WaitForInput() override;
  int ShowMessageBox(HWND owner, const char* text, const char* caption, UINT type) override;

  // The button a box of this style answers with when nobody chooses.
  static int DefaultButton(UINT type);
  // The window input goes to: the active window when it is visible, else the
  // top-most visible, enabled top-level window; null when there is none.
  static HWND FrontWindow();

 protected:
  // Closes the front window with its close box, once per window; false when
  // there is no window, or the front one was closed before and stayed.
  // `caption` receives its caption.
  bool CloseFrontWindowOnce(std::string* caption);

 private:
  std::vector<HWND> m_closedWindows;
};

// Installs `presentation` (null: the built-in unattended one); returns the
// one that was current.
WIN_API Presentation* SetPresentation(Presentation* presentation);
WIN_API Presentation* GetPresentation();

// Makes a presentation current for the life of the scope.
class WIN_API PresentationScope {
 public:
  explicit PresentationScope(Presentation& presentation);
  ~PresentationScope();
  PresentationScope(const PresentationScope&) = delete;
  PresentationScope& operator=(const PresentationScope&) = delete;

 private:
  Presentation* m_previous;
};

// ---- Reading the windows ---------------------------------------------------------
enum class ControlKind { Other, Dialog, Static, Edit, Button, ScrollBar, Trackbar, UpDown };

struct WindowView {
  HWND hwnd = nullptr;
  HWND parent = nullptr;  // for a child window
  HWND owner = nullptr;   // for a top-level window
  ControlKind kind = ControlKind::Other;
  std::string className;
  std::string text;
  DWORD style = 0, exStyle = 0;
  int controlId = 0;
  RECT windowRect{};  // screen pixels
  RECT clientRect{};  // screen pixels
  // For a window made from a dialog template: its rectangle in dialog units
  // (left, top, right, bottom = x, y, x + cx, y + cy), relative to the
  // dialog's client area (for the dialog itself, as in the template).
  bool hasDialogUnits = false;
  RECT dialogUnits{};
  bool visible = false;  // the window and all its ancestors
  bool enabled = false;
  bool focused = false;
  bool active = false;  // the active top-level window

  struct Dialog {
    std::string fontFace;
    int pointSize = 0;
    int baseUnitX = 0, baseUnitY = 0;  // pixels per 4 horizontal / 8 vertical dialog units
    WORD defaultId = 0;
  } dialog;
  struct Edit {
    int caret = 0, selStart = 0, selEnd = 0;  // byte offsets in the text
    bool readOnly = false, password = false;
    // A field shows its text from the start, and scrolls sideways only as
    // far as the caret needs when the caret is to be shown: after typing,
    // a key or the mouse moved it, or EM_SCROLLCARET (not after EM_SETSEL,
    // as when a dialog selects a field's text on focus). These count those
    // moments, and the times the whole text was set (which scrolls back to
    // the start), so that a presentation can tell when to scroll.
    unsigned caretShown = 0;
    unsigned textSet = 0;
  } edit;
  struct Button {
    bool isDefault = false;  // draws as the default button now
    bool pushed = false;
    bool checked = false;
  } button;
  struct Range {
    int min = 0, max = 0, pos = 0, page = 0, line = 0, trackPos = 0;
    bool vertical = false;
    bool tracking = false;  // the user is dragging the thumb
  } range;                  // trackbar, scroll bar and up-down (min/max = lower/upper)
  RECT channelRect{};       // trackbar: channel, client pixels
  RECT thumbRect{};         // trackbar and scroll bar: thumb, client pixels
};

WIN_API bool DescribeWindow(HWND hWnd, WindowView* view);
// Top-level windows, bottom of the stacking order first.
WIN_API std::vector<HWND> TopLevelWindows();
// Children in their order, which is the tab order of a dialog's controls.
WIN_API std::vector<HWND> ChildWindows(HWND hWnd);

// ---- Feeding input ---------------------------------------------------------------------
enum KeyModifier : unsigned { kNoModifier = 0, kShift = 1, kControl = 2, kAlt = 4 };

// A key going down or up. The message is routed when it is taken from the
// queue: to the focus window, or the active window when nothing has the
// focus. Alt makes it a WM_SYSKEYDOWN / WM_SYSKEYUP.
WIN_API void PostKeyInput(UINT virtualKey, bool down, unsigned modifiers = kNoModifier);
// Down and up.
WIN_API void PostKeyPress(UINT virtualKey, unsigned modifiers = kNoModifier);
// Types one character: the key that gives it on a US keyboard (shifted when
// needed), or a WM_CHAR alone for a character that no key gives.
WIN_API void PostCharInput(char32_t character);
// Types UTF-8 text, character by character.
WIN_API void PostTextInput(const std::string& text);
// A mouse message (WM_LBUTTONDOWN, WM_LBUTTONUP, WM_MOUSEMOVE, ...) at a
// screen position; routed to the window that has captured the mouse, else to
// the window under the point.
WIN_API void PostMouseInput(UINT message, POINT screenPoint, unsigned modifiers = kNoModifier);
// The user closes a top-level window (the close box): WM_SYSCOMMAND SC_CLOSE.
WIN_API void PostCloseInput(HWND hWnd);

// Where things are on screen, for presentations and scripts that point.
WIN_API POINT WindowCentreOnScreen(HWND hWnd);
// The screen point of a trackbar's channel at `position` (the thumb's centre
// when the trackbar is at that position).
WIN_API POINT TrackbarPointOnScreen(HWND hTrackbar, int position);

}  // namespace win
