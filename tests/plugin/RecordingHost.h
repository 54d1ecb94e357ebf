// A host that records every call the plug-in makes to it, in order, with
// simple reference implementations of the image calls. Linked in place of
// the real host library.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "host/PluginContext.h"
#include "host/PluginParam.h"

struct Image {
  int width = 0;
  int height = 0;
  int channels = 0;
  float scale = 255.0f;
  std::vector<float> samples;
  std::string name;  // how the log names it
};

namespace recording {

struct Call {
  std::string op;                   // "AddImage", "GetParams", ...
  std::vector<std::string> images;  // names of the images passed
  std::vector<double> values;       // the other arguments
  std::string text;                 // a text argument (PluginHelp's page)
  bool moduleStateWasThePluginOwn = false;
};

struct Host {
  std::vector<Call> calls;
  // Curvature written by TwoD_Curv_Divergence into every sample.
  float curvatureValue = 1.0f;
  // UpdateProgress answers nonzero at this call (1-based); 0 never.
  int cancelAtProgressCall = 0;
  int progressCalls = 0;
  // Called at the start of every recorded host call; may throw.
  std::function<void(const std::string& op)> onCall;
  int imagesMade = 0;

  void Reset() { *this = Host(); }
  std::vector<std::string> Ops() const;
  std::vector<Call> Named(const std::string& op) const;
  int Count(const std::string& op) const;
};

Host& host();

// A working image filled with `value + i` for sample i.
Image MakeImage(int width, int height, int channels, float scale, float value, const std::string& name);

class Context : public PluginContext {
 public:
  explicit Context(Image* work, PluginParam* params = nullptr, bool interactive = false)
      : m_work(work), m_params(params), m_interactive(interactive) {}
  void SetParams(PluginParam* params) override;
  PluginParam* GetParams() override;
  Image* GetImage(int a, int b, int c, int d) override;
  int UpdateView(int a, int b) override;
  int HostOp38(int a, int b, int c) override;
  int HostOp44(int a, int b, int c, int d, int e, int f, int g, int h, int i) override;
  unsigned char IsInteractive() override;

  Image* m_work;
  PluginParam* m_params;
  bool m_interactive;
};

// A parameter set as the plug-in builds it, with the given values.
PluginParam* MakeParams(int type, float variance, int iterations);

}  // namespace recording
