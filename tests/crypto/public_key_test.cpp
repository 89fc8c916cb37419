#include "crypto/public_key.h"

#include "crypto/key_pair.h"
#include "support/key_test_support.h"
#include "crypto/pem_text.h"
#include "support/scratch_folder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

constexpr const char* kGuid = "0123456789ABCDEF0123456789ABCDEF";

// A copy of the shared key pair's public half under kGuid.
std::unique_ptr<CPublicKey> SharedPublicKey()
{
    std::string pem;
    EXPECT_TRUE(EncodePublicPem(SharedKeyPair().GetKey(), pem));
    auto key = std::make_unique<CPublicKey>();
    key->SetGuid(kGuid);
    EXPECT_TRUE(key->LoadPem(&pem, nullptr));
    return key;
}

// The public key PEM texts of one key made by the openssl tool, in both forms.
class ForeignKeyTest : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        CScratchFolder scratch;
        const std::string priv = ShellQuoted(scratch / "priv.pem");
        ASSERT_EQ(
            RunCommand("openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out " + priv),
            0);
        ASSERT_EQ(RunCommand("openssl pkey -in " + priv + " -pubout", &s_spkiPem), 0);
        ASSERT_EQ(RunCommand("openssl rsa -in " + priv + " -RSAPublicKey_out", &s_pkcs1Pem), 0);
        ASSERT_EQ(RunCommand("openssl pkey -in " + priv + " -text_pub -noout", &s_text), 0);
    }

    static std::string s_spkiPem;
    static std::string s_pkcs1Pem;
    static std::string s_text;
};

std::string ForeignKeyTest::s_spkiPem;
std::string ForeignKeyTest::s_pkcs1Pem;
std::string ForeignKeyTest::s_text;

TEST_F(ForeignKeyTest, ReadsBothPemFormsOfAKeyMadeByOpenssl)
{
    CScratchFolder scratch;
    ASSERT_NE(s_spkiPem.find("-----BEGIN PUBLIC KEY-----"), std::string::npos);
    ASSERT_NE(s_pkcs1Pem.find("-----BEGIN RSA PUBLIC KEY-----"), std::string::npos);
    WriteWholeFile(scratch / "spki", std::string("guid=") + kGuid + "\n" + s_spkiPem);
    WriteWholeFile(scratch / "pkcs1", std::string("guid=") + kGuid + "\n" + s_pkcs1Pem);

    std::unique_ptr<CPublicKey> spki = ReadPublicKeyFile(scratch / "spki");
    std::unique_ptr<CPublicKey> pkcs1 = ReadPublicKeyFile(scratch / "pkcs1");
    ASSERT_TRUE(spki && pkcs1);
    EXPECT_EQ(spki->GetGuid(), kGuid);
    EXPECT_TRUE(SameKey(spki->GetKey(), pkcs1->GetKey()));
    EXPECT_EQ(spki->GetBlockSize(), 256u);
}

TEST_F(ForeignKeyTest, WritesThePkcs1PemOpensslWrites)
{
    CScratchFolder scratch;
    WriteWholeFile(scratch / "spki", std::string("guid=") + kGuid + "\n" + s_spkiPem);
    std::unique_ptr<CPublicKey> key = ReadPublicKeyFile(scratch / "spki");
    ASSERT_TRUE(key);
    ASSERT_TRUE(key->SaveFile(scratch / "written"));
    EXPECT_EQ(ReadWholeFile(scratch / "written"), std::string("guid=") + kGuid + "\n" + s_pkcs1Pem);
}

TEST(ReadPublicKeyFile, OurFileOpensWithOpensslAsPkcs1)
{
    CScratchFolder scratch;
    std::unique_ptr<CPublicKey> key = SharedPublicKey();
    ASSERT_TRUE(key->SaveFile(scratch / "pub"));
    const std::string content = ReadWholeFile(scratch / "pub");
    WriteWholeFile(scratch / "pem", content.substr(38));

    std::string modulus;
    EXPECT_EQ(RunCommand("openssl rsa -RSAPublicKey_in -pubin -noout -modulus -in " +
                             ShellQuoted(scratch / "pem"),
                         &modulus),
              0);
    EXPECT_EQ(modulus.rfind("Modulus=", 0), 0u) << modulus;
    EXPECT_EQ(content.rfind(std::string("guid=") + kGuid + "\n-----BEGIN RSA PUBLIC KEY-----\n", 0),
              0u);
    EXPECT_EQ(content.substr(content.size() - 29), "-----END RSA PUBLIC KEY-----\n");
}

TEST(ReadPublicKeyFile, ReadsBackWhatSaveFileWrote)
{
    CScratchFolder scratch;
    std::unique_ptr<CPublicKey> key = SharedPublicKey();
    ASSERT_TRUE(key->SaveFile(scratch / "pub"));

    std::unique_ptr<CPublicKey> read = ReadPublicKeyFile(scratch / "pub");
    ASSERT_TRUE(read);
    EXPECT_EQ(read->GetGuid(), kGuid);
    EXPECT_TRUE(SameKey(read->GetKey(), SharedKeyPair().GetKey()));
    EXPECT_EQ(scratch.CountTempFiles(), 0);
}

