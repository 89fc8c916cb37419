#include "ui/template_dialog.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

Qt::WindowFlags WindowFlagsOf(const SDialogTemplate& dialogTemplate)
{
    Qt::WindowFlags flags =
        Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    if (dialogTemplate.m_style & kDialogMinimizeBox)
        flags |= Qt::WindowMinimizeButtonHint;
    return flags;
}

} // namespace

CTemplateDialog::CTemplateDialog(const SDialogTemplate& dialogTemplate, QWidget* parent)
    : QDialog(parent, WindowFlagsOf(dialogTemplate)), m_pLayout(new QVBoxLayout(this))
{
    setWindowTitle(QString::fromUtf8(dialogTemplate.m_pszTitle));
    setFont(CDialogBuilder::DialogFont(dialogTemplate));
    m_pLayout->setContentsMargins(0, 0, 0, 0);
    m_pLayout->setSpacing(0);
    m_pLayout->setSizeConstraint(QLayout::SetFixedSize);
    auto* client = new QWidget(this);
    CDialogBuilder::Build(dialogTemplate, *client);
    m_pLayout->addWidget(client);
    if (auto* ok = Control<QPushButton>(kIdOk))
        connect(ok, &QPushButton::clicked, this, [this] { OnOK(); });
    if (auto* cancel = Control<QPushButton>(kIdCancel))
        connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

int CTemplateDialog::exec()
{
    OnInitDialog();
    return QDialog::exec();
}

void CTemplateDialog::keyPressEvent(QKeyEvent* event)
{
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (!enter || (event->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) {
        QDialog::keyPressEvent(event);
        return;
    }
    if (auto* focused = qobject_cast<QPushButton*>(focusWidget()))
        focused->click();
    else if (QPushButton* button = DefaultButton())
        button->click();
    else
        OnOK();
}

QPushButton* CTemplateDialog::DefaultButton() const
{
    for (QPushButton* button : findChildren<QPushButton*>()) {
        if (button->isDefault())
            return button;
    }
    return nullptr;
}

QLineEdit& CTemplateDialog::Field(int id) const
{
    return *Control<QLineEdit>(id);
}

void CTemplateDialog::FocusField(int id)
{
    QLineEdit& field = Field(id);
    field.setFocus(Qt::OtherFocusReason);
    field.selectAll();
}
