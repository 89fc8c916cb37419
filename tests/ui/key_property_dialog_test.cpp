#include "app/repository.h"
#include "support/data_scope.h"
#include "support/dialog_driver.h"
#include "support/key_server.h"
#include "support/key_test_support.h"
#include "support/message_script.h"
#include "support/modal.h"
#include "support/own_key_pairs.h"
#include "support/scratch_folder.h"
#include "ui/active_window_scope.h"
#include "ui/key_property_dialog.h"
#include "ui/pellmar_dlg.h"
#include "util/folder_paths.h"

#include <QDir>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <ctime>

namespace {

// The public key file of the shared key pair under guid, made with the openssl tool from the
// private key: "guid=" line and PKCS#1 public key PEM.
std::string PublicKeyFileByOpenssl(const std::string& keyPairFile, const std::string& guid,
                                   const QTemporaryDir& work)
{
    std::string publicPem;
    std::string privatePem;
    if (!SplitKeyPairFile(ReadWholeFile(keyPairFile), publicPem, privatePem))
        return {};
    const std::string privatePath = work.filePath(QStringLiteral("private.pem")).toStdString();
    WriteWholeFile(privatePath, privatePem);
    std::string pkcs1;
    if (RunCommand("openssl rsa -in " + ShellQuoted(privatePath) + " -RSAPublicKey_out", &pkcs1) !=
        0)
        return {};
    return "guid=" + guid + "\n" + pkcs1;
}

// Sets the time zone and the locale the creation date is shown in, for the scope's lifetime.
class CTimeZoneScope {
public:
    explicit CTimeZoneScope(const QByteArray& zone)
        : m_previousZone(qgetenv("TZ")), m_bHadZone(qEnvironmentVariableIsSet("TZ")),
          m_previousLocale(qgetenv("LC_ALL")), m_bHadLocale(qEnvironmentVariableIsSet("LC_ALL"))
    {
        qputenv("TZ", zone);
        qputenv("LC_ALL", "C");
        ::tzset();
    }
    ~CTimeZoneScope()
    {
        Restore("TZ", m_bHadZone, m_previousZone);
        Restore("LC_ALL", m_bHadLocale, m_previousLocale);
        ::tzset();
    }
    CTimeZoneScope(const CTimeZoneScope&) = delete;
    CTimeZoneScope& operator=(const CTimeZoneScope&) = delete;

private:
    static void Restore(const char* name, bool had, const QByteArray& value)
    {
        if (had)
            qputenv(name, value);
        else
            qunsetenv(name);
    }

    QByteArray m_previousZone;
    bool m_bHadZone;
    QByteArray m_previousLocale;
    bool m_bHadLocale;
};

} // namespace

class KeyPropertyDialogTest : public QObject {
    Q_OBJECT

private slots:
    // Every test starts with the user's key pair "Mine" (the shared test key) as entry 0, and an
    // empty folder to export into.
    void init()
    {
        m_pData = std::make_unique<CDataScope>();
        m_strKeyFile = RegisterNumberedKeyPair("Mine", 7);
        m_pWork = std::make_unique<QTemporaryDir>();
        m_pMainWindow = std::make_unique<CPellmarDlg>();
    }

    // Whatever a test did, no file of the program is left in its temp folder, and the exports
    // changed neither the list nor keys.conf.
    void cleanup()
    {
        const QStringList left = TempFolderEntries();
        const std::vector<std::string> entries = KeysConfEntries();
        m_pMainWindow.reset();
        m_pWork.reset();
        m_pData.reset();
        QCOMPARE(left, QStringList());
        QCOMPARE(entries, std::vector<std::string>({"Mine " + NumberedGuid(7) + ".key"}));
    }

    void ShowsTheNameTheCreationDateAndTheMethod_data()
    {
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<QString>("stamp");
        QTest::addColumn<QString>("shown");
        QTest::newRow("UTC") << QByteArray("UTC0") << QStringLiteral("20090305140709042")
                             << QStringLiteral("03/05/09 14:07:09");
        QTest::newRow("east of UTC, the next day")
            << QByteArray("JST-9") << QStringLiteral("20091231235959999")
            << QStringLiteral("01/01/10 08:59:59");
        QTest::newRow("west of UTC, the day before")
            << QByteArray("EST5") << QStringLiteral("20100101030000000")
            << QStringLiteral("12/31/09 22:00:00");
    }

