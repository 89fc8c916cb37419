#include "app/repository.h"

#include "crypto/openssl_providers.h"
#include "support/scratch_folder.h"
#include "util/file_system.h"
#include "util/folder_paths.h"

#include <gtest/gtest.h>
#include <unistd.h>

namespace {

// Points the data folder at a scratch folder and removes any repository afterwards.
class RepositoryTest : public ::testing::Test {
protected:
    void SetUp() override { g_szDataFolder = m_scratch.Path() + "/"; }
    void TearDown() override
    {
        DeleteRepository();
        g_szDataFolder.clear();
    }

    const COpenSslProviders m_providers;
    CScratchFolder m_scratch;
};

TEST_F(RepositoryTest, FirstStartCreatesTheThreeFilesEmptyAndKeepsOneRepository)
{
    CPellmarRepository* repository = GetRepository();
    ASSERT_NE(repository, nullptr);
    EXPECT_EQ(repository->m_pKeyPairList->GetCount(), 0);
    EXPECT_EQ(repository->m_pDestinationList->GetCount(), 0);
    EXPECT_EQ(repository->m_pInternetSetting->GetFtp(), "");
    EXPECT_EQ(repository->m_pKeyGenerator->GetKeyPair(), nullptr);
    for (const char* file : {"keys.conf", "dest.conf", "inet.conf"})
        EXPECT_EQ(ReadWholeFile(m_scratch / file), "") << file;

    EXPECT_EQ(GetRepository(), repository);
}

TEST_F(RepositoryTest, LoadsWhatTheFilesHoldMendingAShortList)
{
    WriteWholeFile(m_scratch / "dest.conf", "TOTAL=2\r\n[1]\r\nNAME=Bob\r\nURL=http://b/k\r\n");
    WriteWholeFile(m_scratch / "keys.conf", "TOTAL=1\r\n[0]\r\nNAME=Mine\r\nFILE=ABC.key\r\n");

    CPellmarRepository* repository = GetRepository();
    ASSERT_NE(repository, nullptr);
    EXPECT_EQ(repository->m_pDestinationList->GetAt(0)->GetName(), "Bob");
    EXPECT_EQ(repository->m_pKeyPairList->GetAt(0)->GetFile(), "ABC.key");
    EXPECT_EQ(ReadWholeFile(m_scratch / "dest.conf"), "TOTAL=1\r\n[0]\r\nNAME=Bob\r\nURL=http://b/k\r\n");
}

TEST_F(RepositoryTest, AnyFileThatCannotBeMadeLeavesNoRepositoryAndALaterCallTriesAgain)
{
    const char* const files[] = {"keys.conf", "dest.conf", "inet.conf"};
    for (const char* blocked : files) {
        // A link to nowhere stands where the file should be made.
        ASSERT_EQ(::symlink((m_scratch / "nowhere/x").c_str(), (m_scratch / blocked).c_str()), 0);
        EXPECT_EQ(GetRepository(), nullptr) << blocked;
        for (const char* file : files)
            ASSERT_TRUE(ForceDeleteFile(m_scratch / file));
    }
    EXPECT_NE(GetRepository(), nullptr);
}

} // namespace
