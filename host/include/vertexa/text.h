// Text encodings of what the host shows and writes. trueSpace files carry
// their names (objects, materials, image paths) in the Windows code page
// (Windows-1252); every text the host prints or writes is UTF-8.
#pragma once

#include <string>
#include <string_view>

#include "vertexa/api.h"

namespace vertexa {

// Windows-1252 bytes as UTF-8. Bytes below 0x80 stay as they are; the five
// bytes the code page leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) become
// the control characters of the same number, as Windows converts them.
VX_API std::string utf8_from_cp1252(std::string_view text);

// True when `text` is well-formed UTF-8 (no overlong forms, no surrogates,
// nothing above U+10FFFF).
VX_API bool is_utf8(std::string_view text);

// A name the system gave (a path, an argument): kept when it already is
// UTF-8, else read as Windows-1252, so the result is always valid UTF-8.
VX_API std::string utf8_from_native(std::string_view text);

}  // namespace vertexa
