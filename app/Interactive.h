// -i: the plug-in's own parameter dialog, shown on the desktop (the window
// system's desktop presentation, opened only when a dialog is shown, so that
// GTK is not loaded for every run) or on the terminal (its terminal
// presentation). Everything about showing it lives here.
#pragma once

#include <string>

#include "app/Options.h"

namespace calvane::app {

class AppContext;
class PluginLibrary;

// A usage error when the dialog cannot be shown where `ui` asks (no desktop
// for --ui desktop; stdin or stdout not a terminal, or TERM unknown, for the
// terminal); checked before any work is done.
void RequireInteractiveDialog(UiChoice ui);

// Runs the configure entry with interaction allowed, so that the plug-in
// shows its dialog on the current parameter set, on the desktop or the
// terminal; returns the entry's result (0 OK, 1 cancelled). The terminal is
// as it was when this returns or throws. Help asked for meanwhile shows on
// the screen's bottom line (and on stderr once the screen is given back).
int ConfigureInteractively(const PluginLibrary& plugin, AppContext& ctx, UiChoice ui);

// Why the desktop presentation cannot be used here; empty when it can.
std::string DesktopUnavailableReason();

}  // namespace calvane::app
