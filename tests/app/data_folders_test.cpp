#include "app/data_folders.h"

#include "support/child_process.h"
#include "support/scratch_folder.h"
#include "util/folder_paths.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

mode_t FolderMode(const std::string& path)
{
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0 || !S_ISDIR(status.st_mode))
        return 0;
    return status.st_mode & 07777;
}

// Points XDG_DATA_HOME and HOME into a scratch folder for the length of a test.
class DataFoldersTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SaveVariable("XDG_DATA_HOME");
        SaveVariable("HOME");
        ::setenv("XDG_DATA_HOME", (m_scratch / "data").c_str(), 1);
        ::setenv("HOME", (m_scratch / "home").c_str(), 1);
    }
    void TearDown() override
    {
        for (const auto& [name, value] : m_saved) {
            if (value)
                ::setenv(name.c_str(), value->c_str(), 1);
            else
                ::unsetenv(name.c_str());
        }
    }
    void SaveVariable(const char* name)
    {
        const char* value = std::getenv(name);
        m_saved.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
    }

    CScratchFolder m_scratch;
    std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;
};

TEST_F(DataFoldersTest, BuildsThePrivateTreeOnAFreshMachine)
{
    CDataFolders folders;
    ASSERT_TRUE(folders.BuildDataFolders());

    const std::string data = m_scratch / "data/Talvex/pellmar";
    EXPECT_EQ(folders.m_szDataFolder, data);
    EXPECT_EQ(folders.m_szKeysFolder, data + "/keys");
    EXPECT_EQ(folders.m_szTempFolder, data + "/temp");
    for (const std::string& folder : {data, data + "/keys", data + "/temp"})
        EXPECT_EQ(FolderMode(folder), 0700u) << folder;
}

TEST_F(DataFoldersTest, TightensExistingFoldersAndReplacesFilesInTheWay)
{
    const std::string data = m_scratch / "data";
    ASSERT_EQ(::mkdir(data.c_str(), 0755), 0);
    WriteWholeFile(data + "/Talvex", "a file where the folder belongs");
    ASSERT_EQ(::mkdir((m_scratch / "elsewhere").c_str(), 0755), 0);

    CDataFolders first;
    ASSERT_TRUE(first.BuildDataFolders());
    WriteWholeFile(first.m_szKeysFolder + "/K.key", "kept");
    ASSERT_EQ(::chmod(first.m_szKeysFolder.c_str(), 0755), 0);

    CDataFolders second;
    ASSERT_TRUE(second.BuildDataFolders());
    EXPECT_EQ(FolderMode(second.m_szKeysFolder), 0700u);
    EXPECT_EQ(ReadWholeFile(second.m_szKeysFolder + "/K.key"), "kept");
}

TEST_F(DataFoldersTest, FallsBackToHomeWhenTheDataHomeIsNotAbsolute)
{
    for (const char* dataHome : {"relative/path", ""}) {
        ::setenv("XDG_DATA_HOME", dataHome, 1);
        std::string path;
        ASSERT_TRUE(GetAppDataFolder(path));
        EXPECT_EQ(path, m_scratch / "home/.local/share");
        EXPECT_NE(FolderMode(path), 0u) << "the missing folder and its parents are made";
    }
}

TEST_F(DataFoldersTest, FailsWhenTheKeysFolderCannotBeMade)
{
    if (!CanRunAsOtherUser())
        GTEST_SKIP() << "needs root to stage a file the builder may not change";
    CDataFolders folders;
    ASSERT_TRUE(folders.BuildDataFolders());
    ASSERT_EQ(::rmdir(folders.m_szKeysFolder.c_str()), 0);
    // A read-only file of someone else's where the keys folder belongs.
    WriteWholeFile(folders.m_szKeysFolder, "not ours");
    ASSERT_EQ(::chmod(folders.m_szKeysFolder.c_str(), 0444), 0);
    for (const std::string& folder : {m_scratch / "data", m_scratch / "data/Talvex",
                                      folders.m_szDataFolder, folders.m_szTempFolder})
        GiveToOtherUser(folder.c_str());

    EXPECT_FALSE(RunAsOtherUser([] { return CDataFolders().BuildDataFolders(); }));
    EXPECT_EQ(ReadWholeFile(folders.m_szKeysFolder), "not ours");
}

TEST(SetFolderPaths, EndsEachPathWithOneSlash)
{
    SetFolderPaths("/d", "/d/keys/", "/d/temp");
    EXPECT_EQ(g_szDataFolder, "/d/");
    EXPECT_EQ(g_szKeysFolder, "/d/keys/");
    EXPECT_EQ(g_szTempFolder, "/d/temp/");
}

} // namespace
