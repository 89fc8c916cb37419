#include "support/data_scope.h"
#include "support/dialog_driver.h"
#include "support/dialog_watch.h"
#include "support/message_script.h"
#include "support/modal.h"
#include "support/own_key_pairs.h"
#include "support/scratch_folder.h"
#include "ui/active_window_scope.h"
#include "ui/key_creator_dialog.h"
#include "ui/key_manager_dlg.h"
#include "ui/key_property_dialog.h"
#include "ui/pellmar_dlg.h"
#include "util/folder_paths.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include <sys/stat.h>

namespace {

// The key pairs most tests start with, in list order.
const std::vector<std::string> kFive = {"Alice", "Bob", "Carol", "Dave", "Erin"};

// Registers the names as key pairs 1, 2, ... in order; gives their file names.
std::vector<std::string> RegisterKeyPairs(const std::vector<std::string>& names)
{
    std::vector<std::string> files;
    for (std::size_t i = 0; i < names.size(); ++i)
        files.push_back(RegisterNumberedKeyPair(names[i], static_cast<int>(i) + 1));
    return files;
}

// Runs the dialog modally, as the main window's menu does, with steps run inside its modal loop;
// the dialog is closed afterwards. Returns exec()'s result.
int RunDialog(CKeyManagerDlg& dialog, const std::function<void(CKeyManagerDlg*)>& steps)
{
    WhenModal<CKeyManagerDlg>(steps);
    return RunModal(dialog);
}

} // namespace

class KeyManagerDlgTest : public QObject {
    Q_OBJECT

private slots:
    void init() { m_pData = std::make_unique<CDataScope>(); }
    void cleanup() { m_pData.reset(); }

    void StartsWithTheKeyPairsInOrderAndTheFirstSelected()
    {
        RegisterKeyPairs(kFive);
        CKeyManagerDlg dialog;
        RunDialog(dialog, [&](CKeyManagerDlg*) {
            QCOMPARE(dialog.windowTitle(), QStringLiteral("Key Pair Management"));
            QCOMPARE(RowsOf(List(dialog)), kFive);
            QCOMPARE(SelectedRowOf(List(dialog)), 0);
            QVERIFY(QTest::qWaitForWindowActive(&dialog));
            QCOMPARE(QApplication::focusWidget(), &List(dialog));
        });
    }

    void EmptyListHasNoSelectionAndANewPairGoesToRowZero()
    {
        CKeyManagerDlg dialog;
        RunDialog(dialog, [&](CKeyManagerDlg*) {
            QCOMPARE(List(dialog).count(), 0);
            QCOMPARE(SelectedRowOf(List(dialog)), -1);
            dialog.AddKeyPairEntry("Zed", NumberedGuid(9) + ".key");
            QCOMPARE(RowsOf(List(dialog)), std::vector<std::string>({"Zed"}));
            QCOMPARE(SelectedRowOf(List(dialog)), 0);
        });
        const std::vector<std::string> expected = {"Zed " + NumberedGuid(9) + ".key"};
        QCOMPARE(KeysConfEntries(), expected);
    }

    void NewPairGoesInFrontOfTheSelectedRowAndIsWritten()
    {
        const std::vector<std::string> files = RegisterKeyPairs(kFive);
        CKeyManagerDlg dialog;
        RunDialog(dialog, [&](CKeyManagerDlg*) {
            List(dialog).setCurrentRow(2);
            dialog.AddKeyPairEntry("New", NumberedGuid(9) + ".key");
            QCOMPARE(SelectedRowOf(List(dialog)), 2);
            QCOMPARE(RowsOf(List(dialog)), KeyPairNames());
        });
        const std::vector<std::string> expected = {
            "Alice " + files[0], "Bob " + files[1],  "New " + NumberedGuid(9) + ".key",
            "Carol " + files[2], "Dave " + files[3], "Erin " + files[4]};
        QCOMPARE(KeyPairEntries(), expected);
        QCOMPARE(KeysConfEntries(), expected);
    }

