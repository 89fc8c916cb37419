#include "ui/key_manager_dlg.h"

#include "app/repository.h"
#include "ui/active_window_scope.h"
#include "ui/import_dialog.h"
#include "ui/key_creator_dialog.h"
#include "ui/key_property_dialog.h"
#include "ui/list_box.h"
#include "ui/message_box.h"
#include "ui/strings.h"
#include "util/folder_paths.h"
#include "util/temp_file.h"

#include <QListWidget>
#include <QPushButton>

#include <algorithm>
#include <utility>

namespace {

// Copies the file at fromPath to destPath byte for byte, replacing a file there in one step; the
// copy is private to the user, as key pair files are.
bool CopyFileReplacing(const std::string& fromPath, const std::string& destPath)
{
    CTempFile file = NewTempFile();
    return file && AppendFileContent(fromPath, file) &&
           ReplaceFromTempFile(file, destPath, EFileAccess::Private);
}

} // namespace

CKeyManagerDlg::CKeyManagerDlg(QWidget* parent) : CTemplateDialog(kKeyManagerTemplate, parent)
{
    ConnectButtons();
}

void CKeyManagerDlg::ConnectButtons()
{
    const std::pair<int, void (CKeyManagerDlg::*)()> handlers[] = {
        {kIdCreateKeyPair, &CKeyManagerDlg::OnCreate},
        {kIdImportKeyPair, &CKeyManagerDlg::OnImport},
        {kIdDelete, &CKeyManagerDlg::OnDelete},
        {kIdKeyProperty, &CKeyManagerDlg::OnProperty},
        {kIdUpper, &CKeyManagerDlg::OnUpper},
        {kIdLower, &CKeyManagerDlg::OnLower},
    };
    for (const auto& [id, handler] : handlers)
        connect(Control<QPushButton>(id), &QPushButton::clicked, this, handler);
}

void CKeyManagerDlg::OnInitDialog()
{
    const CKeyPairList& keyPairs = KeyPairs();
    for (int i = 0; i < keyPairs.GetCount(); ++i)
        List().addItem(QString::fromStdString(keyPairs.GetAt(i)->GetName()));
    if (List().count() > 0)
        SelectRow(0);
}

void CKeyManagerDlg::AddKeyPairEntry(const std::string& name, const std::string& file)
{
    const int row = std::max(SelectedRow(), 0);
    CKeyPairList& keyPairs = KeyPairs();
    if (!keyPairs.InsertAt(row, CKeyPairOfConf(name, file))) {
        // The list keeps an inserted entry even when keys.conf cannot be written; it has no row,
        // so it goes again. Only the entry: its key pair file stays where key creation or import
        // put it (the list's own RemoveAt would delete that file).
        static_cast<void>(keyPairs.CListConfFile::RemoveAt(row));
        return;
    }
    List().insertItem(row, QString::fromStdString(name));
    SelectRow(row);
}

void CKeyManagerDlg::OnCreate()
{
    // On success the creation dialog adds its pair through AddKeyPairEntry.
    CKeyCreatorDialog dialog(*this);
    RunModal(dialog);
}

void CKeyManagerDlg::OnImport()
{
    CImportDialog dialog(this);
    if (RunModal(dialog) != QDialog::Accepted)
        return;
    const std::string target = g_szKeysFolder + dialog.m_szKeyFileName;
    if (!CopyFileReplacing(dialog.NativeFilePath(), target)) {
        MessageBoxError(this, kIdsKeyPairFileNotCreated);
        return;
    }
    AddKeyPairEntry(dialog.m_strName, dialog.m_szKeyFileName);
}

void CKeyManagerDlg::OnDelete()
{
    const int row = SelectedRow();
    if (row < 0)
        return;
    CKeyPairList& keyPairs = KeyPairs();
    const QString name = QString::fromStdString(keyPairs.GetAt(row)->GetName());
    if (!MessageBoxQuestion(this, kIdsDeleteKeyPair, FormatString(kIdsDeleteKeyPair, name)))
        return;
    // RemoveAt fails both when the key pair file cannot be deleted (the entry stays) and when
    // keys.conf cannot be written afterwards (the entry is gone from the list): the row follows
    // the entry.
    const int count = keyPairs.GetCount();
    static_cast<void>(keyPairs.RemoveAt(row));
    if (keyPairs.GetCount() == count)
        return;
    delete List().takeItem(row);
    SelectAfterRemoval(List(), row);
}

void CKeyManagerDlg::OnProperty()
{
    const int row = SelectedRow();
    if (row < 0 || row >= List().count())
        return;
    const std::string shown = List().item(row)->text().toStdString();
    CKeyPropertyDialog dialog(this);
    dialog.m_strName = shown;
    dialog.m_nIndex = row;
    if (RunModal(dialog) != QDialog::Accepted || dialog.m_strName == shown)
        return;
    CKeyPairList& keyPairs = KeyPairs();
    // Writes nothing when name and file name are those of the entry already.
    static_cast<void>(
        keyPairs.SetAt(row, CKeyPairOfConf(dialog.m_strName, keyPairs.GetAt(row)->GetFile())));
    List().item(row)->setText(QString::fromStdString(dialog.m_strName));
    SelectRow(row);
}

void CKeyManagerDlg::OnUpper()
{
    MoveSelectedRow(List(), KeyPairs(), -1, *Control<QPushButton>(kIdUpper));
}

void CKeyManagerDlg::OnLower()
{
    MoveSelectedRow(List(), KeyPairs(), +1, *Control<QPushButton>(kIdLower));
}

CKeyPairList& CKeyManagerDlg::KeyPairs()
{
    // The repository exists for as long as the main window does, which runs this dialog.
    return *GetRepository()->m_pKeyPairList;
}

QListWidget& CKeyManagerDlg::List() const
{
    return *Control<QListWidget>(kIdKeyPairList);
}

int CKeyManagerDlg::SelectedRow() const
{
    return ::SelectedRow(List());
}

void CKeyManagerDlg::SelectRow(int row)
{
    List().setCurrentRow(row);
}
