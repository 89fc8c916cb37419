#include "crypto/file_decryption.h"

#include "crypto/container_test_support.h"
#include "crypto/file_encryption.h"
#include "support/key_test_support.h"
#include "support/child_process.h"
#include "support/scratch_folder.h"
#include "util/big_endian.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace std::string_literals;

namespace {

// 2021-06-01 12:34:56.789123456 UTC; a restored file keeps it to the millisecond.
constexpr timespec kSourceTime {1622550896, 789123456};
constexpr timespec kRestoredTime {1622550896, 789000000};

void WriteSource(const std::string& path, const std::string& content)
{
    WriteWholeFile(path, content);
    const timespec both[2] = {kSourceTime, kSourceTime};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), both, 0), 0);
}

// Makes a container of content for recipient, its source named name.
std::string ContainerOf(const CScratchFolder& scratch, const std::string& name,
                        const std::string& content, const CPublicKey& recipient)
{
    const std::string folder = scratch / "sources";
    ::mkdir(folder.c_str(), 0755);
    WriteSource(folder + "/" + name, content);
    EXPECT_TRUE(EncryptFile(folder + "/" + name, scratch / "made.enp", recipient));
    return ReadWholeFile(scratch / "made.enp");
}

// An asker that records the proposed names and answers with answer.
struct SAsker {
    explicit SAsker(std::optional<std::string> answer) : m_answer(std::move(answer)) {}

    std::optional<std::string> m_answer;
    std::vector<std::string> m_proposals;

    OutputNameAsker Get()
    {
        return [this](const std::string& proposed) {
            m_proposals.push_back(proposed);
            return m_answer;
        };
    }
};

