#pragma once

#include "app/repository.h"
#include "crypto/openssl_providers.h"

#include <QTemporaryDir>

#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

// A data folder of the test's own (with keys/ and temp/) published as the program's folders, and
// the repository loaded from it, seeded with destinations; the repository is deleted and the
// folder removed at the end of the scope.
class CDataScope {
public:
    using Destinations = std::vector<std::pair<std::string, std::string>>; // name, URL

    explicit CDataScope(const Destinations& destinations = {});
    ~CDataScope();
    CDataScope(const CDataScope&) = delete;
    CDataScope& operator=(const CDataScope&) = delete;

    CDestinationList& List() const { return *GetRepository()->m_pDestinationList; }
    std::string DestConfPath() const;
    // The names in the destination list, in order.
    std::vector<std::string> Names() const;

private:
    const COpenSslProviders m_providers;
    QTemporaryDir m_folder;
};

// What changes when a file is written: the program replaces a file by renaming a new one over
// it, so its inode changes; the modification time covers writes in place.
struct SFileStamp {
    ino_t m_inode = 0;
    long long m_mtimeNs = 0;
    std::string m_content;
    bool operator==(const SFileStamp&) const = default;
};
SFileStamp StampOf(const std::string& path);