    void ShowsTheNameTheCreationDateAndTheMethod()
    {
        QFETCH(QByteArray, zone);
        QFETCH(QString, stamp);
        QFETCH(QString, shown);
        const CTimeZoneScope timeZone(zone);
        // The key pair file as written at that moment.
        std::string publicPem;
        std::string privatePem;
        QVERIFY(SplitKeyPairFile(ReadWholeFile(KeyFile()), publicPem, privatePem));
        WriteWholeFile(KeyFile(), KeyPairFileImage(NumberedGuid(7), stamp.toStdString(), 0x01000000,
                                                   publicPem, privatePem));
        QStringList texts;
        QString title;
        QString name;
        RunPropertyDialog([&](CKeyPropertyDialog* dialog) {
            title = dialog->windowTitle();
            name = Field(*dialog, kIdKeyPairName).text();
            for (QLabel* label : dialog->findChildren<QLabel*>())
                texts << label->text();
        });
        QCOMPARE(title, QStringLiteral("Property of Key Pair"));
        QCOMPARE(name, QStringLiteral("Mine"));
        QCOMPARE(texts,
                 QStringList({QStringLiteral("&Name"), QStringLiteral("Create date"), shown,
                              QStringLiteral("Encrypt method"), QStringLiteral("RSA 2048bit")}));
    }

    // The export buttons sit inside the "Export" frame.
    void TheExportButtonsLieInTheExportFrame()
    {
        RunPropertyDialog([&](CKeyPropertyDialog* dialog) {
            const auto* frame = dialog->findChild<QGroupBox*>();
            QVERIFY(frame);
            QCOMPARE(frame->title(), QStringLiteral("Export"));
            for (int id : {kIdExportPublicKey, kIdExportKeyPair}) {
                const QRect button = dialog->Control<QPushButton>(id)->geometry();
                QVERIFY(frame->geometry().contains(button));
                QVERIFY(dialog->Control<QPushButton>(id)->isVisible());
            }
        });
    }

    // A key pair export is the key pair file byte for byte, under a name that gets ".exp" when
    // typed without an extension; the file stays private.
    void KeyPairExportCopiesTheKeyPairFile()
    {
        CMessageScript script;
        const SFileDialogSeen seen = ExportAsMine(kIdExportKeyPair);
        QVERIFY(seen.m_bActive);
        QCOMPARE(seen.m_title, QStringLiteral("Export key pair"));
        QCOMPARE(seen.m_mode, QFileDialog::AcceptSave);
        QCOMPARE(seen.m_filters,
                 QStringList({QStringLiteral("Key pair export files(*.exp) (*.exp)"),
                              QStringLiteral("ALl files(*.*) (*)")}));
        QCOMPARE(seen.m_shownFilter, QStringLiteral("Key pair export files(*.exp)"));
        QCOMPARE(seen.m_defaultSuffix, QStringLiteral("exp"));
        QCOMPARE(seen.m_proposedName, QString());
        const std::string exported = WorkPath("mine.exp");
        QVERIFY(!ReadWholeFile(exported).empty());
        QCOMPARE(ReadWholeFile(exported), ReadWholeFile(KeyFile()));
        QCOMPARE(ModeOf(exported), 0600u);
        QCOMPARE(script.Shown().size(), 0);
    }

    // A public key export is the public key file the program publishes: the "guid=" line and
    // the public key as the openssl tool writes it from the private key.
    void PublicKeyExportWritesThePublishedPublicKeyFile()
    {
        CMessageScript script;
        const SFileDialogSeen seen = ExportAsMine(kIdExportPublicKey);
        QVERIFY(seen.m_bActive);
        QCOMPARE(seen.m_title, QStringLiteral("Export public key"));
        QCOMPARE(seen.m_mode, QFileDialog::AcceptSave);
        QCOMPARE(seen.m_filters,
                 QStringList({QStringLiteral("Public key export files(*.key) (*.key)"),
                              QStringLiteral("All files(*.*) (*)")}));
        QCOMPARE(seen.m_defaultSuffix, QStringLiteral("key"));
        const std::string exported = WorkPath("mine.key");
        const std::string expected = PublicKeyFileByOpenssl(KeyFile(), NumberedGuid(7), *m_pWork);
        QVERIFY(expected.size() > 38);
        QCOMPARE(ReadWholeFile(exported), expected);
        const std::unique_ptr<CPublicKey> key = ReadPublicKeyFile(exported);
        QVERIFY(key);
        QCOMPARE(key->GetGuid(), NumberedGuid(7));
        QVERIFY(SameKey(key->GetKey(), SharedKeyPair().GetKey()));
        QCOMPARE(script.Shown().size(), 0);
    }

