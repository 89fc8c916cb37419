#pragma once

#include "ui/template_dialog.h"

#include <string>

class CKeyPairList;
class QListWidget;

// The user's own key pairs (template 129): the repository's key pair list by name, with Create,
// Import, Delete, Property (and rename) and reordering.
//
// Row i of the list box shows entry i of the key pair list, always: every operation changes both
// at the same index, and every change is written to keys.conf at once. Deleting an entry deletes
// its key pair file too. A failed write of keys.conf is not reported: after a reorder or rename
// the list keeps the change and the next successful save writes it.
class CKeyManagerDlg : public CTemplateDialog {
    Q_OBJECT

public:
    explicit CKeyManagerDlg(QWidget* parent = nullptr);

    // Adds a new entry (name, file name relative to the keys folder) in front of the selected row,
    // or at the top when nothing is selected, and selects it. When keys.conf cannot be written the
    // list stays as it was and no row is added. Key creation and import add their pairs here.
    void AddKeyPairEntry(const std::string& name, const std::string& file);

protected:
    void OnInitDialog() override;

private:
    void ConnectButtons();

    void OnCreate();
    // Runs the import dialog, then copies the chosen export file into the keys folder under its
    // key GUID and adds the entry.
    void OnImport();
    void OnDelete();
    // Shows the selected key pair's properties, with its exports; renames it after OK.
    void OnProperty();
    void OnUpper();
    void OnLower();

    static CKeyPairList& KeyPairs();
    QListWidget& List() const;
    // The selected row, or -1.
    int SelectedRow() const;
    void SelectRow(int row);
};
