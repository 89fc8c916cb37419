#include "crypto/encrypted_file.h"

#include "crypto/container_test_support.h"
#include "support/child_process.h"
#include "support/scratch_folder.h"

#include <gtest/gtest.h>

using namespace std::string_literals;

namespace {

constexpr const char* kGuid = "F81D4FAE7DEC11D0A76500A0C91E6BF6";
constexpr FileTimeRecord kTime {2009, 3, 5, 14, 7, 9, 42};

struct SRecord {
    std::string m_head;
    std::string m_tail;
};

std::span<const unsigned char> BytesOf(const std::string& text)
{
    return {reinterpret_cast<const unsigned char*>(text.data()), text.size()};
}

// Runs every writing step up to the trailer.
bool WriteUpToTrailer(CEncryptedFile& file, const std::string& dest,
                      const std::vector<SRecord>& records)
{
    if (!file.Open(dest, CEncryptedFile::EOpenMode::Write) ||
        !file.SetSourceName("/any/folder/\xC3\x9C"
                            "bung.txt") ||
        !file.SetKeyGuid(kGuid) || !file.WriteHeader(kTime) || !file.OpenRecordFile())
        return false;
    for (const SRecord& record : records) {
        if (!file.AddRecord(BytesOf(record.m_head), BytesOf(record.m_tail)))
            return false;
    }
    return file.FlushRecords();
}

bool WriteContainer(const std::string& dest, const std::vector<SRecord>& records,
                    const std::string& keyRecords = U32Bytes(3) + "abc")
{
    CEncryptedFile file;
    return WriteUpToTrailer(file, dest, records) && file.WriteTrailer(BytesOf(keyRecords)) &&
           file.Close();
}

// Reads a whole container; "" when every step succeeded, else the reader's reason.
std::string ReadAll(const std::string& path)
{
    CEncryptedFile file;
    FileTimeRecord times;
    if (!file.Open(path, CEncryptedFile::EOpenMode::Read) || !file.ReadHeader(times))
        return file.GetErrorText();
    std::vector<unsigned char> buffer(kMaxRecordBlockSize);
    int size = 0;
    while ((size = file.ReadKeyRecord(std::span(buffer).first(kMaxKeyRecordSize))) > 0) {
    }
    if (size < 0)
        return file.GetErrorText();
    while ((size = file.ReadBlock(buffer)) > 0) {
    }
    if (size < 0)
        return file.GetErrorText();
    return file.Close() ? "" : "Close failed";
}

const std::string kHeader = "TVPE\x01\x00\x00\x00\x00\x00\x00\x00"
                            "\x07\xD9\x00\x03\x00\x05\x00\x0E\x00\x07\x00\x09\x00\x2A"
                            "F81D4FAE7DEC11D0A76500A0C91E6BF6"
                            "\x00\x00\x00\x00\x00\x09"s;
const std::string kName =
    "\x00\xDC\x00\x62\x00\x75\x00\x6E\x00\x67\x00\x2E\x00\x74\x00\x78\x00\x74"s;

TEST(CEncryptedFileWriter, LaysOutHeaderNameKeyBlockAndRecordBlocksByteForByte)
{
    CScratchFolder scratch;
    const std::string dest = scratch / "out.enp";
    ASSERT_TRUE(WriteContainer(dest, {{"HD", "tail"}, {"", "x"}}));

    const std::string expected = kHeader + kName +
                                 "\x00\x00\x00\x03"
                                 "abc"
                                 "\x00\x00\x00\x00"s +
                                 "\x00\x00\x00\x17"s +
                                 "\x00\x00\x00\x02\x00\x00\x00\x04"
                                 "HDtail"s +
                                 "\x00\x00\x00\x00\x00\x00\x00\x01"
                                 "x"s +
                                 "\x00\x00\x00\x00"s;
    EXPECT_EQ(HexOf(ReadWholeFile(dest)), HexOf(expected));
    EXPECT_EQ(scratch.CountTempFiles(), 0);

    CEncryptedFile reader;
    FileTimeRecord times;
    ASSERT_TRUE(reader.Open(dest, CEncryptedFile::EOpenMode::Read));
    ASSERT_TRUE(reader.ReadHeader(times));
    EXPECT_EQ(times, kTime);
    EXPECT_EQ(reader.GetKeyGuid(), kGuid);
    EXPECT_EQ(reader.GetName(), "\xC3\x9C"
                                "bung.txt");
    EXPECT_EQ(reader.GetWideName(), u"\u00DCbung.txt");
}

TEST(CEncryptedFileWriter, WithoutRecordsEndsWithBothEndMarks)
{
    CScratchFolder scratch;
    const std::string dest = scratch / "empty.enp";
    ASSERT_TRUE(WriteContainer(dest, {}));
    EXPECT_EQ(HexOf(ReadWholeFile(dest)), HexOf(kHeader + kName +
                                                "\x00\x00\x00\x03"
                                                "abc"
                                                "\x00\x00\x00\x00\x00\x00\x00\x00"s));
}

TEST(CEncryptedFileWriter, KeepsARecordThatFillsTheBlockExactlyAndStartsANewOneForOneByteMore)
{
    struct SCase {
        std::size_t m_secondTail;
        std::vector<std::size_t> m_blockSizes;
    };
    // The first record takes 8 + 130964 bytes; a second of 100 bytes brings the block to 131072.
    const SCase cases[] = {{92, {131072}}, {93, {130972, 101}}};
    for (const SCase& test : cases) {
        CScratchFolder scratch;
        const std::string dest = scratch / "edge.enp";
        ASSERT_TRUE(WriteContainer(
            dest, {{"", std::string(130964, 'a')}, {"", std::string(test.m_secondTail, 'b')}}));
        SParsedContainer parsed;
        ASSERT_TRUE(ParseContainer(ReadWholeFile(dest), parsed));
        EXPECT_EQ(parsed.m_blockSizes, test.m_blockSizes) << test.m_secondTail;
        EXPECT_EQ(parsed.m_chunks.size(), 2u);
        EXPECT_EQ(ReadAll(dest), "");
    }
}

TEST(CEncryptedFileWriter, RefusesARecordLargerThanABlock)
{
    CScratchFolder scratch;
    CEncryptedFile file;
    ASSERT_TRUE(WriteUpToTrailer(file, scratch / "big.enp", {{"", std::string(131064, 'a')}}));
    EXPECT_FALSE(file.AddRecord({}, BytesOf(std::string(131065, 'a'))));
    EXPECT_TRUE(file.HasError());
    EXPECT_FALSE(file.Close());
    EXPECT_FALSE(PathExists(scratch / "big.enp"));
    EXPECT_EQ(scratch.CountTempFiles(), 0);
}

TEST(CEncryptedFileWriter, FailedOrUnfinishedWritesLeaveTheDestinationAsItWasAndNoTemporaryFile)
{
    CScratchFolder scratch;
    const std::string dest = scratch / "old.enp";
    WriteWholeFile(dest, "old content");
    const std::vector<SRecord> records(3, SRecord {"", std::string(60000, 'r')});

    {
        CEncryptedFile closedEarly;
        ASSERT_TRUE(WriteUpToTrailer(closedEarly, dest, records));
        EXPECT_FALSE(closedEarly.Close());
    }
    {
        CEncryptedFile dropped;
        ASSERT_TRUE(WriteUpToTrailer(dropped, dest, records));
        ASSERT_TRUE(dropped.WriteTrailer(BytesOf(U32Bytes(1) + "k")));
    }
    // Once the temporary files may not grow, the record file's first block cannot be written.
    EXPECT_TRUE(RunWithFileSizeLimit(4096, [&] {
        CEncryptedFile file;
        const bool failed =
            !WriteUpToTrailer(file, dest, records) && file.HasError() && !file.Close();
        return failed && ReadWholeFile(dest) == "old content" && scratch.CountTempFiles() == 0;
    }));
    EXPECT_FALSE(WriteContainer(scratch / "missing/out.enp", records));
    EXPECT_FALSE(WriteContainer(dest, records, U32Bytes(0)));

    EXPECT_EQ(ReadWholeFile(dest), "old content");
    EXPECT_EQ(scratch.CountTempFiles(), 0);
}

TEST(CEncryptedFileWriter, RefusesNamesAndGuidsItCannotStore)
{
    CEncryptedFile file;
    EXPECT_FALSE(file.SetSourceName("/folder/bad\xFF.txt"));
    EXPECT_FALSE(file.SetSourceName(std::string(261, 'n')));
    EXPECT_TRUE(file.SetSourceName(std::string(260, 'n')));
    EXPECT_FALSE(file.SetKeyGuid("F81D4FAE7DEC11D0A76500A0C91E6BF"));
}

std::string HeaderImage(const std::string& magic, std::uint32_t version, std::uint32_t nameUnits)
{
    return magic + U32Bytes(version) + U32Bytes(0) + std::string(14, '\x01') + kGuid + "\0\0"s +
           U32Bytes(nameUnits);
}

std::string KeyRecordImage(std::uint32_t size)
{
    return U32Bytes(size) + std::string(size, 'k');
}

std::string BlockImage(std::uint32_t size)
{
    return U32Bytes(size) + std::string(size, 'b');
}

const std::string kEnd = U32Bytes(0);
const std::string kValidName = HeaderImage("TVPE", 0x01000000, 1) + "\0a"s;
const std::string kValidKeys = KeyRecordImage(3) + kEnd;
const std::string kValidData = BlockImage(12) + kEnd;

struct SReadCase {
    const char* m_what;
    std::string m_image;
    std::string m_fault; // "" when the container reads
};

void PrintTo(const SReadCase& test, std::ostream* out)
{
    *out << test.m_what;
}

class CEncryptedFileReader : public testing::TestWithParam<SReadCase> {};

TEST_P(CEncryptedFileReader, ChecksEveryLengthAndMark)
{
    CScratchFolder scratch;
    const std::string path = scratch / "in.enp";
    WriteWholeFile(path, GetParam().m_image);
    const std::string fault = ReadAll(path);
    if (GetParam().m_fault.empty())
        EXPECT_EQ(fault, "");
    else
        EXPECT_NE(fault.find(GetParam().m_fault), std::string::npos) << fault;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CEncryptedFileReader,
    testing::Values(
        SReadCase {"valid", kValidName + kValidKeys + kValidData, ""},
        SReadCase {"version_0", HeaderImage("TVPE", 0, 0) + kValidKeys + kValidData, ""},
        SReadCase {"no_blocks", kValidName + kValidKeys + kEnd, ""},
        SReadCase {"magic_lower_case", HeaderImage("tvpe", 0x01000000, 0) + kValidKeys + kEnd,
                   "not a container (bad magic)"},
        SReadCase {"magic_other", HeaderImage("TVPS", 0x01000000, 0) + kValidKeys + kEnd,
                   "not a container (bad magic)"},
        SReadCase {"version_above", HeaderImage("TVPE", 0x01000001, 0) + kValidKeys + kEnd,
                   "version 0x01000001 is newer"},
        SReadCase {"version_max", HeaderImage("TVPE", 0xFFFFFFFF, 0) + kValidKeys + kEnd,
                   "version 0xFFFFFFFF is newer"},
        SReadCase {"name_260",
                   HeaderImage("TVPE", 0x01000000, 260) + std::string(520, 'n') + kValidKeys +
                       kValidData,
                   ""},
        SReadCase {"name_261",
                   HeaderImage("TVPE", 0x01000000, 261) + std::string(522, 'n') + kValidKeys +
                       kValidData,
                   "261 UTF-16 code units, more than 260"},
        SReadCase {"header_short", kValidName.substr(0, 63), "shorter than its 64-byte header"},
        SReadCase {"name_short", HeaderImage("TVPE", 0x01000000, 2) + "\0a"s,
                   "cut short in the source name"},
        SReadCase {"name_lone_surrogate",
                   HeaderImage("TVPE", 0x01000000, 1) + "\xD8\x00"s + kValidKeys + kEnd,
                   "not valid UTF-16"},
        SReadCase {"key_record_1024", kValidName + KeyRecordImage(1024) + kEnd + kValidData, ""},
        SReadCase {"key_record_1025", kValidName + KeyRecordImage(1025) + kEnd + kValidData,
                   "key record longer than 1024 bytes"},
        SReadCase {"key_record_top_bit", kValidName + U32Bytes(0x80000000) + kEnd + kValidData,
                   "key record length 0x80000000 is negative"},
        SReadCase {"key_record_all_bits", kValidName + U32Bytes(0xFFFFFFFF) + kEnd + kValidData,
                   "is negative"},
        SReadCase {"key_record_short", kValidName + U32Bytes(300) + "abc",
                   "cut short in the key block"},
        SReadCase {"key_end_missing", kValidName + KeyRecordImage(3), "cut short in the key block"},
        SReadCase {"block_131072", kValidName + kValidKeys + BlockImage(131072) + kEnd, ""},
        SReadCase {"block_131073", kValidName + kValidKeys + BlockImage(131073) + kEnd,
                   "damaged container (record block longer than 131072 bytes)"},
        SReadCase {"block_short", kValidName + kValidKeys + U32Bytes(12) + "bbb",
                   "cut short in the data section"},
        SReadCase {"data_end_missing", kValidName + kValidKeys + BlockImage(12),
                   "cut short in the data section"}),
    [](const testing::TestParamInfo<SReadCase>& info) { return std::string(info.param.m_what); });

TEST(FileTimeRecord, HoldsUtcCalendarFieldsToTheMillisecond)
{
    FileTimeRecord record;
    ASSERT_TRUE(FileTimeFromTimespec({1236262029, 42999999}, record));
    EXPECT_EQ(record, kTime);
    timespec back {};
    ASSERT_TRUE(FileTimeToTimespec(record, back));
    EXPECT_EQ(back.tv_sec, 1236262029);
    EXPECT_EQ(back.tv_nsec, 42000000);

    ASSERT_TRUE(FileTimeFromTimespec({-11644473600, 0}, record));
    EXPECT_EQ(record, (FileTimeRecord {1601, 1, 1, 0, 0, 0, 0}));
    EXPECT_FALSE(FileTimeFromTimespec({-11644473601, 0}, record));
}

TEST(FileTimeRecord, RefusesFieldsThatNameNoMoment)
{
    timespec time {};
    EXPECT_TRUE(FileTimeToTimespec({2024, 2, 29, 23, 59, 59, 999}, time));
    EXPECT_TRUE(FileTimeToTimespec({30827, 12, 31, 23, 59, 59, 999}, time));
    const FileTimeRecord invalid[] = {
        {2023, 2, 29, 0, 0, 0, 0}, {2023, 13, 1, 0, 0, 0, 0},   {2023, 0, 1, 0, 0, 0, 0},
        {2023, 1, 0, 0, 0, 0, 0},  {2023, 1, 1, 24, 0, 0, 0},   {2023, 1, 1, 0, 60, 0, 0},
        {2023, 1, 1, 0, 0, 60, 0}, {2023, 1, 1, 0, 0, 0, 1000}, {1600, 12, 31, 0, 0, 0, 0},
        {30828, 1, 1, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0, 0},
    };
    for (const FileTimeRecord& record : invalid)
        EXPECT_FALSE(FileTimeToTimespec(record, time)) << record.m_nYear << "-" << record.m_nMonth;
}

// The one-pass writer: room kept for the key block, record blocks straight behind it.
bool WriteInOnePass(const std::string& dest, const std::vector<SRecord>& records,
                    std::size_t keyBlockRoom, const std::string& keyRecords)
{
    CEncryptedFile file;
    if (!file.Open(dest, CEncryptedFile::EOpenMode::Write) ||
        !file.SetSourceName("/any/folder/\xC3\x9C"
                            "bung.txt") ||
        !file.SetKeyGuid(kGuid) || !file.WriteHeader(kTime) || !file.ReserveKeyBlock(keyBlockRoom))
        return false;
    for (const SRecord& record : records) {
        if (!file.AddRecord(BytesOf(record.m_head), BytesOf(record.m_tail)))
            return false;
    }
    return file.WriteTrailer(BytesOf(keyRecords)) && file.Close();
}

TEST(CEncryptedFileWriter, KeepingRoomForTheKeyBlockWritesTheSameBytesAsTheRecordFile)
{
    CScratchFolder scratch;
    const std::string keyRecords = U32Bytes(3) + "abc" + U32Bytes(1) + "z";
    // Three record blocks, and none at all.
    const std::vector<std::vector<SRecord>> recordSets = {
        {{"H1", std::string(100000, 'a')}, {"H2", std::string(100000, 'b')}, {"", "c"}}, {}};
    for (const auto& records : recordSets) {
        ASSERT_TRUE(WriteContainer(scratch / "two-pass.enp", records, keyRecords));
        ASSERT_TRUE(
            WriteInOnePass(scratch / "one-pass.enp", records, keyRecords.size() + 4, keyRecords));
        EXPECT_TRUE(ReadWholeFile(scratch / "one-pass.enp") ==
                    ReadWholeFile(scratch / "two-pass.enp"));
        EXPECT_EQ(ReadAll(scratch / "one-pass.enp"), "");
        EXPECT_EQ(scratch.CountTempFiles(), 0);
    }
    // Key records that do not fill the room exactly would leave a broken key block.
    WriteWholeFile(scratch / "old.enp", "old");
    for (std::size_t room : {keyRecords.size() + 3, keyRecords.size() + 5}) {
        EXPECT_FALSE(WriteInOnePass(scratch / "old.enp", recordSets[0], room, keyRecords));
        EXPECT_EQ(ReadWholeFile(scratch / "old.enp"), "old");
        EXPECT_EQ(scratch.CountTempFiles(), 0);
    }
}

} // namespace
