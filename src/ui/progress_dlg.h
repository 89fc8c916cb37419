#pragma once

#include "crypto/progress.h"

#include <QDialog>
#include <QEventLoop>
#include <QTimer>

#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>

class QLabel;
class QProgressBar;
class QPushButton;

// A modal window over long work: what is being worked on, how far it has come, and Cancel. The
// work runs on a worker thread, so the program's windows keep painting and a second start of the
// program still brings them to the front. The window shows only once the work has lasted
// kShowDelayMs: quick work flashes nothing. Until then the user's input waits, as it would for
// work done on the user-interface thread, and the window beneath turns away requests to close it
// and files dropped on it; the window, once shown, keeps the user out of the other windows until
// the work ends.
//
//     CProgressDlg progress(this, text);
//     bool done = false;
//     progress.Run([&](const ProgressCallback& report) { done = EncryptFile(..., report); });
//
// Cancel (or Escape, or the close box) asks the work to stop, through the callback's answer; the
// window stays until the work has returned.
class CProgressDlg : public QDialog {
    Q_OBJECT

public:
    using Work = std::function<void(const ProgressCallback& progress)>;

    static constexpr int kShowDelayMs = 500;

    // text says what is being worked on, such as the file's name.
    CProgressDlg(QWidget* parent, const QString& text);
    ~CProgressDlg() override;

    // Runs work on a worker thread and returns once it has returned. False when the user asked it
    // to stop. A dialog object serves one run.
    bool Run(const Work& work);

    // For the work's questions to the user: runs ask on the user-interface thread, where every
    // window of the program lives, and waits for it. Called from the worker only. Returns false,
    // without asking, when the run is being given up.
    bool RunOnUiThread(const std::function<void()>& ask);

    bool WasCancelled() const { return m_bCancel.load(); }

public slots:
    // Escape and the close box cancel as the button does; the work decides when the window goes.
    void reject() override;

private:
    void RunWork(const Work& work);
    // Waits for the worker to end, asking it to stop first when it is still running, and joins
    // it. Answers the worker's questions meanwhile, so the wait cannot deadlock.
    void JoinWorker();
    void OnWorkFinished();
    void OnCancel();
    void Refresh();

    QLabel* m_pText;
    QProgressBar* m_pBar;
    QPushButton* m_pCancel;
    QTimer m_showTimer;
    QTimer m_refreshTimer;
    QEventLoop m_waitLoop;

    std::thread m_worker;
    // Written by the worker, read by the refresh timer.
    std::atomic<std::uint64_t> m_nDone {0};
    std::atomic<std::uint64_t> m_nTotal {0};
    std::atomic<bool> m_bCancel {false};
    std::atomic<bool> m_bWorkDone {false};
    std::atomic<bool> m_bGivingUp {false};
    // User-interface thread only: the finish notice has been handled.
    bool m_bFinished = false;
};
