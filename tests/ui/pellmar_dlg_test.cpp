#include "support/data_scope.h"
#include "support/dialog_driver.h"
#include "support/message_script.h"
#include "support/modal.h"
#include "ui/about_dlg.h"
#include "ui/destination_dlg.h"
#include "ui/help_dlg.h"
#include "ui/internet_setting_dlg.h"
#include "ui/key_manager_dlg.h"
#include "ui/pellmar_dlg.h"
#include "util/folder_paths.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

namespace {

const CDataScope::Destinations kFive = {
    {"Alice", "http://127.0.0.1:1/alice.pub"}, {"Bob", "http://127.0.0.1:1/bob.pub"},
    {"Carol", "http://127.0.0.1:1/carol.pub"}, {"Dave", "http://127.0.0.1:1/dave.pub"},
    {"Erin", "http://127.0.0.1:1/erin.pub"},
};

// Runs the main window modally, as start-up does, with steps run inside its modal loop; the
// window is closed afterwards. Returns exec()'s result.
int RunWindow(CPellmarDlg& window, const std::function<void(CPellmarDlg*)>& steps)
{
    WhenModal<CPellmarDlg>(steps);
    return window.exec();
}

// Fills the open destination dialog and presses OK. Should the dialog ask whether to keep a URL
// it cannot fetch a key from, the test's message script answers.
void EnterDestination(const QString& name, const QString& url)
{
    WhenModal<CDestinationDlg>([=](CDestinationDlg* dialog) {
        Field(*dialog, kIdDestinationName).setText(name);
        Field(*dialog, kIdDestinationUrl).setText(url);
        Click(*dialog, kIdOk);
    });
}

} // namespace

class PellmarDlgTest : public QObject {
    Q_OBJECT

private slots:
    void StartsWithTheDestinationsInOrderAndTheFirstSelected()
    {
        CDataScope data(kFive);
        CPellmarDlg window;
        QCOMPARE(window.m_pActiveWnd, nullptr);
        RunWindow(window, [&](CPellmarDlg* running) {
            QCOMPARE(running, &window);
            QCOMPARE(RowsOf(List(window)), data.Names());
            QCOMPARE(SelectedRowOf(List(window)), 0);
            QCOMPARE(window.m_pActiveWnd, &window);
            QVERIFY(window.acceptDrops());
            QVERIFY(!window.windowIcon().isNull());
            QCOMPARE(window.windowTitle(), QStringLiteral("Pellmar-Gate"));
            // Centred by its size; the frame, unknown before the window first shows, not counted.
            const QRect screen = window.screen()->geometry();
            const QSize size = window.size();
            QCOMPARE(window.frameGeometry().topLeft(),
                     QPoint(screen.width() / 2 - size.width() / 2,
                            screen.height() / 2 - size.height() / 2));
            QVERIFY(QTest::qWaitForWindowActive(&window));
            QCOMPARE(QApplication::focusWidget(), &List(window));
        });
    }

    void EmptyListHasNoSelectionAndAnInsertGoesToRowZero()
    {
        CDataScope data;
        CPellmarDlg window;
        RunWindow(window, [&](CPellmarDlg*) {
            QCOMPARE(List(window).count(), 0);
            QCOMPARE(SelectedRowOf(List(window)), -1);
            window.InsertDestination(CDestination("Zed", "http://z/k.pub"));
            QCOMPARE(RowsOf(List(window)), std::vector<std::string>({"Zed"}));
            QCOMPARE(SelectedRowOf(List(window)), 0);
        });
        QCOMPARE(data.Names(), std::vector<std::string>({"Zed"}));
        QVERIFY(StampOf(data.DestConfPath()).m_content.find("NAME=Zed") != std::string::npos);
    }

