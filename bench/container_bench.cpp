// Throughput of encryption and decryption next to what the format allows on this machine and next
// to other tools, and the peak memory of the `pellmar` command for a small and a big file.
//
// In one run, on the same file (256 MiB of random bytes by default):
//  - OpenSSL's own rates on all cores: RSA-2048 OAEP private and public operations per second and
//    AES-256-CBC over 8192-byte chunks. Decryption needs one private operation per chunk, so its
//    limit is private operations per second x 8192 bytes. Encryption needs a public operation and
//    AES for every chunk, one after the other, so its limit is 8192 bytes per the sum of the two
//    costs (each rate on all cores).
//  - EncryptFile and DecryptFile of the file (time to the restored file in place, fsync included).
//  - `openssl enc -aes-256-cbc` and gpg (RSA-2048, no compression) encrypting the same file.
//  - Peak resident memory (ru_maxrss) of the `pellmar` command encrypting and decrypting a 1 MiB
//    and a 1 GiB file, run as a child process.
// Every figure is the best of a few rounds (the machine may be busy with other work), and each
// round also prints its own ratios against the limits measured just before; rates are in MB/s,
// 1 MB = 10^6 bytes.
//
// Usage: container_bench [--mib N] [--big-mib N] [--rounds N] [work folder]
//   --mib      size of the throughput file in MiB (256)
//   --big-mib  size of the big file for the memory figure in MiB (1024; 0 skips it)
//   --rounds   rounds to take the best of (3)
//   work folder: default a new folder under $TMPDIR or /tmp, removed at the end

#include "openssl_rates.h"
#include "timed_command.h"

#include "crypto/chunk_workers.h"
#include "crypto/file_decryption.h"
#include "crypto/file_encryption.h"
#include "crypto/pem_text.h"
#include "util/file_system.h"
#include "util/folder_paths.h"
#include "util/unique_fd.h"

#include <openssl/opensslv.h>
#include <openssl/rand.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <vector>

namespace {

constexpr std::size_t kMiB = 1024 * 1024;
constexpr double kMB = 1e6;
constexpr std::size_t kChunkSize = 8192;
constexpr double kRateSeconds = 1.5;
constexpr const char* kGuid = "0A1B2C3D4E5F60718293A4B5C6D7E8F9";

struct SOptions {
    std::size_t m_nMiB = 256;
    std::size_t m_nBigMiB = 1024;
    int m_nRounds = 3;
    std::string m_folder;
};

bool ParseOptions(int argc, char** argv, SOptions& options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        const bool hasValue = i + 1 < argc;
        if (argument == "--mib" && hasValue)
            options.m_nMiB = std::strtoul(argv[++i], nullptr, 10);
        else if (argument == "--big-mib" && hasValue)
            options.m_nBigMiB = std::strtoul(argv[++i], nullptr, 10);
        else if (argument == "--rounds" && hasValue)
            options.m_nRounds = std::max(1, std::atoi(argv[++i]));
        else if (argument.rfind("--", 0) != 0 && options.m_folder.empty())
            options.m_folder = argument;
        else
            return false;
    }
    return options.m_nMiB > 0;
}

