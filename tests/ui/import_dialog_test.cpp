#include "app/repository.h"
#include "crypto/file_decryption.h"
#include "crypto/file_encryption.h"
#include "support/data_scope.h"
#include "support/dialog_driver.h"
#include "support/key_server.h"
#include "support/key_test_support.h"
#include "support/message_script.h"
#include "support/modal.h"
#include "support/own_key_pairs.h"
#include "support/scratch_folder.h"
#include "ui/active_window_scope.h"
#include "ui/import_dialog.h"
#include "ui/key_manager_dlg.h"
#include "ui/key_property_dialog.h"
#include "ui/pellmar_dlg.h"
#include "util/folder_paths.h"

#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

namespace {

// The key pairs every test starts with, as key pairs 1, 2 and 3.
const std::vector<std::string> kThree = {"Alice", "Bob", "Carol"};
// The number of the key pair that the export file new.exp holds, which is in no entry.
constexpr int kNewPair = 9;

// Kinds of file the file field of a test names.
enum class EFile {
    None,         // the field stays empty
    NewExport,    // an export of a key pair that is not in the list
    Missing,      // a path where nothing stands
    Folder,       // a folder
    PublicKey,    // a public key export file
    Text,         // a text file
    ListedExport, // an export of Bob's key pair (in the list)
};

// What the import dialog showed after OK.
struct SImportSeen {
    bool m_bActive = false;  // entered in the main window's m_pActiveWnd
    bool m_bOpen = false;    // still open after OK
    int m_nFocusedField = 0; // id of the field with the focus
    QString m_selectedText;  // of that field
};

} // namespace

Q_DECLARE_METATYPE(EFile)

class ImportDialogTest : public QObject {
    Q_OBJECT

private slots:
    // Every test starts with three key pairs in the list, the second selected in the dialog, and
    // a folder of files to import from.
    void init()
    {
        m_pData = std::make_unique<CDataScope>();
        for (std::size_t i = 0; i < kThree.size(); ++i)
            m_files.push_back(RegisterNumberedKeyPair(kThree[i], static_cast<int>(i) + 1));
        m_pWork = std::make_unique<QTemporaryDir>();
        std::unique_ptr<CKeyPair> pair = CopyOfSharedKeyPair();
        pair->SetGuid(NumberedGuid(kNewPair));
        QVERIFY(pair->SaveFile(WorkPath("new.exp")));
        m_pMainWindow = std::make_unique<CPellmarDlg>();
    }

    // Whatever a test did, no file of the program is left in its temp folder.
    void cleanup()
    {
        const QStringList left = TempFolderEntries();
        m_pMainWindow.reset();
        m_pWork.reset();
        m_files.clear();
        m_pData.reset();
        QCOMPARE(left, QStringList());
    }