// The GUID line's rules, one fault per row; the key text after it is always valid.
struct SGuidLineCase {
    const char* m_name;
    std::string m_line;
    bool m_accepted;
};

TEST(ReadPublicKeyFile, ChecksTheGuidLine)
{
    const std::string guid = kGuid;
    const SGuidLineCase cases[] = {
        {"valid", "guid=" + guid + "\n", true},
        {"other label", "GUID:" + guid + "\n", true},
        {"lower-case hex", "guid=0123456789abcdef0123456789ABCDEF\n", false},
        {"CR before LF", "guid=" + guid + "\r\n", false},
        {"31 digits", "guid=" + guid.substr(1) + "\n", false},
        {"33 digits", "guid=" + guid + "0\n", false},
        {"G in GUID", "guid=G" + guid.substr(1) + "\n", false},
        {"NUL in GUID", "guid=" + std::string(1, '\0') + guid.substr(1) + "\n", false},
    };
    CScratchFolder scratch;
    std::unique_ptr<CPublicKey> key = SharedPublicKey();
    ASSERT_TRUE(key->SaveFile(scratch / "pub"));
    const std::string pem = ReadWholeFile(scratch / "pub").substr(38);
    for (const SGuidLineCase& test : cases) {
        WriteWholeFile(scratch / "case", test.m_line + pem);
        std::unique_ptr<CPublicKey> read = ReadPublicKeyFile(scratch / "case");
        EXPECT_EQ(read != nullptr, test.m_accepted) << test.m_name;
        if (read) {
            EXPECT_EQ(read->GetGuid(), guid) << test.m_name;
        }
    }
}

TEST(ReadPublicKeyFile, RefusesFilesWithoutAPublicKey)
{
    CScratchFolder scratch;
    const std::string line = std::string("guid=") + kGuid + "\n";
    std::string privateText;
    ASSERT_EQ(
        RunCommand("openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:1024", &privateText),
        0);
    std::string ecPublic;
    ASSERT_EQ(RunCommand("openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 | "
                         "openssl pkey -pubout",
                         &ecPublic),
              0);
    const std::pair<const char*, std::string> cases[] = {
        {"line only, 38 bytes", line},
        {"one byte of text", line + "-"},
        {"empty", ""},
        {"not PEM", line + "hello, this is not a key\n"},
        {"private key", line + privateText},
        {"EC key", line + ecPublic},
    };
    for (const auto& [name, content] : cases) {
        WriteWholeFile(scratch / "case", content);
        EXPECT_FALSE(ReadPublicKeyFile(scratch / "case")) << name;
    }
    EXPECT_FALSE(ReadPublicKeyFile(scratch / "missing"));
    EXPECT_FALSE(ReadPublicKeyFile(scratch.Path()));
}

TEST(ReadPublicKeyFile, LooksAtTheFirst2000BytesOnly)
{
    CScratchFolder scratch;
    std::unique_ptr<CPublicKey> key = SharedPublicKey();
    ASSERT_TRUE(key->SaveFile(scratch / "pub"));
    std::string content = ReadWholeFile(scratch / "pub");
    // Without its last LF the key text ends with the final '-' of its end line, and losing that
    // one byte spoils it. Lines before the begin line are skipped by the PEM reader.
    content.pop_back();
    const std::string line = content.substr(0, 38);
    const std::string pem = content.substr(38);
    const std::size_t filler = 2000 - content.size() - 1;

    WriteWholeFile(scratch / "2000", line + std::string(filler, 'x') + "\n" + pem);
    WriteWholeFile(scratch / "2001", line + std::string(filler + 1, 'x') + "\n" + pem);
    ASSERT_EQ(ReadWholeFile(scratch / "2000").size(), 2000u);
    EXPECT_TRUE(ReadPublicKeyFile(scratch / "2000"));
    EXPECT_FALSE(ReadPublicKeyFile(scratch / "2001"));
}

TEST(PublicKeySaveFile, NeverReplacesAFileAndLeavesNoTemporaryFile)
{
    CScratchFolder scratch;
    WriteWholeFile(scratch / "taken", "old");
    std::unique_ptr<CPublicKey> key = SharedPublicKey();

    EXPECT_FALSE(key->SaveFile(scratch / "taken"));
    EXPECT_EQ(ReadWholeFile(scratch / "taken"), "old");
    EXPECT_FALSE(key->SaveFile(scratch / "missing/pub"));
    EXPECT_FALSE(PathExists(scratch / "missing"));
    EXPECT_EQ(scratch.CountTempFiles(), 0);
}

