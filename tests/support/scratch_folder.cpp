#include "support/scratch_folder.h"

#include "util/file_system.h"
#include "util/folder_paths.h"

#include <algorithm>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/stat.h>
#include <vector>

std::string CScratchFolder::SystemTempFolder()
{
    const char* systemTemp = std::getenv("TMPDIR");
    return systemTemp && *systemTemp ? systemTemp : "/tmp";
}

CScratchFolder::CScratchFolder(const std::string& parent) : m_previousTempFolder(g_szTempFolder)
{
    std::string pattern = parent + "/pellmar-test-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (::mkdtemp(name.data()) == nullptr)
        throw std::runtime_error("cannot make a scratch folder");
    m_path = name.data();
    // Others must be able to enter it for the tests that run a step as another user.
    ::chmod(m_path.c_str(), 0755);
    ::mkdir(TempFolder().c_str(), 0777);
    ::chmod(TempFolder().c_str(), 0777);
    g_szTempFolder = TempFolder();
}

CScratchFolder::~CScratchFolder()
{
    g_szTempFolder = m_previousTempFolder;
    EXPECT_TRUE(RemoveFolderTree(m_path)) << m_path;
}

int CScratchFolder::CountTempFiles() const
{
    return static_cast<int>(EntriesOf(TempFolder()).size());
}

std::vector<std::string> EntriesOf(const std::string& folder)
{
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..")
                names.push_back(name);
        }
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string ReadWholeFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

void WriteWholeFile(const std::string& path, const std::string& content)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    if (!out.flush())
        throw std::runtime_error("cannot write " + path);
}

bool PathExists(const std::string& path)
{
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0;
}

unsigned ModeOf(const std::string& path)
{
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 ? status.st_mode & 07777 : 0;
}

std::unique_ptr<CScratchFolder> ScratchOnAnotherFileSystem(const CScratchFolder& near)
{
    const char* memoryFolder = "/dev/shm";
    struct stat memory {};
    struct stat nearStatus {};
    if (::stat(memoryFolder, &memory) != 0 || ::stat(near.Path().c_str(), &nearStatus) != 0 ||
        memory.st_dev == nearStatus.st_dev)
        return nullptr;
    return std::make_unique<CScratchFolder>(memoryFolder);
}