    // An entry that cannot be written to keys.conf is taken out of the list again and gets no
    // row: rows and entries stay one for one, and the file is as it was.
    void NewPairWhoseSaveFailsAddsNoRowAndLeavesTheList_data()
    {
        QTest::addColumn<bool>("withoutTempFolder");
        QTest::addColumn<QString>("name");
        QTest::newRow("temp folder gone") << true << QStringLiteral("New");
        QTest::newRow("name with a line break") << false << QStringLiteral("New\nLine");
    }

    void NewPairWhoseSaveFailsAddsNoRowAndLeavesTheList()
    {
        QFETCH(bool, withoutTempFolder);
        QFETCH(QString, name);
        RegisterKeyPairs(kFive);
        const std::vector<std::string> before = KeyPairEntries();
        const SFileStamp keysConf = StampOf(KeysConfPath());
        CMessageScript script;
        CKeyManagerDlg dialog;
        RunDialog(dialog, [&](CKeyManagerDlg*) {
            List(dialog).setCurrentRow(2);
            const QString tempFolder = QString::fromStdString(g_szTempFolder);
            if (withoutTempFolder)
                QVERIFY(QDir(tempFolder).removeRecursively());
            dialog.AddKeyPairEntry(name.toStdString(), NumberedGuid(9) + ".key");
            if (withoutTempFolder)
                QVERIFY(QDir().mkpath(tempFolder));
            QCOMPARE(RowsOf(List(dialog)), kFive);
            QCOMPARE(SelectedRowOf(List(dialog)), 2);
        });
        QCOMPARE(KeyPairEntries(), before);
        // (Taking the entry out saves the list again; where that works, the file is rewritten
        // with what it held.)
        QCOMPARE(StampOf(KeysConfPath()).m_content, keysConf.m_content);
        QCOMPARE(script.Shown().size(), 0);
        // The pairs' files are all still there: taking the entry out deleted no key pair file.
        QCOMPARE(EntriesOf(g_szKeysFolder).size(), kFive.size());
    }

    void DeleteRemovesEntryRowAndKeyPairFileAndSelectsTheRowAbove_data() { AddRowDeletionCases(); }

    void DeleteRemovesEntryRowAndKeyPairFileAndSelectsTheRowAbove()
    {
        QFETCH(int, count);
        QFETCH(int, row);
        QFETCH(int, selectedAfter);
        const std::vector<std::string> files =
            RegisterKeyPairs(std::vector<std::string>(kFive.begin(), kFive.begin() + count));
        const std::string deletedFile = files[static_cast<std::size_t>(row)];
        CMessageScript script;
        script.Answer(QMessageBox::Yes);
        CKeyManagerDlg dialog;
        RunDialog(dialog, [&](CKeyManagerDlg*) {
            List(dialog).setCurrentRow(row);
            Click(dialog, kIdDelete);
            QCOMPARE(SelectedRowOf(List(dialog)), selectedAfter);
            QCOMPARE(RowsOf(List(dialog)), KeyPairNames());
        });
        QCOMPARE(script.ShownIds(), QList<int>({119}));
        QCOMPARE(KeyPairNames().size(), static_cast<std::size_t>(count - 1));
        QVERIFY(!PathExists(g_szKeysFolder + deletedFile));
        QCOMPARE(EntriesOf(g_szKeysFolder).size(), static_cast<std::size_t>(count - 1));
        QCOMPARE(KeysConfEntries(), KeyPairEntries());
    }

    // The question names the key pair; No keeps everything.
    void DeleteAsksInAQuestionBoxAndNoKeepsThePair()
    {
        const std::vector<std::string> files = RegisterKeyPairs(kFive);
        const SFileStamp keysConf = StampOf(KeysConfPath());
        CPellmarDlg mainWindow;
        CKeyManagerDlg dialog(&mainWindow);
        QString text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        bool active = false;
        RunDialog(dialog, [&](CKeyManagerDlg*) {
            List(dialog).setCurrentRow(1);
            WhenModal<QMessageBox>([&](QMessageBox* box) {
                text = box->text();
                icon = box->icon();
                active = mainWindow.m_pActiveWnd == box;
                box->button(QMessageBox::No)->click();
            });
            Click(dialog, kIdDelete);
            QCOMPARE(mainWindow.m_pActiveWnd, &dialog);
            QCOMPARE(RowsOf(List(dialog)), kFive);
            QCOMPARE(SelectedRowOf(List(dialog)), 1);
        });
        QCOMPARE(text, QStringLiteral("Are you sure to delete key pair Bob?"));
        QCOMPARE(icon, QMessageBox::Question);
        QVERIFY(active);
        QCOMPARE(KeyPairNames(), kFive);
        QVERIFY(PathExists(g_szKeysFolder + files[1]));
        QVERIFY(StampOf(KeysConfPath()) == keysConf);
    }

