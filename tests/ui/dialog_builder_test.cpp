#include "ui/dialog_builder.h"
#include "ui/template_dialog.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

namespace {

// The font the layouts are measured with; the program itself uses the desktop's dialog font. (A
// font is only measured right once the application object exists.)
QFont TestFont()
{
    return QFont(QStringLiteral("DejaVu Sans"), 9);
}

// The next control after widget that the Tab key reaches.
QWidget* NextTabStop(QWidget* widget)
{
    do
        widget = widget->nextInFocusChain();
    while (!(widget->focusPolicy() & Qt::TabFocus));
    return widget;
}

// The text a label or button shows, mnemonic marks resolved.
QString ShownText(const QString& text)
{
    QString shown;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'&' && i + 1 < text.size())
            ++i;
        shown += text[i];
    }
    return shown;
}

// Every dialog template, a row each named by its resource id: column "dialogTemplate".
void AddEveryTemplate()
{
    QTest::addColumn<const SDialogTemplate*>("dialogTemplate");
    QTest::newRow("100") << &kAboutTemplate;
    QTest::newRow("102") << &kMainTemplate;
    QTest::newRow("110") << &kDestinationTemplate;
    QTest::newRow("129") << &kKeyManagerTemplate;
    QTest::newRow("130") << &kInternetSettingTemplate;
    QTest::newRow("132") << &kKeyCreatorTemplate;
    QTest::newRow("133") << &kKeyPropertyTemplate;
    QTest::newRow("134") << &kImportTemplate;
}

} // namespace

class DialogBuilderTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QApplication::setFont(TestFont()); }

    void MulDivRoundsHalfAwayFromZero()
    {
        QCOMPARE(MulDiv(319, 7, 4), 558);  // 558.25
        QCOMPARE(MulDiv(162, 14, 8), 284); // 283.5
        QCOMPARE(MulDiv(-162, 14, 8), -284);
        QCOMPARE(MulDiv(1, 1, 2), 1);
        QCOMPARE(MulDiv(1, 1, 3), 0);
        QCOMPARE(MulDiv(5, 3, 0), -1);
        QCOMPARE(MulDiv(100000, 100000, 100000), 100000); // no overflow in between
    }

    void DejaVuSansNinePointGivesSevenAndFourteenPixelUnits()
    {
        QCOMPARE(QFontInfo(TestFont()).family(), QStringLiteral("DejaVu Sans"));
        const CDialogUnits units(TestFont());
        QCOMPARE(units.BaseX(), 7);
        QCOMPARE(units.BaseY(), 14);
    }

    void MainTemplateIs558By284WithTheListBoxAt12_33()
    {
        CTemplateDialog dialog(kMainTemplate, nullptr);
        auto* list = dialog.Control<QListWidget>(kIdDestinationList);
        QVERIFY(list);
        QCOMPARE(list->parentWidget()->size(), QSize(558, 284));
        QCOMPARE(list->geometry(), QRect(12, 33, 434, 238));
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Pellmar-Gate"));
        QCOMPARE(dialog.font().pointSize(), 9);
    }

    void ButtonsAreFoundByIdInTabOrderAndNoneIsDefault()
    {
        CTemplateDialog dialog(kMainTemplate, nullptr);
        const int ids[] = {kIdEncrypt, kIdAdd,   kIdModify, kIdDelete,
                           kIdUpper,   kIdLower, kIdExit,   kIdHelp};
        const char* texts[] = {"&Encrypt...", "&Add...", "&Modify...", "&Delete",
                               "&Upper",      "&Lower",  "E&xit",      "&Help"};
        QWidget* previous = dialog.Control<QListWidget>(kIdDestinationList);
        for (int i = 0; i < 8; ++i) {
            auto* button = dialog.Control<QPushButton>(ids[i]);
            QVERIFY(button);
            QCOMPARE(button->text(), QString::fromUtf8(texts[i]));
            QCOMPARE(button->geometry(), QRect(459, MulDiv(7 + 18 * i, 14, 8), 88, 28));
            QVERIFY(!button->isDefault());
            QCOMPARE(NextTabStop(previous), button);
            previous = button;
        }
        QCOMPARE(dialog.Control<QPushButton>(kIdDestinationList), nullptr); // wrong kind
        QCOMPARE(dialog.Control<QWidget>(4242), nullptr);
    }

    void LabelsMoveTheFocusToTheNextControl()
    {
        CTemplateDialog dialog(kDestinationTemplate, nullptr);
        QList<QLabel*> labels = dialog.findChildren<QLabel*>();
        QCOMPARE(labels.size(), 2);
        QCOMPARE(labels[0]->text(), QStringLiteral("&Name"));
        QCOMPARE(labels[0]->buddy(), dialog.Control<QLineEdit>(kIdDestinationName));
        QCOMPARE(labels[1]->buddy(), dialog.Control<QLineEdit>(kIdDestinationUrl));
        QVERIFY(dialog.Control<QPushButton>(kIdOk)->isDefault());
        QCOMPARE(dialog.font().pointSize(), 8);
    }

    // The layouts were drawn for narrower fonts; with DejaVu Sans every text must still fit its
    // control, or it would be cut off.
    void EveryTextFitsItsControl_data() { AddEveryTemplate(); }

    void EveryTextFitsItsControl()
    {
        QFETCH(const SDialogTemplate*, dialogTemplate);
        CTemplateDialog dialog(*dialogTemplate, nullptr);
        for (QLabel* label : dialog.findChildren<QLabel*>()) {
            if (label->text().isEmpty())
                continue;
            const int needed = label->fontMetrics().horizontalAdvance(ShownText(label->text()));
            QVERIFY2(needed <= label->width(), qPrintable(label->text()));
            QVERIFY2(label->fontMetrics().height() <= label->height(), qPrintable(label->text()));
        }
        for (QPushButton* button : dialog.findChildren<QPushButton*>()) {
            QVERIFY2(button->sizeHint().width() <= button->width(), qPrintable(button->text()));
        }
        for (QCheckBox* box : dialog.findChildren<QCheckBox*>()) {
            QVERIFY2(box->sizeHint().width() <= box->width(), qPrintable(box->text()));
            QVERIFY2(box->fontMetrics().height() <= box->height(), qPrintable(box->text()));
        }
    }

    // No two controls share a pixel, except a group box and the controls that lie on it.
    void NoControlsOverlap_data() { AddEveryTemplate(); }

    void NoControlsOverlap()
    {
        QFETCH(const SDialogTemplate*, dialogTemplate);
        CTemplateDialog dialog(*dialogTemplate, nullptr);
        const QWidget* client = dialog.findChild<QPushButton*>()->parentWidget();
        const QList<QWidget*> controls = client->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
        QCOMPARE(controls.size(), qsizetype(dialogTemplate->m_controls.size()));
        for (qsizetype i = 0; i < controls.size(); ++i) {
            QVERIFY(client->rect().contains(controls[i]->geometry()));
            for (qsizetype j = i + 1; j < controls.size(); ++j) {
                const bool framed =
                    qobject_cast<QGroupBox*>(controls[i]) || qobject_cast<QGroupBox*>(controls[j]);
                if (framed)
                    continue;
                QVERIFY2(!controls[i]->geometry().intersects(controls[j]->geometry()),
                         qPrintable(QStringLiteral("controls %1 and %2").arg(i).arg(j)));
            }
        }
    }

    // Template 130: the account fields, the check box and the URL in tab order, each reached by
    // its label's mnemonic; the password is hidden as it is typed.
    void InternetSettingsTakeTheFocusInTemplateOrder()
    {
        CTemplateDialog dialog(kInternetSettingTemplate, nullptr);
        auto* anonymous = dialog.Control<QCheckBox>(kIdAnonymous);
        QVERIFY(anonymous);
        QCOMPARE(anonymous->text(), QStringLiteral("&Anonymous"));
        QCOMPARE(dialog.Control<QLineEdit>(kIdFtpPassword)->echoMode(), QLineEdit::Password);
        QCOMPARE(dialog.Control<QLineEdit>(kIdFtpUser)->echoMode(), QLineEdit::Normal);
        const QList<QWidget*> order = {
            dialog.Control<QLineEdit>(kIdFtpLocation), dialog.Control<QLineEdit>(kIdFtpUser),
            dialog.Control<QLineEdit>(kIdFtpPassword), anonymous,
            dialog.Control<QLineEdit>(kIdWebUrl),      dialog.Control<QPushButton>(kIdOk),
            dialog.Control<QPushButton>(kIdCancel)};
        for (qsizetype i = 1; i < order.size(); ++i)
            QCOMPARE(NextTabStop(order[i - 1]), order[i]);
        QStringList buddies;
        for (QLabel* label : dialog.findChildren<QLabel*>())
            buddies << label->text() + "=" + label->buddy()->objectName();
        QCOMPARE(buddies, QStringList({"&FTP=control1015", "User &name=control1016",
                                       "&Password=control1017", "&URL=control1019"}));
        QVERIFY(dialog.Control<QPushButton>(kIdOk)->isDefault());
    }

    // Template 132: a centred status line over a bar from 0 to 100 that shows no text.
    void KeyCreationHasAStatusLineAndAProgressBar()
    {
        CTemplateDialog dialog(kKeyCreatorTemplate, nullptr);
        auto* status = dialog.Control<QLabel>(kIdCreationStatus);
        QVERIFY(status);
        QCOMPARE(status->text(), QStringLiteral("Start key pair creation"));
        QVERIFY(status->alignment() & Qt::AlignHCenter);
        auto* bar = dialog.Control<QProgressBar>(kIdCreationProgress);
        QVERIFY(bar);
        QCOMPARE(bar->minimum(), 0);
        QCOMPARE(bar->maximum(), 100);
        QCOMPARE(bar->value(), 0);
        QVERIFY(!bar->isTextVisible());
        QCOMPARE(status->width(), bar->width());
        QCOMPARE(NextTabStop(dialog.Control<QLineEdit>(kIdWebUrl)),
                 dialog.Control<QPushButton>(kIdOk));
    }

    void AboutBoxShowsTheDoubledAmpersandAsOne()
    {
        CTemplateDialog dialog(kAboutTemplate, nullptr);
        QStringList texts;
        for (QLabel* label : dialog.findChildren<QLabel*>()) {
            if (!label->text().isEmpty()) {
                texts << label->text();
                QVERIFY(label->buddy()); // the buddy makes "&&" show as "&"
            } else {
                QCOMPARE(label->pixmap().size(), QSize(32, 32));
                QCOMPARE(label->pos(), QPoint(19, 30));
            }
        }
        QCOMPARE(texts,
                 QStringList({QStringLiteral("Pellmar-Gate Version 1.0.0.2"),
                              QStringLiteral("RSA && AES key generator powered by OpenSSL")}));
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Version of Pellmar-Gate"));
        QVERIFY(dialog.Control<QPushButton>(kIdOk)->isDefault());
    }
};

QTEST_MAIN(DialogBuilderTest)
#include "dialog_builder_test.moc"
