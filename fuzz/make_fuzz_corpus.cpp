// Remakes the seed corpora of the fuzz targets in fuzz/corpus/ with the program's own writers.
// From the repository's folder, once build-fuzz/ is built (scripts/fuzz.sh builds it):
//
//   build-fuzz/fuzz/make_fuzz_corpus
//
// Every seed is rewritten under its own name; other files in the corpus folders (the regression
// inputs, named after their fault) stay as they are. The fixed key pair fixtures/fuzz_key_pair.key
// is made only when it is missing: the containers, regression inputs included, are made for it.
#include "config/base64.h"
#include "config/destination_list.h"
#include "config/internet_setting.h"
#include "config/key_pair_list.h"
#include "config/protected_text.h"
#include "crypto/file_encryption.h"
#include "crypto/key_generator.h"
#include "fuzz_support.h"
#include "util/file_system.h"
#include "util/key_guid.h"

#include <openssl/encoder.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <tuple>
#include <utility>

namespace {

namespace fs = std::filesystem;

[[noreturn]] void Fail(const std::string& what)
{
    std::fprintf(stderr, "make_fuzz_corpus: %s\n", what.c_str());
    std::exit(1);
}

// The path of a seed in the target's corpus folder, which is made when missing.
std::string SeedPath(const std::string& target, const std::string& name)
{
    const fs::path folder = CorpusPath(target);
    fs::create_directories(folder);
    return folder / name;
}

void WriteSeed(const std::string& target, const std::string& name, std::string_view bytes)
{
    const std::string path = SeedPath(target, name);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out.write(bytes.data(), static_cast<std::streamsize>(bytes.size())).flush())
        Fail("cannot write " + path);
}

void CopySeed(const std::string& target, const std::string& name, const std::string& from)
{
    fs::copy_file(from, SeedPath(target, name), fs::copy_options::overwrite_existing);
}

// Makes a new key pair and writes its key pair file at path.
void SaveNewKeyPair(const std::string& path)
{
    CKeyGenerator generator;
    if (!generator.Generate() || !generator.GetKeyPair()->SaveFile(path))
        Fail("cannot make the key pair file " + path);
}

std::unique_ptr<CKeyPair> FixtureKeyPair()
{
    const std::string path = CorpusPath(kFixtureKeyPair);
    fs::create_directories(CorpusPath("fixtures"));
    if (!fs::exists(path))
        SaveNewKeyPair(path);
    std::unique_ptr<CKeyPair> pair = LoadKeyPairFile(path);
    if (!pair)
        Fail(path + " is not a key pair file");
    return pair;
}

void MakeKeyPairSeeds()
{
    CopySeed("key_pair_file", "fixture.key", CorpusPath(kFixtureKeyPair));
    const std::string path = ScratchPath("new.key");
    SaveNewKeyPair(path);
    CopySeed("key_pair_file", "new.key", path);
}

struct EncoderCtxFree {
    void operator()(OSSL_ENCODER_CTX* ctx) const { OSSL_ENCODER_CTX_free(ctx); }
};
struct OpenSslFree {
    void operator()(unsigned char* data) const { OPENSSL_free(data); }
};

// A public key in SubjectPublicKeyInfo form, as other tools write them; the program itself
// writes PKCS#1.
std::string SubjectPublicKeyInfoPem(EVP_PKEY* key)
{
    const std::unique_ptr<OSSL_ENCODER_CTX, EncoderCtxFree> ctx(OSSL_ENCODER_CTX_new_for_pkey(
        key, OSSL_KEYMGMT_SELECT_PUBLIC_KEY, "PEM", "SubjectPublicKeyInfo", nullptr));
    unsigned char* data = nullptr;
    std::size_t size = 0;
    if (!ctx || OSSL_ENCODER_to_data(ctx.get(), &data, &size) != 1)
        Fail("cannot encode a public key");
    const std::unique_ptr<unsigned char, OpenSslFree> pem(data);
    return std::string(reinterpret_cast<const char*>(pem.get()), size);
}

void MakePublicKeySeeds(const CKeyPair& pair)
{
    CTempFile file = WritePublicKeyTempFile(pair);
    if (!file || !file.Finish())
        Fail("cannot write a public key file");
    CopySeed("public_key_file", "pkcs1.pub", file.GetPath());
    WriteSeed("public_key_file", "subject_public_key_info.pub",
              "guid=" + pair.GetGuid() + "\n" + SubjectPublicKeyInfoPem(pair.GetKey()));
}

