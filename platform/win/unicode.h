// UTF-8, the encoding of all text in the window system's "A" functions, for
// the window system and its presentations alike.
#pragma once

#include <cstddef>
#include <string>

#include "win/wintypes.h"

namespace win {

// Appends the UTF-8 form of `codePoint`; a value past U+10FFFF appends nothing.
WIN_API void AppendUtf8(std::string& out, char32_t codePoint);
// Decodes the character that starts at `pos` and moves `pos` past it. A byte
// that starts no character, or a sequence cut short, reads as U+FFFD; the
// byte that cut it short is left for the next call.
WIN_API char32_t DecodeUtf8At(const std::string& text, std::size_t& pos);

}  // namespace win