    // Choosing a file that exists asks first (the file dialog's own question); Yes replaces it,
    // No leaves it and the file dialog open.
    void ExportOverAnExistingFileAsksFirst_data()
    {
        QTest::addColumn<int>("button");
        QTest::addColumn<bool>("replace");
        QTest::newRow("key pair, Yes") << kIdExportKeyPair << true;
        QTest::newRow("key pair, No") << kIdExportKeyPair << false;
        QTest::newRow("public key, Yes") << kIdExportPublicKey << true;
        QTest::newRow("public key, No") << kIdExportPublicKey << false;
    }

    void ExportOverAnExistingFileAsksFirst()
    {
        QFETCH(int, button);
        QFETCH(bool, replace);
        const std::string target = WorkPath("existing.dat");
        WriteWholeFile(target, "what was there\n");
        CMessageScript script;
        QString question;
        bool stayedOpen = false;
        RunPropertyDialog([&](CKeyPropertyDialog* dialog) {
            WhenModal<CExportDialog>([&](CExportDialog* save) {
                save->setDirectory(m_pWork->path());
                WhenModal<QMessageBox>([&](QMessageBox* box) {
                    question = box->text();
                    box->button(replace ? QMessageBox::Yes : QMessageBox::No)->click();
                });
                TypeFileName(save, QStringLiteral("existing.dat"));
                stayedOpen = save->isVisible();
            });
            Click(*dialog, button);
        });
        QVERIFY(question.contains(QStringLiteral("existing.dat")));
        QCOMPARE(stayedOpen, !replace);
        if (!replace) {
            QCOMPARE(ReadWholeFile(target), std::string("what was there\n"));
        } else if (button == kIdExportKeyPair) {
            QCOMPARE(ReadWholeFile(target), ReadWholeFile(KeyFile()));
        } else {
            QVERIFY(ReadWholeFile(target).starts_with("guid=" + NumberedGuid(7) + "\n"));
        }
        QCOMPARE(script.Shown().size(), 0);
        QCOMPARE(EntriesOf(m_pWork->path().toStdString()),
                 std::vector<std::string>({"existing.dat"}));
    }

    void CancelledExportWritesNothing_data()
    {
        QTest::addColumn<int>("button");
        QTest::newRow("key pair") << kIdExportKeyPair;
        QTest::newRow("public key") << kIdExportPublicKey;
    }

    void CancelledExportWritesNothing()
    {
        QFETCH(int, button);
        CMessageScript script;
        RunPropertyDialog([&](CKeyPropertyDialog* dialog) {
            WhenModal<CExportDialog>([&](CExportDialog* save) {
                save->setDirectory(m_pWork->path());
                QTest::keyClick(save, Qt::Key_Escape);
            });
            Click(*dialog, button);
            QVERIFY(dialog->isVisible());
        });
        QCOMPARE(script.Shown().size(), 0);
        QCOMPARE(EntriesOf(m_pWork->path().toStdString()), std::vector<std::string>());
    }

    // A key pair file that cannot be read as one: the date says so; the key pair export still
    // copies the file as it is, while the public key export, which needs the key, fails with its
    // message and writes nothing. A missing file makes both exports fail.
    void UnreadableKeyPairFile_data()
    {
        QTest::addColumn<bool>("missing");
        QTest::addColumn<QList<int>>("messages");
        QTest::newRow("damaged") << false << QList<int>({143});
        QTest::newRow("missing") << true << QList<int>({121, 143});
    }