    // A key pair file without write permission goes all the same; one that is already gone is no
    // obstacle to removing its entry.
    void DeleteOfAReadOnlyOrMissingKeyPairFileRemovesTheEntry_data()
    {
        QTest::addColumn<bool>("missing");
        QTest::newRow("read-only") << false;
        QTest::newRow("missing") << true;
    }

    void DeleteOfAReadOnlyOrMissingKeyPairFileRemovesTheEntry()
    {
        QFETCH(bool, missing);
        const std::vector<std::string> files = RegisterKeyPairs(kFive);
        const std::string path = g_szKeysFolder + files[2];
        if (missing)
            QCOMPARE(::unlink(path.c_str()), 0);
        else
            QCOMPARE(::chmod(path.c_str(), 0400), 0);
        CMessageScript script;
        script.Answer(QMessageBox::Yes);
        CKeyManagerDlg dialog;
        RunDialog(dialog, [&](CKeyManagerDlg*) {
            List(dialog).setCurrentRow(2);
            Click(dialog, kIdDelete);
            QCOMPARE(RowsOf(List(dialog)), KeyPairNames());
            QCOMPARE(SelectedRowOf(List(dialog)), 1);
        });
        QCOMPARE(KeyPairNames(), std::vector<std::string>({"Alice", "Bob", "Dave", "Erin"}));
        QCOMPARE(KeysConfEntries(), KeyPairEntries());
        QVERIFY(!PathExists(path));
    }

    // A key pair file that cannot be deleted keeps its entry and its row, silently.
    void DeleteOfAKeyPairFileThatCannotBeDeletedKeepsEntryAndRow()
    {
        const std::vector<std::string> files = RegisterKeyPairs(kFive);
        const std::string path = g_szKeysFolder + files[3];
        const SFileStamp keysConf = StampOf(KeysConfPath());
        const std::string content = StampOf(path).m_content;
        CMessageScript script;
        script.Answer(QMessageBox::Yes);
        CKeyManagerDlg dialog;
        {
            const CImmutableScope locked(path);
            if (!locked.IsSet())
                QSKIP("files cannot be made immutable here");
            RunDialog(dialog, [&](CKeyManagerDlg*) {
                List(dialog).setCurrentRow(3);
                Click(dialog, kIdDelete);
                QCOMPARE(RowsOf(List(dialog)), kFive);
                QCOMPARE(SelectedRowOf(List(dialog)), 3);
            });
        }
        QCOMPARE(script.ShownIds(), QList<int>({119}));
        QCOMPARE(KeyPairNames(), kFive);
        QVERIFY(StampOf(KeysConfPath()) == keysConf);
        QCOMPARE(StampOf(path).m_content, content);
    }

    void CommandsWithoutASelectionDoNothing()
    {
        RegisterKeyPairs(kFive);
        const SFileStamp keysConf = StampOf(KeysConfPath());
        CMessageScript script;
        CKeyManagerDlg dialog;
        int opened = -1;
        RunDialog(dialog, [&](CKeyManagerDlg*) {
            List(dialog).clearSelection();
            List(dialog).setCurrentItem(nullptr);
            const CDialogWatch<QDialog> watch;
            for (int id : {kIdDelete, kIdKeyProperty, kIdUpper, kIdLower})
                Click(dialog, id);
            QTest::qWait(50); // a dialog opened by a click would show by now
            opened = watch.Count();
            QCOMPARE(RowsOf(List(dialog)), kFive);
            QCOMPARE(SelectedRowOf(List(dialog)), -1);
        });
        QCOMPARE(opened, 0);
        QCOMPARE(script.Shown().size(), 0);
        QVERIFY(StampOf(KeysConfPath()) == keysConf);
    }

