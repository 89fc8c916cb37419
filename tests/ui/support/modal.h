#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

// Drives a modal window from inside its own exec(): call WhenModal before the code that runs the
// window; fn gets the window once it is the active modal widget. The wait is bounded: after
// timeoutMs the test program stops with qFatal instead of hanging in exec().
//
// If fn returns with the window still open (a failing QCOMPARE returns early, or fn only looked),
// the window is rejected, so the test goes on.
//
//     WhenModal<QMessageBox>([](QMessageBox* box) { box->button(QMessageBox::Yes)->click(); });
//     dialog.exec();   // or the click that opens the box
template <class T> void WhenModal(std::function<void(T*)> fn, int timeoutMs = 10000)
{
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    auto tick = std::make_shared<std::function<void()>>();
    *tick = [clock, tick, fn = std::move(fn), timeoutMs] {
        auto* window = qobject_cast<T*>(QApplication::activeModalWidget());
        if (window && window->isVisible()) {
            *tick = nullptr; // the timer runs a copy of this lambda, so this frees only the cycle
            QPointer<T> guard(window);
            fn(window);
            if (guard && guard->isVisible() && QApplication::activeModalWidget() == guard)
                QMetaObject::invokeMethod(guard, "reject");
            return;
        }
        if (clock->elapsed() > timeoutMs)
            qFatal("no modal %s within %d ms", T::staticMetaObject.className(), timeoutMs);
        QTimer::singleShot(10, qApp, *tick);
    };
    QTimer::singleShot(0, qApp, *tick);
}
