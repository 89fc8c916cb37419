#include "app/data_folders.h"

#include "util/file_system.h"
#include "util/folder_paths.h"

#include <cerrno>
#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string HomeFolder()
{
    if (const char* home = std::getenv("HOME"); home && home[0] == '/')
        return home;
    if (const passwd* user = ::getpwuid(::getuid()); user && user->pw_dir && user->pw_dir[0] == '/')
        return user->pw_dir;
    return {};
}

// mkdir -p with mode 0700 for the folders it makes.
bool MakeFolderWithParents(const std::string& path)
{
    for (std::string::size_type slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string folder = path.substr(0, slash);
        if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
        if (slash == std::string::npos)
            break;
    }
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

// Makes one folder of the tree and takes every permission from group and others.
bool CreatePrivateFolder(const std::string& path)
{
    return CreateFolder(path) && ::chmod(path.c_str(), 0700) == 0;
}

std::string WithTrailingSlash(std::string path)
{
    if (path.empty() || path.back() != '/')
        path += '/';
    return path;
}

} // namespace

bool GetAppDataFolder(std::string& path)
{
    path.clear();
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    std::string folder;
    if (dataHome && dataHome[0] == '/')
        folder = dataHome;
    else if (std::string home = HomeFolder(); !home.empty())
        folder = WithTrailingSlash(home) + ".local/share";
    if (folder.empty() || !MakeFolderWithParents(folder))
        return false;
    path = folder;
    return true;
}

void SetFolderPaths(const std::string& dataFolder, const std::string& keysFolder,
                    const std::string& tempFolder)
{
    g_szDataFolder = WithTrailingSlash(dataFolder);
    g_szKeysFolder = WithTrailingSlash(keysFolder);
    g_szTempFolder = WithTrailingSlash(tempFolder);
}

bool CDataFolders::BuildDataFolders()
{
    std::string appData;
    if (!GetAppDataFolder(appData))
        return false;
    const std::string vendorFolder = WithTrailingSlash(appData) + "Talvex";
    if (!CreateFolder(vendorFolder))
        return false;
    m_szDataFolder = vendorFolder + "/pellmar";
    m_szKeysFolder = m_szDataFolder + "/keys";
    m_szTempFolder = m_szDataFolder + "/temp";
    return CreatePrivateFolder(m_szDataFolder) && CreatePrivateFolder(m_szKeysFolder) &&
           CreatePrivateFolder(m_szTempFolder);
}