    // OK checks, in order: a name, a file name, a file there, a key pair file, one not in the list
    // yet. A failed check warns, puts the focus on its field with the text selected, and leaves
    // the dialog open; nothing is copied or written.
    void OkChecksInOrderAndKeepsTheDialogOpen_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<EFile>("file");
        QTest::addColumn<int>("message");
        QTest::addColumn<int>("field");
        QTest::newRow("no name") << QString() << EFile::NewExport << 112 << kIdKeyPairName;
        QTest::newRow("no name, no file") << QString() << EFile::None << 112 << kIdKeyPairName;
        QTest::newRow("no file") << QStringLiteral("New") << EFile::None << 123 << kIdImportFile;
        QTest::newRow("missing file")
            << QStringLiteral("New") << EFile::Missing << 124 << kIdImportFile;
        QTest::newRow("folder") << QStringLiteral("New") << EFile::Folder << 125 << kIdImportFile;
        QTest::newRow("public key export file")
            << QStringLiteral("New") << EFile::PublicKey << 125 << kIdImportFile;
        QTest::newRow("text file") << QStringLiteral("New") << EFile::Text << 125 << kIdImportFile;
        QTest::newRow("key pair in the list under another name")
            << QStringLiteral("Robert") << EFile::ListedExport << 126 << kIdImportFile;
    }

    void OkChecksInOrderAndKeepsTheDialogOpen()
    {
        QFETCH(QString, name);
        QFETCH(EFile, file);
        QFETCH(int, message);
        QFETCH(int, field);
        const QString path = MakeFile(file);
        const std::vector<std::string> keysFolder = EntriesOf(g_szKeysFolder);
        const SFileStamp keysConf = StampOf(KeysConfPath());
        CMessageScript script;
        SImportSeen seen;
        const std::vector<std::string> rows = RunImport(name, path, [&](CImportDialog* dialog) {
            seen = Look(*dialog);
            Click(*dialog, kIdCancel);
        });
        QCOMPARE(script.ShownIds(), QList<int>({message}));
        QCOMPARE(script.Shown()[0].m_kind, EMessageKind::Exclamation);
        QVERIFY(seen.m_bActive);
        QVERIFY(seen.m_bOpen);
        QCOMPARE(seen.m_nFocusedField, field);
        const QString fieldText = field == kIdKeyPairName ? name : path;
        QCOMPARE(seen.m_selectedText, fieldText);
        QCOMPARE(rows, kThree);
        QCOMPARE(KeyPairNames(), kThree);
        QCOMPARE(EntriesOf(g_szKeysFolder), keysFolder);
        QVERIFY(StampOf(KeysConfPath()) == keysConf);
    }

    // The same through a real message box.
    void ChecksWarnInAnExclamationBox()
    {
        QString text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QString caption;
        RunImport(
            QStringLiteral("New"), MakeFile(EFile::PublicKey),
            [&](CImportDialog* dialog) { Click(*dialog, kIdCancel); },
            [&] {
                WhenModal<QMessageBox>([&](QMessageBox* box) {
                    text = box->text();
                    icon = box->icon();
                    caption = box->windowTitle();
                    box->button(QMessageBox::Ok)->click();
                });
            });
        QCOMPARE(text, QStringLiteral("Incorrect key export file."));
        QCOMPARE(icon, QMessageBox::Warning);
        QCOMPARE(caption, QStringLiteral("Pellmar-Gate"));
    }

    // The export file goes into the keys folder as GUID.key, byte for byte and private; the entry
    // goes in front of the selected row and is selected.
    void ImportCopiesTheFileAndAddsTheEntryAtTheSelection()
    {
        CMessageScript script;
        const std::vector<std::string> rows =
            RunImport(QStringLiteral("New"), QString::fromStdString(WorkPath("new.exp")), {});
        QCOMPARE(script.Shown().size(), 0);
        const std::string file = NumberedGuid(kNewPair) + ".key";
        const std::string target = g_szKeysFolder + file;
        QCOMPARE(ReadWholeFile(target), ReadWholeFile(WorkPath("new.exp")));
        QCOMPARE(ModeOf(target), 0600u);
        QCOMPARE(rows, std::vector<std::string>({"Alice", "New", "Bob", "Carol"}));
        QCOMPARE(m_nSelectedAfter, 1);
        const std::vector<std::string> expected = {"Alice " + m_files[0], "New " + file,
                                                   "Bob " + m_files[1], "Carol " + m_files[2]};
        QCOMPARE(KeyPairEntries(), expected);
        QCOMPARE(KeysConfEntries(), expected);
        const std::unique_ptr<CKeyPair> pair =
            GetRepository()->m_pKeyPairList->FindKeyPair(NumberedGuid(kNewPair));
        QVERIFY(pair);
        QVERIFY(SameKey(pair->GetKey(), SharedKeyPair().GetKey()));
    }

    // A key pair file in the keys folder without an entry is replaced by the import.
    void ImportReplacesAKeyPairFileWithoutEntry()
    {
        const std::string target = g_szKeysFolder + NumberedGuid(kNewPair) + ".key";
        WriteWholeFile(target, "left over\n");
        CMessageScript script;
        RunImport(QStringLiteral("New"), QString::fromStdString(WorkPath("new.exp")), {});
        QCOMPARE(script.Shown().size(), 0);
        QCOMPARE(ReadWholeFile(target), ReadWholeFile(WorkPath("new.exp")));
        QCOMPARE(KeyPairNames(), std::vector<std::string>({"Alice", "New", "Bob", "Carol"}));
    }

    // When the file cannot be put into the keys folder, the error says so and the list stays.
    void FailedCopyReportsAndLeavesTheList()
    {
        // A folder with something in it where the key pair file should go: nothing replaces it.
        const std::string target = g_szKeysFolder + NumberedGuid(kNewPair) + ".key";
        QVERIFY(QDir().mkpath(QString::fromStdString(target + "/inside")));
        const SFileStamp keysConf = StampOf(KeysConfPath());
        CMessageScript script;
        const std::vector<std::string> rows =
            RunImport(QStringLiteral("New"), QString::fromStdString(WorkPath("new.exp")), {});
        QCOMPARE(script.ShownIds(), QList<int>({127}));
        QCOMPARE(script.Shown()[0].m_kind, EMessageKind::Error);
        QCOMPARE(script.Shown()[0].m_text, QStringLiteral("Failed to create ey pair file."));
        QCOMPARE(rows, kThree);
        QCOMPARE(KeyPairNames(), kThree);
        QVERIFY(StampOf(KeysConfPath()) == keysConf);
        QVERIFY(PathExists(target + "/inside"));
    }

    void CancelImportsNothing()
    {
        const std::vector<std::string> keysFolder = EntriesOf(g_szKeysFolder);
        CMessageScript script;
        const std::vector<std::string> rows = RunImport(
            QStringLiteral("New"), QString::fromStdString(WorkPath("new.exp")),
            [&](CImportDialog* dialog) { QTest::keyClick(dialog, Qt::Key_Escape); }, {},
            /*pressOk=*/false);
        QCOMPARE(rows, kThree);
        QCOMPARE(script.Shown().size(), 0);
        QCOMPARE(EntriesOf(g_szKeysFolder), keysFolder);
    }

    // Browse opens in the folder of the typed path with its name proposed; a chosen file fills the
    // field, a cancelled dialog leaves it.
    void BrowseStartsAtTheTypedPathAndFillsTheFileField_data()
    {
        QTest::addColumn<bool>("choose");
        QTest::newRow("chosen") << true;
        QTest::newRow("cancelled") << false;
    }

    void BrowseStartsAtTheTypedPathAndFillsTheFileField()
    {
        QFETCH(bool, choose);
        const QString typed = QString::fromStdString(WorkPath("new.exp"));
        const QString other = QString::fromStdString(WorkPath("other.exp"));
        WriteWholeFile(other.toStdString(), "other\n");
        SFileDialogSeen seen;
        QString folder;
        QString fieldAfter;
        QString nameAfter;
        CImportDialog dialog(m_pMainWindow.get());
        WhenModal<CImportDialog>([&](CImportDialog*) {
            Field(dialog, kIdKeyPairName).setText(QStringLiteral("Typed name"));
            Field(dialog, kIdImportFile).setText(typed);
            WhenModal<QFileDialog>([&](QFileDialog* browse) {
                // The file dialog's look, not the import dialog's (the member Look).
                seen = ::Look(*m_pMainWindow, browse);
                folder = browse->directory().absolutePath();
                if (choose)
                    TypeFileName(browse, QStringLiteral("other.exp"));
                else
                    QTest::keyClick(browse, Qt::Key_Escape);
            });
            Click(dialog, kIdBrowse);
            fieldAfter = Field(dialog, kIdImportFile).text();
            nameAfter = Field(dialog, kIdKeyPairName).text();
        });
        RunModal(dialog);
        QVERIFY(seen.m_bActive);
        QCOMPARE(folder, m_pWork->path());
        QCOMPARE(seen.m_proposedName, QStringLiteral("new.exp"));
        QCOMPARE(seen.m_mode, QFileDialog::AcceptOpen);
        QCOMPARE(seen.m_fileMode, QFileDialog::ExistingFile);
        QCOMPARE(seen.m_filters,
                 QStringList({QStringLiteral("Key pair export files(*.exp) (*.exp)"),
                              QStringLiteral("ALl files(*.*) (*)")}));
        QCOMPARE(seen.m_defaultSuffix, QStringLiteral("exp"));
        QCOMPARE(fieldAfter, choose ? other : typed);
        QCOMPARE(nameAfter, QStringLiteral("Typed name"));
    }

    // Exported, deleted and imported again through the windows, a key pair comes back as the same
    // file, and a container made for its public key decrypts again.
    void ExportDeleteImportGivesBackTheSameKeyPair()
    {
        const std::string keyFile = g_szKeysFolder + m_files[1];
        const std::string original = ReadWholeFile(keyFile);
        const QString exported = QString::fromStdString(WorkPath("bob.exp"));
        const QString publicKey = QString::fromStdString(WorkPath("bob.key"));
        CMessageScript script;
        CKeyManagerDlg dialog(m_pMainWindow.get());
        WhenModal<CKeyManagerDlg>([&](CKeyManagerDlg*) {
            List(dialog).setCurrentRow(1);
            // Both exports of Bob's key pair.
            WhenModal<CKeyPropertyDialog>([&](CKeyPropertyDialog* property) {
                for (const QString& path : {exported, publicKey}) {
                    WhenModal<CExportDialog>(
                        [&](CExportDialog* save) { TypeFileName(save, path); });
                    Click(*property, path == exported ? kIdExportKeyPair : kIdExportPublicKey);
                }
                Click(*property, kIdOk);
            });
            Click(dialog, kIdKeyProperty);
            // Delete it.
            script.Answer(QMessageBox::Yes);
            Click(dialog, kIdDelete);
            QCOMPARE(RowsOf(List(dialog)), std::vector<std::string>({"Alice", "Carol"}));
            QVERIFY(!PathExists(keyFile));
            // Import it again.
            WhenModal<CImportDialog>([&](CImportDialog* import) {
                Field(*import, kIdKeyPairName).setText(QStringLiteral("Bob"));
                Field(*import, kIdImportFile).setText(exported);
                Click(*import, kIdOk);
            });
            Click(dialog, kIdImportKeyPair);
            QCOMPARE(RowsOf(List(dialog)), std::vector<std::string>({"Bob", "Alice", "Carol"}));
        });
        RunModal(dialog);
        QCOMPARE(script.ShownIds(), QList<int>({119}));
        QCOMPARE(ReadWholeFile(keyFile), original);
        QCOMPARE(ReadWholeFile(exported.toStdString()), original);
        QCOMPARE(KeysConfEntries(),
                 std::vector<std::string>(
                     {"Bob " + m_files[1], "Alice " + m_files[0], "Carol " + m_files[2]}));

        // A container for the exported public key, opened with the list's key pair.
        const std::string source = WorkPath("letter.txt");
        const std::string container = WorkPath("letter.txt.enp");
        const std::string restored = WorkPath("restored.txt");
        WriteWholeFile(source, std::string(20000, 'x') + "the end\n");
        const std::unique_ptr<CPublicKey> recipient = ReadPublicKeyFile(publicKey.toStdString());
        QVERIFY(recipient);
        QCOMPARE(recipient->GetGuid(), NumberedGuid(2));
        QVERIFY(EncryptFile(source, container, *recipient));
        const CKeyPairList& keyPairs = *GetRepository()->m_pKeyPairList;
        const EDecryptResult result = DecryptFile(
            container, [&](const std::string& guid) { return keyPairs.FindKeyPair(guid); },
            [&](const std::string&) { return std::optional<std::string>(restored); });
        QCOMPARE(result, EDecryptResult::Decrypted);
        QCOMPARE(ReadWholeFile(restored), ReadWholeFile(source));
    }

