#pragma once

#include "ui/template_dialog.h"

#include <QFileDialog>
#include <QString>

#include <optional>
#include <string>

class QLineEdit;

// One key pair of the key pair list (template 133): its name, which the user may edit, its
// creation date and its method, and the two exports: the key pair file as it is (".exp", for an
// import elsewhere) and the public key file alone (".key", the file key creation publishes).
//
// The opener sets m_strName and m_nIndex, runs the dialog and, after OK, reads m_strName back;
// the dialog itself changes neither the list nor keys.conf. Exports happen while it is open and
// do not end it.
class CKeyPropertyDialog : public CTemplateDialog {
    Q_OBJECT

public:
    explicit CKeyPropertyDialog(QWidget* parent);

    std::string m_strName;
    int m_nIndex = -1;

protected:
    void OnInitDialog() override;
    void OnOK() override;

private:
    void OnExportKeyPair();
    void OnExportPublicKey();
    // The creation date of the key pair as the user reads it; "unknown" when its key pair file
    // cannot be read.
    QString CreationText() const;

    QLineEdit& NameField() const;
};

// The save dialog of both exports: Qt's own file dialog with the export's caption and filter. A
// typed name without an extension gets the default one; choosing a file that exists asks before
// it is replaced.
class CExportDialog : public QFileDialog {
    Q_OBJECT

public:
    CExportDialog(QWidget* parent, const QString& defaultExtension, int titleId, int filterId);

    QString m_strTitle;
};

// Runs an export dialog modally, entered in the main window's m_pActiveWnd while it runs. The
// chosen path as a file-system path, or nothing when it is cancelled.
std::optional<std::string> RunExportDialog(QWidget* parent, const QString& defaultExtension,
                                           int titleId, int filterId);
