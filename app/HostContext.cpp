#include "app/HostContext.h"

namespace calvane::app {

void AppContext::SetParams(PluginParam* params) {
  // The plug-in hands back the very set it edited; that one must live on.
  if (params != m_params.get()) m_params.reset(params);
}

PluginParam* AppContext::GetParams() { return m_params.get(); }

Image* AppContext::GetImage(int, int, int, int) { return m_work; }

int AppContext::UpdateView(int, int) {
  if (m_redraw && m_work != nullptr) m_redraw(m_work);
  return 0;
}

// The plug-in announces itself through these two at set-up, HostOp38(0, 0, 0)
// and HostOp44 with 8 as its sixth argument (host/PluginContext.h); this host
// has nothing to set up for them, so the arguments are not looked at.
int AppContext::HostOp38(int, int, int) { return 0; }
int AppContext::HostOp44(int, int, int, int, int, int, int, int, int) { return 0; }

unsigned char AppContext::IsInteractive() { return m_interactive ? 1 : 0; }

}  // namespace calvane::app
