#include "config/base64.h"

#include "support/run_program.h"
#include "support/scratch_folder.h"

#include <gtest/gtest.h>

namespace {

using Bytes = std::vector<unsigned char>;

Bytes BytesOf(std::string_view text)
{
    return Bytes(text.begin(), text.end());
}

TEST(Base64Test, EncodesTheKnownVectors)
{
    const std::pair<const char*, const char*> vectors[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
    };
    for (const auto& [plain, encoded] : vectors) {
        EXPECT_EQ(Base64Encode(BytesOf(plain)), encoded) << plain;
        EXPECT_EQ(Base64Decode(encoded), BytesOf(plain)) << encoded;
    }
}

TEST(Base64Test, EveryByteValueMatchesTheOpensslToolAndComesBack)
{
    Bytes bytes;
    for (int round = 0; round < 3; ++round) {
        for (int value = 0; value < 256; ++value)
            bytes.push_back(static_cast<unsigned char>(value ^ (round * 0x5A)));
    }
    bytes.push_back(0xFB); // 769 bytes: the last group is one byte long
    const std::string encoded = Base64Encode(bytes);

    CScratchFolder scratch;
    WriteWholeFile(scratch / "bytes", std::string(bytes.begin(), bytes.end()));
    const SProgramResult tool =
        RunProgram("/usr/bin/env", {"openssl", "base64", "-A", "-in", "bytes"}, scratch.Path());
    ASSERT_EQ(tool.m_nExitStatus, 0) << tool.m_err;
    EXPECT_EQ(tool.m_out, encoded);
    EXPECT_EQ(encoded.find_first_of("\r\n"), std::string::npos);
    EXPECT_EQ(Base64Decode(encoded), bytes);
}

TEST(Base64Test, DecodesAnyTextForgivinglyAndWithinBounds)
{
    struct Case {
        const char* what;
        std::string text;
        Bytes bytes;
    };
    const Case cases[] = {
        {"empty", "", {}},
        {"one padded byte", "QQ==", {0x41}},
        {"an exclamation mark counts as a slash", "QQ!!", Base64Decode("QQ//")},
        {"outside the alphabet: blank, line end, high byte", " \n\xff\x80", {0xFF, 0xFF, 0xFF}},
        {"a zero byte is no end",
         std::string("QUJD\0QUJD", 9),
         {0x41, 0x42, 0x43, 0xFD, 0x05, 0x09}},
        {"short last group of one character", "QUJDQ", {0x41, 0x42, 0x43}},
        {"short last group of two characters", "QUJDQQ", {0x41, 0x42, 0x43, 0x41}},
        {"short last group of three characters", "QUI", {0x41, 0x42}},
        {"three padding characters", "Q===", {}},
        {"only padding", "========", {}},
        {"padding inside the text shortens its group only", "QQ==QUJD", {0x41, 0x41, 0x42, 0x43}},
        {"padding first in a group", "=QQQ", {0x01, 0x04}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Base64Decode(c.text), c.bytes) << c.what;
}

TEST(Base64Test, LongTextDecodesToThreeQuartersOfItsLength)
{
    const std::string text(40000, 'A');
    EXPECT_EQ(Base64Decode(text), Bytes(30000, 0));
}

} // namespace
