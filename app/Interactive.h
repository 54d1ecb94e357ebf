// -i: the plug-in's own parameter dialog. Everything about showing it lives
// here, so that a presentation can be plugged in without touching the rest.
#pragma once

namespace calvane::app {

class AppContext;
class PluginLibrary;

// A usage error when this build cannot show the dialog; checked before any
// work is done.
void RequireInteractiveDialog();

// Runs the configure entry with interaction allowed, so that the plug-in
// shows its dialog on the current parameter set; returns the entry's result
// (0 OK, 1 cancelled).
int ConfigureInteractively(const PluginLibrary& plugin, AppContext& ctx);

}  // namespace calvane::app
