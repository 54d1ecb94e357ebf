// What a presentation reads to draw the windows. Reading sends no messages,
// so drawing never shows up among the messages a test watches.
#include "win/src/System.h"

namespace win {

using namespace detail;

bool DescribeWindow(HWND hWnd, WindowView* view) {
  Window* window = Find(hWnd);
  if (window == nullptr || view == nullptr) return false;
  State& state = GetState();
  WindowView result;
  result.hwnd = hWnd;
  result.parent = window->parent;
  result.owner = window->owner;
  result.kind = KindOf(hWnd);
  result.className = window->cls->name;
  result.text = window->text;
  result.style = window->style;
  result.exStyle = window->exStyle;
  result.controlId = static_cast<int>(window->id);
  GetWindowRect(hWnd, &result.windowRect);
  POINT origin = ClientOrigin(hWnd);
  RECT client = ClientRectOf(hWnd);
  result.clientRect = RECT{origin.x, origin.y, origin.x + client.right, origin.y + client.bottom};
  result.hasDialogUnits = window->hasDialogUnits;
  result.dialogUnits = window->dialogUnits;
  result.visible = IsWindowVisible(hWnd) != FALSE;
  result.enabled = (window->style & WS_DISABLED) == 0;
  result.focused = state.focus == hWnd;
  result.active = state.active == hWnd;
  if (window->dialog) {
    result.dialog.fontFace = window->dialog->fontFace;
    result.dialog.pointSize = window->dialog->pointSize;
    result.dialog.baseUnitX = window->dialog->baseX;
    result.dialog.baseUnitY = window->dialog->baseY;
    result.dialog.defaultId = window->dialog->defId;
  }
  if (result.kind == ControlKind::Button) {
    // The focused push button draws as the default; otherwise the dialog's
    // default identifier decides.
    DWORD type = window->style & BS_TYPEMASK;
    bool push = type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON;
    Window* dialog = Find(DialogOf(window->parent));
    Window* focus = Find(state.focus);
    bool focusOnPush = focus != nullptr && focus->cls->kind == ControlKind::Button &&
                       ((focus->style & BS_TYPEMASK) == BS_PUSHBUTTON ||
                        (focus->style & BS_TYPEMASK) == BS_DEFPUSHBUTTON) &&
                       focus->parent == window->parent;
    if (push) {
      result.button.isDefault = focusOnPush ? state.focus == hWnd
                                            : (dialog != nullptr ? dialog->dialog->defId == window->id
                                                                 : type == BS_DEFPUSHBUTTON);
    }
  }
  if (window->control) window->control->Describe(hWnd, result);
  *view = std::move(result);
  return true;
}

std::vector<HWND> TopLevelWindows() { return GetState().topLevel; }

std::vector<HWND> ChildWindows(HWND hWnd) {
  Window* window = Find(hWnd);
  return window != nullptr ? window->children : std::vector<HWND>();
}

}  // namespace win
