#include "config/base64.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace {

constexpr std::string_view kAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr char kPad = '=';

// The 6-bit value of every byte; bytes outside the alphabet read as 63, like "/".
constexpr std::array<std::uint8_t, 256> MakeDecodeTable()
{
    std::array<std::uint8_t, 256> table {};
    table.fill(63);
    for (std::size_t i = 0; i < kAlphabet.size(); ++i)
        table[static_cast<unsigned char>(kAlphabet[i])] = static_cast<std::uint8_t>(i);
    return table;
}

constexpr std::array<std::uint8_t, 256> kDecodeTable = MakeDecodeTable();

char Digit(std::uint32_t group, int shift)
{
    return kAlphabet[(group >> shift) & 0x3F];
}

// Decodes the group of up to four characters that starts at text[start] and appends its bytes.
void DecodeGroup(std::string_view text, std::size_t start, std::vector<unsigned char>& bytes)
{
    std::uint32_t group = 0;
    int count = 3;
    for (std::size_t k = 0; k < 4; ++k) {
        group <<= 6;
        const std::size_t at = start + k;
        if (at >= text.size() || text[at] == kPad)
            --count;
        else
            group |= kDecodeTable[static_cast<unsigned char>(text[at])];
    }
    for (int i = 0; i < std::max(count, 0); ++i)
        bytes.push_back(static_cast<unsigned char>(group >> (16 - 8 * i)));
}

} // namespace

std::string Base64Encode(std::span<const unsigned char> bytes)
{
    std::string text;
    text.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t start = 0; start < bytes.size(); start += 3) {
        const std::size_t count = std::min<std::size_t>(3, bytes.size() - start);
        std::uint32_t group = 0;
        for (std::size_t i = 0; i < 3; ++i)
            group = (group << 8) | (i < count ? bytes[start + i] : 0U);
        text += Digit(group, 18);
        text += Digit(group, 12);
        text += count >= 2 ? Digit(group, 6) : kPad;
        text += count == 3 ? Digit(group, 0) : kPad;
    }
    return text;
}

std::vector<unsigned char> Base64Decode(std::string_view text)
{
    std::vector<unsigned char> bytes;
    bytes.reserve(text.size() / 4 * 3 + 3);
    for (std::size_t start = 0; start < text.size(); start += 4)
        DecodeGroup(text, start, bytes);
    return bytes;
}
