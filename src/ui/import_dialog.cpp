#include "ui/import_dialog.h"

#include "app/repository.h"
#include "crypto/key_pair.h"
#include "ui/file_dialogs.h"
#include "ui/message_box.h"
#include "ui/strings.h"

#include <QFile>
#include <QLineEdit>
#include <QPushButton>

#include <sys/stat.h>

namespace {

const QString kExportSuffix = QStringLiteral("exp");

} // namespace

CImportDialog::CImportDialog(QWidget* parent) : CTemplateDialog(kImportTemplate, parent)
{
    connect(Control<QPushButton>(kIdBrowse), &QPushButton::clicked, this, &CImportDialog::OnBrowse);
}

std::string CImportDialog::NativeFilePath() const
{
    return QFile::encodeName(QString::fromStdString(m_strFile)).toStdString();
}

void CImportDialog::OnBrowse()
{
    ReadControls();
    SFileDialogSetup setup;
    setup.m_mode = QFileDialog::AcceptOpen;
    setup.m_nFilterId = kIdsKeyPairExportFilter;
    setup.m_defaultSuffix = kExportSuffix;
    // A typed path opens the dialog in its folder with its name proposed.
    setup.m_initialName = QString::fromStdString(m_strFile);
    const std::optional<QString> chosen = RunFileDialog(this, setup);
    if (!chosen)
        return;
    m_strFile = chosen->toStdString();
    ShowMembers();
}

void CImportDialog::OnOK()
{
    ReadControls();
    const std::optional<SFailedCheck> failed = FirstFailedCheck();
    if (!failed) {
        accept();
        return;
    }
    MessageBoxExclamation(this, failed->m_nMessageId);
    FocusField(failed->m_nFieldId);
}

std::optional<CImportDialog::SFailedCheck> CImportDialog::FirstFailedCheck()
{
    if (m_strName.empty())
        return SFailedCheck {kIdsSetName, kIdKeyPairName};
    if (m_strFile.empty())
        return SFailedCheck {kIdsSetFileName, kIdImportFile};
    const std::string path = NativeFilePath();
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0)
        return SFailedCheck {kIdsExportFileMissing, kIdImportFile};
    // The reader accepts only a GUID of 32 upper-case hexadecimal digits, so the file name made
    // from it cannot leave the keys folder.
    const std::unique_ptr<CKeyPair> pair = LoadKeyPairFile(path);
    if (!pair)
        return SFailedCheck {kIdsNotKeyExportFile, kIdImportFile};
    m_szKeyFileName = pair->GetGuid() + ".key";
    // The repository lives as long as the main window, which every caller of this dialog has.
    if (GetRepository()->m_pKeyPairList->HasKeyFile(pair->GetGuid()))
        return SFailedCheck {kIdsKeyPairExists, kIdImportFile};
    return std::nullopt;
}

void CImportDialog::ReadControls()
{
    m_strName = Field(kIdKeyPairName).text().toStdString();
    m_strFile = Field(kIdImportFile).text().toStdString();
}

void CImportDialog::ShowMembers()
{
    Field(kIdKeyPairName).setText(QString::fromStdString(m_strName));
    Field(kIdImportFile).setText(QString::fromStdString(m_strFile));
}
