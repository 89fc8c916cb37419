#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

// Big-endian (network order) integers in byte buffers. Every file format of the program stores
// its counts and lengths this way; all reads and writes go through here. Callers check that the
// span holds enough bytes before reading.

[[nodiscard]] inline std::uint32_t ReadU32(std::span<const unsigned char> bytes)
{
    return (std::uint32_t {bytes[0]} << 24) | (std::uint32_t {bytes[1]} << 16) |
           (std::uint32_t {bytes[2]} << 8) | std::uint32_t {bytes[3]};
}

[[nodiscard]] inline std::uint16_t ReadU16(std::span<const unsigned char> bytes)
{
    return static_cast<std::uint16_t>((bytes[0] << 8) | bytes[1]);
}

inline void WriteU32(std::span<unsigned char> bytes, std::uint32_t value)
{
    bytes[0] = static_cast<unsigned char>(value >> 24);
    bytes[1] = static_cast<unsigned char>(value >> 16);
    bytes[2] = static_cast<unsigned char>(value >> 8);
    bytes[3] = static_cast<unsigned char>(value);
}

inline void WriteU16(std::span<unsigned char> bytes, std::uint16_t value)
{
    bytes[0] = static_cast<unsigned char>(value >> 8);
    bytes[1] = static_cast<unsigned char>(value);
}

// Appending forms, for building a file image in a string.
inline void AppendU32(std::string& out, std::uint32_t value)
{
    unsigned char bytes[4];
    WriteU32(bytes, value);
    out.append(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

inline void AppendU16(std::string& out, std::uint16_t value)
{
    unsigned char bytes[2];
    WriteU16(bytes, value);
    out.append(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

// Reading from a string's bytes at an offset; the caller has checked offset + size.
[[nodiscard]] inline std::uint32_t ReadU32(const std::string& bytes, std::size_t offset)
{
    return ReadU32(std::span(reinterpret_cast<const unsigned char*>(bytes.data()) + offset, 4));
}

[[nodiscard]] inline std::uint16_t ReadU16(const std::string& bytes, std::size_t offset)
{
    return ReadU16(std::span(reinterpret_cast<const unsigned char*>(bytes.data()) + offset, 2));
}
