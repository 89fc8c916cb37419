#include "crypto/key_pair.h"
#include "net/curl_library.h"
#include "support/data_scope.h"
#include "support/dialog_driver.h"
#include "support/key_server.h"
#include "support/key_test_support.h"
#include "support/local_server.h"
#include "support/message_script.h"
#include "support/modal.h"
#include "ui/destination_dlg.h"
#include "ui/key_creator_dialog.h"
#include "ui/key_manager_dlg.h"
#include "ui/pellmar_dlg.h"
#include "util/folder_paths.h"

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <memory>

namespace {

// What the user enters in the key creation dialog.
struct SEntry {
    QString m_name;
    QString m_ftp;
    QString m_user;
    QString m_password;
    bool m_bAnonymous = false;
    QString m_url;
};

// The user's key pairs before a test: names only, for the list (their files are not needed).
const char* const kExistingNames[] = {"Work", "Home", "Old"};

// The template's status text, shown until a creation starts.
const QString kInitialStatus = QStringLiteral("Start key pair creation");

// Records what the status line and the progress bar of a dialog paint, and every position the
// bar is set to.
class CPaintRecorder : public QObject {
public:
    explicit CPaintRecorder(const CKeyCreatorDialog& dialog)
        : m_pStatus(dialog.Control<QLabel>(kIdCreationStatus)),
          m_pBar(dialog.Control<QProgressBar>(kIdCreationProgress))
    {
        m_pStatus->installEventFilter(this);
        m_pBar->installEventFilter(this);
        connect(m_pBar, &QProgressBar::valueChanged, this, [this](int value) {
            m_set << value;
            m_bStatusPainted &= LastPaintedStatus() == m_pStatus->text();
        });
    }

    // Positions the bar was set to, and painted at, each run of equal ones counted once, leading
    // zeros (the position before the sequence) left out.
    QList<int> SetPositions() const { return Distinct(m_set); }
    QList<int> PaintedPositions() const { return Distinct(m_painted); }
    QString LastPaintedStatus() const { return m_paintedStatus.value(m_paintedStatus.size() - 1); }
    int LastPaintedPosition() const { return m_painted.value(m_painted.size() - 1, -1); }
    // Whenever the bar moved, the status line on screen was the current one.
    bool StatusPaintedBeforeEachMove() const { return m_bStatusPainted; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            if (watched == m_pStatus)
                m_paintedStatus << m_pStatus->text();
            else if (watched == m_pBar)
                m_painted << m_pBar->value();
        }
        return false;
    }

private:
    static QList<int> Distinct(const QList<int>& values)
    {
        QList<int> distinct;
        for (int value : values) {
            if ((distinct.isEmpty() && value == 0) ||
                (!distinct.isEmpty() && distinct.last() == value))
                continue;
            distinct << value;
        }
        return distinct;
    }

    QLabel* m_pStatus;
    QProgressBar* m_pBar;
    QList<int> m_set;
    QList<int> m_painted;
    QStringList m_paintedStatus;
    bool m_bStatusPainted = true;
};

// Holds a local server still (SIGSTOP), so that whatever talks to it waits, until Resume or the
// end of the scope.
class CServerPause {
public:
    explicit CServerPause(const CLocalServer& server) : m_pid(server.GetPid())
    {
        ::kill(m_pid, SIGSTOP);
    }
    ~CServerPause() { Resume(); }
    CServerPause(const CServerPause&) = delete;
    CServerPause& operator=(const CServerPause&) = delete;

    void Resume()
    {
        if (m_bPaused)
            ::kill(m_pid, SIGCONT);
        m_bPaused = false;
    }

private:
    pid_t m_pid;
    bool m_bPaused = true;
};

void Enter(CKeyCreatorDialog& dialog, const SEntry& entry)
{
    TypeOver(Field(dialog, kIdKeyPairName), entry.m_name);
    TypeOver(Field(dialog, kIdFtpLocation), entry.m_ftp);
    TypeOver(Field(dialog, kIdFtpUser), entry.m_user);
    TypeOver(Field(dialog, kIdFtpPassword), entry.m_password);
    auto* anonymous = dialog.Control<QCheckBox>(kIdAnonymous);
    if (anonymous->isChecked() != entry.m_bAnonymous)
        QTest::mouseClick(anonymous, Qt::LeftButton, {}, QPoint(4, 4));
    TypeOver(Field(dialog, kIdWebUrl), entry.m_url);
}

