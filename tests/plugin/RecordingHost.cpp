#include "plugin/RecordingHost.h"

#include <cmath>
#include <cstdint>
#include <stdexcept>

#include "afx/afxstate.h"
#include "host/Curvature.h"
#include "host/HostErrors.h"
#include "host/HostExports.h"
#include "host/Image.h"

namespace recording {

Host& host() {
  static Host h;
  return h;
}

std::vector<std::string> Host::Ops() const {
  std::vector<std::string> ops;
  for (const Call& c : calls) ops.push_back(c.op);
  return ops;
}

std::vector<Call> Host::Named(const std::string& op) const {
  std::vector<Call> out;
  for (const Call& c : calls)
    if (c.op == op) out.push_back(c);
  return out;
}

int Host::Count(const std::string& op) const { return static_cast<int>(Named(op).size()); }

namespace {

std::string NameOf(const Image* image) { return image == nullptr ? "null" : image->name; }

void Record(const std::string& op, std::vector<const Image*> images, std::vector<double> values,
            std::string text = {}) {
  Call call{op, {}, std::move(values), std::move(text), AfxGetModuleState() == AfxGetStaticModuleState()};
  for (const Image* image : images) call.images.push_back(NameOf(image));
  host().calls.push_back(call);
  if (host().onCall) host().onCall(op);
}

Image* Made(const Image& model) {
  auto* image = new Image(model);
  image->name = "img" + std::to_string(++host().imagesMade);
  return image;
}

void RequireSame(const Image* a, const Image* b) {
  if (a->samples.size() != b->samples.size()) throw std::logic_error("recording host: sizes differ");
}

}  // namespace

Image MakeImage(int width, int height, int channels, float scale, float value, const std::string& name) {
  Image image;
  image.width = width;
  image.height = height;
  image.channels = channels;
  image.scale = scale;
  image.name = name;
  image.samples.resize(static_cast<std::size_t>(width) * height * channels);
  for (std::size_t i = 0; i < image.samples.size(); ++i) image.samples[i] = value + static_cast<float>(i);
  return image;
}

void Context::SetParams(PluginParam* params) {
  Record("SetParams", {}, {static_cast<double>(reinterpret_cast<std::uintptr_t>(params))});
  if (params != m_params) delete m_params;
  m_params = params;
}

PluginParam* Context::GetParams() {
  Record("GetParams", {}, {});
  return m_params;
}

Image* Context::GetImage(int a, int b, int c, int d) {
  Record("GetImage", {}, {double(a), double(b), double(c), double(d)});
  return m_work;
}

int Context::UpdateView(int a, int b) {
  Record("UpdateView", {}, {double(a), double(b)});
  return 0;
}

int Context::HostOp38(int a, int b, int c) {
  Record("HostOp38", {}, {double(a), double(b), double(c)});
  return 0;
}

int Context::HostOp44(int a, int b, int c, int d, int e, int f, int g, int h, int i) {
  Record("HostOp44", {}, {double(a), double(b), double(c), double(d), double(e), double(f), double(g), double(h),
                          double(i)});
  return 0;
}

unsigned char Context::IsInteractive() {
  Record("IsInteractive", {}, {});
  return m_interactive ? 1 : 0;
}

PluginParam* MakeParams(int type, float variance, int iterations) {
  auto* params = new PluginParam(3);
  char additive[] = "Additive", multiplicative[] = "Multiplicative";
  char* items[2] = {additive, multiplicative};
  params->AddStrListParam(const_cast<char*>("Noise Type"), items, 2, type);
  params->AddFloatParam(const_cast<char*>("Noise Variance"), variance, 0.0f, 10000000.0f);
  params->AddIntParam(const_cast<char*>("Iterations"), iterations, 1, 1000);
  return params;
}

}  // namespace recording

using recording::Record;

Image* NewImage(Image* like) {
  Record("NewImage", {like}, {});
  Image* made = recording::Made(*like);
  std::fill(made->samples.begin(), made->samples.end(), -12345.0f);  // contents are not relied on
  return made;
}

Image* DuplicateImage(Image* src) {
  Record("DuplicateImage", {src}, {});
  return recording::Made(*src);
}

void CopyImageData(Image* src, Image* dst) {
  Record("CopyImageData", {src, dst}, {});
  const std::string name = dst->name;
  *dst = *src;
  dst->name = name;
}

void DeleteImage(Image* image) {
  Record("DeleteImage", {image}, {});
  delete image;
}

void AddImage(Image* dst, Image* src, float factor) {
  Record("AddImage", {dst, src}, {factor});
  recording::RequireSame(dst, src);
  for (std::size_t i = 0; i < dst->samples.size(); ++i) dst->samples[i] += factor * src->samples[i];
}

void MultiplyConstant(Image* image, float factor) {
  Record("MultiplyConstant", {image}, {factor});
  for (float& s : image->samples) s *= factor;
}

float ImageDiffEnergy(Image* a, Image* b) {
  Record("ImageDiffEnergy", {a, b}, {});
  recording::RequireSame(a, b);
  double sum = 0.0;
  for (std::size_t i = 0; i < a->samples.size(); ++i) {
    const double d = double(a->samples[i]) - double(b->samples[i]);
    sum += d * d;
  }
  return static_cast<float>(sum / static_cast<double>(a->samples.size()));
}

float GetScale(Image* image) {
  Record("GetScale", {image}, {});
  return image->scale;
}

void TwoD_Curv_Divergence(Image* in, Image* out, float epsilon) {
  Record("TwoD_Curv_Divergence", {in, out}, {epsilon});
  const std::string name = out->name;
  *out = *in;
  out->name = name;
  std::fill(out->samples.begin(), out->samples.end(), recording::host().curvatureValue);
}

int UpdateProgress(int done, int total) {
  Record("UpdateProgress", {}, {double(done), double(total)});
  return ++recording::host().progressCalls == recording::host().cancelAtProgressCall ? 1 : 0;
}

void PluginHelp(const char* page) { Record("PluginHelp", {}, {}, page != nullptr ? page : "(null)"); }