bool SameTime(const timespec& a, const timespec& b)
{
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

std::string OpensslWrap(const CScratchFolder& scratch, const std::string& plain)
{
    return OpensslFilter(scratch.Path(),
                         "pkeyutl -encrypt -pubin -inkey " +
                             ShellQuoted(FirstTestKey().m_publicPemPath) +
                             " -pkeyopt rsa_padding_mode:oaep",
                         plain);
}

std::string OpensslAesEncrypt(const CScratchFolder& scratch, const std::string& plain,
                              const std::string& key, const std::string& iv)
{
    return OpensslFilter(scratch.Path(), "enc -aes-256-cbc -K " + HexOf(key) + " -iv " + HexOf(iv),
                         plain);
}

TEST(DecryptFile, OpensAContainerAssembledFromOpensslOutputs)
{
    CScratchFolder scratch;
    const std::string source = RandomBytes(20000);
    const std::string key = RandomBytes(32);
    const std::string iv = RandomBytes(16);

    std::string records;
    std::uint32_t total = 0;
    for (std::size_t at = 0; at < source.size(); at += 8192) {
        const std::string ciphertext = OpensslAesEncrypt(scratch, source.substr(at, 8192), key, iv);
        const std::string head = OpensslWrap(scratch, ciphertext.substr(0, 16));
        records += U32Bytes(static_cast<std::uint32_t>(head.size())) +
                   U32Bytes(static_cast<std::uint32_t>(ciphertext.size() - 16)) + head +
                   ciphertext.substr(16);
        total += static_cast<std::uint32_t>(ciphertext.size());
    }
    const std::string session = U32Bytes(total) + key + iv;
    std::string keyBlock;
    for (std::size_t at : {0, 16, 32, 48}) {
        const std::string wrapped = OpensslWrap(scratch, session.substr(at, at == 48 ? 4 : 16));
        keyBlock += U32Bytes(static_cast<std::uint32_t>(wrapped.size())) + wrapped;
    }
    // 2009-03-05 14:07:09.042 UTC, source name "openssl.bin".
    const std::string header = "TVPE\x01\x00\x00\x00\x00\x00\x00\x00"
                               "\x07\xD9\x00\x03\x00\x05\x00\x0E\x00\x07\x00\x09\x00\x2A"s +
                               FirstTestKey().m_guid + "\x00\x00\x00\x00\x00\x0B"s +
                               "\0o\0p\0e\0n\0s\0s\0l\0.\0b\0i\0n"s;
    WriteWholeFile(scratch / "openssl.enp",
                   header + keyBlock + U32Bytes(0) +
                       U32Bytes(static_cast<std::uint32_t>(records.size())) + records +
                       U32Bytes(0));

    SAsker asker {scratch / "restored"};
    std::string reason;
    ASSERT_EQ(DecryptFile(scratch / "openssl.enp", FinderOf(FirstTestKey()), asker.Get(), &reason),
              EDecryptResult::Decrypted)
        << reason;
    EXPECT_EQ(asker.m_proposals, std::vector<std::string> {"openssl.bin"});
    EXPECT_EQ(ReadWholeFile(scratch / "restored"), source);
    EXPECT_TRUE(SameTime(ModificationTimeOf(scratch / "restored"), {1236262029, 42000000}));
}

TEST(DecryptFile, RestoresContentNameAndTimeOfSourcesOfEveryLength)
{
    struct SCase {
        std::size_t m_size;
        std::string m_name;
    };
    // The last source spans several record blocks: a block holds 15 full chunk records.
    const SCase cases[] = {{0, "empty"},
                           {1, "one.bin"},
                           {8191, "short.bin"},
                           {8192, "chunk.bin"},
                           {8193, "over.bin"},
                           {40 * 8192 + 5, "Gr\xC3\xBC\xC3\x9F"
                                           "e \xE5\xA0\xB1\xE5\x91\x8A.txt"}};
    for (const SCase& test : cases) {
        CScratchFolder scratch;
        const std::string source = RandomBytes(test.m_size);
        const std::string container =
            ContainerOf(scratch, test.m_name, source, *PublicKeyOf(FirstTestKey()));
        WriteWholeFile(scratch / "in.enp", container);
        // Decrypting again over an earlier result replaces it.
        WriteWholeFile(scratch / "out", "earlier result");

        SAsker asker {scratch / "out"};
        std::string reason;
        ASSERT_EQ(DecryptFile(scratch / "in.enp", FinderOf(FirstTestKey()), asker.Get(), &reason),
                  EDecryptResult::Decrypted)
            << test.m_size << ": " << reason;
        EXPECT_EQ(asker.m_proposals, std::vector<std::string> {test.m_name});
        EXPECT_TRUE(ReadWholeFile(scratch / "out") == source) << test.m_size;
        EXPECT_TRUE(SameTime(ModificationTimeOf(scratch / "out"), kRestoredTime)) << test.m_size;
        EXPECT_EQ(scratch.CountTempFiles(), 0);
        if (test.m_size > 15 * 8192) {
            SParsedContainer parsed;
            ASSERT_TRUE(ParseContainer(container, parsed));
            EXPECT_EQ(parsed.m_blockSizes.size(), 3u);
        }
    }
}

TEST(DecryptFile, ProposesOnlyAUsableLastComponentOfTheStoredName)
{
    struct SCase {
        std::u16string m_stored;
        std::string m_containerName;
        std::string m_proposed;
    };
    const SCase cases[] = {
        {u"../../etc/passwd", "box.enp", "passwd"},
        {u"Gr\u00FC\u00DFe", "box.enp",
         "Gr\xC3\xBC\xC3\x9F"
         "e"},
        {u"", "box.enp", "box"},
        {u".", "box.ENP", "box"},
        {u"..", "box.enp", "box"},
        {u"folder/", "box.enp", "box"},
        {std::u16string(u"a\0b", 3), "box.enp", "box"},
        {std::u16string(256, u'x'), "box.enp", "box"},
        {u"", "box", "box"},
        {u"", ".enp", "decrypted"},
    };
    CScratchFolder scratch;
    const std::string container =
        ContainerOf(scratch, "x", "content", *PublicKeyOf(FirstTestKey()));
    for (const SCase& test : cases) {
        WriteWholeFile(scratch / test.m_containerName, WithName(container, test.m_stored));
        SAsker asker {std::nullopt};
        std::string reason = "untouched";
        EXPECT_EQ(DecryptFile(scratch / test.m_containerName, FinderOf(FirstTestKey()), asker.Get(),
                              &reason),
                  EDecryptResult::Cancelled);
        EXPECT_EQ(asker.m_proposals, std::vector<std::string> {test.m_proposed});
        EXPECT_EQ(reason, "untouched");
        ::unlink((scratch / test.m_containerName).c_str());
    }
    EXPECT_EQ(scratch.CountTempFiles(), 0);
}

struct SDamage {
    const char* m_what;
    bool m_asked; // whether the damage lies behind the key block
    std::string m_fault;
};

void PrintTo(const SDamage& damage, std::ostream* out)
{
    *out << damage.m_what;
}

// A container of three chunks in one record block, and its offsets.
class DamagedContainer : public testing::TestWithParam<SDamage> {
protected:
    static void SetUpTestSuite()
    {
        CScratchFolder scratch;
        s_container =
            ContainerOf(scratch, "data.bin", RandomBytes(20000), *PublicKeyOf(FirstTestKey()));
        ASSERT_TRUE(ParseContainer(s_container, s_parsed));
    }

    // The container with the given damage done.
    static std::string Damaged(const std::string& what);

    static std::string s_container;
    static SParsedContainer s_parsed;
};

std::string DamagedContainer::s_container;
SParsedContainer DamagedContainer::s_parsed;

std::string Flipped(std::string bytes, std::size_t offset)
{
    bytes[offset] = static_cast<char>(bytes[offset] ^ 0xFF);
    return bytes;
}

std::string DamagedContainer::Damaged(const std::string& what)
{
    const std::string& c = s_container;
    const std::size_t keyBlock = 64 + s_parsed.m_name.size();
    const std::size_t block = s_parsed.m_blockOffsets.at(0);
    const std::size_t chunk = s_parsed.m_chunks.at(0).m_offset;
    const SChunkRecord& last = s_parsed.m_chunks.at(2);
    if (what == "bad_magic")
        return std::string(c).replace(0, 4, "TVPe");
    if (what == "version_above")
        return PatchedU32(c, 4, 0x01000001);
    if (what == "name_length_261")
        return PatchedU32(c, 60, 261);
    if (what == "month_13")
        return std::string(c).replace(14, 2, "\x00\x0D"s);
    if (what == "guid_not_hex")
        return std::string(c).replace(26, 1, "g");
    if (what == "foreign_guid")
        return std::string(c).replace(26, 32, SecondTestKey().m_guid);
    if (what == "key_record_1025")
        return PatchedU32(c, keyBlock, 1025);
    if (what == "key_record_top_bit")
        return PatchedU32(c, keyBlock, 0x80000100);
    if (what == "key_record_flipped")
        return Flipped(c, keyBlock + 4 + 100);
    if (what == "block_131073")
        return PatchedU32(c, block, 131073);
    if (what == "chunk_longer_than_block")
        return PatchedU32(c, chunk + 4, 0x00100000);
    if (what == "chunk_lengths_overflow_32_bits")
        // 256 + 2^31 and 8192 + 2^31: their 32-bit sum is the true 8448.
        return PatchedU32(PatchedU32(c, chunk, 0x80000100), chunk + 4, 0x80002000);
    if (what == "chunk_head_flipped")
        return Flipped(c, chunk + 8 + 100);
    if (what == "chunk_padding_broken")
        // The byte that the last AES block's padding length is XORed with.
        return Flipped(c, last.m_offset + 8 + last.m_head.size() + last.m_tail.size() - 17);
    ADD_FAILURE() << "no damage " << what;
    return c;
}

TEST_P(DamagedContainer, FailsWithoutWritingTheOutputAndAsksOnlyBehindTheKeyBlock)
{
    CScratchFolder scratch;
    WriteWholeFile(scratch / "in.enp", Damaged(GetParam().m_what));
    WriteWholeFile(scratch / "out", "old output");
    SAsker asker {scratch / "out"};
    std::string reason;
    EXPECT_EQ(DecryptFile(scratch / "in.enp", FinderOf(FirstTestKey()), asker.Get(), &reason),
              EDecryptResult::Failed);
    EXPECT_NE(reason.find(GetParam().m_fault), std::string::npos) << reason;
    EXPECT_EQ(asker.m_proposals.size(), GetParam().m_asked ? 1u : 0u);
    EXPECT_EQ(ReadWholeFile(scratch / "out"), "old output");
    EXPECT_EQ(scratch.CountTempFiles(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DamagedContainer,
    testing::Values(
        SDamage {"bad_magic", false, "not a container (bad magic)"},
        SDamage {"version_above", false, "unsupported container (format version 0x01000001"},
        SDamage {"name_length_261", false, "damaged container (source name of 261"},
        SDamage {"month_13", false, "damaged container (file time 2021-13-01"},
        SDamage {"guid_not_hex", false, "damaged container (key GUID"},
        SDamage {"foreign_guid", false, "no key pair for key F81D4FAE7DEC11D0A76500A0C91E6BF6"},
        SDamage {"key_record_1025", false, "damaged container (key record longer than 1024 bytes)"},
        SDamage {"key_record_top_bit", false, "key record length 0x80000100 is negative"},
        SDamage {"key_record_flipped", false, "the key block does not open with key pair"},
        SDamage {"block_131073", true, "damaged container (record block longer than 131072 bytes)"},
        SDamage {"chunk_longer_than_block", true, "chunk record longer than its record block"},
        SDamage {"chunk_lengths_overflow_32_bits", true,
                 "chunk record longer than its record block"},
        SDamage {"chunk_head_flipped", true, "a chunk head does not open"},
        SDamage {"chunk_padding_broken", true, "a chunk does not decrypt"}),
    [](const testing::TestParamInfo<SDamage>& info) { return std::string(info.param.m_what); });

TEST(DecryptFile, RefusesKeyRecordsMadeForAnotherKeyWithoutAsking)
{
    CScratchFolder scratch;
    // The first key's GUID over the second key's RSA blocks.
    WriteWholeFile(scratch / "in.enp",
                   ContainerOf(scratch, "data.bin", "secret",
                               *PublicKeyOf(SecondTestKey(), FirstTestKey().m_guid)));
    SAsker asker {scratch / "out"};
    std::string reason;
    EXPECT_EQ(DecryptFile(scratch / "in.enp", FinderOf(FirstTestKey()), asker.Get(), &reason),
              EDecryptResult::Failed);
    EXPECT_NE(reason.find("does not open with key pair " + FirstTestKey().m_guid),
              std::string::npos)
        << reason;
    EXPECT_TRUE(asker.m_proposals.empty());
    EXPECT_FALSE(PathExists(scratch / "out"));
    EXPECT_EQ(scratch.CountTempFiles(), 0);
}

// Cut points on both sides of every field's edge, and a stride through the bytes in between.
std::vector<std::size_t> CutPoints(const SParsedContainer& parsed, std::size_t size)
{
    std::vector<std::size_t> edges = {0, 4, 8, 12, 26, 58, 60, 64, 64 + parsed.m_name.size()};
    std::size_t at = edges.back();
    for (const std::string& record : parsed.m_keyRecords) {
        edges.push_back(at + 4);
        edges.push_back(at += 4 + record.size());
    }
    edges.push_back(parsed.m_keyBlockEnd);
    for (std::size_t i = 0; i < parsed.m_blockOffsets.size(); ++i)
        edges.push_back(parsed.m_blockOffsets[i] + 4);
    for (const SChunkRecord& chunk : parsed.m_chunks) {
        edges.push_back(chunk.m_offset + 4);
        edges.push_back(chunk.m_offset + 8);
        edges.push_back(chunk.m_offset + 8 + chunk.m_head.size());
        edges.push_back(chunk.m_offset + 8 + chunk.m_head.size() + chunk.m_tail.size());
    }
    edges.push_back(size - 4);
    std::vector<std::size_t> points;
    for (std::size_t edge : edges) {
        for (std::size_t point : {edge - 1, edge, edge + 1}) {
            if (point < size)
                points.push_back(point);
        }
    }
    for (std::size_t point = 0; point < size; point += 97)
        points.push_back(point);
    return points;
}

TEST(DecryptFile, FailsOnAContainerCutShortAnywhere)
{
    CScratchFolder scratch;
    const std::string container =
        ContainerOf(scratch, "n", RandomBytes(8200), *PublicKeyOf(FirstTestKey()));
    SParsedContainer parsed;
    ASSERT_TRUE(ParseContainer(container, parsed));
    WriteWholeFile(scratch / "out", "old output");
    for (std::size_t size : CutPoints(parsed, container.size())) {
        WriteWholeFile(scratch / "cut.enp", container.substr(0, size));
        SAsker asker {scratch / "out"};
        int keyQuestions = 0;
        std::string reason;
        ASSERT_EQ(DecryptFile(scratch / "cut.enp", FinderOf(FirstTestKey(), &keyQuestions),
                              asker.Get(), &reason),
                  EDecryptResult::Failed)
            << size;
        EXPECT_NE(reason.find(size < 64 ? "shorter than its 64-byte header" : "cut short"),
                  std::string::npos)
            << size << ": " << reason;
        EXPECT_EQ(asker.m_proposals.size(), size >= parsed.m_keyBlockEnd ? 1u : 0u) << size;
        EXPECT_EQ(keyQuestions, size >= 64 + parsed.m_name.size() ? 1 : 0) << size;
    }
    EXPECT_EQ(ReadWholeFile(scratch / "out"), "old output");
    EXPECT_EQ(scratch.CountTempFiles(), 0);
}

TEST(DecryptFile, LeavesAFileThatCannotBeReplacedAsItWas)
{
    if (!CanRunAsOtherUser())
        GTEST_SKIP() << "needs root to run a step as another user";
    CScratchFolder scratch;
    WriteWholeFile(scratch / "in.enp",
                   ContainerOf(scratch, "data.bin", "secret", *PublicKeyOf(FirstTestKey())));
    ASSERT_EQ(::chmod((scratch / "in.enp").c_str(), 0644), 0);
    ASSERT_EQ(::mkdir((scratch / "locked").c_str(), 0755), 0);
    WriteWholeFile(scratch / "locked/out", "old output");
    const auto keyPair = FinderOf(FirstTestKey());
    EXPECT_TRUE(RunAsOtherUser([&] {
        SAsker asker {scratch / "locked/out"};
        std::string reason;
        return DecryptFile(scratch / "in.enp", keyPair, asker.Get(), &reason) ==
                   EDecryptResult::Failed &&
               reason.find("cannot put the restored file") != std::string::npos &&
               asker.m_proposals.size() == 1 && scratch.CountTempFiles() == 0;
    }));
    EXPECT_EQ(ReadWholeFile(scratch / "locked/out"), "old output");
}

TEST(DecryptFile, CancelledAskWritesNothing)
{
    CScratchFolder scratch;
    WriteWholeFile(scratch / "in.enp",
                   ContainerOf(scratch, "data.bin", "secret", *PublicKeyOf(FirstTestKey())));
    SAsker asker {std::nullopt};
    EXPECT_EQ(DecryptFile(scratch / "in.enp", FinderOf(FirstTestKey()), asker.Get()),
              EDecryptResult::Cancelled);
    EXPECT_FALSE(PathExists(scratch / "data.bin"));
    EXPECT_EQ(scratch.CountTempFiles(), 0);
}

TEST(SetFileTimes, SetsAccessAndModificationTimeToTheMillisecond)
{
    CScratchFolder scratch;
    WriteWholeFile(scratch / "file", "x");
    ASSERT_TRUE(SetFileTimes(scratch / "file", {2021, 6, 1, 12, 34, 56, 789}));
    struct stat status {};
    ASSERT_EQ(::stat((scratch / "file").c_str(), &status), 0);
    EXPECT_TRUE(SameTime(status.st_mtim, kRestoredTime));
    EXPECT_TRUE(SameTime(status.st_atim, kRestoredTime));
    EXPECT_FALSE(SetFileTimes(scratch / "file", {2021, 2, 30, 0, 0, 0, 0}));
    EXPECT_FALSE(SetFileTimes(scratch / "missing", {2021, 6, 1, 12, 34, 56, 789}));
}

} // namespace
