#include "app/Interactive.h"

#include <dlfcn.h>

#include <memory>
#include <stdexcept>

#include "app/ExitStatus.h"
#include "app/HostContext.h"
#include "app/PluginLibrary.h"
#include "term/cursesterminal.h"
#include "term/terminal.h"
#include "win/presentation.h"

namespace calvane::app {
namespace {

constexpr const char* kDesktopLibrary = "libcalvdesktop.so";

// The desktop presentation's library, beside the plug-in, opened on first
// use and kept for the rest of the run (GTK cannot be unloaded).
class DesktopModule {
 public:
  static DesktopModule& Get() {
    static DesktopModule module;
    return module;
  }

  std::string UnavailableReason() const {
    if (!m_error.empty()) return m_error;
    const char* reason = m_reason();
    return reason != nullptr ? reason : "";
  }

  std::unique_ptr<win::Presentation> Make() const {
    return std::unique_ptr<win::Presentation>(m_error.empty() ? m_make() : nullptr);
  }

 private:
  DesktopModule() {
    const std::string plugin = DefaultPluginPath();
    const std::string path = plugin.substr(0, plugin.rfind('/') + 1) + kDesktopLibrary;
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
      m_error = std::string("this calvane has no desktop presentation (") + dlerror() + ")";
      return;
    }
    m_reason = reinterpret_cast<const char* (*)()>(dlsym(handle, "calvdesktop_unavailable_reason"));
    m_make = reinterpret_cast<win::Presentation* (*)()>(dlsym(handle, "calvdesktop_make_presentation"));
    if (m_reason == nullptr || m_make == nullptr) m_error = path + " is not calvane's desktop presentation";
  }

  std::string m_error;
  const char* (*m_reason)() = nullptr;
  win::Presentation* (*m_make)() = nullptr;
};

// The desktop is used when asked for, or by default when there is one.
bool UseDesktop(UiChoice ui) {
  if (ui == UiChoice::Terminal) return false;
  return ui == UiChoice::Desktop || DesktopUnavailableReason().empty();
}

// The plug-in's configure entry with interaction allowed, under `presentation`.
int RunConfigure(const PluginLibrary& plugin, AppContext& ctx, win::Presentation& presentation) {
  win::PresentationScope scope(presentation);
  struct Interaction {
    AppContext& ctx;
    explicit Interaction(AppContext& c) : ctx(c) { ctx.SetInteractive(true); }
    ~Interaction() { ctx.SetInteractive(false); }
  } interaction(ctx);
  return plugin.Call(PluginEntryNumber::Configure, &ctx);
}

}  // namespace

std::string DesktopUnavailableReason() { return DesktopModule::Get().UnavailableReason(); }

void RequireInteractiveDialog(UiChoice ui) {
  if (ui == UiChoice::Desktop) {
    const std::string reason = DesktopUnavailableReason();
    if (!reason.empty()) throw UsageError("--ui desktop: " + reason + "; use --ui terminal, or give the values as options");
    return;
  }
  if (UseDesktop(ui)) return;
  const std::string reason = win::term::TerminalUnavailableReason();
  if (!reason.empty()) {
    throw UsageError("-i/--interactive shows the plug-in's dialog on the terminal, but " + reason +
                     "; give the values as options instead");
  }
}

int ConfigureInteractively(const PluginLibrary& plugin, AppContext& ctx, UiChoice ui) {
  if (UseDesktop(ui)) {
    const std::unique_ptr<win::Presentation> desktop = DesktopModule::Get().Make();
    if (!desktop) throw UsageError("--ui desktop: " + DesktopUnavailableReason());
    return RunConfigure(plugin, ctx, *desktop);
  }
  // The screen is taken over for the dialog only and given back on every
  // way out of this function, before anything else is printed.
  std::unique_ptr<win::term::CursesTerminal> terminal;
  try {
    terminal = std::make_unique<win::term::CursesTerminal>();
  } catch (const std::runtime_error& error) {
    throw UsageError(std::string("-i/--interactive: ") + error.what());
  }
  win::TerminalPresentation presentation(*terminal);
  return RunConfigure(plugin, ctx, presentation);
}

}  // namespace calvane::app
