// The window system's own state: windows, classes, the message queue, focus,
// hooks, observers, modules. One process-wide state, used from the thread
// that runs the user interface.
//
// Discipline: a Window may be destroyed by any call that runs a window
// procedure. Code that sends a message and then touches the window again
// holds a WindowRef (a shared pointer) across the call and checks `alive`
// afterwards, or looks the handle up again.
#pragma once

#include <deque>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "win/commctrl.h"
#include "win/presentation.h"
#include "win/src/RangeModel.h"
#include "win/spy.h"
#include "win/unicode.h"
#include "win/windows.h"

namespace win::detail {

struct Window;

struct WindowClass {
  std::string name;
  ATOM atom = 0;
  WNDPROC proc = nullptr;
  UINT style = 0;
  int cbWndExtra = 0;
  HINSTANCE hInstance = nullptr;
  ControlKind kind = ControlKind::Other;  // for the predefined classes
  int windowCount = 0;
};

// What a predefined control keeps between messages. The presentation reads
// it through DescribeWindow, without messages.
struct ControlState {
  virtual ~ControlState();
  virtual void Describe(HWND hWnd, WindowView& view) const = 0;
};

struct DialogData {
  DLGPROC dlgProc = nullptr;
  LONG_PTR msgResult = 0;
  LONG_PTR user = 0;
  bool ended = false;
  INT_PTR result = 0;
  WORD defId = IDOK;
  HWND savedFocus = nullptr;
  int baseX = 8, baseY = 16;  // pixels per 4 horizontal / 8 vertical dialog units
  std::string fontFace;
  int pointSize = 0;
};

// A scroll bar: a window's standard bar or a scroll bar control.
struct ScrollData {
  explicit ScrollData(int min = 0, int max = 0) { range.SetRange(min, max); }
  RangeModel range{0, 0, 0, 1, 0, RangeModel::Order::AsSet, true};
  int trackPos = 0;
  bool tracking = false;
};

struct Window {
  HWND handle = nullptr;
  WindowClass* cls = nullptr;
  WNDPROC proc = nullptr;
  DWORD style = 0, exStyle = 0;
  std::string text;
  HWND parent = nullptr;  // child windows
  HWND owner = nullptr;   // top-level windows
  std::vector<HWND> children;
  UINT_PTR id = 0;
  RECT rect{};  // relative to the parent's client area, or the screen
  HINSTANCE hInstance = nullptr;
  LONG_PTR userData = 0;
  std::vector<BYTE> extra;
  bool alive = true;
  bool destroying = false;
  std::shared_ptr<ControlState> control;
  std::unique_ptr<DialogData> dialog;
  ScrollData hScroll{0, 100}, vScroll{0, 100};
  bool hasDialogUnits = false;
  RECT dialogUnits{};
};
using WindowRef = std::shared_ptr<Window>;

struct QueuedMessage {
  MSG msg{};
  unsigned modifiers = 0;
  bool input = false;  // keyboard or mouse input, routed when taken
  POINT screenPoint{};
};

struct Hook {
  HHOOK handle;
  int idHook;
  HOOKPROC proc;
};

struct Resource {
  WORD typeId = 0;
  std::string typeName;
  WORD nameId = 0;
  std::string nameText;
  std::vector<BYTE> data;
};

struct Module {
  std::string name;
  std::vector<std::unique_ptr<Resource>> resources;
};

struct State {
  std::unordered_map<HWND, WindowRef> windows;
  std::vector<HWND> topLevel;  // bottom first
  std::vector<std::unique_ptr<WindowClass>> classes;
  std::uintptr_t nextHandle = 0x10000;
  ATOM nextAtom = 0xC000;
  HWND focus = nullptr;
  HWND active = nullptr;
  HWND capture = nullptr;
  std::deque<QueuedMessage> posted;
  std::deque<QueuedMessage> input;
  bool quitPosted = false;
  int quitCode = 0;
  unsigned keyModifiers = 0;  // of the input message being processed
  unsigned mouseButtons = 0;  // MK_LBUTTON, MK_RBUTTON
  POINT cursor{};
  Presentation* presentation = nullptr;
  std::vector<std::pair<int, MessageObserver>> observers;
  int nextObserver = 1;
  std::vector<Hook> hooks;  // most recent last
  std::uintptr_t nextHook = 1;
  std::vector<std::unique_ptr<Module>> modules;
  Module* programModule = nullptr;
  DWORD lastError = 0;
};

State& GetState();
Window* Find(HWND hWnd);
WindowRef Lookup(HWND hWnd);
Presentation& CurrentPresentation();
void NotifyObservers(Delivery delivery, HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
void Invalidate(HWND hWnd);

WindowClass* FindClass(LPCSTR name);
WindowClass* RegisterSystemClass(State& state, const char* name, ATOM atom, WNDPROC proc, ControlKind kind,
                                 int cbWndExtra = 0);
ControlKind KindOf(HWND hWnd);

// Geometry
RECT NonClientInsets(DWORD style, DWORD exStyle);
POINT ClientOrigin(HWND hWnd);  // screen position of the client area's origin
RECT ClientRectOf(HWND hWnd);   // (0, 0, width, height)
int CharWidth(HWND hWnd);       // average character width of the window's dialog font

// Sends WM_COMMAND with `code` to the parent of a control.
void NotifyParent(HWND hWnd, WORD code);
// The control state of a predefined control, kept alive by the caller.
template <class T>
std::shared_ptr<T> ControlOf(HWND hWnd) {
  Window* window = Find(hWnd);
  return window != nullptr ? std::dynamic_pointer_cast<T>(window->control) : nullptr;
}
// The same for a control's window procedure, which makes the state when the
// window is created (WM_NCCREATE). Null before then and for WM_NCCREATE
// itself, which the procedure leaves to DefWindowProcA.
template <class T>
std::shared_ptr<T> ControlStateFor(HWND hWnd, UINT msg) {
  if (msg != WM_NCCREATE) return ControlOf<T>(hWnd);
  if (Window* window = Find(hWnd)) window->control = std::make_shared<T>();
  return nullptr;
}

LRESULT CallCbtHooks(int code, WPARAM wParam, LPARAM lParam);
HWND DialogOf(HWND hWnd);  // the nearest dialog ancestor (or the window itself)
// Puts the focus on a dialog control as the dialog manager does: an edit's
// text is selected first.
void DialogSetFocus(HWND hCtl);

// Predefined controls
LRESULT CALLBACK ButtonProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK EditProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK StaticProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK ScrollBarProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK TrackbarProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK UpDownProc(HWND, UINT, WPARAM, LPARAM);

// Scroll data shared by scroll bar controls and the standard bars.
int ApplyScrollInfo(ScrollData& data, const SCROLLINFO& info);
BOOL ReadScrollInfo(const ScrollData& data, SCROLLINFO& info);

// Trackbar geometry, in client pixels.
POINT TrackbarPointForPosition(HWND hWnd, int position);

// Resources
Module* ModuleFromHandle(HMODULE hModule);
const Resource* FindResourceEntry(HMODULE hModule, LPCSTR name, LPCSTR type);
// The size of the resource holding `data`, or 0 when it is not a resource.
std::size_t ResourceSizeAt(const void* data);

// Unicode
std::u16string Utf8ToUtf16(const std::string& text);
std::string Utf16ToUtf8(const std::u16string& text);
std::size_t NextCharBoundary(const std::string& text, std::size_t pos);
std::size_t PrevCharBoundary(const std::string& text, std::size_t pos);
std::size_t CharCount(const std::string& text, std::size_t bytes);
std::size_t ByteOffsetOfChar(const std::string& text, std::size_t chars);

}  // namespace win::detail
