#include "config/conf_file.h"

#include "config/string_file.h"
#include "util/file_system.h"
#include "util/temp_file.h"
#include "util/unique_fd.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

namespace {

// Makes sure a file stands at path: a folder there is removed with its contents, and a missing
// file is created empty.
bool EnsureFileExists(const std::string& path)
{
    struct stat status {};
    if (::stat(path.c_str(), &status) == 0) {
        if (!S_ISDIR(status.st_mode))
            return true;
        (void)RemoveFolderTree(path);
    }
    CUniqueFd created(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    return created.IsOpen() && created.Close();
}

} // namespace

void CConfFile::SetPathIn(const std::string& folder)
{
    m_szPath = folder;
    if (m_szPath.empty() || m_szPath.back() != '/')
        m_szPath += '/';
    m_szPath += m_szFileName;
}

bool CConfFile::ReadLines(C8riStringFile& file)
{
    BeginLoad();
    while (std::optional<std::string_view> line = file.ReadLine()) {
        if (!ParseLine(*line))
            break;
    }
    // A read error would leave a partial list that EndLoad might write back over the whole file.
    return !file.HasFailed() && EndLoad();
}

bool CConfFile::Load(const std::string& folder)
{
    m_bReadOnly = false;
    SetPathIn(folder);
    C8riStringFile file;
    if (!EnsureFileExists(m_szPath) || !file.Open(m_szPath) || !ReadLines(file)) {
        m_szPath.clear();
        return false;
    }
    return true;
}

bool CConfFile::LoadReadOnly(const std::string& folder)
{
    m_bReadOnly = true;
    SetPathIn(folder);
    C8riStringFile file;
    if (file.Open(m_szPath))
        return ReadLines(file);
    if (errno != ENOENT)
        return false;
    BeginLoad();
    return EndLoad();
}

bool CConfFile::WriteKeyValue(std::string& text, std::string_view key, std::string_view value)
{
    if (value.find_first_of("\r\n") != std::string_view::npos)
        return false;
    text.append(key).append(value).append("\r\n");
    return true;
}

bool CConfFile::WriteFile(std::string_view text) const
{
    if (m_bReadOnly)
        return false;
    CTempFile file = NewTempFile();
    return file && file.Write(text) && ReplaceFromTempFile(file, m_szPath);
}
