// Temporary folders and generated image files for the program's tests.
#pragma once

#include <OpenImageIO/imageio.h>

#include <functional>
#include <string>
#include <vector>

namespace calvane::app::test {

// A fresh folder, removed with everything in it at the end.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string operator/(const std::string& name) const { return m_path + "/" + name; }
  const std::string& path() const { return m_path; }
  std::vector<std::string> Entries() const;  // file names, sorted

 private:
  std::string m_path;
};

// Sample value, 0..1, of channel c at (x, y).
using SampleFn = std::function<float(int x, int y, int c)>;

// Writes an image of the given type through OpenImageIO; `spec` extras
// (metadata) may be added by `decorate`.
void WriteImage(const std::string& path, int width, int height, int channels, OIIO::TypeDesc type, const SampleFn& sample,
                const std::function<void(OIIO::ImageSpec&)>& decorate = nullptr);

struct ImageData {
  OIIO::ImageSpec spec;
  std::vector<float> pixels;  // interleaved, 0..1 for integer data
};
ImageData ReadImage(const std::string& path);

// A piecewise-constant picture (0.25, 0.75, a bright disc) of channel c.
float Cartoon(int x, int y, int c);

// Cartoon with Gaussian noise of standard deviation `sigma` (0..1 units),
// the same noise for the same seed.
SampleFn NoisyCartoon(float sigma, unsigned seed);

// Root-mean-square difference of channel c of two images, 0..1 units.
double RmsDifference(const ImageData& a, const ImageData& b, int channel);

// Root-mean-square difference of channel c of `image` from the picture
// `clean` (0..1 units, as SampleFn), over every pixel.
double RmsFromPicture(const ImageData& image, const SampleFn& clean, int channel);

std::string ReadText(const std::string& path);
void WriteText(const std::string& path, const std::string& text);

}  // namespace calvane::app::test
