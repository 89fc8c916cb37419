#include "ui/active_window_scope.h"

#include "ui/pellmar_dlg.h"

CActiveWindowScope::CActiveWindowScope(QWidget* window)
{
    if (CPellmarDlg* mainWnd = CPellmarDlg::GetMainWnd()) {
        m_pPrevious = mainWnd->m_pActiveWnd;
        mainWnd->m_pActiveWnd = window;
    }
}

CActiveWindowScope::~CActiveWindowScope()
{
    if (CPellmarDlg* mainWnd = CPellmarDlg::GetMainWnd())
        mainWnd->m_pActiveWnd = m_pPrevious ? m_pPrevious.data() : mainWnd;
}

int RunModal(QDialog& dialog)
{
    const CActiveWindowScope scope(&dialog);
    return dialog.exec();
}
