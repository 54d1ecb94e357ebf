// Visibility of the host's interfaces. The plug-in is built with hidden
// symbols, so everything it takes from its host must say that it lives
// outside the plug-in.
#pragma once

#define CALVANE_HOST_API __attribute__((visibility("default")))
