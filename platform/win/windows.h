// The window system's programming interface, as one include.
#pragma once

#include "win/wintypes.h"
#include "win/winbase.h"
#include "win/winuser.h"
