// The plug-in's resources, byte for byte what the resource compiler made of
// its resource script.
#include "afx/afxres.h"
#include "dialog/Resource.h"
#include "win/commctrl.h"
#include "win/resources.h"

namespace {

constexpr DWORD kLabelStyle = WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFTNOWORDWRAP;
// Without ES_AUTOHSCROLL: a field takes no more than it shows.
constexpr DWORD kEditStyle = WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP | ES_LEFT;
// Created without tick marks, although the dialog sets a tick frequency.
constexpr DWORD kSliderStyle = WS_CHILD | WS_VISIBLE | WS_TABSTOP | TBS_HORZ | TBS_BOTH | TBS_NOTICKS;
constexpr DWORD kDefaultButtonStyle = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON;
constexpr DWORD kButtonStyle = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON;
constexpr WORD kStaticId = 0xFFFF;  // IDC_STATIC in a template

}  // namespace

void AddPluginResources(HINSTANCE hInstance) {
  win::DialogTemplateBuilder dialog(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME, 0, 0, 178, 62);
  dialog.Caption(kPluginTitle)
      .Font(8, "MS Sans Serif")
      .Control(kStaticId, win::kStaticClassOrdinal, "Noise &variance:", kLabelStyle, 7, 8, 50, 8)
      .Control(IDC_VARIANCE, win::kEditClassOrdinal, "", kEditStyle, 61, 7, 30, 12)
      .Control(IDC_VARIANCE_SLIDER, TRACKBAR_CLASSA, "Slider1", kSliderStyle, 93, 8, 78, 9)
      .Control(kStaticId, win::kStaticClassOrdinal, "&Iterations:", kLabelStyle, 7, 24, 51, 8)
      .Control(IDC_ITERATIONS, win::kEditClassOrdinal, "", kEditStyle, 61, 22, 30, 12)
      .Control(IDC_ITERATIONS_SLIDER, TRACKBAR_CLASSA, "Slider1", kSliderStyle, 93, 24, 78, 9)
      .Control(IDOK, win::kButtonClassOrdinal, "OK", kDefaultButtonStyle, 7, 41, 50, 14)
      .Control(IDCANCEL, win::kButtonClassOrdinal, "Cancel", kButtonStyle, 64, 41, 50, 14)
      .Control(IDC_HELP_BUTTON, win::kButtonClassOrdinal, "Help", kButtonStyle, 121, 41, 50, 14);
  win::AddDialogResource(hInstance, IDD_TV_PARAMETERS, dialog);
  win::AddStringResource(hInstance, AFX_IDS_APP_TITLE, kPluginTitle);
}
