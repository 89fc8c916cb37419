#include "config/key_pair_list.h"

#include "support/key_test_support.h"
#include "support/child_process.h"
#include "support/scratch_folder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

constexpr const char* kOtherGuid = "00000000000040008000000000000000";

// A data folder with "keys.conf" and a keys folder holding the shared key pair's file.
class KeyPairListTest : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        CScratchFolder scratch;
        ASSERT_TRUE(CopyOfSharedKeyPair()->SaveFile(scratch / "pair"));
        s_keyFile = ReadWholeFile(scratch / "pair");
    }

    void SetUp() override
    {
        ASSERT_EQ(::mkdir(DataFolder().c_str(), 0755), 0);
        ASSERT_TRUE(m_list.Load(DataFolder()));
    }

    std::string DataFolder() const { return m_scratch / "data"; }
    std::string ConfPath() const { return m_scratch / "data/keys.conf"; }
    static std::string Guid() { return SharedKeyPair().GetGuid(); }
    static std::string KeyFileName() { return Guid() + ".key"; }
    std::string KeyPath(const std::string& fileName) const { return m_keys.Folder() + fileName; }

    // Adds an entry at the end, and its key pair file with content unless it is null.
    void Add(const std::string& name, const std::string& fileName, const std::string* content)
    {
        if (content)
            WriteWholeFile(KeyPath(fileName), *content);
        ASSERT_TRUE(m_list.InsertAt(-1, CKeyPairOfConf(name, fileName)));
    }

    static std::string s_keyFile;
    CScratchFolder m_scratch;
    CKeysFolderScope m_keys {m_scratch / "keys"};
    CKeyPairList m_list;
};

std::string KeyPairListTest::s_keyFile;

TEST_F(KeyPairListTest, KeepsNameAndFileLinesInKeysConf)
{
    Add("Mine", KeyFileName(), &s_keyFile);
    Add("Work", std::string(kOtherGuid) + ".key", nullptr);
    EXPECT_EQ(ReadWholeFile(ConfPath()), "TOTAL=2\r\n[0]\r\nNAME=Mine\r\nFILE=" + KeyFileName() +
                                             "\r\n[1]\r\nNAME=Work\r\nFILE=" + kOtherGuid +
                                             ".key\r\n");

    CKeyPairList reloaded;
    ASSERT_TRUE(reloaded.Load(DataFolder()));
    ASSERT_EQ(reloaded.GetCount(), 2);
    EXPECT_EQ(reloaded.GetAt(0)->GetName(), "Mine");
    EXPECT_EQ(reloaded.GetAt(0)->GetFile(), KeyFileName());
    EXPECT_EQ(reloaded.KeyFilePathAt(1), KeyPath(std::string(kOtherGuid) + ".key"));
}

TEST_F(KeyPairListTest, AnEntryMissingALineKeepsThatTextEmpty)
{
    WriteWholeFile(ConfPath(),
                   "TOTAL=2\r\n[0]\r\nFILE=" + KeyFileName() + "\r\n[1]\r\nNAME=Only name\r\n");
    CKeyPairList list;
    ASSERT_TRUE(list.Load(DataFolder()));
    ASSERT_EQ(list.GetCount(), 2);
    EXPECT_EQ(list.GetAt(0)->GetName(), "");
    EXPECT_EQ(list.GetAt(0)->GetFile(), KeyFileName());
    EXPECT_EQ(list.GetAt(1)->GetName(), "Only name");
    EXPECT_EQ(list.GetAt(1)->GetFile(), "");
}

TEST_F(KeyPairListTest, RemoveAtDeletesTheKeyFileThenTheEntry)
{
    Add("Mine", KeyFileName(), &s_keyFile);
    ASSERT_EQ(::chmod(KeyPath(KeyFileName()).c_str(), 0400), 0);

    ASSERT_TRUE(m_list.RemoveAt(0));
    EXPECT_FALSE(PathExists(KeyPath(KeyFileName())));
    EXPECT_EQ(m_list.GetCount(), 0);
    EXPECT_EQ(ReadWholeFile(ConfPath()), "TOTAL=0\r\n");
}

TEST_F(KeyPairListTest, RemoveAtGoesOnWhenTheKeyFileIsAlreadyGone)
{
    Add("Gone", KeyFileName(), nullptr);
    Add("Kept", std::string(kOtherGuid) + ".key", nullptr);

    ASSERT_TRUE(m_list.RemoveAt(0));
    ASSERT_EQ(m_list.GetCount(), 1);
    EXPECT_EQ(ReadWholeFile(ConfPath()),
              std::string("TOTAL=1\r\n[0]\r\nNAME=Kept\r\nFILE=") + kOtherGuid + ".key\r\n");
    EXPECT_FALSE(m_list.RemoveAt(1));
    EXPECT_FALSE(m_list.RemoveAt(-1));
}

TEST_F(KeyPairListTest, RemoveAtChangesNothingWhenTheKeyFileCannotBeDeleted)
{
    if (!CanRunAsOtherUser())
        GTEST_SKIP() << "needs root to stage a file another user cannot delete";
    Add("Mine", KeyFileName(), &s_keyFile);
    const std::string confBefore = ReadWholeFile(ConfPath());
    // The other user may rewrite keys.conf but not change the keys folder, which stays root's.
    GiveToOtherUser(DataFolder().c_str());
    GiveToOtherUser(ConfPath().c_str());
    ASSERT_EQ(::chmod(m_keys.Folder().c_str(), 0755), 0);

    EXPECT_TRUE(RunAsOtherUser([&] { return !m_list.RemoveAt(0) && m_list.GetCount() == 1; }));
    EXPECT_EQ(ReadWholeFile(KeyPath(KeyFileName())), s_keyFile);
    EXPECT_EQ(ReadWholeFile(ConfPath()), confBefore);
}

