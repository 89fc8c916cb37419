#include "config/string_file.h"

#include "support/scratch_folder.h"

#include <gtest/gtest.h>

namespace {

std::vector<std::string> LinesOf(const std::string& content)
{
    CScratchFolder scratch;
    WriteWholeFile(scratch / "file", content);
    C8riStringFile file;
    EXPECT_TRUE(file.Open(scratch / "file"));
    std::vector<std::string> lines;
    while (std::optional<std::string_view> line = file.ReadLine())
        lines.emplace_back(*line);
    EXPECT_FALSE(file.HasFailed());
    return lines;
}

using Lines = std::vector<std::string>;

TEST(C8riStringFile, SplitsAtEveryKindOfLineEnd)
{
    struct Case {
        std::string content;
        Lines lines;
    };
    const Case cases[] = {
        {"", {""}},
        {"a", {"a"}},
        {"a\r\nb\r\n", {"a", "b", ""}},
        {"a\nb\n", {"a", "b", ""}},
        {"a\rb\r", {"a", "b", ""}},
        {"a\n\rb", {"a", "", "b"}},
        {"a\r\n\r\nb", {"a", "", "b"}},
        {" NAME= x \r\n", {" NAME= x ", ""}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(LinesOf(c.content), c.lines) << testing::PrintToString(c.content);
}

TEST(C8riStringFile, ReadsLongLinesWhole)
{
    const std::string longLine(100000, 'u');
    EXPECT_EQ(LinesOf("a\r\n" + longLine + "\r\nb"), (Lines {"a", longLine, "b"}));
}

// A CR LF pair split between two reads must still be one line end, wherever the reads fall.
TEST(C8riStringFile, KeepsACrLfPairTogetherAcrossReads)
{
    for (std::size_t length : {4094u, 4095u, 4096u, 8191u}) {
        const std::string line(length, 'x');
        EXPECT_EQ(LinesOf(line + "\r\nb"), (Lines {line, "b"})) << length;
    }
}

TEST(C8riStringFile, OpenFailsForAMissingFile)
{
    C8riStringFile file;
    EXPECT_FALSE(file.Open("/nonexistent/folder/file"));
    EXPECT_FALSE(file.ReadLine());
}

} // namespace