    void InsertGoesInFrontOfTheSelectedRowAndIsWritten()
    {
        CDataScope data(kFive);
        CPellmarDlg window;
        RunWindow(window, [&](CPellmarDlg*) {
            List(window).setCurrentRow(2);
            window.InsertDestination(CDestination("New", "http://n/k.pub"));
            QCOMPARE(SelectedRowOf(List(window)), 2);
            QCOMPARE(RowsOf(List(window)), data.Names());
        });
        const std::vector<std::string> expected = {"Alice", "Bob", "New", "Carol", "Dave", "Erin"};
        QCOMPARE(data.Names(), expected);
        CDestinationList fromFile;
        QVERIFY(fromFile.Load(g_szDataFolder));
        QCOMPARE(fromFile.GetCount(), 6);
        QCOMPARE(fromFile.GetAt(2)->GetName(), std::string("New"));
    }

    void AddThroughTheDialogInsertsAtTheSelection()
    {
        CDataScope data(kFive);
        CMessageScript script;
        script.Answer(QMessageBox::Yes); // keep the URL although no key can be fetched from it
        CPellmarDlg window;
        RunWindow(window, [&](CPellmarDlg*) {
            List(window).setCurrentRow(1);
            EnterDestination(QStringLiteral("Frank"), QStringLiteral("http://127.0.0.1:1/f.pub"));
            Click(window, kIdAdd);
            QCOMPARE(SelectedRowOf(List(window)), 1);
            QCOMPARE(window.m_pActiveWnd, &window);
        });
        QCOMPARE(data.Names(),
                 std::vector<std::string>({"Alice", "Frank", "Bob", "Carol", "Dave", "Erin"}));
        QCOMPARE(data.List().GetAt(1)->GetUrl(), std::string("http://127.0.0.1:1/f.pub"));
    }

    void CancelledAddChangesNothing()
    {
        CDataScope data(kFive);
        const SFileStamp before = StampOf(data.DestConfPath());
        CPellmarDlg window;
        RunWindow(window, [&](CPellmarDlg*) {
            WhenModal<CDestinationDlg>([](CDestinationDlg* dialog) {
                Field(*dialog, kIdDestinationName).setText(QStringLiteral("X"));
                QTest::keyClick(dialog, Qt::Key_Escape);
            });
            Click(window, kIdAdd);
            QCOMPARE(RowsOf(List(window)), data.Names());
        });
        QCOMPARE(data.List().GetCount(), 5);
        QVERIFY(StampOf(data.DestConfPath()) == before);
    }

    void ModifyShowsTheEntryAndWritesNothingWhenUnchanged()
    {
        CDataScope data(kFive);
        CMessageScript script;
        script.Answer(QMessageBox::Yes);
        const SFileStamp before = StampOf(data.DestConfPath());
        CPellmarDlg window;
        QString shownName;
        QString shownUrl;
        RunWindow(window, [&](CPellmarDlg*) {
            List(window).setCurrentRow(3);
            WhenModal<CDestinationDlg>([&](CDestinationDlg* dialog) {
                shownName = Field(*dialog, kIdDestinationName).text();
                shownUrl = Field(*dialog, kIdDestinationUrl).text();
                Click(*dialog, kIdOk);
            });
            Click(window, kIdModify);
            QCOMPARE(SelectedRowOf(List(window)), 3);
        });
        QCOMPARE(shownName, QStringLiteral("Dave"));
        QCOMPARE(shownUrl, QStringLiteral("http://127.0.0.1:1/dave.pub"));
        QVERIFY(StampOf(data.DestConfPath()) == before);
        QCOMPARE(data.List().GetCount(), 5);
    }

    void ModifyReplacesTheEntryAndItsRow()
    {
        CDataScope data(kFive);
        CMessageScript script;
        script.Answer(QMessageBox::Yes);
        CPellmarDlg window;
        RunWindow(window, [&](CPellmarDlg*) {
            List(window).setCurrentRow(1);
            EnterDestination(QStringLiteral("Robert"), QStringLiteral("http://127.0.0.1:1/r.pub"));
            Click(window, kIdModify);
            QCOMPARE(RowsOf(List(window)), data.Names());
            QCOMPARE(SelectedRowOf(List(window)), 1);
        });
        QCOMPARE(data.List().GetAt(1)->GetName(), std::string("Robert"));
        QCOMPARE(data.List().GetAt(1)->GetUrl(), std::string("http://127.0.0.1:1/r.pub"));
        QVERIFY(StampOf(data.DestConfPath()).m_content.find("NAME=Robert") != std::string::npos);
    }