private:
    std::string WorkPath(const std::string& name) const
    {
        return m_pWork->filePath(QString::fromStdString(name)).toStdString();
    }

    // Makes a file of the kind and gives the path to type; empty for none.
    QString MakeFile(EFile kind) const
    {
        std::string path;
        switch (kind) {
        case EFile::None:
            return {};
        case EFile::NewExport:
            path = WorkPath("new.exp");
            break;
        case EFile::Missing:
            path = WorkPath("gone.exp");
            break;
        case EFile::Folder:
            path = WorkPath("folder.exp");
            QDir().mkpath(QString::fromStdString(path));
            break;
        case EFile::PublicKey: {
            path = WorkPath("public.key");
            std::unique_ptr<CKeyPair> pair = CopyOfSharedKeyPair();
            pair->SetGuid(NumberedGuid(kNewPair));
            CTempFile file = WritePublicKeyTempFile(*pair);
            if (!file || !CopyTempFileTo(file, path, EFileAccess::Shared))
                return {};
            break;
        }
        case EFile::Text:
            path = WorkPath("notes.exp");
            WriteWholeFile(path, "TVPS? no, just notes\n");
            break;
        case EFile::ListedExport:
            path = WorkPath("bob.exp");
            WriteWholeFile(path, ReadWholeFile(g_szKeysFolder + m_files[1]));
            break;
        }
        return QString::fromStdString(path);
    }

    SImportSeen Look(const CImportDialog& dialog) const
    {
        SImportSeen seen;
        seen.m_bActive = m_pMainWindow->m_pActiveWnd == &dialog;
        seen.m_bOpen = dialog.isVisible();
        for (int id : {kIdKeyPairName, kIdImportFile}) {
            if (QApplication::focusWidget() == &Field(dialog, id)) {
                seen.m_nFocusedField = id;
                seen.m_selectedText = Field(dialog, id).selectedText();
            }
        }
        return seen;
    }

    // Runs the key management dialog with Bob (row 1) selected and presses Import; fills the
    // import dialog with name and path and presses OK (when pressOk), then runs afterOk in the
    // import dialog should it still be open. beforeOk runs just before OK is pressed. Gives the
    // rows of the key management dialog afterwards and keeps its selected row.
    std::vector<std::string> RunImport(const QString& name, const QString& path,
                                       const std::function<void(CImportDialog*)>& afterOk,
                                       const std::function<void()>& beforeOk = {},
                                       bool pressOk = true)
    {
        CKeyManagerDlg dialog(m_pMainWindow.get());
        std::vector<std::string> rows;
        WhenModal<CKeyManagerDlg>([&](CKeyManagerDlg*) {
            List(dialog).setCurrentRow(1);
            WhenModal<CImportDialog>([&](CImportDialog* import) {
                QVERIFY(QTest::qWaitForWindowActive(import));
                Field(*import, kIdKeyPairName).setText(name);
                Field(*import, kIdImportFile).setText(path);
                if (pressOk) {
                    if (beforeOk)
                        beforeOk();
                    Click(*import, kIdOk);
                }
                if (afterOk && import->isVisible())
                    afterOk(import);
            });
            Click(dialog, kIdImportKeyPair);
            QCOMPARE(m_pMainWindow->m_pActiveWnd, &dialog);
            rows = RowsOf(List(dialog));
            m_nSelectedAfter = SelectedRowOf(List(dialog));
        });
        RunModal(dialog);
        return rows;
    }

    std::unique_ptr<CDataScope> m_pData;
    std::vector<std::string> m_files;
    std::unique_ptr<QTemporaryDir> m_pWork;
    std::unique_ptr<CPellmarDlg> m_pMainWindow;
    int m_nSelectedAfter = -1;
};

QTEST_MAIN(ImportDialogTest)
#include "import_dialog_test.moc"
