#include "ui/key_creator_dialog.h"

#include "app/repository.h"
#include "crypto/public_key.h"
#include "net/ftp_upload.h"
#include "net/http_download.h"
#include "ui/active_window_scope.h"
#include "ui/destination_dlg.h"
#include "ui/key_manager_dlg.h"
#include "ui/message_box.h"
#include "ui/pellmar_dlg.h"
#include "ui/strings.h"
#include "util/file_system.h"
#include "util/temp_file.h"

#include <QCheckBox>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>

#include <thread>

namespace {

// The fields and buttons the sequence disables, in the order they are disabled.
constexpr int kInputIds[] = {kIdKeyPairName, kIdFtpLocation, kIdFtpUser, kIdFtpPassword,
                             kIdAnonymous,   kIdWebUrl,      kIdOk,      kIdCancel};

// Positions of the progress bar after generation, after the key pair file and after the upload
// step; the end is always 100. They depend on which steps will run.
struct SMilestones {
    int m_nGenerated;
    int m_nKeyFileWritten;
    int m_nUploaded;
};

SMilestones MilestonesFor(bool ftp, bool url)
{
    if (!ftp)
        return {50, 100, 100};
    if (url)
        return {25, 50, 75};
    return {33, 66, 100};
}

} // namespace

CKeyCreatorDialog::CKeyCreatorDialog(CKeyManagerDlg& owner)
    : CTemplateDialog(kKeyCreatorTemplate, &owner), m_owner(owner)
{
}

void CKeyCreatorDialog::reject()
{
    // Escape, Cancel and the close box wait for the sequence: it cleans up after itself.
    if (m_bBusy)
        return;
    CTemplateDialog::reject();
}

void CKeyCreatorDialog::OnInitDialog()
{
    const CInternetSetting& settings = *GetRepository()->m_pInternetSetting;
    m_strFtp = settings.GetFtp();
    m_strUserId = settings.GetUser();
    m_strPassword = settings.GetPassword();
    m_bAnonymous = settings.IsAnonymous();
    m_strUrl = settings.GetUrl();
    ShowMembers();
    auto* progress = Control<QProgressBar>(kIdCreationProgress);
    progress->setRange(0, 100);
    progress->setValue(0);
}

void CKeyCreatorDialog::OnOK()
{
    if (m_bBusy)
        return;
    ReadControls();
    if (m_strName.empty()) {
        MessageBoxError(this, kIdsSetName);
        Field(kIdKeyPairName).setFocus(Qt::OtherFocusReason);
        return;
    }
    // Disabling the focused button moves the focus away; it comes back after a failure.
    const QPointer<QWidget> focused = focusWidget();
    m_bBusy = true;
    EnableInput(false);
    const bool created = CreateKeyPair();
    EnableInput(true);
    m_bBusy = false;
    if (!created) {
        if (m_bFocusName)
            Field(kIdKeyPairName).setFocus(Qt::OtherFocusReason);
        else if (focused)
            focused->setFocus(Qt::OtherFocusReason);
        return;
    }
    m_owner.AddKeyPairEntry(m_strName, m_pKeyPair->GetGuid() + ".key");
    OfferDestination();
    accept();
}

bool CKeyCreatorDialog::CreateKeyPair()
{
    m_pKeyPair = nullptr;
    m_bFocusName = false;
    SetProgress(0);
    bool keyFileWritten = false;
    int failure = 0;
    {
        CTempFile publicKeyFile;
        CTempFile download;
        failure = RunSequence(publicKeyFile, download, keyFileWritten);
    } // Both temporary files are gone here, before any message waits for the user.
    if (failure == 0)
        return true;
    // Only a file this attempt wrote is removed: an existing file of that name is someone's key.
    if (keyFileWritten)
        static_cast<void>(ForceDeleteFile(m_pKeyPair->GetKeyFilePath()));
    MessageBoxError(this, failure);
    return false;
}

