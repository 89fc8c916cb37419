#include "support/data_scope.h"

#include "app/data_folders.h"

#include <QDir>
#include <QFile>

#include <stdexcept>
#include <sys/stat.h>

CDataScope::CDataScope(const Destinations& destinations)
{
    const QString path = m_folder.path();
    if (!m_folder.isValid() || !QDir(path).mkpath(QStringLiteral("keys")) ||
        !QDir(path).mkpath(QStringLiteral("temp")))
        throw std::runtime_error("cannot make a data folder");
    const std::string folder = path.toStdString();
    SetFolderPaths(folder, folder + "/keys", folder + "/temp");
    if (!GetRepository())
        throw std::runtime_error("cannot load the repository");
    for (const auto& [name, url] : destinations)
        static_cast<void>(List().InsertAt(List().GetCount(), CDestination(name, url)));
}

CDataScope::~CDataScope()
{
    DeleteRepository();
}

std::string CDataScope::DestConfPath() const
{
    return m_folder.path().toStdString() + "/dest.conf";
}

std::vector<std::string> CDataScope::Names() const
{
    std::vector<std::string> names;
    for (int i = 0; i < List().GetCount(); ++i)
        names.push_back(List().GetAt(i)->GetName());
    return names;
}

SFileStamp StampOf(const std::string& path)
{
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0)
        return {};
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return {status.st_ino, status.st_mtim.tv_sec * 1000000000LL + status.st_mtim.tv_nsec,
            file.readAll().toStdString()};
}
