// The calvane program: the command line, the plug-in's session and the
// files, start to end.
#pragma once

#include "app/Options.h"

namespace calvane::app {

// Everything main does after installing its signal handlers; returns the
// exit status.
int RunProgram(int argc, const char* const* argv);

// Runs one parsed command line; failures leave as exceptions.
int Denoise(const Options& options);

}  // namespace calvane::app
