#pragma once

#include <QListWidget>
#include <QPushButton>

// A list box that shows a list file row for entry (the destinations, the key pairs): row i is
// entry i, and every change goes to both at the same index.

// The selected row, or -1 when none is.
int SelectedRow(const QListWidget& listBox);

// After the row at removedRow was taken out: selects the row above it (the new first row when it
// was the first), or nothing when the list box is empty.
void SelectAfterRemoval(QListWidget& listBox, int removedRow);

// Disables a button for its lifetime. Disabling the focused button moves the focus on, so the
// button gets it back at the end.
class CButtonDisabled {
public:
    explicit CButtonDisabled(QPushButton& button);
    ~CButtonDisabled();
    CButtonDisabled(const CButtonDisabled&) = delete;
    CButtonDisabled& operator=(const CButtonDisabled&) = delete;

private:
    QPushButton& m_button;
    bool m_bHadFocus;
};

// Moves the selected row one step (-1 up, +1 down) in listBox and its entry in list, writes the
// list's file and keeps the moved row selected; nothing happens without a selection or at that
// end of the list. button, which asked for the move, is disabled while it runs. A failed write is
// not reported: the list keeps the move, and its next successful save writes it.
template <class TList>
void MoveSelectedRow(QListWidget& listBox, TList& list, int step, QPushButton& button)
{
    const int row = SelectedRow(listBox);
    const int target = row + step;
    if (row < 0 || target < 0 || target >= listBox.count())
        return;
    const CButtonDisabled disabled(button);
    list.Exchange(row, target);
    static_cast<void>(list.Save());
    listBox.insertItem(target, listBox.takeItem(row));
    listBox.setCurrentRow(target);
}
