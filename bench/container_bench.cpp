// Encrypts and decrypts a 1 MiB and a 64 MiB file and prints throughput and peak resident memory.
// Memory must not grow with the file: the peak after the 64 MiB run should stay within a few MiB
// of the peak after the 1 MiB run.
//
// Usage: container_bench [work folder]   (default: a new folder under $TMPDIR or /tmp)

#include "crypto/file_decryption.h"
#include "crypto/file_encryption.h"
#include "crypto/pem_text.h"
#include "util/file_system.h"
#include "util/folder_paths.h"
#include "util/unique_fd.h"

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <vector>

namespace {

constexpr std::size_t kMiB = 1024 * 1024;
constexpr const char* kGuid = "0A1B2C3D4E5F60718293A4B5C6D7E8F9";

long PeakResidentKiB()
{
    rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

bool WriteRandomFile(const std::string& path, std::size_t size)
{
    CUniqueFd file(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    std::vector<unsigned char> piece(kMiB);
    for (std::size_t written = 0; file.IsOpen() && written < size; written += piece.size()) {
        if (RAND_bytes(piece.data(), static_cast<int>(piece.size())) != 1 ||
            !WriteAll(file.Get(), piece.data(), piece.size()))
            return false;
    }
    return file.IsOpen() && file.Close();
}

bool SameContent(const std::string& first, const std::string& second)
{
    CUniqueFd a(::open(first.c_str(), O_RDONLY | O_CLOEXEC));
    CUniqueFd b(::open(second.c_str(), O_RDONLY | O_CLOEXEC));
    std::vector<char> pieceA(65536);
    std::vector<char> pieceB(65536);
    while (a.IsOpen() && b.IsOpen()) {
        const long long gotA = ReadFull(a.Get(), pieceA.data(), pieceA.size());
        const long long gotB = ReadFull(b.Get(), pieceB.data(), pieceB.size());
        if (gotA != gotB || gotA < 0 ||
            !std::equal(pieceA.begin(), pieceA.begin() + gotA, pieceB.begin()))
            return false;
        if (gotA == 0)
            return true;
    }
    return false;
}

bool MakeKeys(CPublicKey& publicKey, CKeyPair& keyPair)
{
    UniqueEvpPkey key(EVP_PKEY_Q_keygen(nullptr, nullptr, "RSA", static_cast<std::size_t>(2048)));
    std::string publicPem;
    CSecretText privatePem;
    if (!key || !EncodePublicPem(key.get(), publicPem) || !EncodePrivatePem(key.get(), privatePem))
        return false;
    publicKey.SetGuid(kGuid);
    keyPair.SetGuid(kGuid);
    return publicKey.LoadPem(&publicPem, nullptr) && keyPair.LoadPem(&publicPem, &privatePem.Get());
}

double Seconds(std::chrono::steady_clock::duration duration)
{
    return std::chrono::duration<double>(duration).count();
}

bool Run(const std::string& folder, std::size_t size, const CPublicKey& publicKey,
         const CKeyPair& keyPair)
{
    const std::string source = folder + "/source-" + std::to_string(size / kMiB);
    const std::string container = source + ".enp";
    const std::string restored = source + ".restored";
    using Clock = std::chrono::steady_clock;

    std::string reason;
    const auto start = Clock::now();
    if (!EncryptFile(source, container, publicKey, &reason)) {
        std::fprintf(stderr, "encryption failed: %s\n", reason.c_str());
        return false;
    }
    const auto encrypted = Clock::now();
    const long peakAfterEncryption = PeakResidentKiB();

    const KeyPairFinder finder = [&keyPair](const std::string&) {
        auto copy = std::make_unique<CKeyPair>();
        std::string publicPem;
        CSecretText privatePem;
        if (!EncodePublicPem(keyPair.GetKey(), publicPem) ||
            !EncodePrivatePem(keyPair.GetKey(), privatePem) ||
            !copy->LoadPem(&publicPem, &privatePem.Get()))
            return std::unique_ptr<CKeyPair>();
        copy->SetGuid(keyPair.GetGuid());
        return copy;
    };
    const OutputNameAsker ask = [&restored](const std::string&) { return restored; };
    if (DecryptFile(container, finder, ask, &reason) != EDecryptResult::Decrypted) {
        std::fprintf(stderr, "decryption failed: %s\n", reason.c_str());
        return false;
    }
    const auto decrypted = Clock::now();
    if (!SameContent(source, restored)) {
        std::fprintf(stderr, "the restored file differs from its source\n");
        return false;
    }
    const double mib = static_cast<double>(size) / kMiB;
    std::printf(
        "%3zu MiB  encrypt %7.1f MiB/s  decrypt %7.1f MiB/s  peak RSS after encrypt %ld KiB, "
        "after decrypt %ld KiB\n",
        size / kMiB, mib / Seconds(encrypted - start), mib / Seconds(decrypted - encrypted),
        peakAfterEncryption, PeakResidentKiB());
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    std::string folder;
    if (argc > 1) {
        folder = argv[1];
    } else {
        const char* systemTemp = std::getenv("TMPDIR");
        std::string pattern =
            std::string(systemTemp && *systemTemp ? systemTemp : "/tmp") + "/pellmar-bench-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr)
            return 1;
        folder = pattern;
    }
    g_szTempFolder = folder + "/temp/";
    ::mkdir(g_szTempFolder.c_str(), 0700);

    CPublicKey publicKey;
    CKeyPair keyPair;
    const std::size_t sizes[] = {1 * kMiB, 64 * kMiB};
    bool ok = MakeKeys(publicKey, keyPair);
    for (std::size_t size : sizes)
        ok = ok && WriteRandomFile(folder + "/source-" + std::to_string(size / kMiB), size);
    std::printf("peak RSS before the runs %ld KiB\n", PeakResidentKiB());
    for (std::size_t size : sizes)
        ok = ok && Run(folder, size, publicKey, keyPair);
    if (argc <= 1)
        (void)RemoveFolderTree(folder);
    return ok ? 0 : 1;
}
