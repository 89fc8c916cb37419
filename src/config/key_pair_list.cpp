#include "config/key_pair_list.h"

#include "util/file_system.h"
#include "util/folder_paths.h"
#include "util/temp_file.h"

#include <sys/stat.h>

namespace {

// Deletes the key pair file at path; a missing one is fine. A folder standing there is no key
// pair file (an entry with an empty file name points at the keys folder itself) and stays.
bool DeleteKeyFile(const std::string& path)
{
    struct stat status {};
    if (::lstat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode))
        return true;
    return ForceDeleteFile(path);
}

} // namespace

bool CKeyPairList::RemoveAt(int index)
{
    const CKeyPairOfConf* entry = GetAt(index);
    if (entry == nullptr)
        return false;
    // Deleting a file that another entry still names would lose that entry's key pair.
    const bool shared = AnyOtherEntry(
        index, [&](const CKeyPairOfConf& other) { return other.GetFile() == entry->GetFile(); });
    if (!shared && !DeleteKeyFile(KeyFilePathAt(index)))
        return false;
    return CListConfFile::RemoveAt(index);
}

std::unique_ptr<CKeyPair> CKeyPairList::LoadKeyPairAt(int index) const
{
    if (!IsValidIndex(index))
        return nullptr;
    return LoadKeyPairFile(KeyFilePathAt(index));
}

bool CKeyPairList::CopyKeyFileTo(const std::string& destPath, int index) const
{
    if (!IsValidIndex(index))
        return false;
    CTempFile file = NewTempFile();
    return file && AppendFileContent(KeyFilePathAt(index), file) &&
           ReplaceFromTempFile(file, destPath);
}

bool CKeyPairList::HasKeyFile(const std::string& guid) const
{
    return FindEntry(guid) >= 0;
}

std::unique_ptr<CKeyPair> CKeyPairList::FindKeyPair(const std::string& guid) const
{
    return LoadKeyPairAt(FindEntry(guid));
}

std::string CKeyPairList::KeyFilePathAt(int index) const
{
    const CKeyPairOfConf* entry = GetAt(index);
    return entry ? g_szKeysFolder + entry->GetFile() : std::string();
}

int CKeyPairList::FindEntry(const std::string& guid) const
{
    if (guid.empty())
        return -1;
    for (int i = 0; i < GetCount(); ++i) {
        if (GetAt(i)->GetFile().starts_with(guid))
            return i;
    }
    return -1;
}
