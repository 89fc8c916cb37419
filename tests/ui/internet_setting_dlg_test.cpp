#include "support/data_scope.h"
#include "support/dialog_driver.h"
#include "support/key_server.h"
#include "support/message_script.h"
#include "support/modal.h"
#include "ui/internet_setting_dlg.h"
#include "ui/pellmar_dlg.h"
#include "util/folder_paths.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>

namespace {

// The five values of the settings, as the dialog shows and stores them.
struct SSettings {
    QString m_ftp;
    QString m_user;
    QString m_password;
    bool m_bAnonymous = false;
    QString m_url;
    bool operator==(const SSettings&) const = default;
};

const SSettings kStored = {"ftp://127.0.0.1:2121/pub/me.pub", "me", "pa ss=word", false,
                           "https://keys.example.org/me.pub"};

SSettings SettingsOf(const CInternetSetting& settings)
{
    return {QString::fromStdString(settings.GetFtp()), QString::fromStdString(settings.GetUser()),
            QString::fromStdString(settings.GetPassword()), settings.IsAnonymous(),
            QString::fromStdString(settings.GetUrl())};
}

CInternetSetting& Settings()
{
    return *GetRepository()->m_pInternetSetting;
}

// The settings as inet.conf holds them now, read by a fresh object.
SSettings SettingsInFile()
{
    CInternetSetting fromFile;
    if (!fromFile.Load(g_szDataFolder))
        return {QStringLiteral("cannot load"), {}, {}, false, {}};
    return SettingsOf(fromFile);
}

std::string InetConfPath()
{
    return g_szDataFolder + "inet.conf";
}

// Stores settings in the repository and in inet.conf, as an earlier run of the dialog would.
void Store(const SSettings& settings)
{
    CInternetSetting& target = Settings();
    target.SetFtp(settings.m_ftp.toStdString());
    target.SetUser(settings.m_user.toStdString());
    target.SetPassword(settings.m_password.toStdString());
    target.SetAnonymous(settings.m_bAnonymous);
    target.SetUrl(settings.m_url.toStdString());
    if (!target.Save())
        qFatal("cannot write inet.conf");
}

QCheckBox& Anonymous(const CInternetSettingDlg& dialog)
{
    return *dialog.Control<QCheckBox>(kIdAnonymous);
}

SSettings Shown(const CInternetSettingDlg& dialog)
{
    return {Field(dialog, kIdFtpLocation).text(), Field(dialog, kIdFtpUser).text(),
            Field(dialog, kIdFtpPassword).text(), Anonymous(dialog).isChecked(),
            Field(dialog, kIdWebUrl).text()};
}

void Enter(CInternetSettingDlg& dialog, const SSettings& settings)
{
    TypeOver(Field(dialog, kIdFtpLocation), settings.m_ftp);
    TypeOver(Field(dialog, kIdFtpUser), settings.m_user);
    TypeOver(Field(dialog, kIdFtpPassword), settings.m_password);
    if (Anonymous(dialog).isChecked() != settings.m_bAnonymous)
        QTest::mouseClick(&Anonymous(dialog), Qt::LeftButton, {}, QPoint(4, 4));
    TypeOver(Field(dialog, kIdWebUrl), settings.m_url);
}

// Runs dialog modally with steps run inside its loop, once it is the active window (where the
// application's focus widget is); exec()'s result. A dialog the steps leave open is cancelled.
int Run(CInternetSettingDlg& dialog, const std::function<void(CInternetSettingDlg*)>& steps)
{
    WhenModal<CInternetSettingDlg>([&](CInternetSettingDlg* running) {
        QVERIFY(QTest::qWaitForWindowActive(running));
        steps(running);
    });
    return dialog.exec();
}

SFocus FocusOf(const CInternetSettingDlg& dialog)
{
    return FocusOf(dialog, QApplication::focusWidget(),
                   {kIdFtpLocation, kIdFtpUser, kIdFtpPassword, kIdWebUrl});
}

} // namespace

Q_DECLARE_METATYPE(SSettings)

class InternetSettingDlgTest : public QObject {
    Q_OBJECT

private slots:
    void OpensWithTheStoredSettingsAndHidesThePassword()
    {
        CDataScope data;
        Store({"ftp://host/k.pub", "me", "secret", true, "http://host/k.pub"});
        CInternetSettingDlg dialog(nullptr);
        SSettings shown;
        QLineEdit::EchoMode passwordEcho = QLineEdit::Normal;
        QString title;
        Run(dialog, [&](CInternetSettingDlg* running) {
            shown = Shown(*running);
            passwordEcho = Field(*running, kIdFtpPassword).echoMode();
            title = running->windowTitle();
        });
        QCOMPARE(shown, SSettings({"ftp://host/k.pub", "me", "secret", true, "http://host/k.pub"}));
        QCOMPARE(passwordEcho, QLineEdit::Password);
        QCOMPARE(title, QStringLiteral("Internet settings"));
    }

