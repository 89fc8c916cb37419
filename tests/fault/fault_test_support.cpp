#include "fault/fault_test_support.h"

#include "crypto/pem_text.h"
#include "support/key_test_support.h"

#include <random>
#include <stdexcept>
#include <sys/stat.h>

void Require(bool done, const std::string& what)
{
    if (!done)
        throw std::runtime_error("cannot set up the test: " + what);
}

std::string MakeFolder(const std::string& path, unsigned mode)
{
    Require(::mkdir(path.c_str(), mode) == 0 && ::chmod(path.c_str(), mode) == 0, "mkdir " + path);
    return path;
}

std::string SampleBytes(std::size_t size)
{
    std::mt19937 random(static_cast<std::mt19937::result_type>(size));
    std::string bytes(size, '\0');
    for (char& byte : bytes)
        byte = static_cast<char>(random());
    return bytes;
}

std::unique_ptr<CPublicKey> PublicHalfOfSharedKeyPair()
{
    std::string pem;
    auto key = std::make_unique<CPublicKey>();
    Require(EncodePublicPem(SharedKeyPair().GetKey(), pem) && key->LoadPem(&pem, nullptr),
            "the shared key pair's public half");
    key->SetGuid(SharedKeyPair().GetGuid());
    return key;
}

KeyPairFinder SharedKeyPairFinder()
{
    return [](const std::string& guid) {
        return guid == SharedKeyPair().GetGuid() ? CopyOfSharedKeyPair() : nullptr;
    };
}

std::optional<std::string> RestoredFrom(const std::string& containerPath,
                                        const std::string& outputPath)
{
    const OutputNameAsker toOutput = [&](const std::string&) { return outputPath; };
    if (DecryptFile(containerPath, SharedKeyPairFinder(), toOutput) != EDecryptResult::Decrypted)
        return std::nullopt;
    return ReadWholeFile(outputPath);
}

std::vector<CDestination> SampleDestinations()
{
    return {{"Alice", "https://example.org/alice.pub"},
            {"Bob", "http://keys.example.net/~bob/bob.pub"},
            {"Carol", "https://example.com/" + std::string(300, 'c') + ".pub"}};
}

std::vector<CKeyPairOfConf> SampleKeyPairEntries()
{
    return {{"Work", "0A1B2C3D4E5F60718293A4B5C6D7E8F9.key"},
            {"Home", "F81D4FAE7DEC11D0A76500A0C91E6BF6.key"},
            {"Laptop", "00000000000040008000000000000000.key"}};
}
