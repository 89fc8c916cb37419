#pragma once

#include <optional>
#include <string>
#include <string_view>

// Pieces of the list file layout shared by the destination and key pair lists:
//
//   TOTAL=<count>
//   [0]
//   NAME=<name of entry 0>
//   <second key><second text of entry 0>
//   [1]
//   ...
//
// every line ending with CR LF; an empty list is the single line "TOTAL=0".

inline constexpr std::string_view kTotalKey = "TOTAL=";
inline constexpr std::string_view kNameKey = "NAME=";

// The count after "TOTAL=": leading blanks and one sign allowed, reading stops at the first
// non-digit, no digits give 0. Saturates instead of overflowing.
long long ParseListCount(std::string_view text);

// The index of an index line "[digits]"; nothing for any other line.
std::optional<long long> ParseIndexLine(std::string_view line);

// True for a line that begins with '[' and ends with ']'.
bool IsBracketedLine(std::string_view line);

// "[<index>]" as written before each entry.
std::string FormatIndexLine(int index);
