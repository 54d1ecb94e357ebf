// The plug-in's help pages, shipped beside the program.
#pragma once

#include <string>

namespace calvane::app {

// Where the page `name` is installed (beside the program, or in
// ../share/doc/calvane); empty when it is nowhere. Only the file name part
// of `name` counts.
std::string FindHelpPage(const std::string& name);

// What PluginHelp does: opens the page in the desktop's viewer when there
// is a desktop, and prints where it is in any case.
void OpenHelpPage(const char* name);

}  // namespace calvane::app
