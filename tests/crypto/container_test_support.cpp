#include "crypto/container_test_support.h"

#include "support/key_test_support.h"
#include "support/scratch_folder.h"
#include "util/big_endian.h"
#include "util/file_system.h"

#include <gtest/gtest.h>
#include <openssl/rand.h>

#include <cstdlib>
#include <stdexcept>
#include <sys/stat.h>

namespace {

// One key made with the openssl tool; its folder lives as long as the test program.
class CTestKeyFiles {
public:
    explicit CTestKeyFiles(const std::string& guid)
    {
        std::string pattern = "/tmp/pellmar-test-key-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("cannot make a folder for a test key");
        m_folder = pattern;
        m_key.m_guid = guid;
        const std::string generated = m_folder + "/pkcs8.pem";
        m_key.m_privatePemPath = m_folder + "/private.pem";
        m_key.m_publicPemPath = m_folder + "/public.pem";
        if (RunCommand("openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out " +
                       ShellQuoted(generated)) != 0 ||
            RunCommand("openssl rsa -in " + ShellQuoted(generated) + " -traditional -out " +
                       ShellQuoted(m_key.m_privatePemPath)) != 0 ||
            RunCommand("openssl rsa -in " + ShellQuoted(generated) + " -pubout -out " +
                       ShellQuoted(m_key.m_publicPemPath)) != 0)
            throw std::runtime_error("openssl cannot make a test key");
        m_key.m_privatePem = ReadWholeFile(m_key.m_privatePemPath);
        m_key.m_publicPem = ReadWholeFile(m_key.m_publicPemPath);
    }
    ~CTestKeyFiles() { (void)RemoveFolderTree(m_folder); }
    CTestKeyFiles(const CTestKeyFiles&) = delete;
    CTestKeyFiles& operator=(const CTestKeyFiles&) = delete;

    const STestKey& Get() const { return m_key; }

private:
    std::string m_folder;
    STestKey m_key;
};

bool TakeU32(const std::string& bytes, std::size_t& at, std::uint32_t& value)
{
    if (bytes.size() < 4 || at > bytes.size() - 4)
        return false;
    value = ReadU32(bytes, at);
    at += 4;
    return true;
}

bool TakeBytes(const std::string& bytes, std::size_t& at, std::uint64_t size, std::string& out)
{
    if (size > bytes.size() - at)
        return false;
    out = bytes.substr(at, size);
    at += size;
    return true;
}

bool ParseBlock(const std::string& bytes, std::size_t at, std::size_t end,
                std::vector<SChunkRecord>& chunks)
{
    while (at < end) {
        SChunkRecord chunk;
        chunk.m_offset = at;
        std::uint32_t head = 0;
        std::uint32_t tail = 0;
        if (!TakeU32(bytes, at, head) || !TakeU32(bytes, at, tail) ||
            std::uint64_t {head} + tail > end - at || !TakeBytes(bytes, at, head, chunk.m_head) ||
            !TakeBytes(bytes, at, tail, chunk.m_tail))
            return false;
        chunks.push_back(std::move(chunk));
    }
    return at == end;
}

} // namespace

// Each key is made on first use only: most test programs need just one.
const STestKey& FirstTestKey()
{
    static const CTestKeyFiles key("0A1B2C3D4E5F60718293A4B5C6D7E8F9");
    return key.Get();
}

const STestKey& SecondTestKey()
{
    static const CTestKeyFiles key("F81D4FAE7DEC11D0A76500A0C91E6BF6");
    return key.Get();
}

std::unique_ptr<CPublicKey> PublicKeyOf(const STestKey& key, const std::string& guid)
{
    auto publicKey = std::make_unique<CPublicKey>();
    if (!publicKey->LoadPem(&key.m_publicPem, nullptr))
        throw std::runtime_error("cannot load a test public key");
    publicKey->SetGuid(guid.empty() ? key.m_guid : guid);
    return publicKey;
}

