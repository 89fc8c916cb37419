#pragma once

#include "crypto/file_decryption.h"
#include "crypto/key_pair.h"
#include "crypto/public_key.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Helpers shared by the container, encryption and decryption tests.

// An RSA-2048 key pair made with the openssl tool, kept as PEM files for the tool's own use.
struct STestKey {
    std::string m_guid;
    std::string m_privatePemPath; // PKCS#1 "RSA PRIVATE KEY"
    std::string m_publicPemPath;  // SubjectPublicKeyInfo "PUBLIC KEY"
    std::string m_privatePem;
    std::string m_publicPem;
};

// Two different key pairs, each made once per test program on first use (making one takes a
// while).
const STestKey& FirstTestKey();
const STestKey& SecondTestKey();

// Runs "openssl <arguments> -in <input> -out <output>" in scratch on input's bytes and gives the
// output's bytes; a failing command fails the test.
std::string OpensslFilter(const std::string& scratchFolder, const std::string& arguments,
                          const std::string& input);

// key's public half under guid (its own GUID by default).
std::unique_ptr<CPublicKey> PublicKeyOf(const STestKey& key, const std::string& guid = {});
std::unique_ptr<CKeyPair> KeyPairOf(const STestKey& key);
// Gives key's pair for its own GUID and null for any other, counting the questions in *asked.
KeyPairFinder FinderOf(const STestKey& key, int* asked = nullptr);

// A container taken apart by offsets, independently of the program's reader.
struct SChunkRecord {
    std::size_t m_offset = 0; // of its u32 H
    std::string m_head;
    std::string m_tail;
};
struct SParsedContainer {
    std::string m_guid;
    std::uint32_t m_version = 0;
    std::uint16_t m_time[7] {};
    std::string m_name; // UTF-16BE bytes
    std::vector<std::string> m_keyRecords;
    std::size_t m_keyBlockEnd = 0;           // offset just behind the key block's end mark
    std::vector<std::size_t> m_blockOffsets; // of each record block's u32 length
    std::vector<std::size_t> m_blockSizes;
    std::vector<SChunkRecord> m_chunks;
};
// False when bytes are not a well-formed container up to and including the last end mark, or
// when anything follows it.
bool ParseContainer(const std::string& bytes, SParsedContainer& parsed);

// The container image with its source name replaced by name (UTF-16 code units).
std::string WithName(const std::string& container, const std::u16string& name);
// bytes with the four bytes at offset replaced by value, big-endian.
std::string PatchedU32(std::string bytes, std::size_t offset, std::uint32_t value);
std::string U32Bytes(std::uint32_t value);

std::string HexOf(const std::string& bytes);
// Random bytes from the library's generator.
std::string RandomBytes(std::size_t size);
// A file's modification time as it stands.
timespec ModificationTimeOf(const std::string& path);
