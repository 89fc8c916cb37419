// A key pair file (an own key or an imported export), read and then used in both directions.
#include "crypto/key_pair.h"
#include "fuzz_support.h"

#include <array>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const std::string path = ScratchPath("input.key");
    WriteInputFile(path, data, size);
    const std::unique_ptr<CKeyPair> pair = LoadKeyPairFile(path);
    if (!pair)
        return 0;
    if (!IsKeyGuidText(pair->GetGuid()) || pair->GetKey() == nullptr)
        FuzzFailure("a key pair file read without its GUID or key");
    // The file's key may be any RSA key its author chose; it only has to be handled safely.
    const std::array<unsigned char, 16> head {};
    std::vector<unsigned char> block;
    std::vector<unsigned char> plain;
    if (pair->WrapBytes(head, block))
        (void)pair->UnwrapBytes(block, plain);
    return 0;
}
