// The commands of the program's main thing: Encrypt for the selected destination, and Decrypt of
// a container chosen in an Open dialog or dropped on the main window. The encryption and the
// decryption themselves run behind a progress window (CProgressDlg), on a worker thread.

#include "ui/pellmar_dlg.h"

#include "app/repository.h"
#include "crypto/file_decryption.h"
#include "crypto/file_encryption.h"
#include "ui/file_dialogs.h"
#include "ui/message_box.h"
#include "ui/progress_dlg.h"
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

// What the progress window says it works on.
QString WorkText(const char* verb, const QString& path)
{
    return QString::fromLatin1(verb) + u' ' + QFileInfo(path).fileName();
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
    const std::string sourcePath = NativePath(*source);
    const std::string containerPath = NativePath(*container);
    const CPublicKey& recipient = *published.m_pKey;
    bool encrypted = false;
    CProgressDlg progress(this, WorkText("Encrypting", *source));
    const bool finished = progress.Run([&](const ProgressCallback& report) {
        encrypted = EncryptFile(sourcePath, containerPath, recipient, nullptr, report);
    });
    // A cancelled encryption is the user's choice: it has left nothing, and nothing is said.
    if (!encrypted && finished)
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
    const std::string path = NativePath(containerPath);
    const CKeyPairList& keyPairs = *GetRepository()->m_pKeyPairList;
    EDecryptResult result = EDecryptResult::Failed;
    CProgressDlg progress(this, WorkText("Decrypting", containerPath));
    // Both callbacks are called on the worker thread.
    const KeyPairFinder findKeyPair = [&keyPairs](const std::string& keyGuid) {
        // The list is only read here, and nothing can change it meanwhile: until the work ends,
        // the user's input waits and then the progress window keeps the user out of every other
        // window.
        return keyPairs.FindKeyPair(keyGuid);
    };
    const OutputNameAsker askOutputFileName = [&](const std::string& proposedName) {
        // The dialog belongs to the user-interface thread; the worker waits for the answer.
        std::optional<std::string> output;
        progress.RunOnUiThread([&] { output = AskOutputFileName(proposedName, *this); });
        return output;
    };
    const bool finished = progress.Run([&](const ProgressCallback& report) {
        result = DecryptFile(path, findKeyPair, askOutputFileName, nullptr, report);
    });
    // A cancelled output-name dialog or progress window is the user's choice, not a failure to
    // report.
    if (result != EDecryptResult::Decrypted && m_nFileDialogResult == kFileDialogOk && finished)
        MessageBoxError(this, kIdsCannotDecrypt);
}
