#include "ui/key_property_dialog.h"

#include "app/repository.h"
#include "crypto/key_pair.h"
#include "ui/active_window_scope.h"
#include "ui/file_dialogs.h"
#include "ui/message_box.h"
#include "ui/strings.h"
#include "util/temp_file.h"
#include "util/time_stamp.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

const QString kKeyPairSuffix = QStringLiteral("exp");
const QString kPublicKeySuffix = QStringLiteral("key");

// Shown for the creation date of a key pair whose file is missing or damaged.
const QString kUnknownDate = QStringLiteral("unknown");

CKeyPairList& KeyPairs()
{
    // The repository lives as long as the main window, which every caller of this dialog has.
    return *GetRepository()->m_pKeyPairList;
}

} // namespace

CKeyPropertyDialog::CKeyPropertyDialog(QWidget* parent)
    : CTemplateDialog(kKeyPropertyTemplate, parent)
{
    connect(Control<QPushButton>(kIdExportKeyPair), &QPushButton::clicked, this,
            &CKeyPropertyDialog::OnExportKeyPair);
    connect(Control<QPushButton>(kIdExportPublicKey), &QPushButton::clicked, this,
            &CKeyPropertyDialog::OnExportPublicKey);
}

void CKeyPropertyDialog::OnInitDialog()
{
    NameField().setText(QString::fromStdString(m_strName));
    Control<QLabel>(kIdCreateDate)->setText(CreationText());
}

QString CKeyPropertyDialog::CreationText() const
{
    const std::unique_ptr<CKeyPair> pair = KeyPairs().LoadKeyPairAt(m_nIndex);
    std::string text;
    if (pair)
        FormatTimeStamp(pair->GetCreated(), text);
    // Also for a stamp that names no valid time: the field is never left blank or stale.
    return text.empty() ? kUnknownDate : QString::fromStdString(text);
}

void CKeyPropertyDialog::OnOK()
{
    m_strName = NameField().text().toStdString();
    accept();
}

void CKeyPropertyDialog::OnExportKeyPair()
{
    const std::optional<std::string> path =
        RunExportDialog(this, kKeyPairSuffix, kIdsExportKeyPair, kIdsKeyPairExportFilter);
    if (!path)
        return;
    // The file as it is, byte for byte, whether or not it reads as a key pair.
    if (!KeyPairs().CopyKeyFileTo(*path, m_nIndex))
        MessageBoxError(this, kIdsKeyPairNotExported);
}

void CKeyPropertyDialog::OnExportPublicKey()
{
    const std::optional<std::string> path =
        RunExportDialog(this, kPublicKeySuffix, kIdsExportPublicKey, kIdsPublicKeyExportFilter);
    if (!path)
        return;
    const std::unique_ptr<CKeyPair> pair = KeyPairs().LoadKeyPairAt(m_nIndex);
    // The temporary file goes whatever happens; a public key may be passed on, so it gets the
    // permissions of a shared file.
    CTempFile file = pair ? WritePublicKeyTempFile(*pair) : CTempFile();
    if (!file || !ReplaceFromTempFile(file, *path, EFileAccess::Shared))
        MessageBoxError(this, kIdsPublicKeyNotExported);
}

QLineEdit& CKeyPropertyDialog::NameField() const
{
    return *Control<QLineEdit>(kIdKeyPairName);
}

CExportDialog::CExportDialog(QWidget* parent, const QString& defaultExtension, int titleId,
                             int filterId)
    : QFileDialog(parent), m_strTitle(LoadString(titleId))
{
    setAcceptMode(QFileDialog::AcceptSave);
    setFileMode(QFileDialog::AnyFile);
    setOption(QFileDialog::HideNameFilterDetails);
    setNameFilters(NameFiltersOf(LoadString(filterId)));
    setDefaultSuffix(defaultExtension);
    setWindowTitle(m_strTitle);
}

std::optional<std::string> RunExportDialog(QWidget* parent, const QString& defaultExtension,
                                           int titleId, int filterId)
{
    CExportDialog dialog(parent, defaultExtension, titleId, filterId);
    if (RunModal(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return QFile::encodeName(dialog.selectedFiles().constFirst()).toStdString();
}
