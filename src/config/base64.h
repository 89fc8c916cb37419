#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

// Base64 with the standard alphabet ("A"-"Z", "a"-"z", "0"-"9", "+", "/"), "=" as padding and no
// line breaks: the form the protected password takes in inet.conf.

// Three bytes become four characters; a last group of one byte ends with "==", of two with "=".
[[nodiscard]] std::string Base64Encode(std::span<const unsigned char> bytes);

// Decodes forgivingly, in groups of four characters from the start: each "=" makes its group one
// byte shorter, and a character outside the alphabet counts as "/" (63). A last group of fewer
// than four characters reads as if "=" filled it up, and a group of three or four "=" gives no
// byte. Any text decodes, so text that is no base64 gives bytes that fail whatever check comes
// next; what Base64Encode wrote decodes exactly to what it encoded.
[[nodiscard]] std::vector<unsigned char> Base64Decode(std::string_view text);
