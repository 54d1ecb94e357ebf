// Build settings shared by every framework header.
#pragma once

// Everything the framework exports keeps default visibility, so that a
// module built with hidden visibility (the plug-in) still calls into the
// framework and shares its type information (a CException thrown here is
// caught there).
#define AFX_API __attribute__((visibility("default")))
#define AFXAPI
#define AFX_MSG_CALL
#define afx_msg

#include <cassert>
#define ASSERT(f) assert(f)
#define VERIFY(f) ((void)(f))
#define TRACE(...) ((void)0)
