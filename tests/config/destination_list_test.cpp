#include "config/destination_list.h"

#include "support/child_process.h"
#include "support/scratch_folder.h"
#include "util/folder_paths.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

using Entries = std::vector<std::pair<std::string, std::string>>;

Entries EntriesOf(const CDestinationList& list)
{
    Entries entries;
    for (int i = 0; i < list.GetCount(); ++i)
        entries.emplace_back(list.GetAt(i)->GetName(), list.GetAt(i)->GetUrl());
    return entries;
}

ino_t InodeOf(const std::string& path)
{
    struct stat status {};
    EXPECT_EQ(::stat(path.c_str(), &status), 0) << path;
    return status.st_ino;
}

class DestinationListTest : public ::testing::Test {
protected:
    std::string FilePath() const { return m_scratch / "dest.conf"; }

    // Writes content as dest.conf and loads it into a new list.
    Entries LoadFrom(const std::string& content)
    {
        WriteWholeFile(FilePath(), content);
        return Load();
    }
    Entries Load()
    {
        m_list = std::make_unique<CDestinationList>();
        EXPECT_TRUE(m_list->Load(m_scratch.Path()));
        return EntriesOf(*m_list);
    }

    CScratchFolder m_scratch;
    std::unique_ptr<CDestinationList> m_list;
};

TEST_F(DestinationListTest, SavedListReadsBackIdenticallyAsCrLfText)
{
    Load();
    const Entries written {{"Alice", "https://example.org/alice.txt"},
                           {"  blanks both ends  ", " http://example.org/b.txt "},
                           {"Zoë", ""},
                           {"alice", "https://example.org/ALICE.txt"}};
    for (const auto& [name, url] : written)
        ASSERT_TRUE(m_list->InsertAt(-1, CDestination(name, url)));

    EXPECT_EQ(Load(), written);
    EXPECT_EQ(ReadWholeFile(FilePath()),
              "TOTAL=4\r\n"
              "[0]\r\nNAME=Alice\r\nURL=https://example.org/alice.txt\r\n"
              "[1]\r\nNAME=  blanks both ends  \r\nURL= http://example.org/b.txt \r\n"
              "[2]\r\nNAME=Zoë\r\nURL=\r\n"
              "[3]\r\nNAME=alice\r\nURL=https://example.org/ALICE.txt\r\n");
}

TEST_F(DestinationListTest, AnyLineEndLoadsAlikeAndIsWrittenBackAsCrLf)
{
    const std::string lines[] = {"TOTAL=2", "[0]", "NAME=a", "URL=u", "[1]", "NAME=b", "URL=v"};
    const Entries expected {{"a", "u"}, {"b", "v"}};
    for (const char* lineEnd : {"\r\n", "\n", "\r"}) {
        std::string content;
        for (const std::string& line : lines)
            content += line + lineEnd;
        EXPECT_EQ(LoadFrom(content), expected) << testing::PrintToString(lineEnd);

        ASSERT_TRUE(m_list->Save());
        EXPECT_EQ(ReadWholeFile(FilePath()),
                  "TOTAL=2\r\n[0]\r\nNAME=a\r\nURL=u\r\n[1]\r\nNAME=b\r\nURL=v\r\n");
    }
}

