#include "app/repository.h"
#include "crypto/file_encryption.h"
#include "crypto/key_generator.h"
#include "net/curl_library.h"
#include "support/data_scope.h"
#include "support/dialog_driver.h"
#include "support/dialog_watch.h"
#include "support/key_server.h"
#include "support/message_script.h"
#include "support/modal.h"
#include "ui/file_dialogs.h"
#include "ui/pellmar_dlg.h"
#include "ui/strings.h"

#include <QDir>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <memory>
#include <sys/stat.h>

namespace {

// 2021-03-04 05:06:07.890 UTC: the source's last-write time, which the restored file gets back.
constexpr time_t kSourceSeconds = 1614834367;
constexpr long kSourceNanoseconds = 890000000;

// Rows of the destinations every test starts with.
constexpr int kKeyRow = 0;         // Bob, whose URL serves a public key file
constexpr int kWebPageRow = 1;     // Page, whose URL serves a web page
constexpr int kUnreachableRow = 2; // Gone, where nothing answers

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(content), content.size());
}

qint64 LastWriteMs(const QString& path)
{
    return QFileInfo(path).lastModified().toMSecsSinceEpoch();
}

} // namespace

class EncryptDecryptTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qputenv("no_proxy", "*");
        m_pServer = std::make_unique<CKeyServer>();
        QVERIFY(m_generator.Generate());
        const CDataScope data; // the program's temp folder, through which key files are written
        m_pServer->PublishKey(Pair(), "key.pub");
        m_pServer->PublishText("page.html", "<html><body>Our keys are elsewhere.</body></html>\n");
    }

    void cleanupTestCase() { m_pServer.reset(); }

    // Every test starts with the three destinations, the user's own key pair registered, and a
    // folder of files with report.doc in it.
    void init()
    {
        m_pData = std::make_unique<CDataScope>(CDataScope::Destinations {
            {"Bob", m_pServer->Url("key.pub")},
            {"Page", m_pServer->Url("page.html")},
            {"Gone", kUnreachableUrl},
        });
        RegisterKeyPair(Pair(), "Mine");
        m_pWork = std::make_unique<QTemporaryDir>();
        QVERIFY(QDir(m_pWork->path()).mkdir(QStringLiteral("restored")));
        QByteArray content;
        for (int i = 0; i < 20000; ++i)
            content.append(char(i * 7 + i / 256));
        WriteFile(Source(), content);
        const timespec times[2] = {{kSourceSeconds, kSourceNanoseconds},
                                   {kSourceSeconds, kSourceNanoseconds}};
        QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(Source()).constData(), times, 0), 0);
    }

    // Whatever a test did, no file of the program is left in its temp folder.
    void cleanup()
    {
        const QStringList left = TempFolderEntries();
        m_pWork.reset();
        m_pData.reset();
        QCOMPARE(left, QStringList());
    }

    void NameFiltersComeFromTheFilterStrings_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("115") << LoadString(115)
                             << QStringList({QStringLiteral("Encrypted files(*.enp) (*.enp)"),
                                             QStringLiteral("All files(*.*) (*)")});
        QTest::newRow("145") << LoadString(145)
                             << QStringList({QStringLiteral("All files(*.*) (*)")});
        QTest::newRow("several patterns")
            << QStringLiteral("Texts(*.txt;*.md)|*.txt;*.md||")
            << QStringList({QStringLiteral("Texts(*.txt;*.md) (*.txt *.md)")});
        QTest::newRow("none") << QStringLiteral("||") << QStringList();
    }

    void NameFiltersComeFromTheFilterStrings()
    {
        QFETCH(QString, filter);
        QFETCH(QStringList, expected);
        QCOMPARE(NameFiltersOf(filter), expected);
    }

    // The whole round through the real dialogs: Encrypt for Bob, typing the container's name
    // without its extension, then Decrypt from the menu, typing the output name likewise.
    void EncryptsThroughTheDialogsAndDecryptsFromTheMenu()
    {
        CMessageScript script;
        const CLogWatch log = m_pServer->Watch();
        SFileDialogSeen open;
        SFileDialogSeen save;
        {
            CPellmarDlg window; // one main window at a time
            RunMainWindow(window, [&] {
                List(window).setCurrentRow(kKeyRow);
                WhenModal<QFileDialog>([&](QFileDialog* dialog) {
                    open = Look(window, dialog);
                    WhenModal<QFileDialog>([&](QFileDialog* next) {
                        save = Look(window, next);
                        TypeFileName(next, Work("out"));
                    });
                    ChooseFile(dialog, Source());
                });
                Click(window, kIdEncrypt);
            });
        }
        QVERIFY(script.Shown().isEmpty());
        QVERIFY(open.m_bActive);
        QCOMPARE(open.m_mode, QFileDialog::AcceptOpen);
        QCOMPARE(open.m_fileMode, QFileDialog::ExistingFile);
        QCOMPARE(open.m_defaultSuffix, QString());
        QVERIFY(save.m_bActive);
        QCOMPARE(save.m_mode, QFileDialog::AcceptSave);
        QCOMPARE(save.m_proposedName, QStringLiteral("report.enp"));
        QCOMPARE(save.m_filters, NameFiltersOf(LoadString(115)));
        QCOMPARE(save.m_shownFilter, QStringLiteral("Encrypted files(*.enp)"));
        QCOMPARE(save.m_defaultSuffix, QStringLiteral("enp"));
        QVERIFY(QFileInfo::exists(Work("out.enp")));
        QVERIFY(!QFileInfo::exists(Work("out")));
        const std::string requests = log.NewText();
        QCOMPARE(RequestCount(requests), 1);
        QVERIFY(requests.find("GET /key.pub?") != std::string::npos);

        CPellmarDlg again;
        SFileDialogSeen output;
        RunMainWindow(again, [&] {
            WhenModal<QFileDialog>([&](QFileDialog* dialog) {
                open = Look(again, dialog);
                WhenModal<QFileDialog>([&](QFileDialog* next) {
                    output = Look(again, next);
                    TypeFileName(next, Work("restored/report"));
                });
                ChooseFile(dialog, Work("out.enp"));
            });
            again.findChild<QMenu*>()->actions().at(0)->trigger(); // "&Decrypt..."
        });
        QVERIFY(script.Shown().isEmpty());
        QVERIFY(open.m_bActive);
        QCOMPARE(open.m_mode, QFileDialog::AcceptOpen);
        QCOMPARE(open.m_fileMode, QFileDialog::ExistingFile);
        QCOMPARE(open.m_filters, NameFiltersOf(LoadString(115)));
        QCOMPARE(open.m_defaultSuffix, QStringLiteral("enp"));
        QVERIFY(output.m_bActive);
        QCOMPARE(output.m_mode, QFileDialog::AcceptSave);
        QCOMPARE(output.m_proposedName, QStringLiteral("report.doc"));
        QCOMPARE(output.m_filters, QStringList({QStringLiteral("All files(*.*) (*)")}));
        QCOMPARE(output.m_shownFilter, QStringLiteral("All files(*.*)"));
        QCOMPARE(output.m_defaultSuffix, QString());
        QCOMPARE(again.m_nFileDialogResult, 1);
        ExpectRestored(Work("restored/report"));
    }

    // The Save As dialog proposes the source's name, without its folder, with its last extension
    // replaced by ".enp".
    void ProposesTheSourceNameWithEnp_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("proposed");
        QTest::newRow("no extension") << "my.dir/README"
                                      << "README.enp";
        QTest::newRow("two extensions") << "a.b.c"
                                        << "a.b.enp";
        QTest::newRow("hidden file") << ".profile"
                                     << ".profile.enp";
        QTest::newRow("container") << "photo.enp"
                                   << "photo.enp";
    }

    void ProposesTheSourceNameWithEnp()
    {
        QFETCH(QString, source);
        QFETCH(QString, proposed);
        QVERIFY(QDir(m_pWork->path()).mkpath(QFileInfo(Work(source)).path()));
        WriteFile(Work(source), "text");
        CMessageScript script;
        CPellmarDlg window;
        QString shown;
        RunMainWindow(window, [&] {
            List(window).setCurrentRow(kKeyRow);
            WhenModal<QFileDialog>([&](QFileDialog* dialog) {
                WhenModal<QFileDialog>([&](QFileDialog* next) {
                    shown = Look(window, next).m_proposedName;
                    next->reject();
                });
                ChooseFile(dialog, Work(source));
            });
            Click(window, kIdEncrypt);
        });
        QCOMPARE(shown, proposed);
        QVERIFY(script.Shown().isEmpty());
    }

    // The first dropped file is decrypted, whatever else comes with it.
    void DroppedContainerIsDecryptedWithItsTime()
    {
        MakeContainer(Work("report.enp"));
        CMessageScript script;
        CPellmarDlg window;
        QString proposed;
        RunMainWindow(window, [&] {
            WhenModal<QFileDialog>([&](QFileDialog* dialog) {
                proposed = Look(window, dialog).m_proposedName;
                ChooseFile(dialog, Work("restored/report.doc"));
            });
            Drop(window, {Work("report.enp"), Source()});
        });
        QVERIFY(script.Shown().isEmpty());
        QCOMPARE(proposed, QStringLiteral("report.doc"));
        ExpectRestored(Work("restored/report.doc"));
    }

    // Qt's own question before a file is replaced: No keeps the dialog, whose Cancel then ends
    // the decryption quietly; Yes replaces the file.
    void OutputDialogAsksBeforeReplacingAFile()
    {
        MakeContainer(Work("report.enp"));
        WriteFile(Work("restored/report.doc"), "old");
        CMessageScript script;
        CPellmarDlg window;
        QString question;
        int resultAfterNo = 0;
        RunMainWindow(window, [&] {
            WhenModal<QFileDialog>([&](QFileDialog* dialog) {
                WhenModal<QMessageBox>([&](QMessageBox* box) {
                    question = box->text();
                    box->button(QMessageBox::No)->click();
                });
                TypeFileName(dialog, Work("restored/report.doc"));
                QVERIFY(dialog->isVisible());
                dialog->reject();
            });
            Drop(window, {Work("report.enp")});
            resultAfterNo = window.m_nFileDialogResult;
            WhenModal<QFileDialog>([&](QFileDialog* dialog) {
                WhenModal<QMessageBox>(
                    [](QMessageBox* box) { box->button(QMessageBox::Yes)->click(); });
                TypeFileName(dialog, Work("restored/report.doc"));
            });
            Drop(window, {Work("report.enp")});
        });
        QVERIFY(question.contains(QStringLiteral("already exists")));
        QCOMPARE(resultAfterNo, 2);
        QVERIFY(script.Shown().isEmpty());
        ExpectRestored(Work("restored/report.doc"));
    }

    void CancelledOutputDialogShowsAndWritesNothing()
    {
        MakeContainer(Work("report.enp"));
        const QStringList before = WorkEntries();
        CMessageScript script;
        CPellmarDlg window;
        RunMainWindow(window, [&] {
            WhenModal<QFileDialog>([](QFileDialog* dialog) { dialog->reject(); });
            window.DoDecrypt(Work("report.enp"));
        });
        QVERIFY(script.Shown().isEmpty());
        QCOMPARE(window.m_nFileDialogResult, 2);
        QCOMPARE(WorkEntries(), before);
    }

    // A file no own key pair opens fails before anyone is asked for a name.
    void UnopenableFilesSayCannotDecryptWithoutTheOutputDialog_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("not a container") << "text";
        QTest::newRow("empty file") << "empty";
        QTest::newRow("key pair not in the list") << "foreign";
    }

    void UnopenableFilesSayCannotDecryptWithoutTheOutputDialog()
    {
        QFETCH(QString, kind);
        const QString path = Work("dropped.enp");
        if (kind == QStringLiteral("text"))
            WriteFile(path, "This is no container.\n");
        else if (kind == QStringLiteral("empty"))
            WriteFile(path, {});
        else
            MakeContainer(path);
        if (kind == QStringLiteral("foreign"))
            QVERIFY(GetRepository()->m_pKeyPairList->RemoveAt(0));
        const QStringList before = WorkEntries();
        CMessageScript script;
        const CDialogWatch<QFileDialog> fileDialogs;
        CPellmarDlg window;
        RunMainWindow(window, [&] { Drop(window, {path}); });
        QCOMPARE(script.ShownIds(), QList<int>({146}));
        QCOMPARE(script.Shown()[0].m_kind, EMessageKind::Error);
        QCOMPARE(fileDialogs.Count(), 0);
        QCOMPARE(WorkEntries(), before);
    }

    void CancelledDecryptOpenDialogDoesNothing()
    {
        CMessageScript script;
        CPellmarDlg window;
        RunMainWindow(window, [&] {
            WhenModal<QFileDialog>([](QFileDialog* dialog) { dialog->reject(); });
            window.OnDecrypt();
        });
        QVERIFY(script.Shown().isEmpty());
    }

    // Without the recipient's key nothing is asked: the message comes after the download is gone.
    void KeyProblemsStopEncryptBeforeAnyDialog_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("message");
        QTest::newRow("web page") << kWebPageRow << 147;
        QTest::newRow("unreachable") << kUnreachableRow << 134;
    }

    void KeyProblemsStopEncryptBeforeAnyDialog()
    {
        QFETCH(int, row);
        QFETCH(int, message);
        const QStringList before = WorkEntries();
        CMessageScript script;
        QStringList tempFilesAtMessage {QStringLiteral("not shown")};
        script.OnShown([&](const SMessage&) { tempFilesAtMessage = TempFolderEntries(); });
        const CDialogWatch<QFileDialog> fileDialogs;
        CPellmarDlg window;
        RunMainWindow(window, [&] {
            List(window).setCurrentRow(row);
            Click(window, kIdEncrypt);
        });
        QCOMPARE(script.ShownIds(), QList<int>({message}));
        QCOMPARE(script.Shown()[0].m_kind, EMessageKind::Error);
        QCOMPARE(tempFilesAtMessage, QStringList());
        QCOMPARE(fileDialogs.Count(), 0);
        QCOMPARE(WorkEntries(), before);
    }

    // String 134 is worded as a question, but without the key there is nothing to go on with: it
    // comes as an error with OK only.
    void UnreachableKeyIsAnErrorBoxWithOkOnly()
    {
        CPellmarDlg window;
        QString text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons buttons;
        bool active = false;
        RunMainWindow(window, [&] {
            List(window).setCurrentRow(kUnreachableRow);
            WhenModal<QMessageBox>([&](QMessageBox* box) {
                text = box->text();
                icon = box->icon();
                buttons = box->standardButtons();
                active = window.m_pActiveWnd == box;
                box->button(QMessageBox::Ok)->click();
            });
            Click(window, kIdEncrypt);
        });
        QCOMPARE(text, QStringLiteral("URL could not reachable.\ncontinue anyway?"));
        QCOMPARE(icon, QMessageBox::Critical);
        QCOMPARE(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QVERIFY(active);
    }

    void EncryptWithoutASelectionDoesNothing()
    {
        CMessageScript script;
        const CLogWatch log = m_pServer->Watch();
        const CDialogWatch<QFileDialog> fileDialogs;
        CPellmarDlg window;
        RunMainWindow(window, [&] {
            List(window).clearSelection();
            Click(window, kIdEncrypt);
        });
        QVERIFY(script.Shown().isEmpty());
        QCOMPARE(fileDialogs.Count(), 0);
        QCOMPARE(RequestCount(log.NewText()), 0);
    }

    void CancelledEncryptDialogsWriteNothing_data()
    {
        QTest::addColumn<bool>("cancelOpen");
        QTest::newRow("Open cancelled") << true;
        QTest::newRow("Save As cancelled") << false;
    }

    void CancelledEncryptDialogsWriteNothing()
    {
        QFETCH(bool, cancelOpen);
        const QStringList before = WorkEntries();
        CMessageScript script;
        CPellmarDlg window;
        RunMainWindow(window, [&] {
            List(window).setCurrentRow(kKeyRow);
            WhenModal<QFileDialog>([&](QFileDialog* dialog) {
                if (cancelOpen) {
                    dialog->reject();
                    return;
                }
                WhenModal<QFileDialog>([](QFileDialog* next) { next->reject(); });
                ChooseFile(dialog, Source());
            });
            Click(window, kIdEncrypt);
        });
        QVERIFY(script.Shown().isEmpty());
        QCOMPARE(WorkEntries(), before);
    }

    // The source is gone by the time the container is written.
    void FailedEncryptionSaysFailedToEncrypt()
    {
        CMessageScript script;
        CPellmarDlg window;
        RunMainWindow(window, [&] {
            List(window).setCurrentRow(kKeyRow);
            WhenModal<QFileDialog>([&](QFileDialog* dialog) {
                WhenModal<QFileDialog>([&](QFileDialog* next) {
                    QVERIFY(QFile::remove(Source()));
                    ChooseFile(next, Work("out.enp"));
                });
                ChooseFile(dialog, Source());
            });
            Click(window, kIdEncrypt);
        });
        QCOMPARE(script.ShownIds(), QList<int>({144}));
        QCOMPARE(script.Shown()[0].m_kind, EMessageKind::Error);
        QCOMPARE(WorkEntries(), QStringList({QStringLiteral("restored")}));
    }

private:
    CKeyPair& Pair() const { return *m_generator.GetKeyPair(); }
    QString Work(const QString& name) const { return m_pWork->filePath(name); }
    QString Source() const { return Work(QStringLiteral("report.doc")); }

    QStringList WorkEntries() const
    {
        return QDir(m_pWork->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    }

    // A container of the source for the user's own key pair, made by the core.
    void MakeContainer(const QString& path) const
    {
        QVERIFY(EncryptFile(QFile::encodeName(Source()).toStdString(),
                            QFile::encodeName(path).toStdString(), Pair()));
    }

    // The file at path holds the source's bytes and has its last-write time.
    void ExpectRestored(const QString& path) const
    {
        QCOMPARE(ReadAll(path), ReadAll(Source()));
        QCOMPARE(LastWriteMs(path), qint64(kSourceSeconds) * 1000 + kSourceNanoseconds / 1000000);
    }

    // Drags local files onto the window and drops them there, as a file manager would; a drop
    // reaches only a window that accepted the drag entering it.
    static void Drop(CPellmarDlg& window, const QStringList& paths)
    {
        QList<QUrl> urls;
        for (const QString& path : paths)
            urls << QUrl::fromLocalFile(path);
        QMimeData data;
        data.setUrls(urls);
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton,
                              Qt::NoModifier);
        QApplication::sendEvent(&window, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&window, &drop);
    }

    // Runs the main window modally, as start-up does, with steps run inside its loop.
    static void RunMainWindow(CPellmarDlg& window, const std::function<void()>& steps)
    {
        WhenModal<CPellmarDlg>([&](CPellmarDlg*) { steps(); });
        window.exec();
    }

    const CCurlLibrary m_curl;
    CKeyGenerator m_generator;
    std::unique_ptr<CKeyServer> m_pServer;
    std::unique_ptr<CDataScope> m_pData;
    std::unique_ptr<QTemporaryDir> m_pWork;
};

QTEST_MAIN(EncryptDecryptTest)
#include "encrypt_decrypt_test.moc"
