// Identifiers of the plug-in's resources: the parameter dialog's template
// and controls, and the application title.
#pragma once

#include "win/windows.h"

#define IDD_TV_PARAMETERS 130

#define IDC_HELP_BUTTON 1001
#define IDC_VARIANCE_SLIDER 1006
#define IDC_ITERATIONS_SLIDER 1007
#define IDC_ITERATIONS 1013
#define IDC_VARIANCE 1014

// The plug-in's title (AFX_IDS_APP_TITLE): the dialog's caption and the
// caption of every message box the plug-in shows.
constexpr const char kPluginTitle[] = "Total Variation Denoise";

// Registers dialog template IDD_TV_PARAMETERS and the title string under the
// module `hInstance`.
void AddPluginResources(HINSTANCE hInstance);