std::unique_ptr<CKeyPair> KeyPairOf(const STestKey& key)
{
    auto keyPair = std::make_unique<CKeyPair>();
    if (!keyPair->LoadPem(&key.m_publicPem, &key.m_privatePem))
        throw std::runtime_error("cannot load a test key pair");
    keyPair->SetGuid(key.m_guid);
    return keyPair;
}

KeyPairFinder FinderOf(const STestKey& key, int* asked)
{
    return [&key, asked](const std::string& guid) -> std::unique_ptr<CKeyPair> {
        if (asked != nullptr)
            ++*asked;
        return guid == key.m_guid ? KeyPairOf(key) : nullptr;
    };
}

bool ParseContainer(const std::string& bytes, SParsedContainer& parsed)
{
    parsed = {};
    if (bytes.size() < 64 || bytes.compare(0, 4, "TVPE") != 0)
        return false;
    parsed.m_version = ReadU32(bytes, 4);
    for (std::size_t i = 0; i < 7; ++i)
        parsed.m_time[i] = ReadU16(bytes, 12 + 2 * i);
    parsed.m_guid = bytes.substr(26, 32);
    std::size_t at = 60;
    std::uint32_t value = 0;
    if (!TakeU32(bytes, at, value) || !TakeBytes(bytes, at, 2ULL * value, parsed.m_name))
        return false;
    for (;;) {
        std::string record;
        if (!TakeU32(bytes, at, value))
            return false;
        if (value == 0)
            break;
        if (!TakeBytes(bytes, at, value, record))
            return false;
        parsed.m_keyRecords.push_back(record);
    }
    parsed.m_keyBlockEnd = at;
    for (;;) {
        const std::size_t blockOffset = at;
        if (!TakeU32(bytes, at, value))
            return false;
        if (value == 0)
            break;
        if (value > bytes.size() - at || !ParseBlock(bytes, at, at + value, parsed.m_chunks))
            return false;
        parsed.m_blockOffsets.push_back(blockOffset);
        parsed.m_blockSizes.push_back(value);
        at += value;
    }
    return at == bytes.size();
}

std::string WithName(const std::string& container, const std::u16string& name)
{
    const std::size_t oldEnd = 64 + 2ULL * ReadU32(container, 60);
    std::string result = container.substr(0, 60);
    AppendU32(result, static_cast<std::uint32_t>(name.size()));
    for (char16_t unit : name)
        AppendU16(result, unit);
    return result + container.substr(oldEnd);
}

std::string PatchedU32(std::string bytes, std::size_t offset, std::uint32_t value)
{
    return bytes.replace(offset, 4, U32Bytes(value));
}

std::string U32Bytes(std::uint32_t value)
{
    std::string bytes;
    AppendU32(bytes, value);
    return bytes;
}

std::string HexOf(const std::string& bytes)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string hex;
    for (unsigned char byte : bytes) {
        hex += kDigits[byte >> 4];
        hex += kDigits[byte & 0x0F];
    }
    return hex;
}

std::string RandomBytes(std::size_t size)
{
    std::string bytes(size, '\0');
    if (size > 0 &&
        RAND_bytes(reinterpret_cast<unsigned char*>(bytes.data()), static_cast<int>(size)) != 1)
        throw std::runtime_error("no random bytes");
    return bytes;
}

timespec ModificationTimeOf(const std::string& path)
{
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0)
        throw std::runtime_error("cannot stat " + path);
    return status.st_mtim;
}

std::string OpensslFilter(const std::string& scratchFolder, const std::string& arguments,
                          const std::string& input)
{
    const std::string in = scratchFolder + "/openssl-in";
    const std::string out = scratchFolder + "/openssl-out";
    WriteWholeFile(in, input);
    EXPECT_EQ(RunCommand("openssl " + arguments + " -in " + ShellQuoted(in) + " -out " +
                         ShellQuoted(out)),
              0)
        << arguments;
    return ReadWholeFile(out);
}