    void UnreadableKeyPairFile()
    {
        QFETCH(bool, missing);
        QFETCH(QList<int>, messages);
        const std::string damaged = "TVPS but not much else";
        if (missing)
            QVERIFY(::unlink(KeyFile().c_str()) == 0);
        else
            WriteWholeFile(KeyFile(), damaged);
        CMessageScript script;
        QString date;
        RunPropertyDialog([&](CKeyPropertyDialog* dialog) {
            date = dialog->Control<QLabel>(kIdCreateDate)->text();
            for (const char* name : {"pair.exp", "public.key"}) {
                WhenModal<CExportDialog>([&](CExportDialog* save) {
                    save->setDirectory(m_pWork->path());
                    TypeFileName(save, QString::fromLatin1(name));
                });
                Click(*dialog,
                      name == std::string("pair.exp") ? kIdExportKeyPair : kIdExportPublicKey);
                QVERIFY(dialog->isVisible());
            }
        });
        QCOMPARE(date, QStringLiteral("unknown"));
        QCOMPARE(script.ShownIds(), messages);
        for (const SMessage& message : script.Shown())
            QCOMPARE(message.m_kind, EMessageKind::Error);
        QVERIFY(!PathExists(WorkPath("public.key")));
        if (missing)
            QVERIFY(!PathExists(WorkPath("pair.exp")));
        else
            QCOMPARE(ReadWholeFile(WorkPath("pair.exp")), damaged);
    }

    // OK gives back the name as edited; Cancel leaves the opener's name, exports or not.
    void OkGivesBackTheEditedNameCancelDoesNot_data()
    {
        QTest::addColumn<bool>("pressOk");
        QTest::newRow("OK") << true;
        QTest::newRow("Cancel") << false;
    }

    void OkGivesBackTheEditedNameCancelDoesNot()
    {
        QFETCH(bool, pressOk);
        CKeyPropertyDialog dialog(m_pMainWindow.get());
        dialog.m_strName = "Mine";
        dialog.m_nIndex = 0;
        WhenModal<CKeyPropertyDialog>([&](CKeyPropertyDialog*) {
            Field(dialog, kIdKeyPairName).setText(QStringLiteral("Ours"));
            WhenModal<CExportDialog>([&](CExportDialog* save) {
                save->setDirectory(m_pWork->path());
                TypeFileName(save, QStringLiteral("mine"));
            });
            Click(dialog, kIdExportKeyPair);
            Click(dialog, pressOk ? kIdOk : kIdCancel);
        });
        const int result = RunModal(dialog);
        QCOMPARE(result, int(pressOk ? QDialog::Accepted : QDialog::Rejected));
        QCOMPARE(dialog.m_strName, std::string(pressOk ? "Ours" : "Mine"));
        QVERIFY(PathExists(WorkPath("mine.exp")));
    }

private:
    std::string KeyFile() const { return g_szKeysFolder + m_strKeyFile; }
    std::string WorkPath(const std::string& name) const
    {
        return m_pWork->filePath(QString::fromStdString(name)).toStdString();
    }

    // Exports through button into the work folder, typing the name "mine" without an extension;
    // gives what the export dialog looked like.
    SFileDialogSeen ExportAsMine(int button)
    {
        SFileDialogSeen seen;
        RunPropertyDialog([&](CKeyPropertyDialog* dialog) {
            WhenModal<CExportDialog>([&](CExportDialog* save) {
                seen = Look(*m_pMainWindow, save);
                save->setDirectory(m_pWork->path());
                TypeFileName(save, QStringLiteral("mine"));
            });
            Click(*dialog, button);
            QCOMPARE(m_pMainWindow->m_pActiveWnd, dialog);
            QVERIFY(dialog->isVisible()); // exports do not end the dialog
        });
        return seen;
    }

    // Runs the property dialog of entry 0 over the main window, as the key management dialog
    // does, with steps run inside its modal loop; the dialog is closed afterwards.
    void RunPropertyDialog(const std::function<void(CKeyPropertyDialog*)>& steps)
    {
        CKeyPropertyDialog dialog(m_pMainWindow.get());
        dialog.m_strName = "Mine";
        dialog.m_nIndex = 0;
        WhenModal<CKeyPropertyDialog>(steps);
        RunModal(dialog);
    }

    std::unique_ptr<CDataScope> m_pData;
    std::string m_strKeyFile;
    std::unique_ptr<QTemporaryDir> m_pWork;
    std::unique_ptr<CPellmarDlg> m_pMainWindow;
};

QTEST_MAIN(KeyPropertyDialogTest)
#include "key_property_dialog_test.moc"
