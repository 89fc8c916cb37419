// A received container, opened with a fixed key pair whatever key GUID it names, so the fuzzer
// gets past the key block into the record walk of the data section.
#include "crypto/file_decryption.h"
#include "fuzz_support.h"

#include <sys/stat.h>
#include <unistd.h>

namespace {

const CKeyPair& FixtureKeyPair()
{
    static const std::unique_ptr<CKeyPair> pair = LoadKeyPairFile(CorpusPath(kFixtureKeyPair));
    if (!pair)
        FuzzFailure("cannot read the fixed key pair in the corpus folder");
    return *pair;
}

// The fixed key pair under the GUID the container asks for; the key itself is shared.
std::unique_ptr<CKeyPair> FindKeyPair(const std::string& guid)
{
    EVP_PKEY* key = FixtureKeyPair().GetKey();
    if (EVP_PKEY_up_ref(key) != 1)
        FuzzFailure("cannot share the fixed key");
    auto pair = std::make_unique<CKeyPair>();
    pair->SetKey(UniqueEvpPkey(key));
    pair->SetGuid(guid);
    return pair;
}

// A name from a container is joined to a folder, so it must name a file right in it.
void CheckProposedName(const std::string& name)
{
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos ||
        name.find('\0') != std::string::npos)
        FuzzFailure("the proposed output name is no plain file name");
}

bool Exists(const std::string& path)
{
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    (void)FixtureKeyPair();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const std::string container = ScratchPath("input.enp");
    static const std::string output = ScratchPath("restored");
    WriteInputFile(container, data, size);
    const auto askOutput = [](const std::string& proposedName) -> std::optional<std::string> {
        CheckProposedName(proposedName);
        return output;
    };
    const EDecryptResult result = DecryptFile(container, FindKeyPair, askOutput);
    if (result == EDecryptResult::Decrypted) {
        if (::unlink(output.c_str()) != 0)
            FuzzFailure("a decryption succeeded without restoring the file");
    } else if (Exists(output)) {
        FuzzFailure("a failed decryption left its output behind");
    }
    if (!IsTempFolderEmpty())
        FuzzFailure("a decryption left a temporary file behind");
    return 0;
}
