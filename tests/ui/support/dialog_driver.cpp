#include "support/dialog_driver.h"

#include "support/message_script.h"
#include "ui/dialog_builder.h"
#include "ui/key_manager_dlg.h"
#include "ui/pellmar_dlg.h"
#include "ui/resources/dialog_templates.h"

#include <QComboBox>
#include <QPushButton>
#include <QTest>

QListWidget& List(const CPellmarDlg& window)
{
    return *window.Control<QListWidget>(kIdDestinationList);
}

QListWidget& List(const CKeyManagerDlg& dialog)
{
    return *dialog.Control<QListWidget>(kIdKeyPairList);
}

int SelectedRowOf(const QListWidget& list)
{
    const QList<QListWidgetItem*> selected = list.selectedItems();
    return selected.isEmpty() ? -1 : list.row(selected.first());
}

std::vector<std::string> RowsOf(const QListWidget& list)
{
    std::vector<std::string> rows;
    for (int i = 0; i < list.count(); ++i)
        rows.push_back(list.item(i)->text().toStdString());
    return rows;
}

void AddRowDeletionCases()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("selectedAfter");
    QTest::newRow("row 0 of several") << 5 << 0 << 0;
    QTest::newRow("only row") << 1 << 0 << -1;
    QTest::newRow("row 3") << 5 << 3 << 2;
    QTest::newRow("last row") << 5 << 4 << 3;
}

void Click(const QWidget& dialog, int id)
{
    QTest::mouseClick(FindControl<QPushButton>(dialog, id), Qt::LeftButton);
}

QLineEdit& Field(const QWidget& dialog, int id)
{
    return *FindControl<QLineEdit>(dialog, id);
}

void TypeOver(QLineEdit& field, const QString& text)
{
    field.setFocus();
    field.selectAll();
    field.del();
    QTest::keyClicks(&field, text);
}

void PressOk(const QWidget& dialog)
{
    auto* ok = FindControl<QPushButton>(dialog, kIdOk);
    ok->setFocus();
    QTest::mouseClick(ok, Qt::LeftButton);
}

SFocus FocusOf(const QWidget& dialog, const QWidget* focused, std::initializer_list<int> fieldIds)
{
    SFocus focus {dialog.isVisible()};
    for (int id : fieldIds) {
        if (focused == &Field(dialog, id)) {
            focus.m_nFieldId = id;
            focus.m_bAllSelected = Field(dialog, id).selectedText() == Field(dialog, id).text();
        }
    }
    focus.m_bOnOk = focused == FindControl<QPushButton>(dialog, kIdOk);
    return focus;
}

void ExpectRefusedAt(const CMessageScript& script, int message, const SFocus& focus, int result,
                     int field)
{
    QCOMPARE(script.ShownIds(), QList<int>({message}));
    QCOMPARE(script.Shown()[0].m_kind, EMessageKind::Error);
    QVERIFY(focus.m_bOpen);
    QCOMPARE(result, int(QDialog::Rejected));
    QCOMPARE(focus.m_nFieldId, field);
    QVERIFY(focus.m_bAllSelected);
}

void TypeFileName(QFileDialog* dialog, const QString& text)
{
    auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    QVERIFY(edit);
    QVERIFY(QTest::qWaitForWindowActive(dialog));
    edit->setFocus();
    edit->setText(text);
    QTest::keyClick(edit, Qt::Key_Return);
}

void ChooseFile(QFileDialog* dialog, const QString& path)
{
    dialog->selectFile(path);
    static_cast<QDialog*>(dialog)->accept(); // protected in QFileDialog
}

SFileDialogSeen Look(const CPellmarDlg& mainWindow, QFileDialog* dialog)
{
    const auto* types = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
    const auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    return {mainWindow.m_pActiveWnd == dialog,
            dialog->windowTitle(),
            dialog->acceptMode(),
            dialog->fileMode(),
            dialog->nameFilters(),
            types ? types->currentText() : QString(),
            dialog->defaultSuffix(),
            name ? name->text() : QString()};
}