bool WriteRandomFile(const std::string& path, std::size_t size)
{
    CUniqueFd file(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    std::vector<unsigned char> piece(kMiB);
    for (std::size_t written = 0; file.IsOpen() && written < size; written += piece.size()) {
        const std::size_t size_now = std::min(piece.size(), size - written);
        if (RAND_bytes(piece.data(), static_cast<int>(size_now)) != 1 ||
            !WriteAll(file.Get(), piece.data(), size_now))
            return false;
    }
    return file.IsOpen() && file.Close();
}

bool SameContent(const std::string& first, const std::string& second)
{
    CUniqueFd a(::open(first.c_str(), O_RDONLY | O_CLOEXEC));
    CUniqueFd b(::open(second.c_str(), O_RDONLY | O_CLOEXEC));
    std::vector<char> pieceA(kMiB);
    std::vector<char> pieceB(kMiB);
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

struct SKeys {
    UniqueEvpPkey m_key;
    std::string m_publicPem;
    CSecretText m_privatePem;
    CPublicKey m_public;
};

bool MakeKeys(SKeys& keys)
{
    keys.m_key.reset(EVP_PKEY_Q_keygen(nullptr, nullptr, "RSA", static_cast<std::size_t>(2048)));
    if (!keys.m_key || !EncodePublicPem(keys.m_key.get(), keys.m_publicPem) ||
        !EncodePrivatePem(keys.m_key.get(), keys.m_privatePem))
        return false;
    keys.m_public.SetGuid(kGuid);
    return keys.m_public.LoadPem(&keys.m_publicPem, nullptr);
}

double SecondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Bytes per second of EncryptFile, 0 when it failed.
double EncryptRate(const SKeys& keys, const std::string& source, const std::string& container,
                   std::size_t size)
{
    std::string reason;
    const auto start = std::chrono::steady_clock::now();
    if (!EncryptFile(source, container, keys.m_public, &reason)) {
        std::fprintf(stderr, "encryption failed: %s\n", reason.c_str());
        return 0;
    }
    return static_cast<double>(size) / SecondsSince(start);
}

// Bytes per second of DecryptFile, 0 when it failed.
double DecryptRate(const SKeys& keys, const std::string& container, const std::string& restored,
                   std::size_t size)
{
    const KeyPairFinder finder = [&keys](const std::string&) {
        auto pair = std::make_unique<CKeyPair>();
        pair->SetGuid(kGuid);
        if (!pair->LoadPem(&keys.m_publicPem, &keys.m_privatePem.Get()))
            return std::unique_ptr<CKeyPair>();
        return pair;
    };
    const OutputNameAsker ask = [&restored](const std::string&) { return restored; };
    std::string reason;
    const auto start = std::chrono::steady_clock::now();
    if (DecryptFile(container, finder, ask, &reason) != EDecryptResult::Decrypted) {
        std::fprintf(stderr, "decryption failed: %s\n", reason.c_str());
        return 0;
    }
    return static_cast<double>(size) / SecondsSince(start);
}

// Bytes per second of a command on the file, 0 when it failed.
double CommandRate(const std::vector<std::string>& arguments, const std::string& log,
                   std::size_t size, const std::vector<std::string>& environment = {})
{
    const SCommandCost cost = RunTimedCommand(arguments, log, environment);
    if (!cost.m_bSucceeded) {
        std::fprintf(stderr, "%s failed; see %s\n", arguments[0].c_str(), log.c_str());
        return 0;
    }
    return static_cast<double>(size) / cost.m_dSeconds;
}

// A key ring of its own for gpg with one RSA-2048 key without passphrase; its agent is stopped
// when the object goes.
class CGpgHome {
public:
    explicit CGpgHome(const std::string& folder) : m_folder(folder)
    {
        ::mkdir(m_folder.c_str(), 0700);
        m_bReady = RunTimedCommand({"gpg", "--homedir", m_folder, "--batch", "--pinentry-mode",
                                    "loopback", "--passphrase", "", "--quick-gen-key",
                                    "Bench <bench@example.invalid>", "rsa2048", "encr", "never"},
                                   m_folder + "/log")
                       .m_bSucceeded;
    }
    ~CGpgHome()
    {
        (void)RunTimedCommand({"gpgconf", "--homedir", m_folder, "--kill", "all"},
                              m_folder + "/log");
    }
    CGpgHome(const CGpgHome&) = delete;
    CGpgHome& operator=(const CGpgHome&) = delete;

    bool IsReady() const { return m_bReady; }
    std::vector<std::string> EncryptCommand(const std::string& in, const std::string& out) const
    {
        return {"gpg",
                "--homedir",
                m_folder,
                "--batch",
                "--yes",
                "--compress-algo",
                "none",
                "--trust-model",
                "always",
                "-r",
                "bench@example.invalid",
                "-o",
                out,
                "-e",
                in};
    }

private:
    std::string m_folder;
    bool m_bReady = false;
};

struct SFigures {
    SOpensslRates m_rates;
    double m_encrypt = 0;
    double m_decrypt = 0;
    double m_opensslEnc = 0;
    double m_gpg = 0;
};

void KeepBest(SFigures& best, const SFigures& round)
{
    best.m_rates.m_privateOpsPerSecond =
        std::max(best.m_rates.m_privateOpsPerSecond, round.m_rates.m_privateOpsPerSecond);
    best.m_rates.m_publicOpsPerSecond =
        std::max(best.m_rates.m_publicOpsPerSecond, round.m_rates.m_publicOpsPerSecond);
    best.m_rates.m_aesBytesPerSecond =
        std::max(best.m_rates.m_aesBytesPerSecond, round.m_rates.m_aesBytesPerSecond);
    best.m_encrypt = std::max(best.m_encrypt, round.m_encrypt);
    best.m_decrypt = std::max(best.m_decrypt, round.m_decrypt);
    best.m_opensslEnc = std::max(best.m_opensslEnc, round.m_opensslEnc);
    best.m_gpg = std::max(best.m_gpg, round.m_gpg);
}

std::string Hex(const unsigned char* bytes, std::size_t size)
{
    std::string text;
    char digits[3];
    for (std::size_t i = 0; i < size; ++i) {
        std::snprintf(digits, sizeof digits, "%02x", bytes[i]);
        text += digits;
    }
    return text;
}

// What the format allows on all cores: one private operation per chunk to decrypt; a public
// operation and AES, one after the other, per chunk to encrypt.
double DecryptionLimit(const SOpensslRates& rates)
{
    return rates.m_privateOpsPerSecond * kChunkSize;
}

double EncryptionLimit(const SOpensslRates& rates)
{
    return 1 / (1 / (rates.m_publicOpsPerSecond * kChunkSize) + 1 / rates.m_aesBytesPerSecond);
}

const char* Verdict(bool met)
{
    return met ? "met" : "NOT met";
}

void PrintThroughput(const SFigures& best, bool haveGpg, unsigned cores)
{
    const double decryptLimit = DecryptionLimit(best.m_rates);
    const double encryptLimit = EncryptionLimit(best.m_rates);
    std::printf("\nOpenSSL's own rates on all %u cores:\n", cores);
    std::printf("  RSA-2048 OAEP private operations %9.0f /s  x 8192 B = %7.1f MB/s"
                "  (decryption limit)\n",
                best.m_rates.m_privateOpsPerSecond, decryptLimit / kMB);
    std::printf("  RSA-2048 OAEP public operations  %9.0f /s  x 8192 B = %7.1f MB/s\n",
                best.m_rates.m_publicOpsPerSecond,
                best.m_rates.m_publicOpsPerSecond * kChunkSize / kMB);
    std::printf("  AES-256-CBC, 8192-byte chunks                        = %7.1f MB/s\n",
                best.m_rates.m_aesBytesPerSecond / kMB);
    std::printf("  encryption limit: public operation + AES per chunk   = %7.1f MB/s\n",
                encryptLimit / kMB);

    std::printf("\nEncryptFile / DecryptFile, %u workers:\n", ChunkWorkerCount());
    std::printf("  decrypt %7.1f MB/s = %5.1f %% of the decryption limit (target >= 85 %%: %s)\n",
                best.m_decrypt / kMB, 100 * best.m_decrypt / decryptLimit,
                Verdict(best.m_decrypt >= 0.85 * decryptLimit));
    std::printf("  encrypt %7.1f MB/s = %5.1f %% of the encryption limit (target >= 70 %%: %s)\n",
                best.m_encrypt / kMB, 100 * best.m_encrypt / encryptLimit,
                Verdict(best.m_encrypt >= 0.70 * encryptLimit));

    std::printf("\nOther tools encrypting the same file:\n");
    std::printf("  openssl enc -aes-256-cbc  %7.1f MB/s; ours / theirs = %.2f (target > 1: %s)\n",
                best.m_opensslEnc / kMB, best.m_encrypt / best.m_opensslEnc,
                Verdict(best.m_encrypt > best.m_opensslEnc));
    if (haveGpg) {
        std::printf("  gpg RSA-2048, no compression %4.1f MB/s; ours / theirs = %.2f "
                    "(target > 1: %s)\n",
                    best.m_gpg / kMB, best.m_encrypt / best.m_gpg,
                    Verdict(best.m_encrypt > best.m_gpg));
    } else {
        std::printf("  gpg: not installed (Debian package gnupg), no figure\n");
    }
}

// Peak resident memory of `pellmar encrypt` and `pellmar decrypt` on a file of size bytes.
bool PrintCommandMemory(const std::string& folder, std::size_t size)
{
    const std::string source = folder + "/rss-" + std::to_string(size / kMiB) + "MiB";
    const std::string container = source + ".enp";
    const std::string restored = source + ".restored";
    const std::vector<std::string> environment = {"XDG_DATA_HOME=" + folder + "/xdg"};
    const std::string log = folder + "/pellmar.log";
    if (!WriteRandomFile(source, size))
        return false;
    const SCommandCost encrypt =
        RunTimedCommand({PELLMAR_CLI, "encrypt", "--to", folder + "/me.pub", "--output", container,
                         "--force", source},
                        log, environment);
    const SCommandCost decrypt =
        RunTimedCommand({PELLMAR_CLI, "decrypt", "--key", folder + "/me.key", "--output", restored,
                         "--force", container},
                        log, environment);
    const bool same = encrypt.m_bSucceeded && decrypt.m_bSucceeded && SameContent(source, restored);
    std::printf(
        "  %5zu MiB file: encrypt %6.1f MiB (%6.1f MB/s), decrypt %6.1f MiB (%6.1f MB/s)%s\n",
        size / kMiB, encrypt.m_nPeakRssKiB / 1024.0, size / encrypt.m_dSeconds / kMB,
        decrypt.m_nPeakRssKiB / 1024.0, size / decrypt.m_dSeconds / kMB,
        same ? "" : "  FAILED (see pellmar.log)");
    ::unlink(source.c_str());
    ::unlink(container.c_str());
    ::unlink(restored.c_str());
    return same;
}

bool RunBench(const SOptions& options, const std::string& folder)
{
    const unsigned cores = std::max(std::thread::hardware_concurrency(), 1u);
    const std::size_t size = options.m_nMiB * kMiB;
    std::printf("%u cores, %s, work folder %s\n", cores, OPENSSL_VERSION_TEXT, folder.c_str());
    std::printf("throughput file: %zu MiB of random bytes; best of %d rounds; 1 MB = 10^6 bytes\n",
                options.m_nMiB, options.m_nRounds);
    std::fflush(stdout);

    SKeys keys;
    const std::string source = folder + "/source";
    if (!MakeKeys(keys) || !WriteRandomFile(source, size))
        return false;
    unsigned char aesKey[32];
    unsigned char aesIv[16];
    (void)RAND_bytes(aesKey, sizeof aesKey);
    (void)RAND_bytes(aesIv, sizeof aesIv);
    const bool haveGpg = IsOnPath("gpg") && IsOnPath("gpgconf");
    std::unique_ptr<CGpgHome> gpg;
    if (haveGpg) {
        gpg = std::make_unique<CGpgHome>(folder + "/gnupg");
        if (!gpg->IsReady()) {
            std::fprintf(stderr, "gpg cannot make its key; see %s/gnupg/log\n", folder.c_str());
            return false;
        }
    }

    SFigures best;
    for (int round = 0; round < options.m_nRounds; ++round) {
        SFigures figures;
        if (!MeasureOpensslRates(keys.m_key.get(), cores, kRateSeconds, figures.m_rates))
            return false;
        figures.m_encrypt = EncryptRate(keys, source, folder + "/source.enp", size);
        figures.m_decrypt = DecryptRate(keys, folder + "/source.enp", folder + "/restored", size);
        if (figures.m_encrypt == 0 || figures.m_decrypt == 0)
            return false;
        if (round == 0 && !SameContent(source, folder + "/restored")) {
            std::fprintf(stderr, "the restored file differs from its source\n");
            return false;
        }
        figures.m_opensslEnc =
            CommandRate({"openssl", "enc", "-aes-256-cbc", "-K", Hex(aesKey, sizeof aesKey), "-iv",
                         Hex(aesIv, sizeof aesIv), "-in", source, "-out", folder + "/source.aes"},
                        folder + "/openssl.log", size);
        if (gpg)
            figures.m_gpg = CommandRate(gpg->EncryptCommand(source, folder + "/source.gpg"),
                                        folder + "/gnupg/log", size);
        KeepBest(best, figures);
        // The same ratios within the round, against the limits measured just before it: the
        // machine may be busier in one round than in another.
        std::printf(
            "round %d: decrypt %.1f MB/s (%.1f %% of its limit), encrypt %.1f MB/s "
            "(%.1f %% of its limit), openssl enc %.1f MB/s\n",
            round + 1, figures.m_decrypt / kMB,
            100 * figures.m_decrypt / DecryptionLimit(figures.m_rates), figures.m_encrypt / kMB,
            100 * figures.m_encrypt / EncryptionLimit(figures.m_rates), figures.m_opensslEnc / kMB);
        std::fflush(stdout);
    }
    PrintThroughput(best, haveGpg, cores);
    for (const char* name : {"/source", "/source.enp", "/restored", "/source.aes", "/source.gpg"})
        ::unlink((folder + name).c_str());

    std::printf("\nPeak resident memory of the pellmar command (ru_maxrss):\n");
    std::fflush(stdout);
    const std::vector<std::string> environment = {"XDG_DATA_HOME=" + folder + "/xdg"};
    if (!RunTimedCommand({PELLMAR_CLI, "keygen", "--out", folder + "/me.key", "--public-out",
                          folder + "/me.pub"},
                         folder + "/pellmar.log", environment)
             .m_bSucceeded)
        return false;
    bool ok = PrintCommandMemory(folder, kMiB);
    std::fflush(stdout);
    if (options.m_nBigMiB > 0)
        ok = PrintCommandMemory(folder, options.m_nBigMiB * kMiB) && ok;
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    SOptions options;
    if (!ParseOptions(argc, argv, options)) {
        std::fprintf(stderr, "usage: container_bench [--mib N] [--big-mib N] [--rounds N] "
                             "[work folder]\n");
        return 2;
    }
    std::string folder = options.m_folder;
    if (folder.empty()) {
        const char* systemTemp = std::getenv("TMPDIR");
        std::string pattern =
            std::string(systemTemp && *systemTemp ? systemTemp : "/tmp") + "/pellmar-bench-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr)
            return 1;
        folder = pattern;
    } else {
        ::mkdir(folder.c_str(), 0700);
    }
    g_szTempFolder = folder + "/temp/";
    ::mkdir(g_szTempFolder.c_str(), 0700);

    const bool ok = RunBench(options, folder);
    if (options.m_folder.empty())
        (void)RemoveFolderTree(folder);
    return ok ? 0 : 1;
}