    void OkStoresWhatWasEnteredAndWritesInetConf_data()
    {
        QTest::addColumn<SSettings>("entered");
        QTest::newRow("all empty, not anonymous") << SSettings();
        QTest::newRow("account") << kStored;
        // Anonymous leaves the account fields as they are, and they are stored too.
        QTest::newRow("anonymous with an account")
            << SSettings {"ftp://host/a/b/k.pub", "someone", "typed", true, "https://host/k.pub"};
        // Only the beginning of a location is looked at.
        QTest::newRow("schemes alone") << SSettings {"ftp://", "", "", false, "http://"};
    }

    void OkStoresWhatWasEnteredAndWritesInetConf()
    {
        QFETCH(SSettings, entered);
        CDataScope data;
        Store({"ftp://old/k.pub", "old", "old password", !entered.m_bAnonymous, "http://old/"});
        CMessageScript script;
        CInternetSettingDlg dialog(nullptr);
        bool accountEnabled = false;
        const int result = Run(dialog, [&](CInternetSettingDlg* running) {
            Enter(*running, entered);
            accountEnabled = Field(*running, kIdFtpUser).isEnabled() &&
                             Field(*running, kIdFtpPassword).isEnabled();
            PressOk(*running);
        });
        QVERIFY(script.Shown().isEmpty());
        QCOMPARE(result, int(QDialog::Accepted));
        QVERIFY(accountEnabled);
        QCOMPARE(SettingsOf(Settings()), entered);
        QCOMPARE(SettingsInFile(), entered);
        // The password is kept protected, never as it was typed.
        QFile conf(QString::fromStdString(InetConfPath()));
        QVERIFY(conf.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = conf.readAll().split('\n');
        QCOMPARE(lines.size(), 6);
        QCOMPARE(lines[0], "FTP=" + entered.m_ftp.toUtf8() + "\r");
        QVERIFY(lines[2].startsWith("PASSWORD=") && lines[2].size() > 20);
        QVERIFY(entered.m_password.isEmpty() || !lines[2].contains(entered.m_password.toUtf8()));
        QCOMPARE(lines[3], QByteArray(entered.m_bAnonymous ? "ANONYMOUS=1\r" : "ANONYMOUS=0\r"));
        QCOMPARE(TempFolderEntries(), QStringList());
    }

    // Each wrong location is refused with its message and its field gets the focus; the FTP
    // location is looked at first, and only the first failure is reported. Nothing is stored.
    void WrongLocationsAreRefusedInOrder_data()
    {
        QTest::addColumn<QString>("ftp");
        QTest::addColumn<QString>("url");
        QTest::addColumn<int>("message");
        QTest::addColumn<int>("field");
        QTest::newRow("upper-case FTP scheme") << "FTP://host/k.pub"
                                               << "http://host/k.pub" << 108 << kIdFtpLocation;
        QTest::newRow("http as FTP location") << "http://host/k.pub"
                                              << "http://host/k.pub" << 108 << kIdFtpLocation;
        QTest::newRow("both malformed") << "host/k.pub"
                                        << "www.host/k.pub" << 108 << kIdFtpLocation;
        QTest::newRow("malformed URL") << "ftp://host/k.pub"
                                       << "www.host/k.pub" << 109 << kIdWebUrl;
        QTest::newRow("upper-case HTTP scheme") << ""
                                                << "HTTP://host/k.pub" << 109 << kIdWebUrl;
        QTest::newRow("ftp as web URL") << ""
                                        << "ftp://host/k.pub" << 109 << kIdWebUrl;
    }

    void WrongLocationsAreRefusedInOrder()
    {
        QFETCH(QString, ftp);
        QFETCH(QString, url);
        QFETCH(int, message);
        QFETCH(int, field);
        CDataScope data;
        Store(kStored);
        const SFileStamp before = StampOf(InetConfPath());
        CMessageScript script;
        CInternetSettingDlg dialog(nullptr);
        SFocus focus;
        const int result = Run(dialog, [&](CInternetSettingDlg* running) {
            Enter(*running, {ftp, "new user", "new password", true, url});
            PressOk(*running);
            focus = FocusOf(*running);
        });
        ExpectRefusedAt(script, message, focus, result, field);
        QCOMPARE(SettingsOf(Settings()), kStored);
        QVERIFY(StampOf(InetConfPath()) == before);
    }

    // The message texts and boxes as the user sees them.
    void RefusalsAreErrorBoxes()
    {
        CDataScope data;
        CInternetSettingDlg dialog(nullptr);
        QStringList texts;
        QList<QMessageBox::Icon> icons;
        QStringList captions;
        Run(dialog, [&](CInternetSettingDlg* running) {
            for (const QString& ftp : {QStringLiteral("FTP://h/k"), QStringLiteral("")}) {
                WhenModal<QMessageBox>([&](QMessageBox* box) {
                    texts << box->text();
                    icons << box->icon();
                    captions << box->windowTitle();
                    QCOMPARE(box->standardButtons(), QMessageBox::Ok);
                    box->button(QMessageBox::Ok)->click();
                });
                Enter(*running, {ftp, "", "", false, "https//h/k"});
                PressOk(*running);
            }
        });
        QCOMPARE(texts, QStringList({QStringLiteral("FTP configurations is wrong."),
                                     QStringLiteral("URL configurations is wrong.")}));
        QCOMPARE(icons, QList<QMessageBox::Icon>({QMessageBox::Critical, QMessageBox::Critical}));
        QCOMPARE(captions,
                 QStringList({QStringLiteral("Pellmar-Gate"), QStringLiteral("Pellmar-Gate")}));
    }

    void CancelAfterEditingChangesNothing()
    {
        CDataScope data;
        Store(kStored);
        const SFileStamp before = StampOf(InetConfPath());
        CMessageScript script;
        CInternetSettingDlg dialog(nullptr);
        const int result = Run(dialog, [&](CInternetSettingDlg* running) {
            Enter(*running, {"ftp://other/k", "other", "other", true, "http://other/k"});
            Click(*running, kIdCancel);
        });
        QCOMPARE(result, int(QDialog::Rejected));
        QVERIFY(script.Shown().isEmpty());
        QCOMPARE(SettingsOf(Settings()), kStored);
        QVERIFY(StampOf(InetConfPath()) == before);
    }

    // inet.conf cannot be written: the temp folder its new content goes to first is a file, or a
    // folder stands where inet.conf must go. The message is shown, the dialog stays open with the
    // focus where it was, the values in memory are the new ones, and the file keeps what it held.
    void AFailedWriteIsReportedAndKeepsTheDialogOpen_data()
    {
        QTest::addColumn<bool>("tempFolderIsAFile");
        QTest::newRow("temp folder is a file") << true;
        QTest::newRow("inet.conf is a folder") << false;
    }

    void AFailedWriteIsReportedAndKeepsTheDialogOpen()
    {
        QFETCH(bool, tempFolderIsAFile);
        CDataScope data;
        Store(kStored);
        const SFileStamp before = StampOf(InetConfPath());
        const QString tempFolder = QString::fromStdString(g_szTempFolder);
        const QString inetConf = QString::fromStdString(InetConfPath());
        if (tempFolderIsAFile) {
            QVERIFY(QDir(tempFolder).removeRecursively());
            QFile blocker(tempFolder.chopped(1));
            QVERIFY(blocker.open(QIODevice::WriteOnly));
        } else {
            QVERIFY(QFile::remove(inetConf));
            QVERIFY(QDir().mkdir(inetConf));
        }
        const SSettings entered = {"ftp://new/k.pub", "new", "new password", true, "http://new/"};
        CMessageScript script;
        CInternetSettingDlg dialog(nullptr);
        SFocus focus;
        const int result = Run(dialog, [&](CInternetSettingDlg* running) {
            Enter(*running, entered);
            PressOk(*running);
            focus = FocusOf(*running);
        });
        QCOMPARE(script.ShownIds(), QList<int>({107}));
        QCOMPARE(script.Shown()[0].m_kind, EMessageKind::Error);
        QCOMPARE(script.Shown()[0].m_text, QStringLiteral("Failed to write Internet Settings."));
        QVERIFY(focus.m_bOpen);
        QVERIFY(focus.m_bOnOk);
        QCOMPARE(result, int(QDialog::Rejected));
        QCOMPARE(SettingsOf(Settings()), entered);
        if (tempFolderIsAFile) {
            QVERIFY(StampOf(InetConfPath()) == before);
            QCOMPARE(SettingsInFile(), kStored); // what the next start reads
        } else {
            QVERIFY(QFileInfo(inetConf).isDir());
            QCOMPARE(TempFolderEntries(), QStringList());
        }
    }

    // The main window's menu entry runs the dialog as the active window.
    void TheMainWindowsMenuOpensIt()
    {
        CDataScope data;
        Store(kStored);
        CPellmarDlg window;
        bool active = false;
        SSettings shown;
        WhenModal<CPellmarDlg>([&](CPellmarDlg*) {
            WhenModal<CInternetSettingDlg>([&](CInternetSettingDlg* dialog) {
                active = window.m_pActiveWnd == dialog;
                shown = Shown(*dialog);
                QTest::keyClick(dialog, Qt::Key_Escape);
            });
            QAction* entry = window.findChild<QMenu*>()->actions().at(2);
            QCOMPARE(entry->text(), QStringLiteral("&Internet Settings..."));
            entry->trigger();
            QCOMPARE(window.m_pActiveWnd, &window);
        });
        window.exec();
        QVERIFY(active);
        QCOMPARE(shown, kStored);
    }
};

QTEST_MAIN(InternetSettingDlgTest)
#include "internet_setting_dlg_test.moc"
