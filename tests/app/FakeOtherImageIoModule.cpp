// A library in the image input/output module's place that exports its
// entry point, with a table of the next interface version: what an older
// program finds beside it after the module was updated on its own.
#include "app/ImageIoModule.h"

extern "C" __attribute__((visibility("default"))) const calvane::app::ImageIoFunctions* calvimageio_functions(
    const calvane::app::ImageIoProgramServices*) {
  static const calvane::app::ImageIoFunctions kTable{calvane::app::kImageIoInterfaceVersion + 1, nullptr, nullptr,
                                                     nullptr,  nullptr, nullptr, nullptr, nullptr};
  return &kTable;
}
