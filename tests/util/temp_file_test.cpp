#include "util/temp_file.h"

#include "support/child_process.h"
#include "support/scratch_folder.h"
#include "util/folder_paths.h"

#include <algorithm>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

CTempFile TempFileHolding(const std::string& content)
{
    CTempFile file = NewTempFile();
    EXPECT_TRUE(file);
    EXPECT_TRUE(file.Write(content));
    return file;
}

TEST(NewTempFile, MakesDistinctPrivateEmptyFilesThatVanishWithTheirOwner)
{
    CScratchFolder scratch;
    std::string firstPath;
    {
        CTempFile first = NewTempFile();
        CTempFile second = NewTempFile();
        ASSERT_TRUE(first && second);
        firstPath = first.GetPath();
        EXPECT_NE(first.GetPath(), second.GetPath());
        EXPECT_EQ(first.GetPath().rfind(scratch.TempFolder() + "tmp", 0), 0u) << first.GetPath();
        EXPECT_EQ(ReadWholeFile(second.GetPath()), "");
        EXPECT_EQ(ModeOf(first.GetPath()), 0600u);
        EXPECT_EQ(scratch.CountTempFiles(), 2);
    }
    EXPECT_EQ(scratch.CountTempFiles(), 0);
}

TEST(NewTempFile, FailsWhenTheTempFolderIsMissing)
{
    CScratchFolder scratch;
    g_szTempFolder = scratch / "missing/";
    EXPECT_FALSE(NewTempFile());
}

TEST(ReplaceFromTempFile, ReplacesAReadOnlyDestinationInOneStep)
{
    CScratchFolder scratch;
    const std::string dest = scratch / "dest";
    WriteWholeFile(dest, "old");
    ASSERT_EQ(::chmod(dest.c_str(), 0444), 0);

    CTempFile file = TempFileHolding("new");
    ASSERT_TRUE(ReplaceFromTempFile(file, dest));
    EXPECT_EQ(ReadWholeFile(dest), "new");
    EXPECT_FALSE(file);
    EXPECT_EQ(scratch.CountTempFiles(), 0);
}

TEST(ReplaceFromTempFile, GivesSharedFilesTheUmaskPermissionsAndKeepsOthersPrivate)
{
    CScratchFolder scratch;
    const mode_t savedUmask = ::umask(027);
    CTempFile shared = TempFileHolding("container");
    CTempFile secret = TempFileHolding("plaintext");
    EXPECT_TRUE(ReplaceFromTempFile(shared, scratch / "shared", EFileAccess::Shared));
    EXPECT_TRUE(CopyTempFileTo(secret, scratch / "secret"));
    ::umask(savedUmask);

    EXPECT_EQ(ModeOf(scratch / "shared"), 0640u);
    EXPECT_EQ(ModeOf(scratch / "secret"), 0600u);
}

TEST(ReplaceFromTempFile, FailingLeavesTheDestinationAsItWasAndNoTempFile)
{
    CScratchFolder scratch;
    // A folder standing at the destination cannot be replaced by a file.
    ASSERT_EQ(::mkdir((scratch / "dest").c_str(), 0755), 0);
    WriteWholeFile(scratch / "dest/inside", "old");

    CTempFile intoFolder = TempFileHolding("new");
    EXPECT_FALSE(ReplaceFromTempFile(intoFolder, scratch / "dest"));
    CTempFile intoMissingFolder = TempFileHolding("new");
    EXPECT_FALSE(ReplaceFromTempFile(intoMissingFolder, scratch / "missing/dest"));

    EXPECT_EQ(ReadWholeFile(scratch / "dest/inside"), "old");
    EXPECT_EQ(scratch.CountTempFiles(), 0);
}

