#pragma once

#include <QPointer>
#include <QWidget>

class QDialog;

// Enters a window in the main window's m_pActiveWnd for the scope's lifetime and puts the
// previous one back at its end, so a bring-to-front request from a second start reaches the
// window the user is working in. Without a main window it does nothing.
//
//     CActiveWindowScope scope(&dialog);
//     dialog.exec();
class CActiveWindowScope {
public:
    explicit CActiveWindowScope(QWidget* window);
    ~CActiveWindowScope();
    CActiveWindowScope(const CActiveWindowScope&) = delete;
    CActiveWindowScope& operator=(const CActiveWindowScope&) = delete;

private:
    QPointer<QWidget> m_pPrevious;
};

// Runs dialog modally (exec) inside a CActiveWindowScope and returns exec's result. Every modal
// run of the program, file dialogs and message boxes included, goes through here.
int RunModal(QDialog& dialog);
