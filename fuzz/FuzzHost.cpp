#include "fuzz/FuzzHost.h"

#include <sanitizer/common_interface_defs.h>

#include <cstdlib>
#include <string>

#include "host/HostExports.h"
#include "plugin/Entries.h"

namespace {
int g_stopAt = 0;
int g_reports = 0;
}  // namespace

void PluginHelp(const char*) {}

int UpdateProgress(int, int) {
  ++g_reports;
  return g_stopAt != 0 && g_reports >= g_stopAt ? 1 : 0;
}

namespace calvane::fuzz {

void StopAfterProgressReports(int reports) {
  g_stopAt = reports;
  g_reports = 0;
}

int CallEntry(int number, PluginContext* ctx) { return ENTRYPOINT.entries[number - 1](ctx); }

app::AppContext& ConfiguredContext() {
  static app::AppContext* const context = [] {
    auto* made = new app::AppContext;
    CallEntry(PluginEntryNumber::HostOps, made);
    Require(CallEntry(PluginEntryNumber::Configure, made) == 0 && made->GetParams() != nullptr,
            "the configure entry made no parameter set");
    return made;
  }();
  return *context;
}

void Require(bool holds, const char* what) {
  if (holds) return;
  // Through the sanitizers' own report channel: the target's stderr may be
  // closed (-close_fd_mask) or, inside an image read, captured.
  __sanitizer_report_error_summary(("fuzz finding: " + std::string(what)).c_str());
  std::abort();
}

}  // namespace calvane::fuzz
