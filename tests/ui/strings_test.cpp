#include "support/message_script.h"
#include "support/modal.h"
#include "ui/message_box.h"
#include "ui/resources/string_table.h"
#include "ui/strings.h"

#include <QAbstractButton>
#include <QTest>

class StringsTest : public QObject {
    Q_OBJECT

private slots:
    void TheTableHoldsEveryIdFrom101To147Once()
    {
        int expected = kFirstStringId;
        for (const SStringResource& entry : kStringTable) {
            QCOMPARE(entry.m_nId, expected++);
            QVERIFY(entry.m_pszText && *entry.m_pszText);
        }
        QCOMPARE(expected, kLastStringId + 1);
    }

    void TextsAreKeptExactly()
    {
        QCOMPARE(LoadString(106), QStringLiteral("Pellmar-Gate"));
        QCOMPARE(LoadString(101), QStringLiteral("&About Pellmar-Gate..."));
        QCOMPARE(LoadString(120),
                 QStringLiteral("Key pair export files(*.exp)|*.exp|ALl files(*.*)|*.*||"));
        QCOMPARE(LoadString(127), QStringLiteral("Failed to create ey pair file."));
        QCOMPARE(LoadString(130), QStringLiteral("Failed to HTTP downlaod public key."));
        QCOMPARE(LoadString(134), QStringLiteral("URL could not reachable.\ncontinue anyway?"));
        QCOMPARE(LoadString(138), QStringLiteral("Finsished key creation."));
        QCOMPARE(LoadString(143), QStringLiteral("Failed to export public key"));
    }

    void UnknownIdsGiveEmptyTexts()
    {
        QCOMPARE(LoadString(100), QString());
        QCOMPARE(LoadString(148), QString());
    }

    void FormatReplacesTheFirstPercentSAndTakesTheNameAsItIs()
    {
        QCOMPARE(FormatString(114, QStringLiteral("Bob")),
                 QStringLiteral("Are you sure to delete destination Bob?"));
        QCOMPARE(FormatString(119, QStringLiteral("50% %s &x")),
                 QStringLiteral("Are you sure to delete key pair 50% %s &x?"));
        QCOMPARE(FormatString(106, QStringLiteral("x")), QStringLiteral("Pellmar-Gate"));
    }

    void ErrorBoxHasTheCriticalIconOkAndCaption106()
    {
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QString caption;
        QString text;
        int buttons = 0;
        WhenModal<QMessageBox>([&](QMessageBox* box) {
            icon = box->icon();
            caption = box->windowTitle();
            text = box->text();
            buttons = static_cast<int>(box->standardButtons());
            QTest::keyClick(box, Qt::Key_Return);
        });
        MessageBoxError(nullptr, 146);
        QCOMPARE(icon, QMessageBox::Critical);
        QCOMPARE(caption, QStringLiteral("Pellmar-Gate"));
        QCOMPARE(text, QStringLiteral("Cannot decrypt."));
        QCOMPARE(buttons, static_cast<int>(QMessageBox::Ok));
    }

    void QuestionBoxHasYesAndNoAndReportsTheAnswer()
    {
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        WhenModal<QMessageBox>([&](QMessageBox* box) {
            icon = box->icon();
            box->button(QMessageBox::Yes)->click();
        });
        QVERIFY(MessageBoxQuestion(nullptr, 132));
        QCOMPARE(icon, QMessageBox::Question);

        WhenModal<QMessageBox>([](QMessageBox* box) { box->button(QMessageBox::No)->click(); });
        QVERIFY(!MessageBoxQuestion(nullptr, 132));
    }

    void ExclamationBoxHasTheWarningIcon()
    {
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        WhenModal<QMessageBox>([&](QMessageBox* box) {
            icon = box->icon();
            box->button(QMessageBox::Ok)->click();
        });
        MessageBoxExclamation(nullptr, 123);
        QCOMPARE(icon, QMessageBox::Warning);
    }

    void TheScriptRecordsBoxesByIdAndAnswersThem()
    {
        CMessageScript script;
        script.Answer(QMessageBox::Yes);
        QVERIFY(MessageBoxQuestion(nullptr, 114, FormatString(114, QStringLiteral("A"))));
        QVERIFY(!MessageBoxQuestion(nullptr, 139)); // queue empty: No
        MessageBoxError(nullptr, 146);
        QCOMPARE(script.ShownIds(), QList<int>({114, 139, 146}));
        QCOMPARE(script.Shown()[0].m_text, QStringLiteral("Are you sure to delete destination A?"));
        QCOMPARE(script.Shown()[2].m_kind, EMessageKind::Error);
    }
};

QTEST_MAIN(StringsTest)
#include "strings_test.moc"
