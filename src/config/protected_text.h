#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// The FTP password is kept encrypted under the machine identifier (g_szMachineId), in the salted
// layout of `openssl enc`, so `openssl enc -d -bf-cbc -md md5 -pass pass:<identifier>` reads it:
//
//   offset  size   content
//   0       8      "Salted__"
//   8       8      random salt
//   16      8 * k  the text's bytes, Blowfish-CBC with standard padding (1 to 8 bytes, each holding
//                  the padding length), so k = length / 8 + 1
//
// Key (16 bytes) and IV (8 bytes) come from EVP_BytesToKey with MD5, the salt, the identifier's
// 16 characters as pass phrase and one round. This binds the password to the computer and keeps
// it out of plain sight; whoever can compute the identifier on this computer can read it.
//
// Blowfish comes from OpenSSL's legacy provider (crypto/openssl_providers.h): while it is not
// loaded, both functions fail.

// A new protected block of text, with a fresh salt. Nothing when the random generator fails,
// Blowfish is not available or no machine identifier is set: weak or unreadable bytes are never
// made.
[[nodiscard]] std::optional<std::vector<unsigned char>> ProtectText(std::string_view text);

// The text in a protected block made under this computer's identifier, up to its first zero byte
// (texts here end at a zero). Nothing when the bytes are no such block: shorter than 16 bytes, no
// "Salted__", padding rejected (which nearly always means another identifier); nothing as well
// when Blowfish is not available or no machine identifier is set.
[[nodiscard]] std::optional<std::string> UnprotectText(std::span<const unsigned char> bytes);
