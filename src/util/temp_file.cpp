#include "util/temp_file.h"

#include "util/file_system.h"
#include "util/folder_paths.h"

#include <array>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// Makes "<folder>/<prefix>XXXXXX" with mkostemp (mode 0600). An empty CTempFile on failure.
CTempFile MakeUniqueFile(const std::string& prefixPath)
{
    std::vector<char> name(prefixPath.begin(), prefixPath.end());
    const std::string pattern = "XXXXXX";
    name.insert(name.end(), pattern.begin(), pattern.end());
    name.push_back('\0');
    CUniqueFd fd(::mkostemp(name.data(), O_CLOEXEC));
    if (!fd.IsOpen())
        return {};
    // The lock tells RemoveStaleTempFiles that a live process still writes this file.
    (void)::flock(fd.Get(), LOCK_EX | LOCK_NB);
    return CTempFile(std::string(name.data()), std::move(fd));
}

// A temporary file is stale when no process holds its lock and nothing has written it for a
// while (a file is unlocked for a moment between its creation and its lock, and again between
// its closing and its move into place).
constexpr time_t kStaleAfterSeconds = 600;

// How much CTempFile::Write gathers before it asks the disk to start writing it.
constexpr std::uint64_t kWriteBehindBytes = 8 * 1024 * 1024;

bool IsStaleTempFile(int folderFd, const char* name, time_t now)
{
    CUniqueFd file(::openat(folderFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat status {};
    return file.IsOpen() && ::fstat(file.Get(), &status) == 0 && S_ISREG(status.st_mode) &&
           now - status.st_mtime > kStaleAfterSeconds &&
           ::flock(file.Get(), LOCK_EX | LOCK_NB) == 0;
}

// The process's umask, read without changing it (umask(2) can only be read by setting it, which
// would race with other threads creating files).
mode_t CurrentUmask()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Umask:", 0) == 0)
            return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
    }
    return 022;
}

