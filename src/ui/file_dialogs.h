#pragma once

#include <QFileDialog>
#include <QString>
#include <QStringList>

#include <optional>

class QWidget;

// Qt name filters from a filter string of the string table: pairs of a description and a pattern,
// each ended by '|', the whole ended by a second '|'. Patterns in a pair are separated by ';'.
// Each pair becomes "description (patterns)"; shown with the details hidden, the user sees the
// description as the string table words it. "*.*" means every file there, so it becomes
// "*" (here "*.*" would leave out names without a dot).
//   "Encrypted files(*.enp)|*.enp|All files(*.*)|*.*||"
//   -> {"Encrypted files(*.enp) (*.enp)", "All files(*.*) (*)"}
QStringList NameFiltersOf(const QString& filter);

// What a file dialog of the program asks for.
struct SFileDialogSetup {
    // Open: one file that exists. Save: any name; replacing a file that exists is asked first.
    QFileDialog::AcceptMode m_mode = QFileDialog::AcceptOpen;
    // A filter string of the table; 0 for no filter.
    int m_nFilterId = 0;
    // Appended, after a dot, to a typed name that has no dot; empty for none.
    QString m_defaultSuffix;
    // Proposed file name, no folder; the dialog opens in the folder last used.
    QString m_initialName;
};

// Runs a file dialog (Qt's own, with its default title) modally over parent, entered in the main
// window's m_pActiveWnd while it runs. The chosen full path, or nothing when it is cancelled.
std::optional<QString> RunFileDialog(QWidget* parent, const SFileDialogSetup& setup);
