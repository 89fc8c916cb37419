#pragma once

#include "crypto/encrypted_file.h"
#include "crypto/progress.h"
#include "crypto/public_key.h"

#include <array>
#include <cstdint>
#include <span>
#include <string>

// The session data of one encryption, 52 bytes with no padding, exactly as the key block wraps
// it in pieces of 16, 16, 16 and 4 bytes:
//   0  total ciphertext length, u32 big-endian (modulo 2^32; no reader relies on it)
//   4  AES-256 key, 32 bytes
//  36  IV, 16 bytes
// The bytes are wiped when the block goes away.
struct SSessionBlock {
    static constexpr std::size_t kSize = 52;

    std::array<unsigned char, 4> m_nTotalLength {};
    std::array<unsigned char, 32> m_abSessionKey {};
    std::array<unsigned char, 16> m_abIv {};

    SSessionBlock() = default;
    SSessionBlock(const SSessionBlock&) = delete;
    SSessionBlock& operator=(const SSessionBlock&) = delete;
    ~SSessionBlock();

    void SetTotalLength(std::uint32_t length);
    std::span<const unsigned char, kSize> Bytes() const;
    // Takes the first 52 bytes of bytes, which must hold at least that many.
    void Assign(std::span<const unsigned char> bytes);
};

// A fresh random key and IV, total length 0. False when the random generator fails: the
// encryption must then not go on with weak bytes.
[[nodiscard]] bool GenerateSessionKey(SSessionBlock& session);

// The last-write time of the file at path, in UTC, milliseconds truncated.
[[nodiscard]] bool GetFileLastWriteTime(const std::string& path, FileTimeRecord& times);

// Encrypts the file at sourcePath for recipient into a container at containerPath, replacing a
// file there in one step. On failure nothing at containerPath has changed, no temporary file is
// left, and errorText (when given) receives the reason. containerPath may be sourcePath itself.
//
// progress, when given, is told (0, source size) first, then now and then how far the work has
// come, and (source size, source size) last; when it returns false the encryption stops, returns
// false and leaves nothing behind, as on any failure. The chunks are encrypted on one worker
// thread per core (ChunkWorkerCount); progress is called on the calling thread.
[[nodiscard]] bool EncryptFile(const std::string& sourcePath, const std::string& containerPath,
                               const CPublicKey& recipient, std::string* errorText = nullptr,
                               const ProgressCallback& progress = {});
