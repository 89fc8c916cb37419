#include "support/key_test_support.h"

#include "crypto/key_generator.h"
#include "crypto/pem_text.h"
#include "util/folder_paths.h"

#include <array>
#include <cstdio>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/wait.h>

const CKeyPair& SharedKeyPair()
{
    static CKeyGenerator generator;
    static const bool made = generator.Generate();
    if (!made)
        throw std::runtime_error("cannot make the shared test key pair");
    return *generator.GetKeyPair();
}

std::unique_ptr<CKeyPair> CopyOfSharedKeyPair()
{
    const CKeyPair& shared = SharedKeyPair();
    std::string publicPem;
    CSecretText privatePem;
    auto copy = std::make_unique<CKeyPair>();
    if (!EncodePublicPem(shared.GetKey(), publicPem) ||
        !EncodePrivatePem(shared.GetKey(), privatePem) ||
        !copy->LoadPem(&publicPem, &privatePem.Get()))
        throw std::runtime_error("cannot copy the shared test key pair");
    copy->SetGuid(shared.GetGuid());
    copy->SetKeyFilePath(shared.GetKeyFilePath());
    return copy;
}

int RunCommand(const std::string& command, std::string* output)
{
    FILE* pipe = ::popen((command + " 2>/dev/null").c_str(), "r");
    if (pipe == nullptr)
        return -1;
    std::array<char, 4096> buffer {};
    std::size_t got = 0;
    while ((got = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) {
        if (output)
            output->append(buffer.data(), got);
    }
    const int status = ::pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string ShellQuoted(const std::string& path)
{
    std::string quoted = "'";
    for (char c : path)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::string BigEndianBytes(std::uint32_t value)
{
    return {static_cast<char>(value >> 24), static_cast<char>((value >> 16) & 0xFF),
            static_cast<char>((value >> 8) & 0xFF), static_cast<char>(value & 0xFF)};
}

std::string KeyPairFileImage(const std::string& guid, const std::string& stamp,
                             std::uint32_t version, const std::string& publicPem,
                             const std::string& privatePem)
{
    std::string image = "TVPS" + BigEndianBytes(version) + guid + stamp + std::string(3, '\0');
    image += BigEndianBytes(static_cast<std::uint32_t>(publicPem.size()));
    image += BigEndianBytes(static_cast<std::uint32_t>(privatePem.size()));
    return image + publicPem + privatePem;
}

namespace {

std::uint32_t BigEndianAt(const std::string& bytes, std::size_t offset)
{
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i)
        value = (value << 8) | static_cast<unsigned char>(bytes[offset + i]);
    return value;
}

} // namespace

bool SplitKeyPairFile(const std::string& bytes, std::string& publicPem, std::string& privatePem)
{
    if (bytes.size() < 68)
        return false;
    const std::size_t publicSize = BigEndianAt(bytes, 60);
    const std::size_t privateSize = BigEndianAt(bytes, 64);
    if (bytes.size() < 68 + publicSize + privateSize)
        return false;
    publicPem = bytes.substr(68, publicSize);
    privatePem = bytes.substr(68 + publicSize, privateSize);
    return true;
}

bool SameKey(const EVP_PKEY* first, const EVP_PKEY* second)
{
    return first && second && EVP_PKEY_eq(first, second) == 1;
}

CKeysFolderScope::CKeysFolderScope(const std::string& folder)
    : m_folder(folder.back() == '/' ? folder : folder + "/"), m_previous(g_szKeysFolder)
{
    ::mkdir(m_folder.c_str(), 0700);
    g_szKeysFolder = m_folder;
}

CKeysFolderScope::~CKeysFolderScope()
{
    g_szKeysFolder = m_previous;
}
