#include "ParameterDialog.h"

#include <cstdlib>

namespace term_test {
namespace {

constexpr UINT kValidate = WM_APP + 1;

struct Run {
  ParameterValues values;
  std::function<void()> onHelp;
};

Run& RunOf(HWND dialog) { return *reinterpret_cast<Run*>(GetWindowLongPtrA(dialog, DWLP_USER)); }

int MinimumOf(int field) { return field == kFirstEdit ? 0 : 1; }
int SliderOf(int field) { return field == kFirstEdit ? kFirstSlider : kSecondSlider; }

bool ReadField(HWND dialog, int field, int* value) {
  char text[64];
  GetDlgItemTextA(dialog, field, text, sizeof text);
  char* end = nullptr;
  const long parsed = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || parsed < MinimumOf(field) || parsed > 1000) {
    const std::string message = "Enter a whole number from " + std::to_string(MinimumOf(field)) + " to 1000.";
    MessageBoxA(dialog, message.c_str(), kDialogCaption, MB_OK | MB_ICONEXCLAMATION);
    HWND control = GetDlgItem(dialog, field);
    SendMessageA(control, EM_SETSEL, 0, -1);
    SetFocus(control);
    return false;
  }
  *value = static_cast<int>(parsed);
  return true;
}

void ShowValue(HWND dialog, int field, int value) { SetDlgItemTextA(dialog, field, std::to_string(value).c_str()); }

void Help(HWND dialog) {
  if (RunOf(dialog).onHelp) RunOf(dialog).onHelp();
}

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      SetWindowLongPtrA(dialog, DWLP_USER, lParam);
      const ParameterValues& values = RunOf(dialog).values;
      SendDlgItemMessageA(dialog, kFirstSlider, TBM_SETRANGE, FALSE, MAKELPARAM(0, 1000));
      SendDlgItemMessageA(dialog, kSecondSlider, TBM_SETRANGE, FALSE, MAKELPARAM(1, 1000));
      for (int slider : {kFirstSlider, kSecondSlider}) SendDlgItemMessageA(dialog, slider, TBM_SETPAGESIZE, 0, 50);
      SendDlgItemMessageA(dialog, kFirstSlider, TBM_SETPOS, TRUE, values.first);
      SendDlgItemMessageA(dialog, kSecondSlider, TBM_SETPOS, TRUE, values.second);
      ShowValue(dialog, kFirstEdit, values.first);
      ShowValue(dialog, kSecondEdit, values.second);
      return TRUE;
    }
    case WM_HSCROLL: {
      HWND slider = reinterpret_cast<HWND>(lParam);
      ShowValue(dialog, GetDlgCtrlID(slider) == kFirstSlider ? kFirstEdit : kSecondEdit,
                static_cast<int>(SendMessageA(slider, TBM_GETPOS, 0, 0)));
      return TRUE;
    }
    case kValidate: {
      int value = 0;
      const int field = static_cast<int>(wParam);
      if (ReadField(dialog, field, &value)) SendDlgItemMessageA(dialog, SliderOf(field), TBM_SETPOS, TRUE, value);
      return TRUE;
    }
    case WM_HELP:
      Help(dialog);
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case kFirstEdit:
        case kSecondEdit:
          // Checked once the focus has gone, unless it went to Cancel.
          if (HIWORD(wParam) == EN_KILLFOCUS && GetDlgCtrlID(GetFocus()) != IDCANCEL) {
            PostMessageA(dialog, kValidate, LOWORD(wParam), 0);
          }
          return TRUE;
        case IDOK: {
          ParameterValues read;
          if (ReadField(dialog, kFirstEdit, &read.first) && ReadField(dialog, kSecondEdit, &read.second)) {
            RunOf(dialog).values = read;
            EndDialog(dialog, IDOK);
          }
          return TRUE;
        }
        case IDCANCEL:
          EndDialog(dialog, IDCANCEL);
          return TRUE;
        case kHelpButton:
          Help(dialog);
          return TRUE;
        default:
          return FALSE;
      }
    default:
      return FALSE;
  }
}

}  // namespace

win::DialogTemplateBuilder ParameterDialogTemplate() {
  win::DialogTemplateBuilder dialog(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME, 0, 0, 178, 62);
  dialog.Caption(kDialogCaption)
      .Font(8, "MS Sans Serif")
      .Control(0xFFFF, win::kStaticClassOrdinal, "Noise &variance:", 0x5002000C, 7, 8, 50, 8)
      .Control(kFirstEdit, win::kEditClassOrdinal, "", 0x50810000, 61, 7, 30, 12)
      .Control(kFirstSlider, TRACKBAR_CLASSA, "Slider1", 0x50010018, 93, 8, 78, 9)
      .Control(0xFFFF, win::kStaticClassOrdinal, "&Iterations:", 0x5002000C, 7, 24, 51, 8)
      .Control(kSecondEdit, win::kEditClassOrdinal, "", 0x50810000, 61, 22, 30, 12)
      .Control(kSecondSlider, TRACKBAR_CLASSA, "Slider1", 0x50010018, 93, 24, 78, 9)
      .Control(IDOK, win::kButtonClassOrdinal, "OK", 0x50010001, 7, 41, 50, 14)
      .Control(IDCANCEL, win::kButtonClassOrdinal, "Cancel", 0x50010000, 64, 41, 50, 14)
      .Control(kHelpButton, win::kButtonClassOrdinal, "Help", 0x50010000, 121, 41, 50, 14);
  return dialog;
}

INT_PTR RunParameterDialog(HMODULE module, ParameterValues& values, std::function<void()> onHelp) {
  InitCommonControls();
  Run run{values, std::move(onHelp)};
  const INT_PTR result =
      DialogBoxParamA(module, MAKEINTRESOURCEA(kDialogId), nullptr, DialogProc, reinterpret_cast<LPARAM>(&run));
  if (result == IDOK) values = run.values;
  return result;
}

}  // namespace term_test
