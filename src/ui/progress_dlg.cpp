#include "ui/progress_dlg.h"

#include "ui/active_window_scope.h"
#include "ui/dialog_builder.h"
#include "ui/strings.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// The bar follows the work this often while the window shows.
constexpr int kRefreshMs = 50;
// Width of the window's content, in dialog units of its font.
constexpr int kContentWidthDu = 200;

// Turns away what reaches a window even while the user's input waits: a request to close it and
// files dragged onto it. Until the progress window shows (and from then on blocks the window
// beneath, as every modal window does), that window must neither start a second command nor end
// the program in the middle of the work.
class CWindowHold : public QObject {
public:
    explicit CWindowHold(QWidget* window) : m_pWindow(window)
    {
        if (window)
            qApp->installEventFilter(this);
    }
    ~CWindowHold() override { qApp->removeEventFilter(this); }
    CWindowHold(const CWindowHold&) = delete;
    CWindowHold& operator=(const CWindowHold&) = delete;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::Close:
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::Drop:
            break;
        default:
            return false;
        }
        const auto* widget = qobject_cast<QWidget*>(watched);
        if (!widget || !m_pWindow || widget->window() != m_pWindow)
            return false;
        event->ignore();
        return true;
    }

private:
    QPointer<QWidget> m_pWindow;
};

int PercentOf(std::uint64_t done, std::uint64_t total)
{
    if (total == 0)
        return 0;
    return static_cast<int>(100.0 * static_cast<double>(std::min(done, total)) /
                            static_cast<double>(total));
}

} // namespace

CProgressDlg::CProgressDlg(QWidget* parent, const QString& text)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint),
      m_pText(new QLabel(this)), m_pBar(new QProgressBar(this)),
      m_pCancel(new QPushButton(QStringLiteral("Cancel"), this))
{
    setWindowTitle(LoadString(kIdsCaption));
    setFont(CDialogBuilder::DialogFont(kMainTemplate));
    const int width = CDialogUnits(font()).ToPixels(kContentWidthDu, 0).width();
    // A long name is shortened in its middle, where names of one series differ least.
    m_pText->setText(m_pText->fontMetrics().elidedText(text, Qt::ElideMiddle, width));
    m_pBar->setRange(0, 100);
    m_pBar->setValue(0);
    m_pBar->setFixedWidth(width);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_pCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pText);
    layout->addWidget(m_pBar);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(m_pCancel, &QPushButton::clicked, this, &CProgressDlg::OnCancel);
    m_showTimer.setSingleShot(true);
    m_showTimer.setInterval(kShowDelayMs);
    connect(&m_showTimer, &QTimer::timeout, &m_waitLoop, &QEventLoop::quit);
    m_refreshTimer.setInterval(kRefreshMs);
    connect(&m_refreshTimer, &QTimer::timeout, this, &CProgressDlg::Refresh);
}

CProgressDlg::~CProgressDlg()
{
    JoinWorker();
}

bool CProgressDlg::Run(const Work& work)
{
    // The worker is joined on every way out of here, before work and this window go.
    struct SJoin {
        CProgressDlg& m_dialog;
        ~SJoin() { m_dialog.JoinWorker(); }
    } const join {*this};
    m_worker = std::thread([this, &work] { RunWork(work); });

    // Until the window shows, timers, posted events and painting go on; input waits for later.
    m_showTimer.start();
    if (!m_bFinished) {
        const CWindowHold hold(parentWidget() ? parentWidget()->window() : nullptr);
        m_waitLoop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    if (!m_bFinished) {
        Refresh();
        m_refreshTimer.start();
        RunModal(*this); // ends when the work has returned (OnWorkFinished)
        m_refreshTimer.stop();
    }
    m_showTimer.stop();
    return !m_bCancel.load();
}

bool CProgressDlg::RunOnUiThread(const std::function<void()>& ask)
{
    bool asked = false;
    QMetaObject::invokeMethod(
        this,
        [this, &ask, &asked] {
            if (m_bGivingUp.load())
                return;
            // The time the user takes to answer is not the work's: the delay before the window
            // shows starts again afterwards.
            const bool waiting = m_showTimer.isActive();
            m_showTimer.stop();
            ask();
            asked = true;
            if (waiting)
                m_showTimer.start();
        },
        Qt::BlockingQueuedConnection);
    return asked;
}

void CProgressDlg::reject()
{
    OnCancel();
}

// On the worker thread.
void CProgressDlg::RunWork(const Work& work)
{
    const ProgressCallback report = [this](std::uint64_t done, std::uint64_t total) {
        m_nTotal.store(total);
        m_nDone.store(done);
        return !m_bCancel.load();
    };
    try {
        work(report);
    } catch (...) {
        // An exception must not leave the thread (that would end the program); the work has
        // failed, and its caller's result tells so.
    }
    m_bWorkDone.store(true);
    QMetaObject::invokeMethod(this, &CProgressDlg::OnWorkFinished, Qt::QueuedConnection);
}

void CProgressDlg::JoinWorker()
{
    if (!m_worker.joinable())
        return;
    if (!m_bWorkDone.load()) {
        m_bGivingUp.store(true);
        m_bCancel.store(true);
        // The worker may wait for a question to be answered here: events keep being handled
        // (the question is then skipped) until it has returned and said so.
        while (!m_bWorkDone.load())
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents |
                                            QEventLoop::WaitForMoreEvents);
    }
    m_worker.join();
}

void CProgressDlg::OnWorkFinished()
{
    m_bFinished = true;
    m_showTimer.stop();
    m_waitLoop.quit();
    if (isVisible())
        QDialog::done(Accepted);
}

void CProgressDlg::OnCancel()
{
    m_bCancel.store(true);
    m_pCancel->setEnabled(false);
}

void CProgressDlg::Refresh()
{
    m_pBar->setValue(PercentOf(m_nDone.load(), m_nTotal.load()));
}
