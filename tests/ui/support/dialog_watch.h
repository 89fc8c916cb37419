#pragma once

#include <QApplication>
#include <QEvent>
#include <QFileDialog>

// Counts the file dialogs that open while it lives and cancels each as soon as it shows, so a
// test can assert that none came up without hanging in one that did.
class CFileDialogWatch : public QObject {
public:
    CFileDialogWatch() { qApp->installEventFilter(this); }
    ~CFileDialogWatch() override { qApp->removeEventFilter(this); }

    int Count() const { return m_nCount; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* dialog = qobject_cast<QFileDialog*>(watched);
        if (dialog && event->type() == QEvent::Show) {
            ++m_nCount;
            QMetaObject::invokeMethod(dialog, "reject", Qt::QueuedConnection);
        }
        return false;
    }

private:
    int m_nCount = 0;
};