void MakeContainerSeeds(const CKeyPair& pair)
{
    // Container name, source name, source content.
    const std::tuple<const char*, const char*, std::string> containers[] = {
        {"empty_source.enp", "empty.txt", ""},
        {"short_source.enp", "note.txt", "Hello"},
        {"one_chunk.enp", "report.doc", std::string(1000, 'r')},
        {"unicode_name.enp", "Zo\xC3\xAB \xF0\x9F\x93\x84.txt", "x"},
    };
    for (const auto& [name, sourceName, content] : containers) {
        const std::string source = ScratchPath(sourceName);
        std::ofstream(source, std::ios::binary) << content;
        std::string error;
        if (!EncryptFile(source, SeedPath("file_decryption", name), pair, &error))
            Fail("cannot encrypt " + source + ": " + error);
    }
}

template <class TList, class TEntry>
void MakeListSeed(const std::string& seedName, std::initializer_list<TEntry> entries)
{
    const std::string folder = ScratchPath(seedName);
    TList list;
    if (!CreateFolder(folder) || !list.Load(folder) || !list.Save())
        Fail("cannot make " + seedName);
    for (const TEntry& entry : entries) {
        if (!list.InsertAt(-1, entry))
            Fail("cannot add to " + seedName);
    }
    CopySeed("config_file", seedName, list.GetPath());
}

void MakeInternetSeed(const std::string& seedName, const std::string& password, bool anonymous)
{
    const std::string folder = ScratchPath(seedName);
    CInternetSetting setting;
    if (!CreateFolder(folder) || !setting.Load(folder))
        Fail("cannot make " + seedName);
    setting.SetFtp("ftp://ftp.example.org/public_html/keys/me.pub");
    setting.SetUser(anonymous ? "" : "me");
    setting.SetPassword(password);
    setting.SetAnonymous(anonymous);
    setting.SetUrl("https://example.org/keys/me.pub");
    if (!setting.Save())
        Fail("cannot save " + seedName);
    CopySeed("config_file", seedName, setting.GetPath());
}

void MakeConfigSeeds(const CKeyPair& pair)
{
    MakeListSeed<CDestinationList, CDestination>("dest_empty.conf", {});
    MakeListSeed<CDestinationList, CDestination>(
        "dest.conf", {{"Alice", "https://example.org/keys/alice.pub"},
                      {"Bob", "http://example.org:8080/~bob/key.pub"},
                      {"Zo\xC3\xAB", "https://example.org/zo%C3%AB.pub"}});
    std::string otherGuid;
    if (!MakeKeyGuid(otherGuid))
        Fail("cannot make a key GUID");
    MakeListSeed<CKeyPairList, CKeyPairOfConf>(
        "keys.conf", {{"Work", pair.GetGuid() + ".key"}, {"Home", otherGuid + ".key"}});
    MakeInternetSeed("inet.conf", "secretPW", false);
    MakeInternetSeed("inet_anonymous.conf", "", true);
}

void MakePasswordSeeds()
{
    const std::pair<const char*, const char*> passwords[] = {
        {"empty_password.txt", ""},
        {"one_block_password.txt", "secretPW"},
        {"long_password.txt", "a password of more than one block"},
        {"utf8_password.txt", "p\xC3\xA4sswort"},
    };
    for (const auto& [name, password] : passwords) {
        const std::optional<std::vector<unsigned char>> block = ProtectText(password);
        if (!block)
            Fail("cannot protect a password");
        WriteSeed("protected_text", name, Base64Encode(*block));
    }
}

void MakeUrlSeeds()
{
    const std::pair<const char*, const char*> urls[] = {
        {"ftp_location.txt", "ftp://ftp.example.org/public_html/keys/me.pub"},
        {"ftp_user_port.txt", "ftp://me@ftp.example.org:2121//keys/a/me.pub/"},
        {"http_port.txt", "http://example.org:8080/~bob/key.pub"},
        {"https.txt", "https://example.org/keys/alice.pub"},
    };
    for (const auto& [name, url] : urls)
        WriteSeed("url", name, url);
}

} // namespace

int main()
{
    // Every writer goes through the temp folder, which comes with the scratch folder.
    (void)ScratchFolder();
    EnablePasswordProtection();
    const std::unique_ptr<CKeyPair> pair = FixtureKeyPair();
    MakeKeyPairSeeds();
    MakePublicKeySeeds(*pair);
    MakeContainerSeeds(*pair);
    MakeConfigSeeds(*pair);
    MakePasswordSeeds();
    MakeUrlSeeds();
    return 0;
}
