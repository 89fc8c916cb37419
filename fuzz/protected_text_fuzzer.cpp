// The PASSWORD value of inet.conf: base64 text, then the protected block it decodes to.
#include "config/base64.h"
#include "config/protected_text.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    EnablePasswordProtection();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::vector<unsigned char> bytes =
        Base64Decode(std::string_view(reinterpret_cast<const char*>(data), size));
    if (Base64Decode(Base64Encode(bytes)) != bytes)
        FuzzFailure("bytes encoded in base64 do not decode to themselves");
    (void)UnprotectText(bytes);
    return 0;
}