    void ModifyAndDeleteWithoutASelectionDoNothing()
    {
        CDataScope data(kFive);
        CMessageScript script;
        const SFileStamp before = StampOf(data.DestConfPath());
        CPellmarDlg window;
        RunWindow(window, [&](CPellmarDlg*) {
            List(window).clearSelection();
            Click(window, kIdModify); // a destination dialog would stop the test: none may come
            Click(window, kIdDelete);
            Click(window, kIdUpper);
            Click(window, kIdLower);
            QCOMPARE(RowsOf(List(window)), data.Names());
        });
        QVERIFY(script.Shown().isEmpty());
        QVERIFY(StampOf(data.DestConfPath()) == before);
    }

    void DeleteAsksWithTheNameAndNoKeepsTheEntry()
    {
        CDataScope data(kFive);
        CMessageScript script;
        script.Answer(QMessageBox::No);
        const SFileStamp before = StampOf(data.DestConfPath());
        CPellmarDlg window;
        RunWindow(window, [&](CPellmarDlg*) {
            List(window).setCurrentRow(2);
            Click(window, kIdDelete);
            QCOMPARE(SelectedRowOf(List(window)), 2);
        });
        QCOMPARE(script.ShownIds(), QList<int>({114}));
        QCOMPARE(script.Shown()[0].m_text,
                 QStringLiteral("Are you sure to delete destination Carol?"));
        QCOMPARE(script.Shown()[0].m_kind, EMessageKind::Question);
        QCOMPARE(data.List().GetCount(), 5);
        QVERIFY(StampOf(data.DestConfPath()) == before);
    }

    void DeleteSelectsTheRowAboveOrTheNewFirstRow_data() { AddRowDeletionCases(); }

    void DeleteSelectsTheRowAboveOrTheNewFirstRow()
    {
        QFETCH(int, count);
        QFETCH(int, row);
        QFETCH(int, selectedAfter);
        CDataScope data(CDataScope::Destinations(kFive.begin(), kFive.begin() + count));
        CMessageScript script;
        script.Answer(QMessageBox::Yes);
        CPellmarDlg window;
        RunWindow(window, [&](CPellmarDlg*) {
            List(window).setCurrentRow(row);
            Click(window, kIdDelete);
            QCOMPARE(SelectedRowOf(List(window)), selectedAfter);
            QCOMPARE(RowsOf(List(window)), data.Names());
        });
        QCOMPARE(data.List().GetCount(), count - 1);
        const std::string deleted = kFive[static_cast<std::size_t>(row)].first;
        QVERIFY(StampOf(data.DestConfPath()).m_content.find("NAME=" + deleted + "\r") ==
                std::string::npos);
    }

    // The same through a real message box.
    void DeleteAsksInAQuestionBox()
    {
        CDataScope data(kFive);
        CPellmarDlg window;
        QString text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        RunWindow(window, [&](CPellmarDlg*) {
            List(window).setCurrentRow(1);
            WhenModal<QMessageBox>([&](QMessageBox* box) {
                text = box->text();
                icon = box->icon();
                QCOMPARE(window.m_pActiveWnd, box);
                box->button(QMessageBox::Yes)->click();
            });
            Click(window, kIdDelete);
        });
        QCOMPARE(text, QStringLiteral("Are you sure to delete destination Bob?"));
        QCOMPARE(icon, QMessageBox::Question);
        QCOMPARE(data.Names(), std::vector<std::string>({"Alice", "Carol", "Dave", "Erin"}));
    }

    void UpperOnTheFirstRowAndLowerOnTheLastWriteNothing()
    {
        CDataScope data(kFive);
        const SFileStamp before = StampOf(data.DestConfPath());
        CPellmarDlg window;
        RunWindow(window, [&](CPellmarDlg*) {
            List(window).setCurrentRow(0);
            Click(window, kIdUpper);
            QCOMPARE(SelectedRowOf(List(window)), 0);
            List(window).setCurrentRow(4);
            Click(window, kIdLower);
            QCOMPARE(SelectedRowOf(List(window)), 4);
            QCOMPARE(RowsOf(List(window)), data.Names());
        });
        QVERIFY(StampOf(data.DestConfPath()) == before);
    }

