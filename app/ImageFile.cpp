// The program's side of ImageFile.h. Reading and writing files is the image
// input/output module's (ImageIoModule.h), opened here on the first call
// that needs it, but for the commonest files, which the program reads and
// writes itself (DirectImageFiles.h); the host images made from decoded
// pixels are the program's own work.
#include "app/ImageFile.h"

#include <dlfcn.h>

#include <limits>
#include <optional>

#include "app/AtomicOutput.h"
#include "app/DirectImageFiles.h"
#include "app/ErrorReporting.h"
#include "app/ExitStatus.h"
#include "app/ImageIoModule.h"
#include "app/Interrupt.h"
#include "app/PluginLibrary.h"
#include "host/Image.h"
#include "hostlib/HostImage.h"

namespace calvane::app {
namespace {

// The module beside the plug-in (beside the program, or in ../lib/calvane
// when installed), opened once and kept open for the rest of the run.
class ImageIoModule {
 public:
  // Its functions; a FileError naming the module, on every call, when it
  // cannot be opened or is not the module this program needs.
  static const ImageIoFunctions& Functions() {
    static const ImageIoModule module;
    if (module.m_functions == nullptr) throw FileError(module.m_path, module.m_problem);
    return *module.m_functions;
  }

 private:
  ImageIoModule() {
    m_path = PathBesideThePlugin(kImageIoModuleFileName);
    void* handle = dlopen(m_path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
      const char* reason = dlerror();
      m_problem = "cannot open the image input/output module (" + OneLine(reason != nullptr ? reason : "unknown reason") +
                  "); no image file can be read or written";
      return;
    }
    const auto entry = reinterpret_cast<ImageIoEntry>(dlsym(handle, CALVIMAGEIO_ENTRY_SYMBOL));
    static const ImageIoProgramServices kProgram{&SetAbortCleanupPath, &OneLine};
    const ImageIoFunctions* functions = entry != nullptr ? entry(&kProgram) : nullptr;
    if (functions == nullptr) {
      m_problem = "not calvane's image input/output module: it exports no " CALVIMAGEIO_ENTRY_SYMBOL;
    } else if (functions->interfaceVersion != kImageIoInterfaceVersion) {
      m_problem = "image input/output module of interface " + std::to_string(functions->interfaceVersion) +
                  ", but this program needs " + std::to_string(kImageIoInterfaceVersion);
    } else {
      m_functions = functions;
    }
  }

  std::string m_path;
  std::string m_problem;
  const ImageIoFunctions* m_functions = nullptr;
};

bool g_useDirectFiles = true;

// An image the program read, as the module describes its file (its layout,
// channel roles and metadata), for the module to check or write it in
// another format; with the image's own samples when `withSamples`. The
// file is described once.
DecodedImage DescribedByTheModule(const DecodedImage& image, bool withSamples) {
  const DirectLayout& direct = *image.direct;
  if (!direct.described) {
    std::vector<DecodedImage> pages =
        ImageIoModule::Functions().readImagePages(direct.source, std::numeric_limits<std::uint64_t>::max());
    DecodedImage& described = pages.front();
    if (pages.size() != 1 || described.width != image.width || described.height != image.height ||
        described.channels != image.channels) {
      throw FileError(direct.source, "changed while it was being denoised; nothing written");
    }
    described.pixels = {};
    direct.described = std::make_shared<const DecodedImage>(std::move(described));
  }
  DecodedImage described = *direct.described;
  if (withSamples) described.pixels = image.pixels;
  return described;
}

}  // namespace

void ImageDeleter::operator()(Image* image) const { DeleteImage(image); }

void UseDirectImageFiles(bool use) { g_useDirectFiles = use; }

// The image of a file the program reads itself, when it is one and may.
std::optional<DecodedImage> ReadByTheProgram(const std::string& path, std::uint64_t maxSamples) {
  return g_useDirectFiles ? ReadImageDirectly(path, maxSamples) : std::nullopt;
}

DecodedImage ReadImageFile(const std::string& path, std::uint64_t maxSamples) {
  if (std::optional<DecodedImage> image = ReadByTheProgram(path, maxSamples)) return std::move(*image);
  return ImageIoModule::Functions().readImageFile(path, maxSamples);
}

std::vector<DecodedImage> ReadImagePages(const std::string& path, std::uint64_t maxSamples) {
  if (std::optional<DecodedImage> image = ReadByTheProgram(path, maxSamples)) {
    std::vector<DecodedImage> pages;
    pages.push_back(std::move(*image));
    return pages;
  }
  return ImageIoModule::Functions().readImagePages(path, maxSamples);
}

HostImagePtr MakeWorkingImage(const DecodedImage& image) {
  const int channels = static_cast<int>(image.colourChannels.size());
  HostImagePtr work(CreateImage(image.width, image.height, channels, WorkingFullScale(image)));
  const std::size_t plane = static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height);
  const std::size_t stride = static_cast<std::size_t>(image.channels);
  const float factor = WorkingFullScale(image);
  for (int c = 0; c < channels; ++c) {
    float* out = ImagePlane(work.get(), c);
    const float* in = image.pixels.data() + image.colourChannels[static_cast<std::size_t>(c)];
    for (std::size_t i = 0; i < plane; ++i) out[i] = in[i * stride] * factor;
  }
  return work;
}

