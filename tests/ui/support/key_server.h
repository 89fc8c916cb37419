#pragma once

#include "crypto/key_pair.h"
#include "support/local_server.h"

#include <QStringList>
#include <QTemporaryDir>

#include <string>

// A web server on 127.0.0.1 for one test program: the place where destinations publish their
// public key files. It serves the files of a folder of its own and logs every request; it stops
// when the object goes, whatever the outcome of the tests.
class CKeyServer {
public:
    CKeyServer();

    // "http://127.0.0.1:PORT/" + name.
    std::string Url(const std::string& name) const;
    // Publishes key's public key file as name, written as the program writes one. Needs the
    // program's temp folder (a CDataScope).
    void PublishKey(const CPublicKey& key, const std::string& name) const;
    void PublishText(const std::string& name, const std::string& text) const;
    // Watches the request log from now on.
    CLogWatch Watch() const { return CLogWatch(m_logPath); }

private:
    QTemporaryDir m_folder;
    std::string m_rootPath;
    std::string m_logPath;
    CLocalServer m_server;
};

// A URL that passes the program's prefix check but where nothing answers.
inline constexpr const char* kUnreachableUrl = "http://127.0.0.1:1/key.pub";

// Number of requests in a piece of the server's log.
int RequestCount(const std::string& logText);

// Saves pair into the keys folder under the name the program gives key pair files (GUID + ".key")
// and registers it in keys.conf under name, through the repository: the user's own key pair.
void RegisterKeyPair(CKeyPair& pair, const std::string& name);

// What stands in the program's temp folder (g_szTempFolder), hidden names included.
QStringList TempFolderEntries();
