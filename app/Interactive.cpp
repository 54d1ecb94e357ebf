#include "app/Interactive.h"

#include <memory>
#include <stdexcept>

#include "app/ExitStatus.h"
#include "app/HostContext.h"
#include "app/PluginLibrary.h"
#include "term/cursesterminal.h"
#include "term/terminal.h"

namespace calvane::app {

void RequireInteractiveDialog() {
  const std::string reason = win::term::TerminalUnavailableReason();
  if (!reason.empty()) {
    throw UsageError("-i/--interactive shows the plug-in's dialog on the terminal, but " + reason +
                     "; give the values as options instead");
  }
}

int ConfigureInteractively(const PluginLibrary& plugin, AppContext& ctx) {
  // The screen is taken over for the dialog only and given back on every
  // way out of this function, before anything else is printed.
  std::unique_ptr<win::term::CursesTerminal> terminal;
  try {
    terminal = std::make_unique<win::term::CursesTerminal>();
  } catch (const std::runtime_error& error) {
    throw UsageError(std::string("-i/--interactive: ") + error.what());
  }
  win::TerminalPresentation presentation(*terminal);
  win::PresentationScope scope(presentation);
  struct Interaction {
    AppContext& ctx;
    explicit Interaction(AppContext& c) : ctx(c) { ctx.SetInteractive(true); }
    ~Interaction() { ctx.SetInteractive(false); }
  } interaction(ctx);
  return plugin.Call(PluginEntryNumber::Configure, &ctx);
}

}  // namespace calvane::app
