#include "support/scratch_home.h"

#include <QDir>
#include <QFile>

namespace {

std::optional<QByteArray> Variable(const char* name)
{
    if (!qEnvironmentVariableIsSet(name))
        return std::nullopt;
    return qgetenv(name);
}

void Restore(const char* name, const std::optional<QByteArray>& value)
{
    if (value)
        qputenv(name, *value);
    else
        qunsetenv(name);
}

} // namespace

CScratchHome::CScratchHome()
    : m_previousData(Variable("XDG_DATA_HOME")), m_previousRuntime(Variable("XDG_RUNTIME_DIR"))
{
    QDir(m_home.path()).mkdir(QStringLiteral("run"));
    QFile::setPermissions(RuntimeFolder(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("XDG_DATA_HOME", DataHome().toUtf8());
    qputenv("XDG_RUNTIME_DIR", RuntimeFolder().toUtf8());
}

CScratchHome::~CScratchHome()
{
    Restore("XDG_DATA_HOME", m_previousData);
    Restore("XDG_RUNTIME_DIR", m_previousRuntime);
}
