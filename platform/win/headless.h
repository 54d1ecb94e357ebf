// The headless presentation lives in its own library (calvheadless); this
// name of its header is kept for the code that includes it so.
#pragma once

#include "headless/headless.h"
