// -i: the plug-in's own parameter dialog, shown on the terminal (the window
// system's terminal presentation). Everything about showing it lives here.
#pragma once

namespace calvane::app {

class AppContext;
class PluginLibrary;

// A usage error when the dialog cannot be shown (stdin or stdout is not a
// terminal, TERM is unknown); checked before any work is done.
void RequireInteractiveDialog();

// Runs the configure entry with interaction allowed, so that the plug-in
// shows its dialog on the current parameter set, on the terminal; returns
// the entry's result (0 OK, 1 cancelled). The terminal is as it was when
// this returns or throws. Help asked for meanwhile shows on the screen's
// bottom line (and on stderr once the screen is given back).
int ConfigureInteractively(const PluginLibrary& plugin, AppContext& ctx);

}  // namespace calvane::app