    void UpperAndLowerMoveTheSelectedEntryAndWriteTheList()
    {
        CDataScope data(kFive);
        CPellmarDlg window;
        RunWindow(window, [&](CPellmarDlg*) {
            List(window).setCurrentRow(1);
            Click(window, kIdUpper);
            QCOMPARE(SelectedRowOf(List(window)), 0);
            QVERIFY(window.Control<QPushButton>(kIdUpper)->isEnabled());
            List(window).setCurrentRow(2);
            Click(window, kIdLower);
            QCOMPARE(SelectedRowOf(List(window)), 3);
            QVERIFY(window.Control<QPushButton>(kIdLower)->isEnabled());
            QCOMPARE(RowsOf(List(window)), data.Names());
        });
        const std::vector<std::string> expected = {"Bob", "Alice", "Dave", "Carol", "Erin"};
        QCOMPARE(data.Names(), expected);
        CDestinationList fromFile;
        QVERIFY(fromFile.Load(g_szDataFolder));
        QCOMPARE(fromFile.GetAt(0)->GetName(), std::string("Bob"));
        QCOMPARE(fromFile.GetAt(3)->GetName(), std::string("Carol"));
    }

    void TheMenuCarriesTheWindowMenuEntriesInOrder()
    {
        CDataScope data;
        CPellmarDlg window;
        QStringList entries;
        RunWindow(window, [&](CPellmarDlg*) {
            const QList<QMenu*> menus = window.findChildren<QMenu*>();
            QCOMPARE(menus.size(), 1);
            for (QAction* action : menus.first()->actions())
                entries << (action->isSeparator() ? QStringLiteral("-") : action->text());
        });
        QCOMPARE(entries,
                 QStringList({QStringLiteral("&Decrypt..."), QStringLiteral("&Key Management..."),
                              QStringLiteral("&Internet Settings..."), QStringLiteral("-"),
                              QStringLiteral("&About Pellmar-Gate...")}));
    }

    void AboutRunsModallyAsTheActiveWindow()
    {
        CDataScope data;
        CPellmarDlg window;
        QStringList texts;
        RunWindow(window, [&](CPellmarDlg*) {
            WhenModal<CAboutDlg>([&](CAboutDlg* about) {
                QCOMPARE(window.m_pActiveWnd, about);
                QCOMPARE(about->windowTitle(), QStringLiteral("Version of Pellmar-Gate"));
                for (QLabel* label : about->findChildren<QLabel*>())
                    texts << label->text();
                QTest::keyClick(about, Qt::Key_Return); // the default button, OK
            });
            MenuAction(window, 4)->trigger();
            QCOMPARE(window.m_pActiveWnd, &window);
        });
        QCOMPARE(texts,
                 QStringList({QString(), QStringLiteral("Pellmar-Gate Version 1.0.0.2"),
                              QStringLiteral("RSA && AES key generator powered by OpenSSL")}));
    }

    // Key Management and Internet Settings each run their dialog modally as the active window;
    // afterwards the main window is the active one again.
    void KeyManagementAndInternetSettingsRunTheirDialogs()
    {
        CDataScope data;
        CMessageScript script;
        CPellmarDlg window;
        QStringList titles;
        RunWindow(window, [&](CPellmarDlg*) {
            WhenModal<CKeyManagerDlg>([&](CKeyManagerDlg* dialog) {
                if (window.m_pActiveWnd == dialog)
                    titles << dialog->windowTitle();
                QTest::keyClick(dialog, Qt::Key_Escape);
            });
            MenuAction(window, 1)->trigger();
            QCOMPARE(window.m_pActiveWnd, &window);
            WhenModal<CInternetSettingDlg>([&](CInternetSettingDlg* dialog) {
                if (window.m_pActiveWnd == dialog)
                    titles << dialog->windowTitle();
                QTest::keyClick(dialog, Qt::Key_Escape);
            });
            MenuAction(window, 2)->trigger();
            QCOMPARE(window.m_pActiveWnd, &window);
        });
        QCOMPARE(titles, QStringList({QStringLiteral("Key Pair Management"),
                                      QStringLiteral("Internet settings")}));
        QCOMPARE(script.Shown().size(), 0);
    }

