// Functions that the host program itself exports to the plug-in. They are
// resolved from the process that loads the plug-in.
#pragma once

#include "host/HostApi.h"

extern "C++" {
// Opens the named page of the host's help (null: the plug-in's own page)
// in a browser when there is a desktop, and tells the user where the page
// is; a page that is not installed is told as such. Throws nothing.
CALVANE_HOST_API void PluginHelp(const char* page);
// Reports `done` of `total` steps (shown as a bar when standard error is a
// terminal; any values are taken, `done` >= `total` drawing at once). The
// answer is 1 when the plug-in is to stop: the user pressed Ctrl-C, or the
// host wants the run to end early; else 0. Throws nothing.
CALVANE_HOST_API int UpdateProgress(int done, int total);
}
