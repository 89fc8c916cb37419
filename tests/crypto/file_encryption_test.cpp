#include "crypto/file_encryption.h"

#include "crypto/container_test_support.h"
#include "crypto/file_decryption.h"
#include "support/key_test_support.h"
#include "support/child_process.h"
#include "support/scratch_folder.h"
#include "util/big_endian.h"
#include "util/folder_paths.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

// 2021-06-01 12:34:56.789123456 UTC.
constexpr timespec kSourceTime {1622550896, 789123456};

void WriteSource(const std::string& path, const std::string& content)
{
    WriteWholeFile(path, content);
    const timespec both[2] = {kSourceTime, kSourceTime};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), both, 0), 0);
}

std::string Utf16BeOf(const std::u16string& text)
{
    std::string bytes;
    for (char16_t unit : text)
        AppendU16(bytes, unit);
    return bytes;
}

// RSA-OAEP decryption of block by the openssl tool with key's private key file.
std::string OpensslUnwrap(const CScratchFolder& scratch, const STestKey& key,
                          const std::string& block)
{
    return OpensslFilter(scratch.Path(),
                         "pkeyutl -decrypt -inkey " + ShellQuoted(key.m_privatePemPath) +
                             " -pkeyopt rsa_padding_mode:oaep",
                         block);
}

std::string OpensslAesDecrypt(const CScratchFolder& scratch, const std::string& ciphertext,
                              const std::string& key, const std::string& iv)
{
    return OpensslFilter(scratch.Path(),
                         "enc -d -aes-256-cbc -K " + HexOf(key) + " -iv " + HexOf(iv), ciphertext);
}

// The session block of a container for the first test key, unwrapped by the program's key pair.
std::string SessionOf(const SParsedContainer& parsed)
{
    const auto keyPair = KeyPairOf(FirstTestKey());
    std::string session;
    for (const std::string& record : parsed.m_keyRecords) {
        std::vector<unsigned char> piece;
        EXPECT_TRUE(keyPair->UnwrapBytes(
            {reinterpret_cast<const unsigned char*>(record.data()), record.size()}, piece));
        session.append(piece.begin(), piece.end());
    }
    return session;
}

TEST(EncryptFile, MakesAContainerThatTheOpensslToolAloneOpens)
{
    CScratchFolder scratch;
    const std::string source = RandomBytes(20000);
    WriteSource(scratch / "report.pdf", source);
    const auto recipient = PublicKeyOf(FirstTestKey());
    ASSERT_TRUE(EncryptFile(scratch / "report.pdf", scratch / "report.enp", *recipient));

    SParsedContainer parsed;
    ASSERT_TRUE(ParseContainer(ReadWholeFile(scratch / "report.enp"), parsed));
    EXPECT_EQ(parsed.m_version, 0x01000000u);
    EXPECT_EQ(parsed.m_guid, FirstTestKey().m_guid);
    EXPECT_EQ(parsed.m_name, Utf16BeOf(u"report.pdf"));
    const std::uint16_t time[7] = {2021, 6, 1, 12, 34, 56, 789};
    EXPECT_TRUE(std::equal(std::begin(time), std::end(time), parsed.m_time));

    std::string session;
    ASSERT_EQ(parsed.m_keyRecords.size(), 4u);
    const std::size_t pieceSizes[] = {16, 16, 16, 4};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(parsed.m_keyRecords[i].size(), 256u);
        const std::string piece = OpensslUnwrap(scratch, FirstTestKey(), parsed.m_keyRecords[i]);
        EXPECT_EQ(piece.size(), pieceSizes[i]);
        session += piece;
    }
    ASSERT_EQ(session.size(), 52u);
    // 8208 + 8208 + 3632 ciphertext bytes: 3616 is a whole number of AES blocks, so the padding
    // takes a block of its own.
    EXPECT_EQ(ReadU32(session, 0), 20048u);

    std::string restored;
    const std::size_t tailSizes[] = {8192, 8192, 3616};
    ASSERT_EQ(parsed.m_chunks.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        const SChunkRecord& chunk = parsed.m_chunks[i];
        EXPECT_EQ(chunk.m_head.size(), 256u);
        EXPECT_EQ(chunk.m_tail.size(), tailSizes[i]);
        const std::string head = OpensslUnwrap(scratch, FirstTestKey(), chunk.m_head);
        EXPECT_EQ(head.size(), 16u);
        restored += OpensslAesDecrypt(scratch, head + chunk.m_tail, session.substr(4, 32),
                                      session.substr(36, 16));
    }
    EXPECT_EQ(restored, source);
}

TEST(EncryptFile, WritesOneChunkRecordPerFullChunkAndOneForTheRest)
{
    struct SCase {
        std::size_t m_sourceSize;
        std::vector<std::size_t> m_tailSizes;
        std::uint32_t m_totalLength;
    };
    const SCase cases[] = {
        {0, {}, 0},
        {1, {0}, 16},
        {8191, {8176}, 8192},
        {8192, {8192}, 8208},
        {8193, {8192, 0}, 8224},
    };
    for (const SCase& test : cases) {
        CScratchFolder scratch;
        WriteSource(scratch / "source", RandomBytes(test.m_sourceSize));
        ASSERT_TRUE(
            EncryptFile(scratch / "source", scratch / "out.enp", *PublicKeyOf(FirstTestKey())));
        const std::string container = ReadWholeFile(scratch / "out.enp");
        SParsedContainer parsed;
        ASSERT_TRUE(ParseContainer(container, parsed)) << test.m_sourceSize;
        std::vector<std::size_t> tailSizes;
        for (const SChunkRecord& chunk : parsed.m_chunks) {
            EXPECT_EQ(chunk.m_head.size(), 256u);
            tailSizes.push_back(chunk.m_tail.size());
        }
        EXPECT_EQ(tailSizes, test.m_tailSizes) << test.m_sourceSize;
        EXPECT_EQ(ReadU32(SessionOf(parsed), 0), test.m_totalLength) << test.m_sourceSize;
        EXPECT_EQ(scratch.CountTempFiles(), 0);
        if (test.m_sourceSize == 0) {
            // The key block's end mark, then at once the data section's.
            EXPECT_EQ(parsed.m_keyRecords.size(), 4u);
            EXPECT_EQ(container.size(), parsed.m_keyBlockEnd + 4);
            EXPECT_EQ(container.substr(parsed.m_keyBlockEnd - 4), std::string(8, '\0'));
        }
    }
}

