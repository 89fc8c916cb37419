#include "ui/list_box.h"

int SelectedRow(const QListWidget& listBox)
{
    const QList<QListWidgetItem*> selected = listBox.selectedItems();
    return selected.isEmpty() ? -1 : listBox.row(selected.first());
}

void SelectAfterRemoval(QListWidget& listBox, int removedRow)
{
    if (listBox.count() > 0) {
        listBox.setCurrentRow(removedRow == 0 ? 0 : removedRow - 1);
    } else {
        listBox.clearSelection();
        listBox.setCurrentItem(nullptr);
    }
}

CButtonDisabled::CButtonDisabled(QPushButton& button)
    : m_button(button), m_bHadFocus(button.hasFocus())
{
    m_button.setEnabled(false);
}

CButtonDisabled::~CButtonDisabled()
{
    m_button.setEnabled(true);
    if (m_bHadFocus)
        m_button.setFocus();
}
