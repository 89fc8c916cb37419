#include "app/repository.h"
#include "app/single_instance.h"
#include "support/message_script.h"
#include "support/modal.h"
#include "support/scratch_home.h"
#include "ui/pellmar_app.h"
#include "ui/pellmar_dlg.h"

#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

class PellmarAppTest : public QObject {
    Q_OBJECT

private slots:
    void FirstStartMakesTheFolderTreeAndEmptyFilesAndShowsAnEmptyList()
    {
        CScratchHome home;
        bool listEmpty = false;
        QStringList entries;
        QList<qint64> sizes;
        WhenModal<CPellmarDlg>([&](CPellmarDlg* window) {
            listEmpty = window->Control<QListWidget>(kIdDestinationList)->count() == 0;
            const QDir data(home.DataFolder());
            entries = data.entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name);
            for (const char* name : {"dest.conf", "inet.conf", "keys.conf"})
                sizes << QFileInfo(data.filePath(QString::fromUtf8(name))).size();
            QTest::mouseClick(window->Control<QPushButton>(kIdExit), Qt::LeftButton);
        });
        CPellmarApp app;
        QCOMPARE(app.InitInstance(), 0);
        QVERIFY(listEmpty);
        QCOMPARE(entries, QStringList({"dest.conf", "inet.conf", "keys", "keys.conf", "temp"}));
        QCOMPARE(sizes, QList<qint64>({0, 0, 0}));
        QCOMPARE(QCoreApplication::organizationName(), QStringLiteral("Talvex"));
        QCOMPARE(QCoreApplication::applicationName(), QStringLiteral("pellmar"));
        QCOMPARE(CPellmarDlg::GetMainWnd(), nullptr);
    }

    void FolderTreeThatCannotBeMadeEndsWithMessage105()
    {
        CScratchHome home;
        QFile blocker(home.DataHome()); // a file where the data home folder belongs
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        CMessageScript script;
        CPellmarApp app;
        QCOMPARE(app.InitInstance(), 1);
        QCOMPARE(script.ShownIds(), QList<int>({105}));
        QCOMPARE(script.Shown()[0].m_text, QStringLiteral("Conf files have problems."));
        QCOMPARE(script.Shown()[0].m_kind, EMessageKind::Error);
    }

    void ConfigurationFileThatCannotBeLoadedEndsWithMessage105()
    {
        CScratchHome home;
        QVERIFY(QDir().mkpath(home.DataFolder()));
        // A link into a folder that does not exist: dest.conf can be neither opened nor made.
        QVERIFY(QFile::link(home.DataFolder() + QStringLiteral("/nowhere/x"),
                            home.DataFolder() + QStringLiteral("/dest.conf")));
        CMessageScript script;
        CPellmarApp app;
        QCOMPARE(app.InitInstance(), 1);
        QCOMPARE(script.ShownIds(), QList<int>({105}));
        QCOMPARE(GetRepository(), nullptr);
    }

    // A second start signals the first and ends without a window or a message.
    void SecondStartEndsAtOnceAndSignalsTheFirst()
    {
        CScratchHome home;
        int signalCount = 0;
        CSingleInstance first([&] {
            QMetaObject::invokeMethod(
                qApp, [&] { ++signalCount; }, Qt::QueuedConnection);
        });
        QVERIFY(first.Start());
        CMessageScript script;
        CPellmarApp app;
        QCOMPARE(app.InitInstance(), 0);
        QVERIFY(script.Shown().isEmpty());
        QVERIFY(!QFileInfo::exists(home.DataFolder()));
        QVERIFY(QTest::qWaitFor([&] { return signalCount == 1; }));
    }
};

QTEST_MAIN(PellmarAppTest)
#include "pellmar_app_test.moc"
