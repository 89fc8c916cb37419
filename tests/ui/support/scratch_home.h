#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <optional>

// Points the per-user folders of this process and of the programs it starts (XDG_DATA_HOME and
// XDG_RUNTIME_DIR) at a scratch home for the scope's lifetime, as on a user's first start.
class CScratchHome {
public:
    CScratchHome();
    ~CScratchHome();
    CScratchHome(const CScratchHome&) = delete;
    CScratchHome& operator=(const CScratchHome&) = delete;

    QString DataHome() const { return m_home.filePath(QStringLiteral("data")); }
    QString RuntimeFolder() const { return m_home.filePath(QStringLiteral("run")); }
    // Where the program keeps its data below DataHome().
    QString DataFolder() const { return DataHome() + QStringLiteral("/Talvex/pellmar"); }

private:
    QTemporaryDir m_home;
    std::optional<QByteArray> m_previousData;
    std::optional<QByteArray> m_previousRuntime;
};