TEST_F(KeyPairListTest, RemoveAtKeepsAKeyFileAnotherEntryNames)
{
    Add("First", KeyFileName(), &s_keyFile);
    Add("Second", KeyFileName(), nullptr);

    ASSERT_TRUE(m_list.RemoveAt(0));
    EXPECT_EQ(ReadWholeFile(KeyPath(KeyFileName())), s_keyFile);
    ASSERT_TRUE(m_list.FindKeyPair(Guid()));

    ASSERT_TRUE(m_list.RemoveAt(0));
    EXPECT_FALSE(PathExists(KeyPath(KeyFileName())));
}

TEST_F(KeyPairListTest, AnEntryWithoutFileNameIsRemovedAndNeverFound)
{
    Add("Hand-edited", "", nullptr);
    EXPECT_FALSE(m_list.HasKeyFile(Guid()));
    EXPECT_FALSE(m_list.LoadKeyPairAt(0));

    ASSERT_TRUE(m_list.RemoveAt(0));
    EXPECT_EQ(m_list.GetCount(), 0);
    struct stat status {};
    EXPECT_EQ(::stat(m_keys.Folder().c_str(), &status), 0);
}

TEST_F(KeyPairListTest, LoadKeyPairAtReadsTheEntrysFile)
{
    Add("Mine", KeyFileName(), &s_keyFile);
    const std::string damaged = "TVPS";
    Add("Damaged", std::string(kOtherGuid) + ".key", &damaged);

    std::unique_ptr<CKeyPair> pair = m_list.LoadKeyPairAt(0);
    ASSERT_TRUE(pair);
    EXPECT_EQ(pair->GetGuid(), Guid());
    EXPECT_EQ(pair->GetKeyFilePath(), KeyPath(KeyFileName()));
    EXPECT_TRUE(SameKey(pair->GetKey(), SharedKeyPair().GetKey()));
    EXPECT_FALSE(m_list.LoadKeyPairAt(1));
    EXPECT_FALSE(m_list.LoadKeyPairAt(2));
    EXPECT_FALSE(m_list.LoadKeyPairAt(-1));
}

TEST_F(KeyPairListTest, FindKeyPairTakesTheFirstEntryInListOrder)
{
    // Both file names begin with the GUID; the first entry's file is missing and decides.
    Add("Missing", KeyFileName(), nullptr);
    Add("Copy", Guid() + ".old", &s_keyFile);
    EXPECT_TRUE(m_list.HasKeyFile(Guid()));
    EXPECT_FALSE(m_list.FindKeyPair(Guid()));

    ASSERT_TRUE(m_list.InsertAt(0, CKeyPairOfConf("Copy first", Guid() + ".old")));
    std::unique_ptr<CKeyPair> pair = m_list.FindKeyPair(Guid());
    ASSERT_TRUE(pair);
    EXPECT_TRUE(SameKey(pair->GetKey(), SharedKeyPair().GetKey()));
}

TEST_F(KeyPairListTest, FindingComparesCaseSensitivelyAndNeedsAGuid)
{
    Add("Mine", KeyFileName(), &s_keyFile);
    std::string lower = Guid();
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    ASSERT_NE(lower, Guid());

    EXPECT_TRUE(m_list.HasKeyFile(Guid()));
    EXPECT_TRUE(m_list.FindKeyPair(Guid()));
    EXPECT_FALSE(m_list.HasKeyFile(lower));
    EXPECT_FALSE(m_list.FindKeyPair(lower));
    EXPECT_FALSE(m_list.HasKeyFile(kOtherGuid));
    // An empty text would begin every file name: it names no key pair.
    EXPECT_FALSE(m_list.HasKeyFile(""));
    EXPECT_FALSE(m_list.FindKeyPair(""));
}

TEST_F(KeyPairListTest, CopyKeyFileToMakesAnExactCopyReplacingAFile)
{
    Add("Mine", KeyFileName(), &s_keyFile);
    const std::string dest = m_scratch / "mine.exp";
    WriteWholeFile(dest, "old");
    ASSERT_EQ(::chmod(dest.c_str(), 0444), 0);

    ASSERT_TRUE(m_list.CopyKeyFileTo(dest, 0));
    EXPECT_EQ(ReadWholeFile(dest), s_keyFile);
    EXPECT_EQ(m_scratch.CountTempFiles(), 0);
}

TEST_F(KeyPairListTest, AFailedCopyLeavesTheDestinationAsItWas)
{
    Add("Mine", KeyFileName(), &s_keyFile);
    Add("Gone", std::string(kOtherGuid) + ".key", nullptr);
    const std::string dest = m_scratch / "mine.exp";
    WriteWholeFile(dest, "old");

    EXPECT_FALSE(m_list.CopyKeyFileTo(dest, 1));
    EXPECT_FALSE(m_list.CopyKeyFileTo(dest, 2));
    EXPECT_FALSE(m_list.CopyKeyFileTo(dest, -1));
    EXPECT_FALSE(m_list.CopyKeyFileTo(m_scratch / "missing/mine.exp", 0));
    EXPECT_EQ(ReadWholeFile(dest), "old");
    EXPECT_EQ(m_scratch.CountTempFiles(), 0);
}

} // namespace
