#include "util/utf16.h"

#include <cstdint>

namespace {

constexpr char32_t kMaxCodePoint = 0x10FFFF;
constexpr char32_t kSurrogateFirst = 0xD800;
constexpr char32_t kLowSurrogateFirst = 0xDC00;
constexpr char32_t kSurrogateLast = 0xDFFF;

bool IsSurrogate(char32_t c)
{
    return c >= kSurrogateFirst && c <= kSurrogateLast;
}

bool IsContinuation(unsigned char byte)
{
    return (byte & 0xC0) == 0x80;
}

// Length of the sequence a lead byte starts and the payload bits it carries; 0 for a byte that
// cannot start one (a continuation byte, or 0xF8 and above).
std::size_t SequenceLength(unsigned char lead, char32_t& bits)
{
    if (lead < 0x80) {
        bits = lead;
        return 1;
    }
    if ((lead & 0xE0) == 0xC0) {
        bits = lead & 0x1F;
        return 2;
    }
    if ((lead & 0xF0) == 0xE0) {
        bits = lead & 0x0F;
        return 3;
    }
    if ((lead & 0xF8) == 0xF0) {
        bits = lead & 0x07;
        return 4;
    }
    return 0;
}

// Decodes the code point at utf8[pos]; false for a malformed or overlong sequence.
bool DecodeUtf8(std::string_view utf8, std::size_t& pos, char32_t& c)
{
    static constexpr char32_t kSmallestOfLength[] = {0, 0, 0x80, 0x800, 0x10000};
    const std::size_t length = SequenceLength(static_cast<unsigned char>(utf8[pos]), c);
    if (length == 0 || utf8.size() - pos < length)
        return false;
    for (std::size_t i = 1; i < length; ++i) {
        const auto byte = static_cast<unsigned char>(utf8[pos + i]);
        if (!IsContinuation(byte))
            return false;
        c = (c << 6) | (byte & 0x3F);
    }
    pos += length;
    return c >= kSmallestOfLength[length] && c <= kMaxCodePoint && !IsSurrogate(c);
}

void AppendUtf8(std::string& utf8, char32_t c)
{
    auto put = [&utf8](char32_t byte) { utf8.push_back(static_cast<char>(byte)); };
    if (c < 0x80) {
        put(c);
    } else if (c < 0x800) {
        put(0xC0 | (c >> 6));
        put(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        put(0xE0 | (c >> 12));
        put(0x80 | ((c >> 6) & 0x3F));
        put(0x80 | (c & 0x3F));
    } else {
        put(0xF0 | (c >> 18));
        put(0x80 | ((c >> 12) & 0x3F));
        put(0x80 | ((c >> 6) & 0x3F));
        put(0x80 | (c & 0x3F));
    }
}

} // namespace

bool Utf8ToUtf16(std::string_view utf8, std::u16string& utf16)
{
    utf16.clear();
    std::u16string out;
    out.reserve(utf8.size());
    for (std::size_t pos = 0; pos < utf8.size();) {
        char32_t c = 0;
        if (!DecodeUtf8(utf8, pos, c))
            return false;
        if (c < 0x10000) {
            out.push_back(static_cast<char16_t>(c));
            continue;
        }
        c -= 0x10000;
        out.push_back(static_cast<char16_t>(kSurrogateFirst + (c >> 10)));
        out.push_back(static_cast<char16_t>(kLowSurrogateFirst + (c & 0x3FF)));
    }
    utf16 = std::move(out);
    return true;
}

bool Utf16ToUtf8(std::u16string_view utf16, std::string& utf8)
{
    utf8.clear();
    std::string out;
    out.reserve(utf16.size());
    for (std::size_t pos = 0; pos < utf16.size(); ++pos) {
        char32_t c = utf16[pos];
        if (IsSurrogate(c)) {
            // A high surrogate must be followed by a low one; a low one never stands first.
            if (c >= kLowSurrogateFirst || pos + 1 == utf16.size())
                return false;
            const char32_t low = utf16[pos + 1];
            if (low < kLowSurrogateFirst || low > kSurrogateLast)
                return false;
            c = 0x10000 + ((c - kSurrogateFirst) << 10) + (low - kLowSurrogateFirst);
            ++pos;
        }
        AppendUtf8(out, c);
    }
    utf8 = std::move(out);
    return true;
}
