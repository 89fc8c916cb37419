#include "fuzz_support.h"

#include "config/machine_id.h"
#include "crypto/openssl_providers.h"
#include "util/file_system.h"
#include "util/folder_paths.h"
#include "util/unique_fd.h"

#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <memory>

namespace {

// Owns the scratch folder of the process; see ScratchFolder.
class CScratchFolder {
public:
    CScratchFolder()
    {
        const char* systemTemp = std::getenv("TMPDIR");
        m_path =
            std::string(systemTemp && *systemTemp ? systemTemp : "/tmp") + "/pellmar-fuzz-XXXXXX";
        if (::mkdtemp(m_path.data()) == nullptr || !CreateFolder(m_path + "/temp"))
            FuzzFailure("cannot make the scratch folder");
        g_szTempFolder = m_path + "/temp/";
    }
    ~CScratchFolder() { (void)RemoveFolderTree(m_path); }
    CScratchFolder(const CScratchFolder&) = delete;
    CScratchFolder& operator=(const CScratchFolder&) = delete;

    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

struct DirClose {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

} // namespace

std::string CorpusPath(std::string_view relativePath)
{
    return std::string(PELLMAR_FUZZ_CORPUS).append(relativePath);
}

const std::string& ScratchFolder()
{
    static const CScratchFolder folder;
    return folder.Path();
}

std::string ScratchPath(std::string_view name)
{
    return ScratchFolder() + "/" + std::string(name);
}

bool IsTempFolderEmpty()
{
    const std::unique_ptr<DIR, DirClose> dir(::opendir(g_szTempFolder.c_str()));
    if (!dir)
        FuzzFailure("cannot read the temp folder");
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..")
            return false;
    }
    return true;
}

void WriteInputFile(const std::string& path, const std::uint8_t* data, std::size_t size)
{
    CUniqueFd file(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    if (!file.IsOpen() || !WriteAll(file.Get(), data, size) || !file.Close())
        FuzzFailure("cannot write the input file");
}

void EnablePasswordProtection()
{
    // Kept for the whole process: the password functions use the newest live one.
    static const COpenSslProviders providers;
    if (!providers.IsReady())
        FuzzFailure(providers.GetError());
    g_szMachineId = kFuzzMachineId;
}

void FuzzFailure(std::string_view what)
{
    std::fprintf(stderr, "fuzz: %.*s\n", static_cast<int>(what.size()), what.data());
    std::abort();
}
