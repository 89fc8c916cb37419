#include "crypto/key_generator.h"
#include "net/curl_library.h"
#include "support/data_scope.h"
#include "support/dialog_driver.h"
#include "support/key_server.h"
#include "support/message_script.h"
#include "support/modal.h"
#include "ui/destination_dlg.h"
#include "ui/pellmar_dlg.h"
#include "util/folder_paths.h"

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include <memory>

namespace {

// Types text over what the field holds, as a user would.
void TypeInto(QLineEdit& field, const QString& text)
{
    field.clear();
    QTest::keyClicks(&field, text);
}

void Enter(CDestinationDlg& dialog, const QString& name, const QString& url)
{
    TypeInto(Field(dialog, kIdDestinationName), name);
    TypeInto(Field(dialog, kIdDestinationUrl), url);
}

// Runs dialog modally with steps run inside its loop; exec()'s result. A dialog the steps leave
// open is cancelled.
int Run(CDestinationDlg& dialog, const std::function<void(CDestinationDlg*)>& steps)
{
    WhenModal<CDestinationDlg>(steps);
    return dialog.exec();
}

QString Text(const std::string& text)
{
    return QString::fromStdString(text);
}

// The focus as the dialog keeps it, which Run does not wait to become the application's.
SFocus FocusOf(const CDestinationDlg& dialog)
{
    return FocusOf(dialog, dialog.focusWidget(), {kIdDestinationName, kIdDestinationUrl});
}

} // namespace

class DestinationDlgTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qputenv("no_proxy", "*");
        m_pServer = std::make_unique<CKeyServer>();
        QVERIFY(m_generator.Generate());
        const CDataScope data; // the program's temp folder, through which key files are written
        for (const char* name : {"alice.pub", "bob.pub", "carol.pub"})
            m_pServer->PublishKey(*m_generator.GetKeyPair(), name);
        m_pServer->PublishText("page.html", "<html><body>Our keys are elsewhere.</body></html>\n");
    }

    void cleanupTestCase() { m_pServer.reset(); }

    void AddModeStartsEmptyAndMakesTheDestination()
    {
        CDataScope data(Destinations());
        CDestinationDlg dialog(nullptr);
        QString caption;
        bool urlEditable = false;
        Run(dialog, [&](CDestinationDlg* running) {
            caption = running->windowTitle();
            urlEditable = !Field(dialog, kIdDestinationUrl).isReadOnly();
            QVERIFY(Field(dialog, kIdDestinationName).text().isEmpty());
            QVERIFY(Field(dialog, kIdDestinationUrl).text().isEmpty());
        });
        QCOMPARE(caption, QStringLiteral("Create new destination."));
        QVERIFY(urlEditable);
        QVERIFY(dialog.m_pDestination);
    }

    void HardErrorsStopAtTheirMessageAndFocusTheirField_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("url");
        QTest::addColumn<int>("message");
        QTest::addColumn<int>("field");
        const QString fresh = Url("carol.pub");
        const QString address = Url("").mid(7); // "127.0.0.1:PORT/"
        QTest::newRow("both empty") << ""
                                    << "" << 112 << kIdDestinationName;
        QTest::newRow("empty name, good URL") << "" << fresh << 112 << kIdDestinationName;
        QTest::newRow("name used") << "Alice" << fresh << 113 << kIdDestinationName;
        QTest::newRow("upper-case scheme")
            << "Carol"
            << "HTTP://" + address + "carol.pub" << 109 << kIdDestinationUrl;
        QTest::newRow("ftp") << "Carol"
                             << "ftp://" + address + "carol.pub" << 109 << kIdDestinationUrl;
        QTest::newRow("empty URL") << "Carol"
                                   << "" << 109 << kIdDestinationUrl;
        QTest::newRow("URL used") << "Carol" << Url("alice.pub") << 133 << kIdDestinationUrl;
        QTest::newRow("name differs in case only, URL used")
            << "alice" << Url("bob.pub") << 133 << kIdDestinationUrl;
    }

    void HardErrorsStopAtTheirMessageAndFocusTheirField()
    {
        QFETCH(QString, name);
        QFETCH(QString, url);
        QFETCH(int, message);
        QFETCH(int, field);
        CDataScope data(Destinations());
        CMessageScript script;
        const CLogWatch log = m_pServer->Watch();
        CDestinationDlg dialog(nullptr);
        SFocus focus;
        const int result = Run(dialog, [&](CDestinationDlg* running) {
            Enter(*running, name, url);
            PressOk(*running);
            focus = FocusOf(*running);
        });
        ExpectRefusedAt(script, message, focus, result, field);
        // The destination holds what was entered, whatever the checks said.
        QCOMPARE(Text(dialog.m_pDestination->GetName()), name);
        QCOMPARE(Text(dialog.m_pDestination->GetUrl()), url);
        QCOMPARE(RequestCount(log.NewText()), 0);
        QCOMPARE(TempFolderEntries(), QStringList());
    }

    void FetchedKeyOrTheUsersAnswerDecides_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<int>("message"); // 0: none
        QTest::addColumn<bool>("yes");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("public key") << Url("carol.pub") << 0 << false << true;
        QTest::newRow("unreachable, yes") << QString(kUnreachableUrl) << 134 << true << true;
        QTest::newRow("unreachable, no") << QString(kUnreachableUrl) << 134 << false << false;
        // Scheme and host only: passes the prefix check but cannot be fetched.
        QTest::newRow("host only, yes") << Url("").chopped(1) << 134 << true << true;
        QTest::newRow("web page, yes") << Url("page.html") << 139 << true << true;
        QTest::newRow("web page, no") << Url("page.html") << 139 << false << false;
    }

    void FetchedKeyOrTheUsersAnswerDecides()
    {
        QFETCH(QString, url);
        QFETCH(int, message);
        QFETCH(bool, yes);
        QFETCH(bool, accepted);
        CDataScope data(Destinations());
        CMessageScript script;
        script.Answer(yes ? QMessageBox::Yes : QMessageBox::No);
        QStringList tempFilesAtMessage {QStringLiteral("not asked")};
        script.OnShown([&](const SMessage&) { tempFilesAtMessage = TempFolderEntries(); });
        CDestinationDlg dialog(nullptr);
        SFocus focus;
        const int result = Run(dialog, [&](CDestinationDlg* running) {
            Enter(*running, QStringLiteral("Carol"), url);
            PressOk(*running);
            focus = FocusOf(*running);
        });
        QCOMPARE(result == QDialog::Accepted, accepted);
        if (message == 0) {
            QVERIFY(script.Shown().isEmpty());
        } else {
            QCOMPARE(script.ShownIds(), QList<int>({message}));
            QCOMPARE(script.Shown()[0].m_kind, EMessageKind::Question);
            QCOMPARE(tempFilesAtMessage, QStringList()); // the download went before the question
        }
        if (!accepted) {
            QVERIFY(focus.m_bOpen);
            QCOMPARE(focus.m_nFieldId, kIdDestinationUrl);
            QVERIFY(focus.m_bAllSelected);
        }
        QCOMPARE(dialog.m_pDestination->GetName(), std::string("Carol"));
        QCOMPARE(Text(dialog.m_pDestination->GetUrl()), url);
        QCOMPARE(TempFolderEntries(), QStringList());
    }

    // The boxes themselves: an error with OK only, a question with Yes and No.
    void MessagesAreErrorAndQuestionBoxes()
    {
        CDataScope data(Destinations());
        CDestinationDlg dialog(nullptr);
        struct SBox {
            QString m_text;
            QMessageBox::Icon m_icon;
            QMessageBox::StandardButtons m_buttons;
            QString m_caption;
            QStringList m_tempFiles;
        };
        QList<SBox> boxes;
        auto record = [&](QMessageBox* box) {
            boxes.append({box->text(), box->icon(), box->standardButtons(), box->windowTitle(),
                          TempFolderEntries()});
        };
        SFocus afterError;
        SFocus afterNo;
        Run(dialog, [&](CDestinationDlg* running) {
            WhenModal<QMessageBox>([&](QMessageBox* box) {
                record(box);
                box->button(QMessageBox::Ok)->click();
            });
            PressOk(*running);
            afterError = FocusOf(*running);
            WhenModal<QMessageBox>([&](QMessageBox* box) {
                record(box);
                box->button(QMessageBox::No)->click();
            });
            Enter(*running, QStringLiteral("Carol"), QString(kUnreachableUrl));
            PressOk(*running);
            afterNo = FocusOf(*running);
        });
        QCOMPARE(boxes.size(), 2);
        QCOMPARE(boxes[0].m_text, QStringLiteral("Set name."));
        QCOMPARE(boxes[0].m_icon, QMessageBox::Critical);
        QCOMPARE(boxes[0].m_buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(boxes[0].m_caption, QStringLiteral("Pellmar-Gate"));
        QCOMPARE(afterError.m_nFieldId, kIdDestinationName);
        QCOMPARE(boxes[1].m_text, QStringLiteral("URL could not reachable.\ncontinue anyway?"));
        QCOMPARE(boxes[1].m_icon, QMessageBox::Question);
        QCOMPARE(boxes[1].m_buttons, QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(boxes[1].m_tempFiles, QStringList());
        QVERIFY(afterNo.m_bOpen);
        QCOMPARE(afterNo.m_nFieldId, kIdDestinationUrl);
    }

    // The entry's own name and URL are no clash; another entry's name is. Each OK fetches the key
    // again.
    void ModifySkipsItsOwnEntryAndFetchesTheKeyAgain()
    {
        CDataScope data(Destinations());
        CMessageScript script;
        const CLogWatch log = m_pServer->Watch();
        CDestinationDlg dialog(nullptr);
        dialog.m_pDestination = std::make_unique<CDestination>(*data.List().GetAt(1));
        dialog.m_nIndex = 1;
        QString caption;
        QString shownName;
        QString shownUrl;
        const int result = Run(dialog, [&](CDestinationDlg* running) {
            caption = running->windowTitle();
            shownName = Field(dialog, kIdDestinationName).text();
            shownUrl = Field(dialog, kIdDestinationUrl).text();
            TypeInto(Field(dialog, kIdDestinationName), QStringLiteral("Alice"));
            PressOk(*running);
            TypeInto(Field(dialog, kIdDestinationName), QStringLiteral("Bob"));
            PressOk(*running);
        });
        QCOMPARE(caption, QStringLiteral("Modify the destination."));
        QCOMPARE(shownName, QStringLiteral("Bob"));
        QCOMPARE(shownUrl, Url("bob.pub"));
        QCOMPARE(script.ShownIds(), QList<int>({113}));
        QCOMPARE(result, int(QDialog::Accepted));
        const std::string requests = log.NewText();
        QCOMPARE(RequestCount(requests), 1);
        QVERIFY(requests.find("GET /bob.pub?") != std::string::npos);
        QCOMPARE(TempFolderEntries(), QStringList());
    }

    void PresetUrlIsShownReadOnlyAndKept()
    {
        CDataScope data(Destinations());
        CMessageScript script;
        CDestinationDlg dialog(nullptr);
        dialog.m_strUrl = Url("carol.pub").toStdString();
        QString caption;
        bool readOnly = false;
        QString urlAfterTyping;
        const int result = Run(dialog, [&](CDestinationDlg* running) {
            caption = running->windowTitle();
            QLineEdit& url = Field(dialog, kIdDestinationUrl);
            readOnly = url.isReadOnly();
            url.setFocus();
            QTest::keyClicks(&url, QStringLiteral("x"));
            urlAfterTyping = url.text();
            TypeInto(Field(dialog, kIdDestinationName), QStringLiteral("Me"));
            PressOk(*running);
        });
        QCOMPARE(caption, QStringLiteral("Create new destination."));
        QVERIFY(readOnly);
        QCOMPARE(urlAfterTyping, Url("carol.pub"));
        QCOMPARE(result, int(QDialog::Accepted));
        QVERIFY(script.Shown().isEmpty());
        QCOMPARE(dialog.m_pDestination->GetName(), std::string("Me"));
        QCOMPARE(Text(dialog.m_pDestination->GetUrl()), Url("carol.pub"));
        QCOMPARE(TempFolderEntries(), QStringList());
    }

    // From the main window, with a URL that serves a key: no question, the new entry goes in
    // front of the selected one.
    void AddFromTheMainWindowInsertsAtTheSelectedRow()
    {
        CDataScope data(Destinations());
        CMessageScript script;
        CPellmarDlg window;
        bool dialogWasActive = false;
        RunMainWindow(window, [&] {
            List(window).setCurrentRow(1);
            WhenModal<CDestinationDlg>([&](CDestinationDlg* dialog) {
                dialogWasActive = window.m_pActiveWnd == dialog;
                Enter(*dialog, QStringLiteral("Carol"), Url("carol.pub"));
                PressOk(*dialog);
            });
            Click(window, kIdAdd);
            QCOMPARE(List(window).currentRow(), 1);
            QCOMPARE(List(window).currentItem()->text(), QStringLiteral("Carol"));
        });
        QVERIFY(dialogWasActive);
        QVERIFY(script.Shown().isEmpty());
        QCOMPARE(data.Names(), std::vector<std::string>({"Alice", "Carol", "Bob"}));
        CDestinationList fromFile;
        QVERIFY(fromFile.Load(g_szDataFolder));
        QCOMPARE(fromFile.GetCount(), 3);
        QCOMPARE(Text(fromFile.GetAt(1)->GetUrl()), Url("carol.pub"));
        QCOMPARE(TempFolderEntries(), QStringList());
    }

    void ModifyUnchangedFromTheMainWindowWritesNothing()
    {
        CDataScope data(Destinations());
        CMessageScript script;
        const SFileStamp before = StampOf(data.DestConfPath());
        const CLogWatch log = m_pServer->Watch();
        CPellmarDlg window;
        RunMainWindow(window, [&] {
            List(window).setCurrentRow(1);
            WhenModal<CDestinationDlg>([](CDestinationDlg* dialog) { PressOk(*dialog); });
            Click(window, kIdModify);
        });
        QVERIFY(script.Shown().isEmpty());
        QCOMPARE(RequestCount(log.NewText()), 1);
        QVERIFY(StampOf(data.DestConfPath()) == before);
        QCOMPARE(TempFolderEntries(), QStringList());
    }

private:
    QString Url(const std::string& name) const { return Text(m_pServer->Url(name)); }

    CDataScope::Destinations Destinations() const
    {
        return {{"Alice", m_pServer->Url("alice.pub")}, {"Bob", m_pServer->Url("bob.pub")}};
    }

    static void RunMainWindow(CPellmarDlg& window, const std::function<void()>& steps)
    {
        WhenModal<CPellmarDlg>([&](CPellmarDlg*) { steps(); });
        window.exec();
    }

    const CCurlLibrary m_curl;
    CKeyGenerator m_generator;
    std::unique_ptr<CKeyServer> m_pServer;
};

QTEST_MAIN(DestinationDlgTest)
#include "destination_dlg_test.moc"
