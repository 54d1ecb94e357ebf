#include "TestFiles.h"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <stdexcept>

namespace calvane::app::test {

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/calvane-app-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  m_path = pattern;
}

TempDir::~TempDir() {
  for (const std::string& name : Entries()) unlink((*this / name).c_str());
  rmdir(m_path.c_str());
}

std::vector<std::string> TempDir::Entries() const {
  std::vector<std::string> names;
  if (DIR* dir = opendir(m_path.c_str())) {
    while (const dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    closedir(dir);
  }
  std::sort(names.begin(), names.end());
  return names;
}

void WriteImage(const std::string& path, int width, int height, int channels, OIIO::TypeDesc type, const SampleFn& sample,
                const std::function<void(OIIO::ImageSpec&)>& decorate) {
  OIIO::ImageSpec spec(width, height, channels, type);
  if (channels == 4 || channels == 2) spec.alpha_channel = channels - 1;
  if (channels == 4) spec.channelnames = {"R", "G", "B", "A"};
  // The samples given are stored as they are, not taken as premultiplied
  // by alpha and divided by it on the way out.
  if (spec.alpha_channel >= 0) spec.attribute("oiio:UnassociatedAlpha", 1);
  if (decorate) decorate(spec);
  std::vector<float> pixels(static_cast<std::size_t>(width) * height * channels);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      for (int c = 0; c < channels; ++c) pixels[(static_cast<std::size_t>(y) * width + x) * channels + c] = sample(x, y, c);
  auto out = OIIO::ImageOutput::create(path);
  if (!out || !out->open(path, spec) || !out->write_image(OIIO::TypeFloat, pixels.data()) || !out->close()) {
    throw std::runtime_error("cannot write test image " + path);
  }
}

ImageData ReadImage(const std::string& path) {
  OIIO::ImageSpec config;
  config.attribute("oiio:UnassociatedAlpha", 1);
  auto in = OIIO::ImageInput::open(path, &config);
  if (!in) throw std::runtime_error("cannot read test image " + path);
  ImageData data{in->spec(), {}};
  data.pixels.resize(static_cast<std::size_t>(data.spec.width) * data.spec.height * data.spec.nchannels);
  in->read_image(0, 0, 0, data.spec.nchannels, OIIO::TypeFloat, data.pixels.data());
  return data;
}

float Cartoon(int x, int y, int c) {
  float v = x < 40 ? 0.25f : 0.75f;
  if (std::hypot(x - 70.0, y - 30.0) < 15.0) v = 0.9f - 0.1f * static_cast<float>(c);
  return v;
}

SampleFn NoisyCartoon(float sigma, unsigned seed) {
  auto rng = std::make_shared<std::mt19937>(seed);
  auto noise = std::make_shared<std::normal_distribution<float>>(0.0f, sigma);
  return [=](int x, int y, int c) { return Cartoon(x, y, c) + (*noise)(*rng); };
}

double RmsDifference(const ImageData& a, const ImageData& b, int channel) {
  const int na = a.spec.nchannels;
  const int nb = b.spec.nchannels;
  const std::size_t pixels = a.pixels.size() / static_cast<std::size_t>(na);
  double sum = 0.0;
  for (std::size_t i = 0; i < pixels; ++i) {
    const double d = a.pixels[i * na + channel] - b.pixels[i * nb + channel];
    sum += d * d;
  }
  return std::sqrt(sum / static_cast<double>(pixels));
}

double RmsFromPicture(const ImageData& image, const SampleFn& clean, int channel) {
  const int n = image.spec.nchannels;
  const int w = image.spec.width;
  double sum = 0.0;
  for (int y = 0; y < image.spec.height; ++y) {
    for (int x = 0; x < w; ++x) {
      const double d = image.pixels[(static_cast<std::size_t>(y) * w + x) * n + channel] - clean(x, y, channel);
      sum += d * d;
    }
  }
  return std::sqrt(sum / (static_cast<double>(w) * image.spec.height));
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteText(const std::string& path, const std::string& text) { std::ofstream(path) << text; }

}  // namespace calvane::app::test