int CKeyCreatorDialog::RunSequence(CTempFile& publicKeyFile, CTempFile& download,
                                   bool& keyFileWritten)
{
    const bool upload = !m_strFtp.empty();
    const bool fetchBack = upload && !m_strUrl.empty();
    const SMilestones milestones = MilestonesFor(upload, !m_strUrl.empty());

    if (GetRepository()->m_pKeyPairList->IsNameUsed(CKeyPairOfConf(m_strName, {}), -1)) {
        m_bFocusName = true;
        return kIdsNameUsed;
    }

    SetStatus(kIdsKeyCreationStarted);
    CKeyGenerator& generator = *GetRepository()->m_pKeyGenerator;
    const bool generated = RunBlocking([&generator] { return generator.Generate(); });
    m_pKeyPair = generator.GetKeyPair();
    if (!generated || !m_pKeyPair)
        return kIdsKeyPairNotCreated;
    SetStatus(kIdsKeyPairGenerated);
    SetProgress(milestones.m_nGenerated);

    // The upload and the key pair list count on the key pair file: without it the key pair was
    // not created.
    SetStatus(kIdsCreatingKeyFile);
    if (!m_pKeyPair->SaveFile(m_pKeyPair->GetKeyFilePath()))
        return kIdsKeyPairNotCreated;
    keyFileWritten = true;
    SetProgress(milestones.m_nKeyFileWritten);

    if (upload) {
        SetStatus(kIdsFtpUploading);
        publicKeyFile = WritePublicKeyTempFile(*m_pKeyPair);
        if (!publicKeyFile)
            return kIdsPublicKeyFileNotCreated;
        const std::string user = m_bAnonymous ? std::string("anonymous") : m_strUserId;
        const std::string& path = publicKeyFile.GetPath();
        if (!RunBlocking([&] { return FtpUploadFile(m_strFtp, path, user, m_strPassword); }))
            return kIdsFtpUploadFailed;
    }
    SetProgress(milestones.m_nUploaded);

    // Proves that others can fetch the key that was just published.
    if (fetchBack) {
        SetStatus(kIdsHttpDownloading);
        RunBlocking([&] {
            download = HttpDownloadFile(m_strUrl);
            return static_cast<bool>(download);
        });
        if (!download)
            return kIdsHttpDownloadFailed;
        if (!CompareFiles(download.GetPath(), publicKeyFile.GetPath()))
            return kIdsUrlMayBeWrong;
    }

    SetStatus(kIdsKeyCreationFinished);
    SetProgress(100);
    return 0;
}

void CKeyCreatorDialog::OfferDestination()
{
    if (m_strFtp.empty() || m_strUrl.empty() ||
        GetRepository()->m_pDestinationList->IsUrlUsed(m_strUrl, -1))
        return;
    if (!MessageBoxQuestion(this, kIdsRegisterPublicKey))
        return;
    CDestinationDlg dialog(this);
    dialog.m_strUrl = m_strUrl; // shown read-only
    if (RunModal(dialog) != QDialog::Accepted || !dialog.m_pDestination)
        return;
    if (CPellmarDlg* mainWnd = CPellmarDlg::GetMainWnd())
        mainWnd->InsertDestination(std::move(*dialog.m_pDestination));
}

bool CKeyCreatorDialog::RunBlocking(const std::function<bool()>& step)
{
    bool result = false;
    QEventLoop loop;
    std::thread worker([&] {
        try {
            result = step();
        } catch (...) {
            result = false;
        }
        // Queued: the loop may not have started yet, and it must be quit on its own thread.
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    // exec() also returns when the application is asked to quit; the step still ends first.
    worker.join();
    return result;
}

void CKeyCreatorDialog::ShowMembers()
{
    Field(kIdKeyPairName).setText(QString::fromStdString(m_strName));
    Field(kIdFtpLocation).setText(QString::fromStdString(m_strFtp));
    Field(kIdFtpUser).setText(QString::fromStdString(m_strUserId));
    Field(kIdFtpPassword).setText(QString::fromStdString(m_strPassword));
    Control<QCheckBox>(kIdAnonymous)->setChecked(m_bAnonymous);
    Field(kIdWebUrl).setText(QString::fromStdString(m_strUrl));
}

void CKeyCreatorDialog::ReadControls()
{
    m_strName = Field(kIdKeyPairName).text().toStdString();
    m_strFtp = Field(kIdFtpLocation).text().toStdString();
    m_strUserId = Field(kIdFtpUser).text().toStdString();
    m_strPassword = Field(kIdFtpPassword).text().toStdString();
    m_bAnonymous = Control<QCheckBox>(kIdAnonymous)->isChecked();
    m_strUrl = Field(kIdWebUrl).text().toStdString();
}

void CKeyCreatorDialog::EnableInput(bool enable)
{
    for (int id : kInputIds)
        Control<QWidget>(id)->setEnabled(enable);
}

void CKeyCreatorDialog::SetStatus(int id)
{
    auto* status = Control<QLabel>(kIdCreationStatus);
    status->setText(LoadString(id));
    status->repaint();
}

void CKeyCreatorDialog::SetProgress(int position)
{
    auto* progress = Control<QProgressBar>(kIdCreationProgress);
    progress->setValue(position);
    progress->repaint();
}
