// A downloaded public key file, read and then used the way an encryption uses it.
#include "crypto/public_key.h"
#include "fuzz_support.h"

#include <array>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const std::string path = ScratchPath("input.pub");
    WriteInputFile(path, data, size);
    const std::unique_ptr<CPublicKey> key = ReadPublicKeyFile(path);
    if (!key)
        return 0;
    if (!IsKeyGuidText(key->GetGuid()) || key->GetKey() == nullptr)
        FuzzFailure("a public key file read without its GUID or key");
    // A chunk head's 16 bytes, as the encryption wraps them for the recipient.
    const std::array<unsigned char, 16> head {};
    std::vector<unsigned char> block;
    if (key->WrapBytes(head, block) && block.size() != key->GetBlockSize())
        FuzzFailure("a wrapped block is not one RSA block long");
    return 0;
}
