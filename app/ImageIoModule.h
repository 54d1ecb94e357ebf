// The image input/output module, libcalvimageio.so: everything that needs
// the image library, kept out of the program so that a start that touches
// no image file (--help, --version, a usage error, a dry run) does not load
// that library and the hundreds it depends on. The program opens the module
// the first time a file is read or written (ImageFile.cpp) and reaches it
// through one C entry point, which returns the table below.
//
// The module and the program are built together from these sources, with
// the same compiler and standard library, so the table passes C++ types
// (strings, vectors, DecodedImage) and the module's failures (AppError)
// reach the program unchanged. The module is never closed: the layouts of
// the images it decoded are freed by its code.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/ImageFile.h"

// The module is built with hidden visibility, and every source of it
// includes this header first (the build says so). What the module throws
// is caught in the program: the type information of AppError keeps default
// visibility, so that both sides name the one type.
#pragma GCC visibility push(default)
#include "app/ExitStatus.h"
#pragma GCC visibility pop

#define CALVIMAGEIO_ENTRY_SYMBOL "calvimageio_functions"

namespace calvane::app {

constexpr const char* kImageIoModuleFileName = "libcalvimageio.so";

// Changes whenever the table does; a module of another version is refused.
constexpr std::uint32_t kImageIoInterfaceVersion = 2;

// What the module uses of the program, so that there is one of each: the
// half-written file that a signal or a library's exit() must remove is the
// program's to know.
struct ImageIoProgramServices {
  void (*setAbortCleanupPath)(const char* path);
  std::string (*oneLine)(const std::string& text);
};

// The functions of ImageFile.h that need the image library; each does what
// its namesake there says.
struct ImageIoFunctions {
  std::uint32_t interfaceVersion;
  DecodedImage (*readImageFile)(const std::string& path, std::uint64_t maxSamples);
  std::vector<DecodedImage> (*readImagePages)(const std::string& path, std::uint64_t maxSamples);
  void (*requireWritableFormat)(const std::string& path);
  std::vector<std::string> (*checkOutputFormat)(const std::string& path, const DecodedImage& image);
  void (*requireRoomForImages)(const std::string& path, const std::string& input, std::size_t images);
  std::vector<std::string> (*checkOutputFormatOfAll)(const std::string& path, const std::string& input,
                                                    const std::vector<DecodedImage>& images);
  void (*writeImagePages)(const std::string& path, const std::vector<const DecodedImage*>& pages,
                          const std::function<void()>& beforeCommit);
};

using ImageIoEntry = const ImageIoFunctions* (*)(const ImageIoProgramServices* program);

}  // namespace calvane::app