// The ids of the fields and buttons of the key creation dialog, in tab order.
const int kInputIds[] = {kIdKeyPairName, kIdFtpLocation, kIdFtpUser, kIdFtpPassword,
                         kIdAnonymous,   kIdWebUrl,      kIdOk,      kIdCancel};

bool AnyInputEnabled(const CKeyCreatorDialog& dialog)
{
    for (int id : kInputIds) {
        if (dialog.Control<QWidget>(id)->isEnabled())
            return true;
    }
    return false;
}

std::vector<std::string> KeyPairNames()
{
    std::vector<std::string> names;
    const CKeyPairList& list = *GetRepository()->m_pKeyPairList;
    for (int i = 0; i < list.GetCount(); ++i)
        names.push_back(list.GetAt(i)->GetName());
    return names;
}

QStringList KeysFolderEntries()
{
    return QDir(QString::fromStdString(g_szKeysFolder))
        .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
}

std::string KeysConfPath()
{
    return g_szDataFolder + "keys.conf";
}

// Commands of a piece of the FTP server's log, without the client ports.
QStringList FtpCommands(const std::string& logText)
{
    QStringList commands;
    for (const QString& line : QString::fromStdString(logText).split('\n', Qt::SkipEmptyParts))
        commands << line.section(' ', 1);
    return commands;
}

// What a run of the key creation dialog left to look at.
struct SOutcome {
    int m_nResult = -1;            // the key creation dialog's exec()
    bool m_bOpenAfterOk = false;   // still open once OK's work was done
    QString m_status;              // the status line then
    int m_nPosition = -1;          // the progress bar's position then
    bool m_bNameFocused = false;   // the name field had the focus then
    bool m_bInputEnabled = false;  // all fields and buttons were enabled again
    QList<int> m_setPositions;     // positions the bar was set to
    QList<int> m_paintedPositions; // positions painted
    bool m_bStatusPainted = false; // the status line on screen was current whenever the bar moved
    std::vector<std::string> m_managerRows; // the key management dialog's rows afterwards
    int m_nManagerRow = -1;                 // its selected row
    int m_nSelectedBefore = -2; // the row selected there when Create was pressed (-1: none)
    bool m_bCreatorWasActive = false;
    bool m_bManagerActiveAgain = false;
};

} // namespace

class KeyCreatorDialogTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qputenv("no_proxy", "*");
        QVERIFY(m_folder.isValid());
        const std::string web = m_folder.filePath(QStringLiteral("web")).toStdString();
        QVERIFY(QDir().mkpath(QString::fromStdString(web)));
        // One folder, written by FTP and served by the web server: an upload can be fetched back.
        m_pFtp = std::make_unique<CLocalServer>(
            "ftp_server.py", std::vector<std::string> {"--root", web, "--log", LogPath("ftp.log")});
        m_pWeb = std::make_unique<CLocalServer>(
            "http_server.py",
            std::vector<std::string> {"--root", web, "--log", LogPath("web.log")});
        // A web server with a public key file of its own under the same name.
        m_pElsewhere = std::make_unique<CKeyServer>();
        const CDataScope data; // the temp folder the public key file is written through
        m_pElsewhere->PublishKey(SharedKeyPair(), "me.pub");
    }

    void cleanupTestCase()
    {
        m_pElsewhere.reset();
        m_pWeb.reset();
        m_pFtp.reset();
    }

    void OpensWithTheInternetSettingsAndAnEmptyName()
    {
        CDataScope data;
        CInternetSetting& settings = *GetRepository()->m_pInternetSetting;
        settings.SetFtp(FtpLocation());
        settings.SetUser("user");
        settings.SetPassword("secret");
        settings.SetAnonymous(true);
        settings.SetUrl(WebUrl());
        SEntry shown;
        QString title;
        QString status;
        int position = -1;
        QLineEdit::EchoMode echo = QLineEdit::Normal;
        RunCreation(-1, [&](CKeyCreatorDialog* dialog) {
            title = dialog->windowTitle();
            shown = {Field(*dialog, kIdKeyPairName).text(),
                     Field(*dialog, kIdFtpLocation).text(),
                     Field(*dialog, kIdFtpUser).text(),
                     Field(*dialog, kIdFtpPassword).text(),
                     dialog->Control<QCheckBox>(kIdAnonymous)->isChecked(),
                     Field(*dialog, kIdWebUrl).text()};
            status = dialog->Control<QLabel>(kIdCreationStatus)->text();
            position = dialog->Control<QProgressBar>(kIdCreationProgress)->value();
            echo = Field(*dialog, kIdFtpPassword).echoMode();
        });
        QCOMPARE(title, QStringLiteral("Create Key Pair"));
        QVERIFY(shown.m_name.isEmpty());
        QCOMPARE(shown.m_ftp, QString::fromStdString(FtpLocation()));
        QCOMPARE(shown.m_user, QStringLiteral("user"));
        QCOMPARE(shown.m_password, QStringLiteral("secret"));
        QVERIFY(shown.m_bAnonymous);
        QCOMPARE(shown.m_url, QString::fromStdString(WebUrl()));
        QCOMPARE(status, kInitialStatus);
        QCOMPARE(position, 0);
        QCOMPARE(echo, QLineEdit::Password);
    }

    // Which steps run depends on the FTP location and the web URL; the bar moves through the
    // positions of each case, every one of them painted, and the new pair goes in front of the
    // selected row. A destination is offered only after an upload that was fetched back (the
    // answer here is No).
    void ProgressFollowsTheStepsThatRun_data()
    {
        QTest::addColumn<bool>("ftp");
        QTest::addColumn<bool>("url");
        QTest::addColumn<QList<int>>("milestones");
        QTest::newRow("no FTP location, URL given")
            << false << true << QList<int>({50, 100, 100, 100});
        QTest::newRow("FTP location and URL") << true << true << QList<int>({25, 50, 75, 100});
        QTest::newRow("FTP location only") << true << false << QList<int>({33, 66, 100, 100});
    }

    void ProgressFollowsTheStepsThatRun()
    {
        QFETCH(bool, ftp);
        QFETCH(bool, url);
        QFETCH(QList<int>, milestones);
        CDataScope data;
        AddExistingKeyPairs();
        CMessageScript script;
        const CLogWatch ftpLog(LogPath("ftp.log"));
        const CLogWatch webLog(LogPath("web.log"));
        const SEntry entry = {"New key", ftp ? QString::fromStdString(FtpLocation()) : QString(),
                              "user",    "secret",
                              false,     url ? QString::fromStdString(WebUrl()) : QString()};
        const SOutcome outcome = Create(1, entry);

        QCOMPARE(outcome.m_nResult, int(QDialog::Accepted));
        QCOMPARE(outcome.m_setPositions, Distinct(milestones));
        QCOMPARE(outcome.m_paintedPositions, Distinct(milestones));
        QVERIFY(outcome.m_bStatusPainted);
        QCOMPARE(script.ShownIds(), ftp && url ? QList<int>({132}) : QList<int>());
        const std::vector<std::string> expectedNames = {"Work", "New key", "Home", "Old"};
        QCOMPARE(outcome.m_managerRows, expectedNames);
        QCOMPARE(outcome.m_nSelectedBefore, 1);
        QCOMPARE(outcome.m_nManagerRow, 1);
        QCOMPARE(KeyPairNames(), expectedNames);
        CKeyPairList fromFile;
        QVERIFY(fromFile.Load(g_szDataFolder));
        QCOMPARE(fromFile.GetAt(1)->GetName(), std::string("New key"));
        const std::string file = fromFile.GetAt(1)->GetFile();
        QCOMPARE(KeysFolderEntries(), QStringList({QString::fromStdString(file)}));
        const std::unique_ptr<CKeyPair> pair = LoadKeyPairFile(g_szKeysFolder + file);
        QVERIFY(pair);
        QCOMPARE(pair->GetGuid() + ".key", file);

        const QStringList commands = FtpCommands(ftpLog.NewText());
        QCOMPARE(commands.contains(QStringLiteral("STOR /keys/me.pub")), ftp);
        if (ftp) {
            const std::unique_ptr<CPublicKey> published = ReadPublicKeyFile(WebPath("keys/me.pub"));
            QVERIFY(published);
            QCOMPARE(published->GetGuid(), pair->GetGuid());
            QVERIFY(SameKey(published->GetKey(), pair->GetKey()));
        }
        QCOMPARE(RequestCount(webLog.NewText()), ftp && url ? 1 : 0);
        QCOMPARE(GetRepository()->m_pDestinationList->GetCount(), 0);
        QCOMPARE(TempFolderEntries(), QStringList());
    }

    // Both locations filled: the public key is uploaded, fetched back and compared; the new pair
    // is added; Yes to the offer opens the destination dialog with the URL locked, and the
    // destination goes into the main window's list at its selected row.
    void PublishedKeyCanBeRegisteredAsADestination()
    {
        CDataScope data(
            {{"Alice", "http://127.0.0.1:1/alice.pub"}, {"Bob", "http://127.0.0.1:1/bob.pub"}});
        AddExistingKeyPairs();
        CMessageScript script;
        script.Answer(QMessageBox::Yes);
        const CLogWatch ftpLog(LogPath("ftp.log"));
        const CLogWatch webLog(LogPath("web.log"));
        bool destinationWasActive = false;
        bool urlReadOnly = false;
        QString urlShown;
        QString caption;
        m_onMainWindow = [](CPellmarDlg& window) { List(window).setCurrentRow(1); };
        WhenModal<CDestinationDlg>(
            [&](CDestinationDlg* dialog) {
                destinationWasActive = CPellmarDlg::GetMainWnd()->m_pActiveWnd == dialog;
                caption = dialog->windowTitle();
                urlReadOnly = Field(*dialog, kIdDestinationUrl).isReadOnly();
                urlShown = Field(*dialog, kIdDestinationUrl).text();
                Field(*dialog, kIdDestinationName).setText(QStringLiteral("Me"));
                Click(*dialog, kIdOk);
            },
            60000);
        const SOutcome outcome = Create(-1, {"Mine", QString::fromStdString(FtpLocation()), "user",
                                             "secret", false, QString::fromStdString(WebUrl())});

        QCOMPARE(outcome.m_nResult, int(QDialog::Accepted));
        QVERIFY(outcome.m_bCreatorWasActive);
        QVERIFY(outcome.m_bManagerActiveAgain);
        QCOMPARE(script.ShownIds(), QList<int>({132}));
        QCOMPARE(script.Shown()[0].m_kind, EMessageKind::Question);
        QCOMPARE(script.Shown()[0].m_text, QStringLiteral("Are you register public key."));
        // Nothing selected in the key management dialog: the new pair goes to the top.
        QCOMPARE(outcome.m_nSelectedBefore, -1);
        QCOMPARE(outcome.m_managerRows, std::vector<std::string>({"Mine", "Work", "Home", "Old"}));
        QCOMPARE(outcome.m_nManagerRow, 0);
        QVERIFY(destinationWasActive);
        QCOMPARE(caption, QStringLiteral("Create new destination."));
        QVERIFY(urlReadOnly);
        QCOMPARE(urlShown, QString::fromStdString(WebUrl()));
        const CDestinationList& destinations = *GetRepository()->m_pDestinationList;
        QCOMPARE(destinations.GetCount(), 3);
        QCOMPARE(destinations.GetAt(1)->GetName(), std::string("Me"));
        QCOMPARE(destinations.GetAt(1)->GetUrl(), WebUrl());
        CDestinationList fromFile;
        QVERIFY(fromFile.Load(g_szDataFolder));
        QCOMPARE(fromFile.GetAt(1)->GetUrl(), WebUrl());
        // The login with the account, one store, then the fetch back and the destination
        // dialog's own fetch.
        const QStringList commands = FtpCommands(ftpLog.NewText());
        QVERIFY(commands.contains(QStringLiteral("USER user")));
        QVERIFY(commands.contains(QStringLiteral("PASS secret")));
        QCOMPARE(commands.filter(QStringLiteral("STOR ")), QStringList({"STOR /keys/me.pub"}));
        QCOMPARE(RequestCount(webLog.NewText()), 2);
        QCOMPARE(TempFolderEntries(), QStringList());
    }

    // No question when the URL is a destination already; Anonymous logs in as "anonymous" with
    // the typed password. What is typed serves this creation only: the internet settings stay.
    void AnonymousLoginAndAKnownUrlAskNothing()
    {
        CDataScope data({{"Me", WebUrl()}});
        CInternetSetting& settings = *GetRepository()->m_pInternetSetting;
        settings.SetFtp("ftp://127.0.0.1:1/elsewhere.pub");
        settings.SetUser("someone");
        QVERIFY(settings.Save());
        const SFileStamp inetConf = StampOf(g_szDataFolder + "inet.conf");
        CMessageScript script;
        const CLogWatch ftpLog(LogPath("ftp.log"));
        const SOutcome outcome =
            Create(-1, {"Mine", QString::fromStdString(FtpLocation()), "user", "typed password",
                        true, QString::fromStdString(WebUrl())});
        QCOMPARE(outcome.m_nResult, int(QDialog::Accepted));
        QVERIFY(script.Shown().isEmpty());
        const QStringList commands = FtpCommands(ftpLog.NewText());
        QVERIFY(commands.contains(QStringLiteral("USER anonymous")));
        QVERIFY(commands.contains(QStringLiteral("PASS typed password")));
        QVERIFY(!commands.contains(QStringLiteral("USER user")));
        QCOMPARE(GetRepository()->m_pDestinationList->GetCount(), 1);
        QCOMPARE(KeyPairNames(), std::vector<std::string>({"Mine"}));
        QCOMPARE(settings.GetFtp(), std::string("ftp://127.0.0.1:1/elsewhere.pub"));
        QCOMPARE(settings.GetUser(), std::string("someone"));
        QVERIFY(!settings.IsAnonymous());
        QVERIFY(StampOf(g_szDataFolder + "inet.conf") == inetConf);
    }

    // A failed step shows its message with nothing of the attempt left locally (no key pair file,
    // no temporary file, already when the message shows), the list unchanged and the dialog open
    // with every field enabled. The status line and the bar stay where the step failed.
    void FailedStepsLeaveNothingBehind_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("ftp");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("url");
        QTest::addColumn<int>("message");
        QTest::addColumn<QString>("status");
        QTest::addColumn<int>("position");
        QTest::addColumn<bool>("uploads");
        const QString ftp = QString::fromStdString(FtpLocation());
        const QString url = QString::fromStdString(WebUrl());
        const QString elsewhere = QString::fromStdString(m_pElsewhere->Url("me.pub"));
        QTest::newRow("name of an existing key pair")
            << "Home" << ftp << "secret" << url << 113 << kInitialStatus << 0 << false;
        QTest::newRow("empty name")
            << "" << ftp << "secret" << url << 112 << kInitialStatus << 0 << false;
        QTest::newRow("refused FTP login")
            << "New" << ftp << "wrong" << url << 128 << "FTP uploading..." << 50 << false;
        QTest::newRow("nothing at the URL") << "New" << ftp << "secret" << QString(kUnreachableUrl)
                                            << 130 << "HTTP downloading..." << 75 << true;
        QTest::newRow("another file at the URL")
            << "New" << ftp << "secret" << elsewhere << 131 << "HTTP downloading..." << 75 << true;
    }

    void FailedStepsLeaveNothingBehind()
    {
        QFETCH(QString, name);
        QFETCH(QString, ftp);
        QFETCH(QString, password);
        QFETCH(QString, url);
        QFETCH(int, message);
        QFETCH(QString, status);
        QFETCH(int, position);
        QFETCH(bool, uploads);
        CDataScope data;
        AddExistingKeyPairs();
        const SFileStamp keysConf = StampOf(KeysConfPath());
        CMessageScript script;
        QStringList leftAtMessage {QStringLiteral("not shown")};
        script.OnShown(
            [&](const SMessage&) { leftAtMessage = TempFolderEntries() + KeysFolderEntries(); });
        const CLogWatch ftpLog(LogPath("ftp.log"));
        const SOutcome outcome = Create(2, {name, ftp, "user", password, false, url});

        QCOMPARE(script.ShownIds(), QList<int>({message}));
        QCOMPARE(script.Shown()[0].m_kind, EMessageKind::Error);
        QCOMPARE(leftAtMessage, QStringList());
        QVERIFY(outcome.m_bOpenAfterOk);
        QCOMPARE(outcome.m_nResult, int(QDialog::Rejected));
        QVERIFY(outcome.m_bInputEnabled);
        QCOMPARE(outcome.m_status, status);
        QCOMPARE(outcome.m_nPosition, position);
        // The name field gets the focus back when the name was the problem.
        QCOMPARE(outcome.m_bNameFocused, message == 112 || message == 113);
        QCOMPARE(outcome.m_managerRows, std::vector<std::string>({"Work", "Home", "Old"}));
        QCOMPARE(KeyPairNames(), std::vector<std::string>({"Work", "Home", "Old"}));
        QVERIFY(StampOf(KeysConfPath()) == keysConf);
        QCOMPARE(KeysFolderEntries(), QStringList());
        QCOMPARE(TempFolderEntries(), QStringList());
        QCOMPARE(FtpCommands(ftpLog.NewText()).contains(QStringLiteral("STOR /keys/me.pub")),
                 uploads);
        // Nothing was generated when the name was the problem.
        if (position == 0)
            QVERIFY(!GetRepository()->m_pKeyGenerator->GetKeyPair());
    }

    // The key pair file cannot be written (a file stands where the keys folder should be): the
    // attempt fails as a key pair that was not created, before anything is uploaded.
    void AKeyPairFileThatCannotBeWrittenFailsTheAttempt()
    {
        CDataScope data;
        AddExistingKeyPairs();
        const QString keys = QString::fromStdString(g_szKeysFolder).chopped(1);
        QVERIFY(QDir(keys).removeRecursively());
        QFile blocker(keys);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        CMessageScript script;
        const CLogWatch ftpLog(LogPath("ftp.log"));
        const SOutcome outcome = Create(0, {"New", QString::fromStdString(FtpLocation()), "user",
                                            "secret", false, QString::fromStdString(WebUrl())});
        QCOMPARE(script.ShownIds(), QList<int>({116}));
        QCOMPARE(script.Shown()[0].m_text, QStringLiteral("Failed to create key pair."));
        QVERIFY(outcome.m_bOpenAfterOk);
        QCOMPARE(outcome.m_status, QStringLiteral("Creating key file locally."));
        QCOMPARE(outcome.m_nPosition, 25);
        QVERIFY(FtpCommands(ftpLog.NewText()).filter(QStringLiteral("STOR ")).isEmpty());
        QCOMPARE(KeyPairNames(), std::vector<std::string>({"Work", "Home", "Old"}));
        QCOMPARE(TempFolderEntries(), QStringList());
    }

    // After a failure the user corrects the field and presses OK again: a new attempt with a new
    // key pair, which succeeds.
    void ASecondAttemptAfterAFailureSucceeds()
    {
        CDataScope data;
        CMessageScript script;
        QList<std::string> guids;
        int result = -1;
        QList<int> positions;
        RunCreation(-1, [&](CKeyCreatorDialog* dialog) {
            const CPaintRecorder recorder(*dialog);
            Enter(*dialog, {"New", QString::fromStdString(FtpLocation()), "user", "wrong", false,
                            QString()});
            PressOk(*dialog);
            guids << GetRepository()->m_pKeyGenerator->GetKeyPair()->GetGuid();
            TypeOver(Field(*dialog, kIdFtpPassword), QStringLiteral("secret"));
            PressOk(*dialog);
            guids << GetRepository()->m_pKeyGenerator->GetKeyPair()->GetGuid();
            positions = recorder.SetPositions();
            result = dialog->result();
        });
        QCOMPARE(script.ShownIds(), QList<int>({128}));
        QCOMPARE(result, int(QDialog::Accepted));
        QCOMPARE(guids.size(), 2);
        QVERIFY(guids[0] != guids[1]);
        // The second attempt starts the bar from 0 again.
        QCOMPARE(positions, QList<int>({33, 66, 0, 33, 66, 100}));
        QCOMPARE(KeysFolderEntries(), QStringList({QString::fromStdString(guids[1] + ".key")}));
        QCOMPARE(KeyPairNames(), std::vector<std::string>({"New"}));
    }

    // Upload and download are held up (their servers are stopped) until the test has looked at
    // the window: meanwhile it handles events, shows the step's status and position as painted,
    // keeps every field and button disabled, and neither Escape nor closing ends it.
    void TheWindowStaysCurrentWhileTheNetworkStepsWait()
    {
        CDataScope data;
        CMessageScript script;
        struct SSeen {
            QString m_painted;
            int m_nPainted = -1;
            bool m_bInputEnabled = true;
            bool m_bOpenAfterEscape = false;
        };
        QMap<QString, SSeen> seen;
        int result = -1;
        RunCreation(-1, [&](CKeyCreatorDialog* dialog) {
            const CPaintRecorder recorder(*dialog);
            Enter(*dialog, {"New", QString::fromStdString(FtpLocation()), "user", "secret", false,
                            QString::fromStdString(WebUrl())});
            CServerPause ftpPause(*m_pFtp);
            CServerPause webPause(*m_pWeb);
            auto* status = dialog->Control<QLabel>(kIdCreationStatus);
            QTimer watch;
            connect(&watch, &QTimer::timeout, dialog, [&] {
                const QString text = status->text();
                CServerPause* pause = text == QStringLiteral("FTP uploading...")      ? &ftpPause
                                      : text == QStringLiteral("HTTP downloading...") ? &webPause
                                                                                      : nullptr;
                if (!pause || seen.contains(text))
                    return;
                SSeen& now = seen[text];
                now.m_painted = recorder.LastPaintedStatus();
                now.m_nPainted = recorder.LastPaintedPosition();
                now.m_bInputEnabled = AnyInputEnabled(*dialog);
                QTest::keyClick(dialog, Qt::Key_Escape);
                dialog->close();
                now.m_bOpenAfterEscape = dialog->isVisible();
                pause->Resume();
            });
            watch.start(10);
            PressOk(*dialog);
            result = dialog->result();
        });
        QCOMPARE(script.ShownIds(), QList<int>({132})); // the offer, answered No
        QCOMPARE(result, int(QDialog::Accepted));
        QCOMPARE(seen.keys(), QStringList({"FTP uploading...", "HTTP downloading..."}));
        for (const QString& step : seen.keys()) {
            QCOMPARE(seen[step].m_painted, step);
            QVERIFY(!seen[step].m_bInputEnabled);
            QVERIFY(seen[step].m_bOpenAfterEscape);
        }
        QCOMPARE(seen["FTP uploading..."].m_nPainted, 50);
        QCOMPARE(seen["HTTP downloading..."].m_nPainted, 75);
        QCOMPARE(KeyPairNames(), std::vector<std::string>({"New"}));
    }

