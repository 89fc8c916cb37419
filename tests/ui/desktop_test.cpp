// Window tests that need a real X server (run_under_xvfb.sh): a second start of the program and
// screenshots for the documentation.
#include "support/data_scope.h"
#include "support/modal.h"
#include "support/scratch_home.h"
#include "ui/about_dlg.h"
#include "ui/pellmar_app.h"
#include "ui/destination_dlg.h"
#include "ui/pellmar_dlg.h"

#include <QDir>
#include <QElapsedTimer>
#include <QMenu>
#include <QProcess>
#include <QScreen>
#include <QTest>

namespace {

QAction* AboutAction(const CPellmarDlg& window)
{
    return window.findChild<QMenu*>()->actions().last();
}

// Where screenshots go: $PELLMAR_SCREENSHOT_FOLDER, else the current folder.
QString ScreenshotPath(const QString& name)
{
    const QString folder = qEnvironmentVariable("PELLMAR_SCREENSHOT_FOLDER", QStringLiteral("."));
    return QDir(folder).filePath(name);
}

// What the X server shows of window, painted up to date.
QImage Screenshot(QWidget& window)
{
    if (!QTest::qWaitForWindowExposed(&window))
        return {};
    window.repaint(); // painted now; the server handles the grab after the picture
    const QRect frame = window.frameGeometry();
    return window.screen()
        ->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height())
        .toImage();
}

} // namespace

class DesktopTest : public QObject {
    Q_OBJECT

private slots:
    // The first instance runs the real start-up with its About box open; another program has the
    // focus. A second start ends at once, and the main window and then the About box come to the
    // front.
    void SecondStartEndsAtOnceAndBringsTheFirstToTheFront()
    {
        CScratchHome home;
        QProcess otherProgram;
        QProcess secondStart;
        bool otherHadTheFocus = false;
        bool aboutCameToTheFront = false;
        qint64 secondStartMs = -1;
        WhenModal<CPellmarDlg>([&](CPellmarDlg* window) {
            WhenModal<CAboutDlg>([&](CAboutDlg* about) {
                QVERIFY(QTest::qWaitForWindowActive(about));
                otherProgram.start(QStringLiteral(PELLMAR_FOCUS_WINDOW));
                QVERIFY(otherProgram.waitForReadyRead(10000));
                otherHadTheFocus =
                    QTest::qWaitFor([] { return QApplication::activeWindow() == nullptr; });
                QElapsedTimer clock;
                clock.start();
                secondStart.start(QStringLiteral(PELLMAR_GATE_PROGRAM));
                QVERIFY(secondStart.waitForFinished(10000));
                secondStartMs = clock.elapsed();
                aboutCameToTheFront =
                    QTest::qWaitFor([&] { return QApplication::activeWindow() == about; });
                about->accept();
            });
            AboutAction(*window)->trigger();
            window->accept();
        });
        CPellmarApp app;
        QCOMPARE(app.InitInstance(), 0);
        otherProgram.closeWriteChannel();
        QVERIFY(otherProgram.waitForFinished(10000));

        QVERIFY(otherHadTheFocus);
        QCOMPARE(secondStart.exitStatus(), QProcess::NormalExit);
        QCOMPARE(secondStart.exitCode(), 0);
        QCOMPARE(secondStart.readAll(), QByteArray());
        QVERIFY2(secondStartMs < 1000, qPrintable(QString::number(secondStartMs)));
        QVERIFY(aboutCameToTheFront);
    }

    void ScreenshotsOfTheWindows()
    {
        CDataScope data({{"Alice Lindqvist", "https://alice.example.org/pellmar.pub"},
                         {"Bob Okafor", "https://files.example.net/bob/key.pub"},
                         {"Carol Mendes", "http://carol.example.com/public.key"}});
        CPellmarDlg window;
        QImage mainImage;
        QImage aboutImage;
        QImage destinationImage;
        WhenModal<CPellmarDlg>([&](CPellmarDlg*) {
            mainImage = Screenshot(window);
            WhenModal<CAboutDlg>([&](CAboutDlg* about) {
                aboutImage = Screenshot(*about);
                about->accept();
            });
            AboutAction(window)->trigger();
            CDestinationDlg destination(&window);
            destination.m_pDestination = std::make_unique<CDestination>(
                "Bob Okafor", "https://files.example.net/bob/key.pub");
            destination.m_nIndex = 1;
            WhenModal<CDestinationDlg>([&](CDestinationDlg* dialog) {
                destinationImage = Screenshot(*dialog);
                dialog->reject();
            });
            destination.exec();
            window.accept();
        });
        window.exec();
        QCOMPARE(mainImage.size(), window.frameGeometry().size());
        QVERIFY(mainImage.save(ScreenshotPath(QStringLiteral("main_window.png"))));
        QVERIFY(!aboutImage.isNull());
        QVERIFY(aboutImage.save(ScreenshotPath(QStringLiteral("about_box.png"))));
        QVERIFY(!destinationImage.isNull());
        QVERIFY(destinationImage.save(ScreenshotPath(QStringLiteral("destination_dialog.png"))));
    }
};

QTEST_MAIN(DesktopTest)
#include "desktop_test.moc"
