#pragma once

#include "ui/template_dialog.h"

#include <optional>
#include <string>

// The name and export file of a key pair to bring into the key pair list (template 134). OK
// accepts only a named, existing, readable key pair file whose key GUID is in no entry of the
// list yet; the key management dialog then copies the file into the keys folder as
// m_szKeyFileName and adds the entry. Nothing is written while this dialog is open.
class CImportDialog : public CTemplateDialog {
    Q_OBJECT

public:
    explicit CImportDialog(QWidget* parent);

    // The name for the key pair and the path of the export file, as entered.
    std::string m_strName;
    std::string m_strFile;
    // Set by OK: the key GUID of the file followed by ".key", its file name in the keys folder.
    std::string m_szKeyFileName;

    // m_strFile as a file-system path.
    std::string NativeFilePath() const;

protected:
    void OnOK() override;

private:
    // A check OK failed: its message and the field it concerns.
    struct SFailedCheck {
        int m_nMessageId;
        int m_nFieldId;
    };

    // Picks the export file in an open dialog that starts at the path typed in the file field.
    void OnBrowse();
    // The first check the entered texts fail, in order: name set, file name set, the file
    // exists, it is a key pair file, its key pair is not in the list yet. Sets m_szKeyFileName
    // once the file has been read. Nothing when all pass.
    std::optional<SFailedCheck> FirstFailedCheck();

    void ReadControls();
    void ShowMembers();
};