TEST(CopyTempFileTo, CreatesANewFileButNeverReplacesOne)
{
    CScratchFolder scratch;
    WriteWholeFile(scratch / "existing", "old");

    CTempFile onto = TempFileHolding("new");
    EXPECT_FALSE(CopyTempFileTo(onto, scratch / "existing"));
    CTempFile fresh = TempFileHolding("new");
    EXPECT_TRUE(CopyTempFileTo(fresh, scratch / "fresh"));

    EXPECT_EQ(ReadWholeFile(scratch / "existing"), "old");
    EXPECT_EQ(ReadWholeFile(scratch / "fresh"), "new");
    EXPECT_EQ(scratch.CountTempFiles(), 0);
}

// The temp folder on another file system than the destination (a tmpfs), as when the data
// folder and the user's files live on different disks.
TEST(TempFileAcrossFileSystems, MovesBothWaysThroughAFileBesideTheDestination)
{
    CScratchFolder destinations;
    const std::unique_ptr<CScratchFolder> temp = ScratchOnAnotherFileSystem(destinations);
    if (!temp)
        GTEST_SKIP() << "needs /dev/shm on a file system of its own";

    WriteWholeFile(destinations / "replaced", "old");
    WriteWholeFile(destinations / "kept", "old");
    CTempFile replacing = TempFileHolding("new");
    CTempFile copying = TempFileHolding("new");
    CTempFile refused = TempFileHolding("new");

    // A file moves with its time, as a rename keeps it.
    const timespec past[2] = {{1000000000, 0}, {1000000000, 123000000}};
    ASSERT_EQ(::futimens(replacing.GetFd(), past), 0);
    EXPECT_TRUE(ReplaceFromTempFile(replacing, destinations / "replaced"));
    EXPECT_TRUE(CopyTempFileTo(copying, destinations / "created"));
    EXPECT_FALSE(CopyTempFileTo(refused, destinations / "kept"));

    EXPECT_EQ(ReadWholeFile(destinations / "replaced"), "new");
    struct stat moved {};
    ASSERT_EQ(::stat((destinations / "replaced").c_str(), &moved), 0);
    EXPECT_EQ(moved.st_mtim.tv_sec, past[1].tv_sec);
    EXPECT_EQ(moved.st_mtim.tv_nsec, past[1].tv_nsec);
    EXPECT_EQ(ReadWholeFile(destinations / "created"), "new");
    EXPECT_EQ(ReadWholeFile(destinations / "kept"), "old");
    EXPECT_EQ(temp->CountTempFiles(), 0);
    const std::vector<std::string> expected {"created", "kept", "replaced", "temp"};
    EXPECT_EQ(EntriesOf(destinations.Path()), expected) << "nothing may be left beside them";
}

TEST(RemoveStaleTempFiles, DeletesOnlyOldFilesThatNoLiveProcessHolds)
{
    CScratchFolder scratch;
    const timespec longAgo[2] = {{1000000000, 0}, {1000000000, 0}};
    auto makeOld = [&](const std::string& name) {
        WriteWholeFile(scratch.TempFolder() + name, "left by a killed process");
        ASSERT_EQ(::utimensat(AT_FDCWD, (scratch.TempFolder() + name).c_str(), longAgo, 0), 0);
    };
    makeOld("tmpKILLED");
    makeOld("notours");
    WriteWholeFile(scratch.TempFolder() + "tmpRECENT", "a file being made right now");
    CTempFile live = NewTempFile();
    ASSERT_TRUE(live.Write("still being written"));
    ASSERT_EQ(::futimens(live.GetFd(), longAgo), 0);

    RemoveStaleTempFiles();

    const std::string liveName = live.GetPath().substr(scratch.TempFolder().size());
    std::vector<std::string> expected {"notours", "tmpRECENT", liveName};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(EntriesOf(scratch.TempFolder()), expected);
}

TEST(CTempFile, WriteFailingPartWayIsReported)
{
    CScratchFolder scratch;
    EXPECT_FALSE(RunWithFileSizeLimit(10, [] {
        CTempFile file = NewTempFile();
        return file && file.Write(std::string(100, 'x'));
    }));
    EXPECT_EQ(scratch.CountTempFiles(), 0);
}

} // namespace
