// The commands of the program's main thing: Encrypt for the selected destination, and Decrypt of
// a container chosen in an Open dialog or dropped on the main window.

#include "ui/pellmar_dlg.h"

#include "app/repository.h"
#include "crypto/file_decryption.h"
#include "crypto/file_encryption.h"
#include "ui/file_dialogs.h"
#include "ui/message_box.h"
#include "ui/published_key.h"
#include "ui/strings.h"
#include "util/container_name.h"

#include <QFile>
#include <QFileInfo>

namespace {

// Result codes of the output-name dialog, kept in m_nFileDialogResult.
constexpr int kFileDialogOk = 1;
constexpr int kFileDialogCancel = 2;

const QString kContainerSuffix = QStringLiteral("enp");

// File names are bytes here; Qt shows them decoded with the locale's encoding.
std::string NativePath(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

QString DisplayPath(const std::string& path)
{
    return QFile::decodeName(QByteArray::fromStdString(path));
}

// The container name proposed for source: its file name, no folder, with the last extension
// replaced by ".enp".
QString ProposedContainerName(const QString& source)
{
    return DisplayPath(DefaultContainerPath(NativePath(QFileInfo(source).fileName())));
}

// The output-name dialog of a decryption: where the restored file goes, proposing the name the
// container carries. Its result code goes to the owner's m_nFileDialogResult, which tells the
// decrypt command a cancelled dialog from a failure.
std::optional<std::string> AskOutputFileName(const std::string& proposedName, CPellmarDlg& owner)
{
    const std::optional<QString> path = RunFileDialog(
        &owner, {QFileDialog::AcceptSave, kIdsAllFilesFilter, {}, DisplayPath(proposedName)});
    owner.m_nFileDialogResult = path ? kFileDialogOk : kFileDialogCancel;
    if (!path)
        return std::nullopt;
    return NativePath(*path);
}

} // namespace

void CPellmarDlg::OnEncrypt()
{
    const int row = SelectedRow();
    if (row < 0)
        return;
    // Fetched before anything is asked: without the recipient's key there is nothing to do.
    const SPublishedKey published = FetchPublishedKey(Destinations().GetAt(row)->GetUrl());
    if (!published.m_pKey) {
        MessageBoxError(this,
                        published.m_bReached ? kIdsCannotDownloadPublicKey : kIdsUrlUnreachable);
        return;
    }
    const std::optional<QString> source = RunFileDialog(this, {});
    if (!source)
        return;
    const std::optional<QString> container =
        RunFileDialog(this, {QFileDialog::AcceptSave, kIdsEncryptedFilesFilter, kContainerSuffix,
                             ProposedContainerName(*source)});
    if (!container)
        return;
    if (!EncryptFile(NativePath(*source), NativePath(*container), *published.m_pKey))
        MessageBoxError(this, kIdsFailedToEncrypt);
}

void CPellmarDlg::OnDecrypt()
{
    const std::optional<QString> container = RunFileDialog(
        this, {QFileDialog::AcceptOpen, kIdsEncryptedFilesFilter, kContainerSuffix, {}});
    if (container)
        DoDecrypt(*container);
}

void CPellmarDlg::DoDecrypt(const QString& containerPath)
{
    m_nFileDialogResult = kFileDialogOk;
    const CKeyPairList& keyPairs = *GetRepository()->m_pKeyPairList;
    const EDecryptResult result = DecryptFile(
        NativePath(containerPath),
        [&keyPairs](const std::string& keyGuid) { return keyPairs.FindKeyPair(keyGuid); },
        [this](const std::string& proposedName) { return AskOutputFileName(proposedName, *this); });
    // A cancelled output-name dialog is the user's choice, not a failure to report.
    if (result != EDecryptResult::Decrypted && m_nFileDialogResult == kFileDialogOk)
        MessageBoxError(this, kIdsCannotDecrypt);
}
