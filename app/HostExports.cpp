// What the program exports to the plug-in it loads; the plug-in resolves
// these from the program at load time (the program is linked with its
// symbols exported).
#include "host/HostExports.h"

#include "app/HelpPage.h"
#include "app/Progress.h"

void PluginHelp(const char* page) { calvane::app::OpenHelpPage(page); }

int UpdateProgress(int done, int total) { return calvane::app::ReportProgress(done, total); }
