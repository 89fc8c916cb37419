#include "util/file_system.h"

#include "support/child_process.h"
#include "support/scratch_folder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool IsFolder(const std::string& path)
{
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

void MakeReadOnlyFile(const std::string& path, const std::string& content = "x")
{
    WriteWholeFile(path, content);
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
}

TEST(CreateFolder, KeepsAnExistingFolderAndItsContent)
{
    CScratchFolder scratch;
    ASSERT_EQ(::mkdir((scratch / "f").c_str(), 0755), 0);
    WriteWholeFile(scratch / "f/inside", "kept");

    EXPECT_TRUE(CreateFolder(scratch / "f"));
    EXPECT_EQ(ReadWholeFile(scratch / "f/inside"), "kept");
}

TEST(CreateFolder, ReplacesAReadOnlyFileByAPrivateFolder)
{
    CScratchFolder scratch;
    MakeReadOnlyFile(scratch / "f");

    ASSERT_TRUE(CreateFolder(scratch / "f"));
    struct stat status {};
    ASSERT_EQ(::stat((scratch / "f").c_str(), &status), 0);
    EXPECT_TRUE(S_ISDIR(status.st_mode));
    EXPECT_EQ(status.st_mode & 0777, 0700u);
}

TEST(CreateFolder, FailsUnderAMissingParent)
{
    CScratchFolder scratch;
    EXPECT_FALSE(CreateFolder(scratch / "missing/f"));
    EXPECT_FALSE(PathExists(scratch / "missing"));
}

TEST(ForceDeleteFile, DeletesReadOnlyFilesAndLinksButNeverTheirTargets)
{
    CScratchFolder scratch;
    MakeReadOnlyFile(scratch / "read-only");
    WriteWholeFile(scratch / "target", "target");
    ASSERT_EQ(::chmod((scratch / "target").c_str(), 0444), 0);
    ASSERT_EQ(::symlink((scratch / "target").c_str(), (scratch / "link").c_str()), 0);

    EXPECT_TRUE(ForceDeleteFile(scratch / "missing"));
    EXPECT_TRUE(ForceDeleteFile(scratch / "read-only"));
    EXPECT_TRUE(ForceDeleteFile(scratch / "link"));

    EXPECT_FALSE(PathExists(scratch / "read-only"));
    EXPECT_FALSE(PathExists(scratch / "link"));
    struct stat status {};
    ASSERT_EQ(::stat((scratch / "target").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0444u) << "the link's target must keep its permissions";
}

TEST(RemoveFolderTree, RemovesNestedFoldersAndReadOnlyEntries)
{
    CScratchFolder scratch;
    const std::string tree = scratch / "tree";
    ASSERT_EQ(::mkdir(tree.c_str(), 0755), 0);
    ASSERT_EQ(::mkdir((tree + "/a").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir((tree + "/a/b").c_str(), 0755), 0);
    MakeReadOnlyFile(tree + "/a/b/deep");
    MakeReadOnlyFile(tree + "/top");
    ASSERT_EQ(::chmod((tree + "/a").c_str(), 0555), 0);

    EXPECT_TRUE(RemoveFolderTree(scratch / "missing"));
    EXPECT_TRUE(RemoveFolderTree(tree));
    EXPECT_FALSE(PathExists(tree));
}

TEST(RemoveFolderTree, RemovesLinksAsLinksAndLeavesTheirTargetsWhole)
{
    CScratchFolder scratch;
    const std::string outside = scratch / "outside";
    ASSERT_EQ(::mkdir(outside.c_str(), 0755), 0);
    WriteWholeFile(outside + "/precious", "keep me");
    const std::string tree = scratch / "tree";
    ASSERT_EQ(::mkdir(tree.c_str(), 0755), 0);
    ASSERT_EQ(::symlink(outside.c_str(), (tree + "/to-folder").c_str()), 0);
    ASSERT_EQ(::symlink((outside + "/precious").c_str(), (tree + "/to-file").c_str()), 0);
    ASSERT_EQ(::symlink(outside.c_str(), (scratch / "link-to-folder").c_str()), 0);

    EXPECT_TRUE(RemoveFolderTree(tree));
    EXPECT_TRUE(RemoveFolderTree(scratch / "link-to-folder"));

    EXPECT_FALSE(PathExists(tree));
    EXPECT_FALSE(PathExists(scratch / "link-to-folder"));
    EXPECT_EQ(ReadWholeFile(outside + "/precious"), "keep me");
}

TEST(RemoveFolderTree, StopsAtAnEntryThatCannotBeDeletedAndKeepsIt)
{
    if (!CanRunAsOtherUser())
        GTEST_SKIP() << "needs root to stage a file that cannot be deleted";
    CScratchFolder scratch;
    // The other user owns the tree but not the sub-folder, so it cannot delete the file in it.
    const std::string tree = scratch / "tree";
    ASSERT_EQ(::mkdir(tree.c_str(), 0755), 0);
    ASSERT_EQ(::mkdir((tree + "/locked").c_str(), 0755), 0);
    WriteWholeFile(tree + "/locked/stuck", "stuck");
    GiveToOtherUser(tree.c_str());

    EXPECT_FALSE(RunAsOtherUser([&] { return RemoveFolderTree(tree); }));
    EXPECT_TRUE(IsFolder(tree));
    EXPECT_EQ(ReadWholeFile(tree + "/locked/stuck"), "stuck");
}

TEST(ParentFolderOf, GivesTheFolderPart)
{
    EXPECT_EQ(ParentFolderOf("/a/b/c.txt"), "/a/b");
    EXPECT_EQ(ParentFolderOf("/c.txt"), "/");
    EXPECT_EQ(ParentFolderOf("c.txt"), ".");
}

} // namespace
