#pragma once

#include <QFileDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QString>
#include <QStringList>

#include <initializer_list>
#include <string>
#include <vector>

class CKeyManagerDlg;
class CMessageScript;
class CPellmarDlg;

// Drives the program's dialogs as a user would: by the ids of their controls, with the mouse and
// the keyboard.

// The destinations' list box in the main window, the key pairs' in the key management dialog.
QListWidget& List(const CPellmarDlg& window);
QListWidget& List(const CKeyManagerDlg& dialog);

// The selected row, or -1 when none is.
int SelectedRowOf(const QListWidget& list);
// The rows' texts, top to bottom.
std::vector<std::string> RowsOf(const QListWidget& list);

// The cases of deleting row of a list box of count rows, and the row selected afterwards: the one
// above, or the new first row, or none when the list box is empty. Columns "count", "row" and
// "selectedAfter", all int.
void AddRowDeletionCases();

// Clicks the push button id of dialog.
void Click(const QWidget& dialog, int id);
// The edit field id of dialog.
QLineEdit& Field(const QWidget& dialog, int id);

// Types text over what the field holds, as a user would: with the focus in the field, selecting
// the old text and deleting it first.
void TypeOver(QLineEdit& field, const QString& text);

// Clicks OK with the focus on it, so that where the focus goes afterwards is the dialog's doing.
// Returns once the dialog has handled OK (the key creation dialog: once the creation has ended).
void PressOk(const QWidget& dialog);

// Where the focus is in an open dialog: the id of the field that has it (0: none of them) and
// whether all its text is selected, ready to be typed over; whether OK has it.
struct SFocus {
    bool m_bOpen = false;
    int m_nFieldId = 0;
    bool m_bAllSelected = false;
    bool m_bOnOk = false;
};

// The focus in dialog, which is on focused, among the edit fields fieldIds.
SFocus FocusOf(const QWidget& dialog, const QWidget* focused, std::initializer_list<int> fieldIds);

// Checks that OK was refused with error message, the only one shown: the dialog stayed open (and
// was cancelled afterwards, giving result) with the focus on field and its text selected.
void ExpectRefusedAt(const CMessageScript& script, int message, const SFocus& focus, int result,
                     int field);

// Enters text in the file dialog's name field, which has the focus as when the user types there,
// and presses Enter. (Typed key by key, the text would open the field's completion list, which
// then takes the Enter.)
void TypeFileName(QFileDialog* dialog, const QString& text);

// Chooses path through the dialog's public interface.
void ChooseFile(QFileDialog* dialog, const QString& path);

// What a file dialog looked like when it came up.
struct SFileDialogSeen {
    bool m_bActive = false; // entered in the main window's m_pActiveWnd
    QString m_title;
    QFileDialog::AcceptMode m_mode = QFileDialog::AcceptOpen;
    QFileDialog::FileMode m_fileMode = QFileDialog::AnyFile;
    QStringList m_filters;
    QString m_shownFilter;
    QString m_defaultSuffix;
    QString m_proposedName;
};

SFileDialogSeen Look(const CPellmarDlg& mainWindow, QFileDialog* dialog);
