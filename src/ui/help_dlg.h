#pragma once

#include <QDialog>

// A short guide to the program: publishing a key, adding a destination, encrypting and
// decrypting. Opened by the main window's Help button.
class CHelpDlg : public QDialog {
    Q_OBJECT

public:
    explicit CHelpDlg(QWidget* parent);
};