    void UpperOnTheFirstRowAndLowerOnTheLastWriteNothing_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("button");
        QTest::newRow("Upper on row 0") << 0 << kIdUpper;
        QTest::newRow("Lower on the last row") << 4 << kIdLower;
    }

    void UpperOnTheFirstRowAndLowerOnTheLastWriteNothing()
    {
        QFETCH(int, row);
        QFETCH(int, button);
        RegisterKeyPairs(kFive);
        const SFileStamp keysConf = StampOf(KeysConfPath());
        CKeyManagerDlg dialog;
        RunDialog(dialog, [&](CKeyManagerDlg*) {
            List(dialog).setCurrentRow(row);
            Click(dialog, button);
            QCOMPARE(SelectedRowOf(List(dialog)), row);
            QCOMPARE(RowsOf(List(dialog)), kFive);
        });
        QCOMPARE(KeyPairNames(), kFive);
        QVERIFY(StampOf(KeysConfPath()) == keysConf);
    }

    void UpperAndLowerMoveTheSelectedPairAndWriteTheList_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("button");
        QTest::addColumn<int>("selectedAfter");
        QTest::addColumn<QStringList>("order");
        QTest::newRow("Upper on row 1")
            << 1 << kIdUpper << 0 << QStringList({"Bob", "Alice", "Carol", "Dave", "Erin"});
        QTest::newRow("Upper on the last row")
            << 4 << kIdUpper << 3 << QStringList({"Alice", "Bob", "Carol", "Erin", "Dave"});
        QTest::newRow("Lower on row 0")
            << 0 << kIdLower << 1 << QStringList({"Bob", "Alice", "Carol", "Dave", "Erin"});
        QTest::newRow("Lower on row 3")
            << 3 << kIdLower << 4 << QStringList({"Alice", "Bob", "Carol", "Erin", "Dave"});
    }

    void UpperAndLowerMoveTheSelectedPairAndWriteTheList()
    {
        QFETCH(int, row);
        QFETCH(int, button);
        QFETCH(int, selectedAfter);
        QFETCH(QStringList, order);
        RegisterKeyPairs(kFive);
        const std::vector<std::string> before = KeyPairEntries();
        CKeyManagerDlg dialog;
        RunDialog(dialog, [&](CKeyManagerDlg*) {
            QVERIFY(QTest::qWaitForWindowActive(&dialog));
            List(dialog).setCurrentRow(row);
            dialog.Control<QPushButton>(button)->setFocus();
            QTest::keyClick(dialog.Control<QPushButton>(button), Qt::Key_Space);
            QCOMPARE(SelectedRowOf(List(dialog)), selectedAfter);
            QVERIFY(dialog.Control<QPushButton>(button)->isEnabled());
            QVERIFY(dialog.Control<QPushButton>(button)->hasFocus());
            QCOMPARE(RowsOf(List(dialog)), KeyPairNames());
        });
        std::vector<std::string> expected;
        for (const QString& name : order)
            expected.push_back(name.toStdString());
        QCOMPARE(KeyPairNames(), expected);
        // Each entry moved with its file name.
        std::vector<std::string> entries = KeyPairEntries();
        std::vector<std::string> sortedBefore = before;
        std::sort(entries.begin(), entries.end());
        std::sort(sortedBefore.begin(), sortedBefore.end());
        QCOMPARE(entries, sortedBefore);
        QCOMPARE(KeysConfEntries(), KeyPairEntries());
    }

    // Property opens the property dialog on the selected pair, entered as the active window;
    // a changed name after OK renames the entry, keeping its file.
    void PropertyRenamesAfterOk_data()
    {
        QTest::addColumn<QString>("newName");
        QTest::addColumn<bool>("pressOk");
        QTest::addColumn<bool>("written");
        QTest::newRow("same text") << QStringLiteral("Carol") << true << false;
        QTest::newRow("other letter case") << QStringLiteral("CAROL") << true << true;
        QTest::newRow("new name") << QStringLiteral("Caroline") << true << true;
        QTest::newRow("empty name") << QString() << true << true;
        QTest::newRow("name of another pair") << QStringLiteral("Alice") << true << true;
        QTest::newRow("cancelled") << QStringLiteral("Caroline") << false << false;
    }

    void PropertyRenamesAfterOk()
    {
        QFETCH(QString, newName);
        QFETCH(bool, pressOk);
        QFETCH(bool, written);
        const std::vector<std::string> files = RegisterKeyPairs(kFive);
        const SFileStamp keysConf = StampOf(KeysConfPath());
        CPellmarDlg mainWindow;
        CKeyManagerDlg dialog(&mainWindow);
        QString shownName;
        QString shownDate;
        bool active = false;
        RunDialog(dialog, [&](CKeyManagerDlg*) {
            List(dialog).setCurrentRow(2);
            WhenModal<CKeyPropertyDialog>([&](CKeyPropertyDialog* property) {
                active = mainWindow.m_pActiveWnd == property;
                auto* name = property->Control<QLineEdit>(kIdKeyPairName);
                shownName = name->text();
                shownDate = property->Control<QLabel>(kIdCreateDate)->text();
                name->setText(newName);
                Click(*property, pressOk ? kIdOk : kIdCancel);
            });
            Click(dialog, kIdKeyProperty);
            QCOMPARE(mainWindow.m_pActiveWnd, &dialog);
            QCOMPARE(SelectedRowOf(List(dialog)), 2);
            QCOMPARE(RowsOf(List(dialog)), KeyPairNames());
        });
        QVERIFY(active);
        QCOMPARE(shownName, QStringLiteral("Carol"));
        QVERIFY(shownDate != QStringLiteral("unknown"));
        const std::string expectedName = pressOk ? newName.toStdString() : "Carol";
        QCOMPARE(KeyPairNames()[2], expectedName);
        QCOMPARE(KeyPairEntries()[2], expectedName + " " + files[2]);
        QCOMPARE(StampOf(KeysConfPath()) == keysConf, !written);
        QCOMPARE(KeysConfEntries(), KeyPairEntries());
    }

    // Create runs the key creation dialog over this one, entered as the active window; closed
    // without a creation, it changes nothing.
    void CreateRunsTheCreationDialogAsTheActiveWindow()
    {
        RegisterKeyPairs(kFive);
        const SFileStamp keysConf = StampOf(KeysConfPath());
        CPellmarDlg mainWindow;
        CKeyManagerDlg dialog(&mainWindow);
        bool active = false;
        QString title;
        QWidget* parent = nullptr;
        RunDialog(dialog, [&](CKeyManagerDlg*) {
            List(dialog).setCurrentRow(2);
            WhenModal<CKeyCreatorDialog>([&](CKeyCreatorDialog* creator) {
                active = mainWindow.m_pActiveWnd == creator;
                title = creator->windowTitle();
                parent = creator->parentWidget();
                QTest::keyClick(creator, Qt::Key_Escape);
            });
            Click(dialog, kIdCreateKeyPair);
            QCOMPARE(mainWindow.m_pActiveWnd, &dialog);
            QCOMPARE(RowsOf(List(dialog)), kFive);
            QCOMPARE(SelectedRowOf(List(dialog)), 2);
        });
        QVERIFY(active);
        QCOMPARE(title, QStringLiteral("Create Key Pair"));
        QCOMPARE(parent, &dialog);
        QVERIFY(StampOf(KeysConfPath()) == keysConf);
    }

    void ExitAndEscapeEndTheDialog()
    {
        RegisterKeyPairs(kFive);
        {
            CKeyManagerDlg dialog;
            QCOMPARE(RunDialog(dialog, [&](CKeyManagerDlg*) { Click(dialog, kIdOk); }),
                     int(QDialog::Accepted));
        }
        {
            CKeyManagerDlg dialog;
            QCOMPARE(RunDialog(dialog,
                               [&](CKeyManagerDlg*) { QTest::keyClick(&dialog, Qt::Key_Escape); }),
                     int(QDialog::Rejected));
        }
        QCOMPARE(KeyPairNames(), kFive);
    }

private:
    std::unique_ptr<CDataScope> m_pData;
};

QTEST_MAIN(KeyManagerDlgTest)
#include "key_manager_dlg_test.moc"
