#pragma once

#include <QApplication>
#include <QDialog>
#include <QEvent>

// Counts the windows of type TDialog that show while it lives. Told to, it also rejects each as
// soon as it shows, so a test can assert that none came up without hanging in one that did.
template <class TDialog> class CDialogWatch : public QObject {
public:
    enum class EOnShow { Count, Reject };

    explicit CDialogWatch(EOnShow onShow = EOnShow::Reject) : m_onShow(onShow)
    {
        qApp->installEventFilter(this);
    }
    ~CDialogWatch() override { qApp->removeEventFilter(this); }
    CDialogWatch(const CDialogWatch&) = delete;
    CDialogWatch& operator=(const CDialogWatch&) = delete;

    int Count() const { return m_nCount; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* dialog = qobject_cast<TDialog*>(watched);
        if (dialog && event->type() == QEvent::Show) {
            ++m_nCount;
            if (m_onShow == EOnShow::Reject)
                QMetaObject::invokeMethod(dialog, "reject", Qt::QueuedConnection);
        }
        return false;
    }

private:
    EOnShow m_onShow;
    int m_nCount = 0;
};
