#pragma once

#include "ui/template_dialog.h"

#include <QIcon>
#include <QPointer>
#include <QString>

class CDestination;
class CDestinationList;
class QListWidget;

// The main window (template 102): the destination list with the buttons that change it, the
// Encrypt button, a menu with Decrypt, Key Management, Internet Settings and About, and files
// dropped on it for decryption. It runs modally for the whole session; when its loop ends, the
// program ends. Every change of the list is written to dest.conf at once.
class CPellmarDlg : public CTemplateDialog {
    Q_OBJECT

public:
    explicit CPellmarDlg(QWidget* parent = nullptr);
    ~CPellmarDlg() override;

    // The main window while one exists (from its construction to its destruction), else null.
    static CPellmarDlg* GetMainWnd();

    // Inserts item into the destination list and the list box in front of the selected row (row
    // 0 when none is selected) and selects it.
    void InsertDestination(CDestination item);

    // Restores the window if it is minimised and brings it to the front, then the window in
    // m_pActiveWnd when that is another one.
    void OnBringToFront();

    // The commands of the main thing (encrypt_decrypt_commands.cpp).
    // Encrypts a file for the selected destination (button 1002).
    void OnEncrypt();
    // The menu's Decrypt: asks for a container, then DoDecrypt.
    void OnDecrypt();
    // Decrypts one container and reports a failure.
    void DoDecrypt(const QString& containerPath);

    // The topmost window running modally on top of this one (a dialog, file dialog or message
    // box), or this window when none does; null until OnInitDialog. Kept by CActiveWindowScope.
    QPointer<QWidget> m_pActiveWnd;
    // Result of the last output-name dialog of a decryption: 1 OK, 2 Cancel.
    int m_nFileDialogResult = 0;

protected:
    void OnInitDialog() override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void ConnectButtons();
    void CreateMenu();
    void FillList();
    void CentreWindow();

    void OnAdd();
    void OnModify();
    void OnDelete();
    void OnUpper();
    void OnLower();
    void OnExit();
    void OnHelp();
    void OnAbout();
    void OnKeyManagement();
    void OnInternetSettings();

    QListWidget& List() const;
    static CDestinationList& Destinations();
    int SelectedRow() const;
    void SelectRow(int row);

    QIcon m_hIcon;
    QIcon m_hSmallIcon;
};
