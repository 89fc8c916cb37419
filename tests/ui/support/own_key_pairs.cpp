#include "support/own_key_pairs.h"

#include "app/repository.h"
#include "config/key_pair_list.h"
#include "support/key_server.h"
#include "support/key_test_support.h"
#include "util/folder_paths.h"

#include <cstdio>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

std::string NumberedGuid(int number)
{
    char guid[33];
    std::snprintf(guid, sizeof guid, "%032X", static_cast<unsigned>(number));
    return guid;
}

std::string RegisterNumberedKeyPair(const std::string& name, int number)
{
    std::unique_ptr<CKeyPair> pair = CopyOfSharedKeyPair();
    pair->SetGuid(NumberedGuid(number));
    RegisterKeyPair(*pair, name);
    return pair->GetGuid() + ".key";
}

std::vector<std::string> KeyPairNames()
{
    const CKeyPairList& list = *GetRepository()->m_pKeyPairList;
    std::vector<std::string> names;
    for (int i = 0; i < list.GetCount(); ++i)
        names.push_back(list.GetAt(i)->GetName());
    return names;
}

std::vector<std::string> KeyPairEntries()
{
    const CKeyPairList& list = *GetRepository()->m_pKeyPairList;
    std::vector<std::string> entries;
    for (int i = 0; i < list.GetCount(); ++i)
        entries.push_back(list.GetAt(i)->GetName() + " " + list.GetAt(i)->GetFile());
    return entries;
}

std::string KeysConfPath()
{
    return g_szDataFolder + "keys.conf";
}

std::vector<std::string> KeysConfEntries()
{
    CKeyPairList fromFile;
    std::vector<std::string> entries;
    if (!fromFile.Load(g_szDataFolder))
        return {"(keys.conf cannot be read)"};
    for (int i = 0; i < fromFile.GetCount(); ++i)
        entries.push_back(fromFile.GetAt(i)->GetName() + " " + fromFile.GetAt(i)->GetFile());
    return entries;
}

CImmutableScope::CImmutableScope(std::string path)
    : m_path(std::move(path)), m_bSet(SetImmutable(m_path, true))
{
}

CImmutableScope::~CImmutableScope()
{
    if (m_bSet)
        SetImmutable(m_path, false);
}

bool CImmutableScope::SetImmutable(const std::string& path, bool immutable)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    int flags = 0;
    bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (done) {
        flags = immutable ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        done = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return done;
}