void StoreWorkingImage(const Image* work, DecodedImage& image) {
  const std::size_t plane = static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height);
  const std::size_t stride = static_cast<std::size_t>(image.channels);
  const float inverse = image.unit / image.scale;  // exact: the unit is a power of two
  for (std::size_t c = 0; c < image.colourChannels.size(); ++c) {
    const float* in = ImagePlane(work, static_cast<int>(c));
    float* out = image.pixels.data() + image.colourChannels[c];
    for (std::size_t i = 0; i < plane; ++i) out[i * stride] = in[i] * inverse;
  }
}

float WorkingFullScale(const DecodedImage& image) { return image.scale / image.unit; }

void RequireWritableFormat(const std::string& path) {
  if (g_useDirectFiles && FormatIsWrittenDirectly(path)) return;
  ImageIoModule::Functions().requireWritableFormat(path);
}

void RequireRoomForImages(const std::string& path, const std::string& input, std::size_t images) {
  if (images <= 1) return;
  ImageIoModule::Functions().requireRoomForImages(path, input, images);
}

std::vector<std::string> CheckOutputFormat(const std::string& path, const std::string& input,
                                           const std::vector<DecodedImage>& images) {
  // A file read by the program holds one image.
  if (images.size() == 1 && images.front().direct) return CheckOutputFormat(path, images.front());
  return ImageIoModule::Functions().checkOutputFormatOfAll(path, input, images);
}

std::vector<std::string> CheckOutputFormat(const std::string& path, const DecodedImage& image) {
  if (!image.direct) return ImageIoModule::Functions().checkOutputFormat(path, image);
  if (g_useDirectFiles && WritesDirectly(path, image)) {
    // The file is written in the input's own channels and depth; only the
    // folder can refuse it.
    RequireWritableFolder(path);
    return {};
  }
  return ImageIoModule::Functions().checkOutputFormat(path, DescribedByTheModule(image, false));
}

void WriteImageFile(const std::string& path, const DecodedImage& image, const std::function<void()>& beforeCommit) {
  WriteImagePages(path, {&image}, beforeCommit);
}

void WriteImagePages(const std::string& path, const std::vector<const DecodedImage*>& pages,
                     const std::function<void()>& beforeCommit) {
  if (pages.size() == 1 && pages.front()->direct) {
    if (g_useDirectFiles && WritesDirectly(path, *pages.front())) {
      WriteImageDirectly(path, *pages.front(), beforeCommit);
      return;
    }
    const DecodedImage described = DescribedByTheModule(*pages.front(), true);
    ImageIoModule::Functions().writeImagePages(path, {&described}, beforeCommit);
    return;
  }
  ImageIoModule::Functions().writeImagePages(path, pages, beforeCommit);
}

}  // namespace calvane::app
