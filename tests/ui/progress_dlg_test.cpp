// Long encryptions and decryptions run behind the progress window: the program stays responsive,
// Cancel leaves nothing behind, and quick work shows no window at all.
#include "crypto/file_encryption.h"
#include "crypto/key_generator.h"
#include "net/curl_library.h"
#include "support/data_scope.h"
#include "support/dialog_driver.h"
#include "support/dialog_watch.h"
#include "support/key_server.h"
#include "support/message_script.h"
#include "support/modal.h"
#include "ui/pellmar_dlg.h"
#include "ui/progress_dlg.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QListWidget>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <memory>
#include <thread>

namespace {

// Large enough that the work surely lasts longer than the window's delay on any machine that
// runs the tests: decryption does well under 200 MB/s, encryption well under 500 MB/s.
constexpr qint64 kLargeSourceBytes = qint64(192) << 20;
constexpr qint64 kLargerSourceBytes = qint64(512) << 20;

// Generous: a loaded machine, or a sanitizer build, is slow, and a QTRY_ ends early when it can.
constexpr int kWorkTimeoutMs = 120000;

// A file of size bytes, made at once (a file with a hole): its content does not change how long
// the work takes.
void MakeLargeFile(const QString& path, qint64 size)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QVERIFY(file.resize(size));
}

bool SameContent(const QString& one, const QString& other)
{
    QFile a(one);
    QFile b(other);
    if (!a.open(QIODevice::ReadOnly) || !b.open(QIODevice::ReadOnly) || a.size() != b.size())
        return false;
    constexpr qint64 kPiece = 1 << 20;
    while (!a.atEnd()) {
        if (a.read(kPiece) != b.read(kPiece))
            return false;
    }
    return true;
}

QProgressBar& BarOf(const CProgressDlg& dialog)
{
    return *dialog.findChild<QProgressBar*>();
}

QPushButton& CancelOf(const CProgressDlg& dialog)
{
    return *dialog.findChild<QPushButton*>();
}

// Runs the main window modally, as start-up does, with steps run inside its loop.
void RunMainWindow(CPellmarDlg& window, const std::function<void()>& steps)
{
    WhenModal<CPellmarDlg>([&](CPellmarDlg*) { steps(); });
    window.exec();
}

} // namespace

class ProgressDlgTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qputenv("no_proxy", "*");
        QVERIFY(m_files.isValid());
        m_pServer = std::make_unique<CKeyServer>();
        QVERIFY(m_generator.Generate());
        const CDataScope data; // the program's temp folder, through which files are written
        m_pServer->PublishKey(Pair(), "key.pub");
        MakeLargeFile(LargeSource(), kLargeSourceBytes);
        QVERIFY(EncryptFile(LargeSource().toStdString(), LargeContainer().toStdString(), Pair()));
        WriteSmallFile(SmallSource());
        QVERIFY(EncryptFile(SmallSource().toStdString(), SmallContainer().toStdString(), Pair()));
    }

    void cleanupTestCase() { m_pServer.reset(); }

    void init()
    {
        m_pData = std::make_unique<CDataScope>(
            CDataScope::Destinations {{"Bob", m_pServer->Url("key.pub")}});
        RegisterKeyPair(Pair(), "Mine");
        m_pWork = std::make_unique<QTemporaryDir>();
        QVERIFY(m_pWork->isValid());
    }

    // Whatever a test did, no file of the program is left in its temp folder.
    void cleanup()
    {
        const QStringList left = TempFolderEntries();
        m_pWork.reset();
        m_pData.reset();
        QCOMPARE(left, QStringList());
    }

    // The work's result and the window's answer, for work that is over at once.
    void QuickWorkShowsNoWindow()
    {
        const CDialogWatch<CProgressDlg> watch(CDialogWatch<CProgressDlg>::EOnShow::Count);
        CProgressDlg progress(nullptr, QStringLiteral("Quick"));
        bool worked = false;
        const bool finished = progress.Run(
            [&](const ProgressCallback& report) { worked = report(0, 10) && report(10, 10); });
        QVERIFY(finished);
        QVERIFY(worked);
        QVERIFY(!progress.WasCancelled());
        QCOMPARE(watch.Count(), 0);
    }

    // Before the progress window shows, the main window turns away files dropped on it and a
    // request to close it: a second command, or the end of the program, must not start in the
    // middle of the work. Afterwards it takes both again.
    void WindowBeneathTakesNoDropOrCloseUntilTheProgressWindowShows()
    {
        CMessageScript script;
        CPellmarDlg window;
        QMimeData files;
        files.setUrls({QUrl::fromLocalFile(SmallContainer())});
        const auto dragEnter = [&] {
            QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &files, Qt::LeftButton,
                                  Qt::NoModifier);
            QApplication::sendEvent(&window, &enter);
            return enter.isAccepted();
        };
        const auto closeRequest = [&] {
            QCloseEvent close;
            QApplication::sendEvent(&window, &close);
            return close.isAccepted();
        };
        bool dragTaken = true;
        bool closeTaken = true;
        bool stillOpen = false;
        bool dragTakenAfter = false;
        RunMainWindow(window, [&] {
            std::atomic<bool> release {false};
            // Handled in the first round of events after the work has begun, long before the
            // progress window is due; the work goes on only after it.
            QTimer::singleShot(0, &window, [&] {
                dragTaken = dragEnter();
                closeTaken = closeRequest();
                stillOpen = window.isVisible();
                release.store(true);
            });
            CProgressDlg progress(&window, QStringLiteral("Held"));
            progress.Run([&](const ProgressCallback& report) {
                while (!release.load())
                    std::this_thread::yield();
                report(1, 1);
            });
            dragTakenAfter = dragEnter();
            window.accept();
        });
        QVERIFY(!dragTaken);
        QVERIFY(!closeTaken);
        QVERIFY(stillOpen);
        QVERIFY(dragTakenAfter);
        QVERIFY(script.Shown().isEmpty());
    }

    // A small container through the main window: restored, and no progress window came up.
    void QuickDecryptionFlashesNothing()
    {
        CMessageScript script;
        const CDialogWatch<CProgressDlg> watch(CDialogWatch<CProgressDlg>::EOnShow::Count);
        CPellmarDlg window;
        RunMainWindow(window, [&] {
            WhenModal<QFileDialog>(
                [&](QFileDialog* dialog) { ChooseFile(dialog, Work("small.txt")); });
            window.DoDecrypt(SmallContainer());
        });
        QVERIFY(script.Shown().isEmpty());
        QCOMPARE(watch.Count(), 0);
        QVERIFY(SameContent(Work("small.txt"), SmallSource()));
    }

    // Cancel, pressed once the bar shows half the work done: no output and no temporary file,
    // in the temp folder or beside the output, and no message, since the user chose it.
    void CancelAtHalfLeavesNothing_data()
    {
        QTest::addColumn<bool>("decrypt");
        QTest::newRow("decryption") << true;
        QTest::newRow("encryption") << false;
    }

    void CancelAtHalfLeavesNothing()
    {
        QFETCH(bool, decrypt);
        const QString source = Work("larger.bin");
        if (!decrypt)
            MakeLargeFile(source, kLargerSourceBytes);
        const QStringList before = WorkEntries();
        CMessageScript script;
        CPellmarDlg window;
        int percentAtCancel = -1;
        bool activeWhileShown = false;
        const auto cancelAtHalf = [&](CProgressDlg* progress) {
            activeWhileShown = window.m_pActiveWnd == progress;
            QTRY_VERIFY_WITH_TIMEOUT(BarOf(*progress).value() >= 50, kWorkTimeoutMs);
            percentAtCancel = BarOf(*progress).value();
            QTest::mouseClick(&CancelOf(*progress), Qt::LeftButton);
            QVERIFY(progress->WasCancelled());
        };
        RunMainWindow(window, [&] {
            if (decrypt) {
                WhenModal<QFileDialog>([&](QFileDialog* dialog) {
                    WhenModal<CProgressDlg>(cancelAtHalf, kWorkTimeoutMs);
                    ChooseFile(dialog, Work("large.bin"));
                });
                window.DoDecrypt(LargeContainer());
                return;
            }
            List(window).setCurrentRow(0);
            WhenModal<QFileDialog>([&](QFileDialog* dialog) {
                WhenModal<QFileDialog>([&](QFileDialog* next) {
                    WhenModal<CProgressDlg>(cancelAtHalf, kWorkTimeoutMs);
                    ChooseFile(next, Work("larger.enp"));
                });
                ChooseFile(dialog, source);
            });
            Click(window, kIdEncrypt);
        });
        QVERIFY(activeWhileShown);
        QVERIFY2(percentAtCancel >= 50 && percentAtCancel < 100,
                 qPrintable(QString::number(percentAtCancel)));
        QVERIFY(script.Shown().isEmpty());
        QCOMPARE(WorkEntries(), before);
        QCOMPARE(window.m_pActiveWnd.data(), &window);
    }

    // While a long decryption runs, the main window handles what is posted to it: before the
    // progress window shows, and while it shows, when a second start's request to come to the
    // front reaches the progress window. The file is restored in the end.
    void LongDecryptionKeepsTheWindowResponsiveAndRestoresTheFile()
    {
        CMessageScript script;
        CPellmarDlg window;
        bool decryptReturned = false;
        bool handledDuringWork = false;
        bool handledWhileShown = false;
        bool broughtProgressToFront = false;
        int percentSeen = -1;
        const QString output = Work("large.bin");
        RunMainWindow(window, [&] {
            WhenModal<QFileDialog>([&](QFileDialog* dialog) {
                ChooseFile(dialog, output);
                // Due while the work runs (the restored file stands only at its end), and before
                // the progress window shows.
                QTimer::singleShot(100, &window, [&] {
                    handledDuringWork = !decryptReturned && !QFileInfo::exists(output);
                });
                WhenModal<CProgressDlg>(
                    [&](CProgressDlg* progress) {
                        QMetaObject::invokeMethod(
                            &window,
                            [&, progress] {
                                window.OnBringToFront();
                                broughtProgressToFront = window.m_pActiveWnd == progress;
                                percentSeen = BarOf(*progress).value();
                                handledWhileShown = !decryptReturned && progress->isVisible();
                            },
                            Qt::QueuedConnection);
                        QTRY_VERIFY_WITH_TIMEOUT(handledWhileShown, kWorkTimeoutMs);
                        // The window goes by itself once the work is done.
                        QTRY_VERIFY_WITH_TIMEOUT(!progress->isVisible(), kWorkTimeoutMs);
                    },
                    kWorkTimeoutMs);
            });
            window.DoDecrypt(LargeContainer());
            decryptReturned = true;
        });
        QVERIFY(handledDuringWork);
        QVERIFY(handledWhileShown);
        QVERIFY(broughtProgressToFront);
        QVERIFY2(percentSeen < 100, qPrintable(QString::number(percentSeen)));
        QVERIFY(script.Shown().isEmpty());
        QVERIFY(SameContent(output, LargeSource()));
    }

    // The output-name dialog, asked for from the worker, still sets the result the decrypt
    // command reads, and a cancelled one ends the decryption without a message.
    void OutputDialogAskedFromTheWorkerKeepsItsResult()
    {
        CMessageScript script;
        CPellmarDlg window;
        bool active = false;
        RunMainWindow(window, [&] {
            WhenModal<QFileDialog>([&](QFileDialog* dialog) {
                active = window.m_pActiveWnd == dialog;
                dialog->reject();
            });
            window.DoDecrypt(LargeContainer());
        });
        QVERIFY(active);
        QCOMPARE(window.m_nFileDialogResult, 2);
        QVERIFY(script.Shown().isEmpty());
        QCOMPARE(WorkEntries(), QStringList());
    }

private:
    CKeyPair& Pair() const { return *m_generator.GetKeyPair(); }
    QString File(const char* name) const { return m_files.filePath(QString::fromLatin1(name)); }
    QString LargeSource() const { return File("large.bin"); }
    QString LargeContainer() const { return File("large.enp"); }
    QString SmallSource() const { return File("small.txt"); }
    QString SmallContainer() const { return File("small.enp"); }
    QString Work(const QString& name) const { return m_pWork->filePath(name); }

    QStringList WorkEntries() const
    {
        return QDir(m_pWork->path())
            .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    }

    static void WriteSmallFile(const QString& path)
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QVERIFY(file.write("a small file\n") > 0);
    }

    const CCurlLibrary m_curl;
    CKeyGenerator m_generator;
    QTemporaryDir m_files;
    std::unique_ptr<CKeyServer> m_pServer;
    std::unique_ptr<CDataScope> m_pData;
    std::unique_ptr<QTemporaryDir> m_pWork;
};

QTEST_MAIN(ProgressDlgTest)
#include "progress_dlg_test.moc"