    void HelpOpensTheGuide()
    {
        CDataScope data;
        CPellmarDlg window;
        bool shown = false;
        RunWindow(window, [&](CPellmarDlg*) {
            WhenModal<CHelpDlg>([&](CHelpDlg* help) {
                shown = window.m_pActiveWnd == help;
                QTest::keyClick(help, Qt::Key_Escape);
            });
            Click(window, kIdHelp);
        });
        QVERIFY(shown);
    }

    void ExitEscapeAndEnterInTheListEndTheLoop()
    {
        CDataScope data(kFive);
        {
            CPellmarDlg window;
            QCOMPARE(RunWindow(window, [&](CPellmarDlg*) { Click(window, kIdExit); }),
                     int(QDialog::Accepted));
        }
        {
            CPellmarDlg window;
            QCOMPARE(
                RunWindow(window,
                          [&](CPellmarDlg*) { QTest::keyClick(&List(window), Qt::Key_Escape); }),
                int(QDialog::Rejected));
        }
        {
            CPellmarDlg window;
            QCOMPARE(
                RunWindow(window,
                          [&](CPellmarDlg*) { QTest::keyClick(&List(window), Qt::Key_Return); }),
                int(QDialog::Accepted));
        }
    }

    // Only the first of several dropped files is handed to the decryption.
    void DroppedFilesGoToTheDecryptionFirstOnly()
    {
        CDataScope data;
        CMessageScript script;
        QTemporaryDir folder;
        QList<QUrl> urls;
        for (const char* name : {"a.txt", "b.txt", "c.txt"}) {
            QFile file(folder.filePath(QString::fromUtf8(name)));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("not a container");
            urls << QUrl::fromLocalFile(file.fileName());
        }
        CPellmarDlg window;
        bool acceptedLocal = false;
        bool acceptedRemote = true;
        RunWindow(window, [&](CPellmarDlg*) {
            acceptedRemote = Drag(window, {QUrl(QStringLiteral("https://example.org/x.enp"))});
            acceptedLocal = Drag(window, urls);
            Drop(window, urls);
        });
        QVERIFY(!acceptedRemote);
        QVERIFY(acceptedLocal);
        QCOMPARE(script.Shown().size(), 1);
    }

    void BringToFrontRestoresTheWindowAndActivatesTheModalOnTop()
    {
        CDataScope data;
        CPellmarDlg window;
        bool restored = false;
        bool aboutActive = false;
        RunWindow(window, [&](CPellmarDlg*) {
            window.showMinimized();
            window.OnBringToFront();
            restored = !window.isMinimized();
            WhenModal<CAboutDlg>([&](CAboutDlg* about) {
                window.OnBringToFront();
                aboutActive =
                    QTest::qWaitFor([&] { return QApplication::activeWindow() == about; });
            });
            MenuAction(window, 4)->trigger();
        });
        QVERIFY(restored);
        QVERIFY(aboutActive);
    }

private:
    static QAction* MenuAction(const CPellmarDlg& window, int index)
    {
        return window.findChild<QMenu*>()->actions().at(index);
    }

    // Sends a drag entering the window with urls; true when the window accepts it.
    static bool Drag(CPellmarDlg& window, const QList<QUrl>& urls)
    {
        QMimeData data;
        data.setUrls(urls);
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton,
                              Qt::NoModifier);
        QApplication::sendEvent(&window, &enter);
        return enter.isAccepted();
    }

    static void Drop(CPellmarDlg& window, const QList<QUrl>& urls)
    {
        QMimeData data;
        data.setUrls(urls);
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&window, &drop);
    }
};

QTEST_MAIN(PellmarDlgTest)
#include "pellmar_dlg_test.moc"