bool SyncFolderOf(const std::string& path)
{
    CUniqueFd folder(::open(ParentFolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return folder.IsOpen() && ::fsync(folder.Get()) == 0;
}

bool RenameOver(const char* from, const char* to)
{
    return ::rename(from, to) == 0;
}

// A hard link is made in one step and never replaces an existing file; the temporary name is
// deleted afterwards.
bool LinkNew(const char* from, const char* to)
{
    return ::link(from, to) == 0;
}

// Gives the copy the access and modification time of the file at fromPath, as a move keeps them
// (a restored file's time is set before it is put in place).
bool CopyFileTimes(const std::string& fromPath, const CTempFile& to)
{
    struct stat status {};
    if (::stat(fromPath.c_str(), &status) != 0)
        return false;
    const timespec times[2] = {status.st_atim, status.st_mtim};
    return ::futimens(to.GetFd(), times) == 0;
}

using PlaceFunction = bool (*)(const char* from, const char* to);

// Puts the file at `from` at `to` with place, which fails with EXDEV when the two are on different
// file systems. The content then goes first into a new file beside the destination, which is put
// in place the same way; that file's leftover name is deleted when it goes out of scope.
bool PlaceFile(const std::string& from, const std::string& to, EFileAccess access,
               PlaceFunction place)
{
    if (place(from.c_str(), to.c_str()))
        return true;
    if (errno != EXDEV)
        return false;
    CTempFile beside = MakeUniqueFile(ParentFolderOf(to) + "/.tmp");
    return beside && AppendFileContent(from, beside) && CopyFileTimes(from, beside) &&
           beside.Finish(access) && place(beside.GetPath().c_str(), to.c_str());
}

bool MoveIntoPlace(CTempFile& file, const std::string& destPath, EFileAccess access,
                   PlaceFunction place)
{
    bool placed = file.Finish(access) && PlaceFile(file.GetPath(), destPath, access, place);
    DiscardTempFile(file);
    if (placed)
        (void)SyncFolderOf(destPath);
    return placed;
}

} // namespace

CTempFile& CTempFile::operator=(CTempFile&& other) noexcept
{
    if (this != &other) {
        DiscardTempFile(*this);
        m_path = std::exchange(other.m_path, {});
        m_fd = std::move(other.m_fd);
        m_nWritten = std::exchange(other.m_nWritten, 0);
        m_nWrittenBack = std::exchange(other.m_nWrittenBack, 0);
    }
    return *this;
}

CTempFile::~CTempFile()
{
    DiscardTempFile(*this);
}

bool CTempFile::Write(std::string_view bytes) const
{
    if (!WriteAll(m_fd.Get(), bytes.data(), bytes.size()))
        return false;
    m_nWritten += bytes.size();
    if (m_nWritten - m_nWrittenBack >= kWriteBehindBytes) {
        // Only a hint to start the disk writes early; Finish's fsync still waits for them all.
        (void)::sync_file_range(m_fd.Get(), static_cast<off64_t>(m_nWrittenBack),
                                static_cast<off64_t>(m_nWritten - m_nWrittenBack),
                                SYNC_FILE_RANGE_WRITE);
        m_nWrittenBack = m_nWritten;
    }
    return true;
}

bool CTempFile::Finish(EFileAccess access)
{
    bool done = access == EFileAccess::Private || ::fchmod(m_fd.Get(), 0666 & ~CurrentUmask()) == 0;
    done = ::fsync(m_fd.Get()) == 0 && done;
    return m_fd.Close() && done;
}

void CTempFile::Release()
{
    m_fd.Close();
    m_path.clear();
}

bool AppendFileContent(const std::string& fromPath, const CTempFile& to)
{
    CUniqueFd from(::open(fromPath.c_str(), O_RDONLY | O_CLOEXEC));
    if (!from.IsOpen())
        return false;
    std::array<char, 65536> buffer {};
    for (;;) {
        long long got = ReadFull(from.Get(), buffer.data(), buffer.size());
        if (got < 0)
            return false;
        if (got == 0)
            return true;
        if (!to.Write(std::string_view(buffer.data(), static_cast<std::size_t>(got))))
            return false;
    }
}

void RemoveStaleTempFiles()
{
    CUniqueFd folder(::open(g_szTempFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (g_szTempFolder.empty() || !folder.IsOpen())
        return;
    const time_t now = ::time(nullptr);
    for (const std::string& name : FolderEntries(folder.Get())) {
        if (name.rfind("tmp", 0) == 0 && IsStaleTempFile(folder.Get(), name.c_str(), now))
            (void)::unlinkat(folder.Get(), name.c_str(), 0);
    }
}

CTempFile NewTempFile()
{
    if (g_szTempFolder.empty())
        return {};
    return MakeUniqueFile(g_szTempFolder + "tmp");
}

CTempFile NewTempFileFor(const std::string& destPath)
{
    // The temp folder comes first even when the file ends up beside the destination: it is
    // where RemoveStaleTempFiles clears what a killed process left, and an operation that cannot
    // have its temporary files there does not start.
    CTempFile inTempFolder = NewTempFile();
    if (!inTempFolder)
        return {};
    struct stat tempStatus {};
    struct stat destStatus {};
    if (::fstat(inTempFolder.GetFd(), &tempStatus) != 0 ||
        ::stat(ParentFolderOf(destPath).c_str(), &destStatus) != 0 ||
        tempStatus.st_dev == destStatus.st_dev)
        return inTempFolder;
    CTempFile beside = MakeUniqueFile(ParentFolderOf(destPath) + "/.tmp");
    return beside ? std::move(beside) : std::move(inTempFolder);
}

void DiscardTempFile(CTempFile& file)
{
    if (!file)
        return;
    const std::string path = file.GetPath();
    file.Release();
    (void)ForceDeleteFile(path);
}

bool ReplaceFromTempFile(CTempFile& file, const std::string& destPath, EFileAccess access)
{
    return MoveIntoPlace(file, destPath, access, RenameOver);
}

bool CopyTempFileTo(CTempFile& file, const std::string& destPath, EFileAccess access)
{
    return MoveIntoPlace(file, destPath, access, LinkNew);
}