TEST(PublicKeySaveFile, WritesNothingForAKeyWithoutKeyOrGuid)
{
    CScratchFolder scratch;
    CPublicKey empty;
    empty.SetGuid(kGuid);
    EXPECT_FALSE(empty.SaveFile(scratch / "no-key"));

    // A GUID line the reader refuses would publish a file nobody can use.
    std::unique_ptr<CPublicKey> key = SharedPublicKey();
    for (const char* guid :
         {"", "0123456789abcdef0123456789abcdef", "../../0123456789ABCDEF012345678"}) {
        key->SetGuid(guid);
        EXPECT_FALSE(key->SaveFile(scratch / "bad-guid")) << guid;
    }
    EXPECT_FALSE(PathExists(scratch / "no-key"));
    EXPECT_FALSE(PathExists(scratch / "bad-guid"));
    EXPECT_EQ(scratch.CountTempFiles(), 0);
}

TEST(WritePublicKeyTempFile, LeavesAPrivateTemporaryFileWithThePublicKeyFile)
{
    CScratchFolder scratch;
    std::unique_ptr<CPublicKey> key = SharedPublicKey();
    ASSERT_TRUE(key->SaveFile(scratch / "pub"));
    {
        CTempFile file = WritePublicKeyTempFile(*key);
        ASSERT_TRUE(file);
        EXPECT_EQ(file.GetPath().rfind(scratch.TempFolder() + "tmp", 0), 0u);
        EXPECT_EQ(ModeOf(file.GetPath()), 0600u);
        EXPECT_EQ(ReadWholeFile(file.GetPath()), ReadWholeFile(scratch / "pub"));
        // The caller puts it in place (an export).
        ASSERT_TRUE(ReplaceFromTempFile(file, scratch / "export.key"));
    }
    EXPECT_EQ(ReadWholeFile(scratch / "export.key"), ReadWholeFile(scratch / "pub"));

    CPublicKey empty;
    empty.SetGuid(kGuid);
    EXPECT_FALSE(WritePublicKeyTempFile(empty));
    EXPECT_EQ(scratch.CountTempFiles(), 0);
}

TEST(PublicKeyLoadPem, AbsentTextLeavesNoKeyAndBadTextFailsWithoutKey)
{
    std::unique_ptr<CPublicKey> key = SharedPublicKey();
    ASSERT_TRUE(key->GetKey());
    EXPECT_TRUE(key->LoadPem(nullptr, nullptr));
    EXPECT_EQ(key->GetKey(), nullptr);
    EXPECT_EQ(key->GetBlockSize(), 0u);

    key = SharedPublicKey();
    const std::string garbage =
        "-----BEGIN RSA PUBLIC KEY-----\nAAAA\n-----END RSA PUBLIC KEY-----\n";
    EXPECT_FALSE(key->LoadPem(&garbage, nullptr));
    EXPECT_EQ(key->GetKey(), nullptr);
}

TEST(WrapBytes, OaepBlocksOpenWithOurPairAndWithOpenssl)
{
    CScratchFolder scratch;
    std::unique_ptr<CPublicKey> key = SharedPublicKey();
    const std::vector<unsigned char> plain(214, 0xA5);
    std::vector<unsigned char> block;
    ASSERT_TRUE(key->WrapBytes(plain, block));
    EXPECT_EQ(block.size(), 256u);

    std::vector<unsigned char> opened;
    ASSERT_TRUE(SharedKeyPair().UnwrapBytes(block, opened));
    EXPECT_EQ(opened, plain);

    // OpenSSL's OAEP defaults: SHA-1 and MGF1 with SHA-1, no label.
    ASSERT_TRUE(CopyOfSharedKeyPair()->SaveFile(scratch / "pair"));
    std::string publicPem;
    std::string privatePem;
    ASSERT_TRUE(SplitKeyPairFile(ReadWholeFile(scratch / "pair"), publicPem, privatePem));
    WriteWholeFile(scratch / "priv.pem", privatePem);
    WriteWholeFile(scratch / "block", std::string(block.begin(), block.end()));
    std::string decrypted;
    EXPECT_EQ(RunCommand("openssl pkeyutl -decrypt -inkey " + ShellQuoted(scratch / "priv.pem") +
                             " -pkeyopt rsa_padding_mode:oaep -pkeyopt rsa_oaep_md:sha1"
                             " -pkeyopt rsa_mgf1_md:sha1 -in " +
                             ShellQuoted(scratch / "block"),
                         &decrypted),
              0);
    EXPECT_EQ(decrypted, std::string(plain.begin(), plain.end()));
}

TEST(WrapBytes, RefusesWhatOneBlockCannotCarryAndNeedsAKey)
{
    std::unique_ptr<CPublicKey> key = SharedPublicKey();
    std::vector<unsigned char> block;
    EXPECT_FALSE(key->WrapBytes(std::vector<unsigned char>(215, 1), block));
    EXPECT_TRUE(key->WrapBytes(std::vector<unsigned char>(), block));

    CPublicKey empty;
    EXPECT_FALSE(empty.WrapBytes(std::vector<unsigned char>(16, 1), block));
}

} // namespace