TEST(EncryptFile, EqualChunksGetEqualTailsButDifferentHeads)
{
    CScratchFolder scratch;
    const std::string chunk = RandomBytes(8192);
    WriteSource(scratch / "twice", chunk + chunk);
    ASSERT_TRUE(
        EncryptFile(scratch / "twice", scratch / "twice.enp", *PublicKeyOf(FirstTestKey())));
    SParsedContainer parsed;
    ASSERT_TRUE(ParseContainer(ReadWholeFile(scratch / "twice.enp"), parsed));
    ASSERT_EQ(parsed.m_chunks.size(), 2u);
    EXPECT_EQ(parsed.m_chunks[0].m_tail, parsed.m_chunks[1].m_tail);
    EXPECT_NE(parsed.m_chunks[0].m_head, parsed.m_chunks[1].m_head);
}

TEST(EncryptFile, ReplacesItsOwnSourceWhenToldTo)
{
    CScratchFolder scratch;
    const std::string source = RandomBytes(10000);
    const std::string path = scratch / "self";
    WriteSource(path, source);
    ASSERT_TRUE(EncryptFile(path, path, *PublicKeyOf(FirstTestKey())));
    SParsedContainer parsed;
    ASSERT_TRUE(ParseContainer(ReadWholeFile(path), parsed));
    EXPECT_EQ(parsed.m_name, Utf16BeOf(u"self"));

    std::string restoredPath;
    const auto ask = [&](const std::string&) { return restoredPath = scratch / "restored"; };
    ASSERT_EQ(DecryptFile(path, FinderOf(FirstTestKey()), ask), EDecryptResult::Decrypted);
    EXPECT_EQ(ReadWholeFile(restoredPath), source);
    EXPECT_EQ(scratch.CountTempFiles(), 0);
}

// "" when the encryption failed as it should: with a reason holding fault, the destination as it
// was and no temporary file left; else what went wrong.
std::string FailureOf(const CScratchFolder& scratch, const std::string& source,
                      const std::string& dest, const CPublicKey& recipient,
                      const std::string& fault)
{
    const std::string before = PathExists(dest) ? ReadWholeFile(dest) : "(none)";
    std::string reason;
    if (EncryptFile(source, dest, recipient, &reason))
        return "the encryption succeeded";
    if (reason.find(fault) == std::string::npos)
        return "the reason is \"" + reason + "\"";
    if ((PathExists(dest) ? ReadWholeFile(dest) : "(none)") != before)
        return "the destination changed";
    if (scratch.CountTempFiles() != 0)
        return "a temporary file is left";
    return "";
}

TEST(EncryptFile, FailsWithAReasonLeavingTheDestinationAsItWasAndNoTemporaryFile)
{
    CScratchFolder scratch;
    const std::string source = scratch / "source";
    const std::string dest = scratch / "old.enp";
    WriteSource(source, RandomBytes(50000));
    WriteWholeFile(dest, "old container");
    const auto recipient = PublicKeyOf(FirstTestKey());
    CPublicKey noKey;
    noKey.SetGuid(FirstTestKey().m_guid);
    const auto lowerCaseGuid = PublicKeyOf(FirstTestKey(), "0a1b2c3d4e5f60718293a4b5c6d7e8f9");

    EXPECT_EQ(
        FailureOf(scratch, scratch / "missing", dest, *recipient, "cannot open the source file"),
        "");
    EXPECT_EQ(FailureOf(scratch, scratch.TempFolder(), dest, *recipient, "not a regular file"), "");
    EXPECT_EQ(FailureOf(scratch, source, dest, noKey, "holds no key"), "");
    EXPECT_EQ(FailureOf(scratch, source, dest, *lowerCaseGuid, "key GUID"), "");
    EXPECT_EQ(FailureOf(scratch, source, scratch / "missing/new.enp", *recipient,
                        "cannot put the container"),
              "");
    EXPECT_TRUE(RunWithFileSizeLimit(20000, [&] {
        return FailureOf(scratch, source, dest, *recipient, "cannot write").empty();
    }));
    {
        const std::string previous = g_szTempFolder;
        g_szTempFolder = scratch / "missing/";
        EXPECT_EQ(FailureOf(scratch, source, dest, *recipient, "cannot make a temporary file"), "");
        g_szTempFolder = previous;
    }
    if (CanRunAsOtherUser()) {
        // A folder the user may not write in: the container is ready but cannot take its place.
        ASSERT_EQ(::mkdir((scratch / "locked").c_str(), 0755), 0);
        WriteWholeFile(scratch / "locked/old.enp", "old container");
        ASSERT_EQ(::chmod(source.c_str(), 0644), 0);
        EXPECT_TRUE(RunAsOtherUser([&] {
            return FailureOf(scratch, source, scratch / "locked/old.enp", *recipient,
                             "cannot put the container")
                .empty();
        }));
    }
}

} // namespace
