#include "ui/pellmar_app.h"

#include "app/repository.h"
#include "app/single_instance.h"
#include "config/machine_id.h"
#include "crypto/openssl_providers.h"
#include "ui/message_box.h"
#include "ui/pellmar_dlg.h"
#include "ui/strings.h"

#include <QCoreApplication>

namespace {

constexpr int kExitFailure = 1;

} // namespace

int CPellmarApp::InitInstance()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Talvex"));
    QCoreApplication::setApplicationName(QStringLiteral("pellmar"));
    // Declared before the guard: at the end the guard stops first, the providers go last.
    const COpenSslProviders providers;
    if (!providers.IsReady()) {
        ShowMessage(nullptr,
                    {0, QString::fromStdString(providers.GetError()), EMessageKind::Error});
        return kExitFailure;
    }
    CSingleInstance guard(&CPellmarApp::PostBringToFront);
    if (!guard.Start())
        return 0;
    ComputeMachineId();
    if (!m_folders.BuildDataFolders()) {
        MessageBoxError(nullptr, kIdsConfFilesHaveProblems);
        return kExitFailure;
    }
    SetFolderPaths(m_folders.m_szDataFolder, m_folders.m_szKeysFolder, m_folders.m_szTempFolder);
    RemoveStaleTempFiles();
    if (!GetRepository()) {
        MessageBoxError(nullptr, kIdsConfFilesHaveProblems);
        return kExitFailure;
    }
    RunMainWindow();
    return 0;
}

void CPellmarApp::PostBringToFront()
{
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [] {
            if (CPellmarDlg* mainWnd = CPellmarDlg::GetMainWnd())
                mainWnd->OnBringToFront();
        },
        Qt::QueuedConnection);
}

void CPellmarApp::RunMainWindow()
{
    CPellmarDlg mainWnd;
    mainWnd.exec();
    // The repository goes before the window, which may no longer reach it then.
    DeleteRepository();
}
