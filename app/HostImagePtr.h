// An owning pointer to a host image, which deletes it with the host's
// DeleteImage.
#pragma once

#include <memory>

struct Image;

namespace calvane::app {

struct ImageDeleter {
  void operator()(Image* image) const;
};
using HostImagePtr = std::unique_ptr<Image, ImageDeleter>;

}  // namespace calvane::app
