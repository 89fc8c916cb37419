#include "util/key_guid.h"

#include <algorithm>
#include <cstdio>
#include <openssl/rand.h>

namespace {

void AppendHex(std::string& text, std::uint64_t value, int digits)
{
    char buffer[17];
    std::snprintf(buffer, sizeof buffer, "%0*llX", digits, static_cast<unsigned long long>(value));
    text += buffer;
}

} // namespace

std::string KeyGuidText(const SGuid& guid)
{
    std::string text;
    AppendHex(text, guid.m_nData1, 8);
    AppendHex(text, guid.m_nData2, 4);
    AppendHex(text, guid.m_nData3, 4);
    for (std::uint8_t byte : guid.m_data4)
        AppendHex(text, byte, 2);
    return text;
}

bool MakeKeyGuid(std::string& guidText)
{
    std::array<unsigned char, 16> bytes {};
    if (RAND_bytes(bytes.data(), static_cast<int>(bytes.size())) != 1)
        return false;
    // RFC 4122 version 4 (random) and variant 10xx bits.
    bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0F) | 0x40);
    bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3F) | 0x80);

    SGuid guid;
    guid.m_nData1 = (std::uint32_t {bytes[0]} << 24) | (std::uint32_t {bytes[1]} << 16) |
                    (std::uint32_t {bytes[2]} << 8) | bytes[3];
    guid.m_nData2 = static_cast<std::uint16_t>((bytes[4] << 8) | bytes[5]);
    guid.m_nData3 = static_cast<std::uint16_t>((bytes[6] << 8) | bytes[7]);
    std::copy(bytes.begin() + 8, bytes.end(), guid.m_data4.begin());
    guidText = KeyGuidText(guid);
    return true;
}
