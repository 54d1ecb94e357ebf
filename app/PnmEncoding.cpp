#include "app/PnmEncoding.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace calvane::app {

std::vector<unsigned char> EncodeSixteenBitPnm(int width, int height, int channels, bool binary,
                                               const std::vector<float>& pixels) {
  const char* magic = channels == 1 ? (binary ? "P5" : "P2") : (binary ? "P6" : "P3");
  const std::string header = std::string(magic) + "\n" + std::to_string(width) + " " + std::to_string(height) + "\n65535\n";
  std::vector<unsigned char> bytes(header.begin(), header.end());
  bytes.reserve(header.size() + pixels.size() * (binary ? 2 : 6));
  for (std::size_t i = 0; i < pixels.size(); ++i) {
    const float clamped = std::min(1.0f, std::max(0.0f, pixels[i]));
    const auto sample = static_cast<unsigned>(std::lround(clamped * 65535.0f));
    if (binary) {
      bytes.push_back(static_cast<unsigned char>(sample >> 8));
      bytes.push_back(static_cast<unsigned char>(sample & 0xFF));
    } else {
      const std::string text = std::to_string(sample);
      bytes.insert(bytes.end(), text.begin(), text.end());
      bytes.push_back((i + 1) % static_cast<std::size_t>(channels) == 0 ? '\n' : ' ');
    }
  }
  return bytes;
}

}  // namespace calvane::app