TEST_F(DestinationListTest, ParsesForgivingly)
{
    struct Case {
        const char* what;
        std::string content;
        Entries entries;
    };
    const Case cases[] = {
        {"empty file", "", {}},
        {"count 0", "TOTAL=0\r\n", {}},
        {"count with blanks and sign", "TOTAL=  +1\r\n[0]\r\nNAME=a\r\nURL=u\r\n", {{"a", "u"}}},
        {"second count after a zero one", "TOTAL=0\r\nTOTAL=1\r\n[0]\r\nNAME=a\r\n", {{"a", ""}}},
        {"second count after a positive one ends the reading",
         "TOTAL=1\r\n[0]\r\nNAME=a\r\nTOTAL=5\r\nURL=u\r\n",
         {{"a", ""}}},
        {"index beyond the count ends the reading",
         "TOTAL=1\r\n[0]\r\nNAME=a\r\n[7]\r\nURL=u\r\n",
         {{"a", ""}}},
        {"odd brackets are ignored",
         "TOTAL=1\r\n[0]\r\nNAME=a\r\n[x]\r\n[]\r\n[-1]\r\nURL=u\r\n",
         {{"a", "u"}}},
        {"a repeated index overwrites",
         "TOTAL=1\r\n[0]\r\nNAME=a\r\n[0]\r\nNAME=b\r\n",
         {{"b", ""}}},
        {"values before any index are ignored",
         "TOTAL=1\r\nNAME=lost\r\n[0]\r\nURL=u\r\n",
         {{"", "u"}}},
        {"keys match case and column",
         "TOTAL=1\r\n[0]\r\nname=x\r\n NAME=y\r\nNAME=z\r\n",
         {{"z", ""}}},
        {"negative count", "TOTAL=-2\r\n[0]\r\nNAME=a\r\n", {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(LoadFrom(c.content), c.entries) << c.what;
}

TEST_F(DestinationListTest, FileWithoutCountLoadsEmptyAndKeepsItsContent)
{
    const std::string content = "[0]\r\nNAME=a\r\nURL=u\r\n";
    EXPECT_EQ(LoadFrom(content), Entries {});
    EXPECT_EQ(ReadWholeFile(FilePath()), content);
}

TEST_F(DestinationListTest, MissingEntriesAreDroppedAndTheFileRewrittenAtOnce)
{
    EXPECT_EQ(LoadFrom("TOTAL=3\r\n[0]\r\nNAME=a\r\nURL=u\r\n[2]\r\nNAME=c\r\nURL=w\r\n"),
              (Entries {{"a", "u"}, {"c", "w"}}));
    EXPECT_EQ(ReadWholeFile(FilePath()),
              "TOTAL=2\r\n[0]\r\nNAME=a\r\nURL=u\r\n[1]\r\nNAME=c\r\nURL=w\r\n");

    // A huge count costs nothing up front.
    EXPECT_EQ(LoadFrom("TOTAL=2000000000\r\n[5]\r\nNAME=a\r\n"), (Entries {{"a", ""}}));
    EXPECT_EQ(ReadWholeFile(FilePath()), "TOTAL=1\r\n[0]\r\nNAME=a\r\nURL=\r\n");
}

TEST_F(DestinationListTest, LongLinesLoadWholeWithoutRewritingTheFile)
{
    const std::string longUrl = "https://example.org/" + std::string(5000 - 20, 'u');
    const std::string content = "TOTAL=3\r\n[0]\r\nNAME=a\r\nURL=" + longUrl +
                                "\r\n[1]\r\nNAME=b\r\nURL=v\r\n[2]\r\nNAME=c\r\nURL=w\r\n";
    WriteWholeFile(FilePath(), content);
    const ino_t before = InodeOf(FilePath());

    EXPECT_EQ(Load(), (Entries {{"a", longUrl}, {"b", "v"}, {"c", "w"}}));
    EXPECT_EQ(ReadWholeFile(FilePath()), content);
    EXPECT_EQ(InodeOf(FilePath()), before) << "loading must not rewrite the file";
}

TEST_F(DestinationListTest, ReadOnlyLoadNeverCreatesMendsOrWrites)
{
    CDestinationList missing;
    EXPECT_TRUE(missing.LoadReadOnly(m_scratch.Path()));
    EXPECT_EQ(missing.GetCount(), 0);
    EXPECT_FALSE(PathExists(FilePath()));

    const std::string content = "TOTAL=3\r\n[0]\r\nNAME=a\r\nURL=u\r\n[2]\r\nNAME=c\r\nURL=w\r\n";
    WriteWholeFile(FilePath(), content);
    CDestinationList list;
    ASSERT_TRUE(list.LoadReadOnly(m_scratch.Path()));
    EXPECT_EQ(EntriesOf(list), (Entries {{"a", "u"}, {"c", "w"}}));
    EXPECT_FALSE(list.InsertAt(-1, CDestination("d", "x")));
    EXPECT_EQ(ReadWholeFile(FilePath()), content);
}

TEST_F(DestinationListTest, MissingFileIsCreatedEmpty)
{
    EXPECT_EQ(Load(), Entries {});
    EXPECT_TRUE(PathExists(FilePath()));
    EXPECT_EQ(ReadWholeFile(FilePath()), "");
}

TEST_F(DestinationListTest, FolderInThePlaceOfTheFileIsReplacedWithoutFollowingLinks)
{
    const std::string outside = m_scratch / "outside";
    ASSERT_EQ(::mkdir(outside.c_str(), 0755), 0);
    WriteWholeFile(outside + "/precious", "keep me");
    ASSERT_EQ(::mkdir(FilePath().c_str(), 0755), 0);
    WriteWholeFile(FilePath() + "/junk", "junk");
    ASSERT_EQ(::symlink(outside.c_str(), (FilePath() + "/link").c_str()), 0);

    EXPECT_EQ(Load(), Entries {});
    EXPECT_EQ(ReadWholeFile(FilePath()), "");
    EXPECT_EQ(ReadWholeFile(outside + "/precious"), "keep me");
}

TEST_F(DestinationListTest, LoadFailsWhenTheFileCannotBeMade)
{
    CDestinationList list;
    EXPECT_FALSE(list.Load(m_scratch / "missing-folder"));
    EXPECT_EQ(list.GetPath(), "");
}

TEST_F(DestinationListTest, EditingOperationsSaveAtOnce)
{
    Load();
    ASSERT_TRUE(m_list->InsertAt(0, CDestination("b", "v")));
    ASSERT_TRUE(m_list->InsertAt(0, CDestination("a", "u")));
    ASSERT_TRUE(m_list->InsertAt(99, CDestination("d", "x")));
    ASSERT_TRUE(m_list->InsertAt(2, CDestination("c", "w")));
    EXPECT_EQ(Load(), (Entries {{"a", "u"}, {"b", "v"}, {"c", "w"}, {"d", "x"}}));

    ASSERT_TRUE(m_list->SetAt(1, CDestination("B", "V")));
    ASSERT_TRUE(m_list->RemoveAt(2));
    m_list->Exchange(0, 2);
    ASSERT_TRUE(m_list->Save());
    EXPECT_EQ(Load(), (Entries {{"d", "x"}, {"B", "V"}, {"a", "u"}}));

    EXPECT_FALSE(m_list->SetAt(3, CDestination("e", "y")));
    EXPECT_FALSE(m_list->SetAt(-1, CDestination("e", "y")));
    EXPECT_FALSE(m_list->RemoveAt(3));
    EXPECT_EQ(m_list->GetAt(3), nullptr);
    EXPECT_EQ(Load().size(), 3u);
}

TEST_F(DestinationListTest, SettingAnUnchangedEntryWritesNothing)
{
    Load();
    ASSERT_TRUE(m_list->InsertAt(-1, CDestination("a", "u")));
    const ino_t before = InodeOf(FilePath());
    EXPECT_TRUE(m_list->SetAt(0, CDestination("a", "u")));
    EXPECT_EQ(InodeOf(FilePath()), before);
}

TEST_F(DestinationListTest, NameAndUrlChecksAreExactAndSkipTheEditedEntry)
{
    LoadFrom(
        "TOTAL=2\r\n[0]\r\nNAME=Alice\r\nURL=http://a/k\r\n[1]\r\nNAME=Bob\r\nURL=http://b/k\r\n");
    const CDestination alice("Alice", "http://a/k");

    EXPECT_TRUE(m_list->IsNameUsed(alice, -1));
    EXPECT_FALSE(m_list->IsNameUsed(alice, 0));
    EXPECT_TRUE(m_list->IsNameUsed(alice, 1));
    EXPECT_FALSE(m_list->IsNameUsed(CDestination("alice", ""), -1));

    EXPECT_TRUE(m_list->IsUrlUsed("http://b/k", -1));
    EXPECT_FALSE(m_list->IsUrlUsed("http://b/k", 1));
    EXPECT_FALSE(m_list->IsUrlUsed("http://B/k", -1));

    EXPECT_TRUE(m_list->IsSameAt(0, alice));
    EXPECT_FALSE(m_list->IsSameAt(0, CDestination("Alice", "http://a/K")));
}

class FailedSaveTest : public DestinationListTest {
protected:
    void SetUp() override
    {
        m_original = "TOTAL=1\r\n[0]\r\nNAME=a\r\nURL=u\r\n";
        LoadFrom(m_original);
    }
    void ExpectOldFileKept()
    {
        EXPECT_EQ(ReadWholeFile(FilePath()), m_original);
        EXPECT_EQ(m_scratch.CountTempFiles(), 0);
    }
    std::string m_original;
};

TEST_F(FailedSaveTest, WriteFailurePartWayLeavesTheOldFile)
{
    const CDestination big("b", std::string(10000, 'v'));
    EXPECT_FALSE(RunWithFileSizeLimit(4096, [&] { return m_list->InsertAt(-1, big); }));
    ExpectOldFileKept();
}

TEST_F(FailedSaveTest, ValueWithALineBreakIsRefusedRatherThanWrittenAsExtraLines)
{
    for (const char* url : {"http://a/k\r\nNAME=injected", "http://a/k\nTOTAL=9", "x\r"}) {
        EXPECT_FALSE(m_list->SetAt(0, CDestination("a", url))) << url;
        ExpectOldFileKept();
    }
}

TEST_F(FailedSaveTest, UnwritableTempFolderLeavesTheOldFile)
{
    g_szTempFolder = m_scratch / "missing/";
    EXPECT_FALSE(m_list->InsertAt(-1, CDestination("b", "v")));
    g_szTempFolder = m_scratch.TempFolder();
    ExpectOldFileKept();
    EXPECT_EQ(m_list->GetCount(), 2) << "the list in memory keeps the change";
}

TEST_F(FailedSaveTest, UnwritableDataFolderLeavesTheOldFile)
{
    if (!CanRunAsOtherUser())
        GTEST_SKIP() << "needs root to stage a folder the saver cannot write";
    GiveToOtherUser(m_scratch.TempFolder().c_str());
    EXPECT_FALSE(RunAsOtherUser([&] { return m_list->InsertAt(-1, CDestination("b", "v")); }));
    ExpectOldFileKept();
}

} // namespace