private:
    std::string LogPath(const char* name) const
    {
        return m_folder.filePath(QString::fromLatin1(name)).toStdString();
    }
    std::string WebPath(const std::string& name) const
    {
        return m_folder.filePath(QStringLiteral("web")).toStdString() + "/" + name;
    }
    std::string FtpLocation() const { return "ftp://" + m_pFtp->GetAddress() + "/keys/me.pub"; }
    std::string WebUrl() const { return "http://" + m_pWeb->GetAddress() + "/keys/me.pub"; }

    static QList<int> Distinct(const QList<int>& values)
    {
        QList<int> distinct;
        for (int value : values) {
            if (distinct.isEmpty() || distinct.last() != value)
                distinct << value;
        }
        return distinct;
    }

    static void AddExistingKeyPairs()
    {
        CKeyPairList& list = *GetRepository()->m_pKeyPairList;
        int n = 0;
        for (const char* name : kExistingNames) {
            const std::string file =
                QStringLiteral("%1.key").arg(++n, 32, 10, QChar('0')).toStdString();
            if (!list.InsertAt(list.GetCount(), CKeyPairOfConf(name, file)))
                qFatal("cannot write keys.conf");
        }
    }

    // Runs the main window as start-up does, opens the key management dialog from its menu,
    // selects row there (-1: none), presses Create and runs steps in the key creation dialog.
    // The dialogs the steps leave open are cancelled.
    void RunCreation(int row, const std::function<void(CKeyCreatorDialog*)>& steps,
                     SOutcome* outcome = nullptr)
    {
        CPellmarDlg window;
        WhenModal<CPellmarDlg>([&](CPellmarDlg*) {
            if (m_onMainWindow)
                m_onMainWindow(window);
            WhenModal<CKeyManagerDlg>([&](CKeyManagerDlg* manager) {
                QListWidget* list = &List(*manager);
                list->setCurrentRow(row);
                if (outcome)
                    outcome->m_nSelectedBefore = SelectedRowOf(*list);
                WhenModal<CKeyCreatorDialog>([&](CKeyCreatorDialog* dialog) {
                    // Active, so that the application's focus widget is the dialog's.
                    QVERIFY(QTest::qWaitForWindowActive(dialog));
                    if (outcome)
                        outcome->m_bCreatorWasActive = window.m_pActiveWnd == dialog;
                    steps(dialog);
                });
                Click(*manager, kIdCreateKeyPair);
                if (outcome) {
                    outcome->m_bManagerActiveAgain = window.m_pActiveWnd == manager;
                    outcome->m_managerRows = RowsOf(*list);
                    outcome->m_nManagerRow = list->currentRow();
                }
            });
            window.findChild<QMenu*>()->actions().at(1)->trigger();
            window.accept();
        });
        window.exec();
        m_onMainWindow = nullptr;
    }

    // Enters entry in the key creation dialog, opened over the key management dialog with row
    // selected, and presses OK once.
    SOutcome Create(int row, const SEntry& entry)
    {
        SOutcome outcome;
        RunCreation(
            row,
            [&](CKeyCreatorDialog* dialog) {
                const CPaintRecorder recorder(*dialog);
                Enter(*dialog, entry);
                PressOk(*dialog);
                outcome.m_bOpenAfterOk = dialog->isVisible();
                outcome.m_status = dialog->Control<QLabel>(kIdCreationStatus)->text();
                outcome.m_nPosition = dialog->Control<QProgressBar>(kIdCreationProgress)->value();
                outcome.m_bNameFocused =
                    QApplication::focusWidget() == &Field(*dialog, kIdKeyPairName);
                outcome.m_bInputEnabled = true;
                for (int id : kInputIds)
                    outcome.m_bInputEnabled &= dialog->Control<QWidget>(id)->isEnabled();
                outcome.m_setPositions = recorder.SetPositions();
                outcome.m_paintedPositions = recorder.PaintedPositions();
                outcome.m_bStatusPainted = recorder.StatusPaintedBeforeEachMove();
                outcome.m_nResult = dialog->isVisible() ? int(QDialog::Rejected) : dialog->result();
            },
            &outcome);
        return outcome;
    }

    const CCurlLibrary m_curl;
    QTemporaryDir m_folder;
    std::unique_ptr<CLocalServer> m_pFtp;
    std::unique_ptr<CLocalServer> m_pWeb;
    std::unique_ptr<CKeyServer> m_pElsewhere;
    std::function<void(CPellmarDlg&)> m_onMainWindow;
};

QTEST_MAIN(KeyCreatorDialogTest)
#include "key_creator_dialog_test.moc"
