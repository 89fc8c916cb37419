// Window tests that need a real X server (run_under_xvfb.sh): a second start of the program and
// screenshots for the documentation.
#include "support/data_scope.h"
#include "support/dialog_driver.h"
#include "support/modal.h"
#include "support/own_key_pairs.h"
#include "support/scratch_home.h"
#include "ui/about_dlg.h"
#include "ui/active_window_scope.h"
#include "ui/destination_dlg.h"
#include "ui/import_dialog.h"
#include "ui/internet_setting_dlg.h"
#include "ui/key_creator_dialog.h"
#include "ui/key_manager_dlg.h"
#include "ui/key_property_dialog.h"
#include "ui/pellmar_app.h"
#include "ui/pellmar_dlg.h"
#include "ui/progress_dlg.h"

#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

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

    // The two dialogs that say where public keys are published, filled as a user would have them.
    void ScreenshotsOfThePublishingDialogs()
    {
        CDataScope data;
        CInternetSetting& settings = *GetRepository()->m_pInternetSetting;
        settings.SetFtp("ftp://ftp.example.org/public_html/keys/pellmar.pub");
        settings.SetUser("alice");
        settings.SetPassword("correct horse");
        settings.SetUrl("https://www.example.org/keys/pellmar.pub");
        CPellmarDlg window;
        QImage settingsImage;
        QImage creatorImage;
        WhenModal<CPellmarDlg>([&](CPellmarDlg*) {
            CInternetSettingDlg internetSettings(&window);
            WhenModal<CInternetSettingDlg>([&](CInternetSettingDlg* dialog) {
                settingsImage = Screenshot(*dialog);
                dialog->reject();
            });
            internetSettings.exec();
            CKeyManagerDlg manager(&window);
            CKeyCreatorDialog creator(manager);
            WhenModal<CKeyCreatorDialog>([&](CKeyCreatorDialog* dialog) {
                Field(*dialog, kIdKeyPairName).setText(QStringLiteral("Alice 2024"));
                creatorImage = Screenshot(*dialog);
                dialog->reject();
            });
            creator.exec();
            window.accept();
        });
        window.exec();
        QVERIFY(!settingsImage.isNull());
        QVERIFY(settingsImage.save(ScreenshotPath(QStringLiteral("internet_settings_dialog.png"))));
        QVERIFY(!creatorImage.isNull());
        QVERIFY(creatorImage.save(ScreenshotPath(QStringLiteral("key_creation_dialog.png"))));
    }

    // Key management with the user's key pairs, one pair's properties and the import dialog
    // filled in. (The export save dialog is Qt's own file dialog with a caption of its own, which
    // shows only in a window manager's title bar.)
    void ScreenshotsOfTheKeyPairDialogs()
    {
        CDataScope data;
        RegisterNumberedKeyPair("Alice at home", 1);
        RegisterNumberedKeyPair("Alice at work", 2);
        RegisterNumberedKeyPair("Old laptop (2019)", 3);
        CPellmarDlg window;
        QImage managerImage;
        QImage propertyImage;
        QImage exportImage;
        QImage importImage;
        const QTemporaryDir exportFolder;
        WhenModal<CPellmarDlg>([&](CPellmarDlg*) {
            CKeyManagerDlg manager(&window);
            WhenModal<CKeyManagerDlg>([&](CKeyManagerDlg*) {
                List(manager).setCurrentRow(1);
                managerImage = Screenshot(manager);
                WhenModal<CKeyPropertyDialog>([&](CKeyPropertyDialog* property) {
                    propertyImage = Screenshot(*property);
                    WhenModal<CExportDialog>([&](CExportDialog* exportDialog) {
                        // An empty folder of its own, not whatever the test runs in.
                        exportDialog->setDirectory(exportFolder.path());
                        exportImage = Screenshot(*exportDialog);
                        exportDialog->reject();
                    });
                    Click(*property, kIdExportKeyPair);
                    property->reject();
                });
                Click(manager, kIdKeyProperty);
                WhenModal<CImportDialog>([&](CImportDialog* import) {
                    Field(*import, kIdKeyPairName).setText(QStringLiteral("Alice at home"));
                    Field(*import, kIdImportFile)
                        .setText(QStringLiteral("/home/alice/backup/alice-home.exp"));
                    importImage = Screenshot(*import);
                    import->reject();
                });
                Click(manager, kIdImportKeyPair);
                manager.accept();
            });
            RunModal(manager);
            window.accept();
        });
        window.exec();
        const std::pair<const QImage*, QString> images[] = {
            {&managerImage, QStringLiteral("key_management_dialog.png")},
            {&propertyImage, QStringLiteral("key_property_dialog.png")},
            {&exportImage, QStringLiteral("key_export_dialog.png")},
            {&importImage, QStringLiteral("key_import_dialog.png")},
        };
        for (const auto& [image, name] : images) {
            QVERIFY2(!image->isNull(), qPrintable(name));
            QVERIFY(image->save(ScreenshotPath(name)));
        }
    }

    // The progress window over a long decryption, held at 42 % until the picture is taken.
    void ScreenshotOfTheProgressWindow()
    {
        CDataScope data;
        CPellmarDlg window;
        QImage progressImage;
        WhenModal<CPellmarDlg>([&](CPellmarDlg*) {
            CProgressDlg progress(&window, QStringLiteral("Decrypting holiday-photos.enp"));
            WhenModal<CProgressDlg>([&](CProgressDlg* dialog) {
                QTRY_COMPARE(dialog->findChild<QProgressBar*>()->value(), 42);
                progressImage = Screenshot(*dialog);
                dialog->reject(); // Cancel: the work below stops
            });
            progress.Run([](const ProgressCallback& report) {
                while (report(42, 100))
                    QThread::msleep(10);
            });
            window.accept();
        });
        window.exec();
        QVERIFY(!progressImage.isNull());
        QVERIFY(progressImage.save(ScreenshotPath(QStringLiteral("progress_window.png"))));
    }
};

QTEST_MAIN(DesktopTest)
#include "desktop_test.moc"
