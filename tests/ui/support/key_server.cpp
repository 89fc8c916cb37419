#include "support/key_server.h"

#include "app/repository.h"
#include "support/scratch_folder.h"
#include "util/folder_paths.h"

#include <QDir>

#include <stdexcept>

namespace {

// Makes folder/name and gives its path.
std::string MadeFolder(const QTemporaryDir& folder, const QString& name)
{
    if (!folder.isValid() || !QDir(folder.path()).mkdir(name))
        throw std::runtime_error("cannot make the web server's folder");
    return folder.filePath(name).toStdString();
}

} // namespace

CKeyServer::CKeyServer()
    : m_rootPath(MadeFolder(m_folder, QStringLiteral("root"))),
      m_logPath(m_folder.filePath(QStringLiteral("requests.log")).toStdString()),
      m_server("http_server.py", {"--root", m_rootPath, "--log", m_logPath})
{
}

std::string CKeyServer::Url(const std::string& name) const
{
    return "http://" + m_server.GetAddress() + "/" + name;
}

void CKeyServer::PublishKey(const CPublicKey& key, const std::string& name) const
{
    CTempFile file = WritePublicKeyTempFile(key);
    if (!file || !CopyTempFileTo(file, m_rootPath + "/" + name, EFileAccess::Shared))
        throw std::runtime_error("cannot publish the public key file " + name);
}

void CKeyServer::PublishText(const std::string& name, const std::string& text) const
{
    WriteWholeFile(m_rootPath + "/" + name, text);
}

int RequestCount(const std::string& logText)
{
    int count = 0;
    for (std::size_t at = logText.find("GET /"); at != std::string::npos;
         at = logText.find("GET /", at + 1))
        ++count;
    return count;
}

void RegisterKeyPair(CKeyPair& pair, const std::string& name)
{
    const std::string fileName = pair.GetGuid() + ".key";
    if (!pair.SaveFile(g_szKeysFolder + fileName) ||
        !GetRepository()->m_pKeyPairList->InsertAt(-1, CKeyPairOfConf(name, fileName)))
        throw std::runtime_error("cannot register the key pair " + name);
}

QStringList TempFolderEntries()
{
    return QDir(QString::fromStdString(g_szTempFolder))
        .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
}
