#pragma once

#include <string>
#include <string_view>

// The narrow text of this program is UTF-8; containers carry file names in UTF-16. Both
// conversions refuse malformed input (overlong or truncated sequences, surrogates encoded in
// UTF-8, code points above U+10FFFF, unpaired UTF-16 surrogates) instead of guessing, and leave
// the output empty then. U+0000 is a code point like any other and is converted.

[[nodiscard]] bool Utf8ToUtf16(std::string_view utf8, std::u16string& utf16);
[[nodiscard]] bool Utf16ToUtf8(std::u16string_view utf16, std::string& utf8);
