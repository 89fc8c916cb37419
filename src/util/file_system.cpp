#include "util/file_system.h"

#include "util/unique_fd.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// Gives a read-only entry back its owner's write permission. Links carry no permissions of
// their own, so they are left alone (changing one would change its target).
bool ClearReadOnlyAt(int folderFd, const char* name, const struct stat& status)
{
    if (S_ISLNK(status.st_mode) || (status.st_mode & S_IWUSR) != 0)
        return true;
    return ::fchmodat(folderFd, name, (status.st_mode & 07777) | S_IWUSR, 0) == 0;
}

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

bool RemoveEntryAt(int folderFd, const char* name)
{
    struct stat status {};
    if (::fstatat(folderFd, name, &status, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT;
    if (!ClearReadOnlyAt(folderFd, name, status))
        return false;
    if (!S_ISDIR(status.st_mode))
        return ::unlinkat(folderFd, name, 0) == 0;

    // O_NOFOLLOW: should the folder be swapped for a link meanwhile, the open fails instead of
    // walking into the link's target.
    CUniqueFd folder(::openat(folderFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (folder.IsOpen()) {
        for (const std::string& entry : FolderEntries(folder.Get())) {
            if (!RemoveEntryAt(folder.Get(), entry.c_str()))
                return false;
        }
    }
    return ::unlinkat(folderFd, name, AT_REMOVEDIR) == 0;
}

} // namespace

std::vector<std::string> FolderEntries(int folderFd)
{
    std::vector<std::string> names;
    int listFd = ::dup(folderFd);
    if (listFd < 0)
        return names;
    std::unique_ptr<DIR, DirCloser> dir(::fdopendir(listFd));
    if (!dir) {
        ::close(listFd);
        return names;
    }
    while (const dirent* entry = ::readdir(dir.get())) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            names.emplace_back(entry->d_name);
    }
    return names;
}

bool CreateFolder(const std::string& path)
{
    struct stat status {};
    if (::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode))
        return true;
    if (!ForceDeleteFile(path))
        return false;
    return ::mkdir(path.c_str(), 0700) == 0;
}

bool ForceDeleteFile(const std::string& path)
{
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0)
        return errno == ENOENT;
    if (!ClearReadOnlyAt(AT_FDCWD, path.c_str(), status))
        return false;
    return ::unlink(path.c_str()) == 0;
}

bool RemoveFolderTree(const std::string& path)
{
    return RemoveEntryAt(AT_FDCWD, path.c_str());
}

std::string ParentFolderOf(const std::string& path)
{
    std::string::size_type slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}
