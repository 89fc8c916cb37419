#pragma once

#include <array>
#include <cstdint>
#include <string>

// A GUID in its usual field form: Data1-Data2-Data3-Data4.
struct SGuid {
    std::uint32_t m_nData1 = 0;
    std::uint16_t m_nData2 = 0;
    std::uint16_t m_nData3 = 0;
    std::array<std::uint8_t, 8> m_data4 {};
};

// The key GUID text: 32 upper-case hexadecimal digits, the GUID's bytes in their standard
// (big-endian field) order, so {f81d4fae-7dec-11d0-a765-00a0c91e6bf6} gives
// F81D4FAE7DEC11D0A76500A0C91E6BF6.
std::string KeyGuidText(const SGuid& guid);

// A new random (version 4) GUID's key GUID text. False, leaving guidText as it was, when the
// random generator fails.
[[nodiscard]] bool MakeKeyGuid(std::string& guidText);
