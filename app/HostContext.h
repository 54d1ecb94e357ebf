// The host's side of the plug-in's context: it keeps the parameter set and
// the working image, and passes redraw requests on.
#pragma once

#include <functional>
#include <memory>

#include "host/PluginContext.h"
#include "host/PluginParam.h"

namespace calvane::app {

class AppContext final : public PluginContext {
 public:
  AppContext() = default;
  ~AppContext() = default;
  AppContext(const AppContext&) = delete;
  AppContext& operator=(const AppContext&) = delete;

  void SetParams(PluginParam* params) override;
  PluginParam* GetParams() override;
  Image* GetImage(int a, int b, int c, int d) override;
  int UpdateView(int a, int b) override;
  int HostOp38(int a, int b, int c) override;
  int HostOp44(int a, int b, int c, int d, int e, int f, int g, int h, int i) override;
  unsigned char IsInteractive() override;

  void SetWorkingImage(Image* image) { m_work = image; }
  void SetInteractive(bool interactive) { m_interactive = interactive; }
  // Called on every redraw request of the plug-in.
  void SetRedrawHandler(std::function<void(Image*)> handler) { m_redraw = std::move(handler); }

 private:
  std::unique_ptr<PluginParam> m_params;
  Image* m_work = nullptr;
  bool m_interactive = false;
  std::function<void(Image*)> m_redraw;
};

}  // namespace calvane::app
