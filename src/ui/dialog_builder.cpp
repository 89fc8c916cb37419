#include "ui/dialog_builder.h"

#include "ui/icons.h"

#include <QApplication>
#include <QCheckBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>

#include <cstdlib>

namespace {

// The size the platform draws icons of icon controls at, whatever the template's rectangle says.
constexpr int kIconSize = 32;

bool TakesFocus(EControlKind kind)
{
    return kind == EControlKind::ListBox || kind == EControlKind::Edit ||
           kind == EControlKind::PushButton || kind == EControlKind::CheckBox;
}

QWidget* MakeListBox(const SControlTemplate& control, QWidget& client)
{
    auto* list = new QListWidget(&client);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setUniformItemSizes(true);
    list->setVerticalScrollBarPolicy((control.m_style & kStyleVScroll) ? Qt::ScrollBarAsNeeded
                                                                       : Qt::ScrollBarAlwaysOff);
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    if (!(control.m_style & kStyleBorder))
        list->setFrameShape(QFrame::NoFrame);
    return list;
}

QWidget* MakeEdit(const SControlTemplate& control, QWidget& client)
{
    auto* edit = new QLineEdit(&client);
    edit->setFrame(control.m_style & kStyleBorder);
    if (control.m_style & kStylePassword)
        edit->setEchoMode(QLineEdit::Password);
    return edit;
}

QWidget* MakeLabel(const SControlTemplate& control, QWidget& client)
{
    auto* label = new QLabel(QString::fromUtf8(control.m_pszText), &client);
    if (control.m_style & kStyleCenter)
        label->setAlignment(Qt::AlignCenter);
    return label;
}

// Always drawn with the style's frame.
QWidget* MakeProgressBar(QWidget& client)
{
    auto* bar = new QProgressBar(&client);
    bar->setRange(0, 100);
    bar->setValue(0);
    // The bar alone tells the position, as a progress control does; no percentage text.
    bar->setTextVisible(false);
    return bar;
}

QWidget* MakePushButton(const SControlTemplate& control, QWidget& client)
{
    auto* button = new QPushButton(QString::fromUtf8(control.m_pszText), &client);
    // Enter is the window's business (CTemplateDialog), not the button's.
    button->setAutoDefault(false);
    button->setDefault(control.m_style & kStyleDefaultButton);
    return button;
}

QWidget* MakeIcon(const SControlTemplate& control, QWidget& client)
{
    auto* label = new QLabel(&client);
    label->setPixmap(LoadIcon(std::atoi(control.m_pszText)).pixmap(kIconSize));
    return label;
}

// Labels get their mnemonic's target, the next control in tab order that takes the focus, as
// their buddy; that also makes them show "&&" as one ampersand.
void ConnectLabels(const SDialogTemplate& dialogTemplate, const std::vector<QWidget*>& widgets)
{
    for (std::size_t i = 0; i < widgets.size(); ++i) {
        auto* label = qobject_cast<QLabel*>(widgets[i]);
        if (!label || dialogTemplate.m_controls[i].m_kind != EControlKind::Label)
            continue;
        for (std::size_t next = i + 1; next < widgets.size(); ++next) {
            if (TakesFocus(dialogTemplate.m_controls[next].m_kind)) {
                label->setBuddy(widgets[next]);
                break;
            }
        }
    }
}

} // namespace

int MulDiv(int a, int b, int c)
{
    if (c == 0)
        return -1;
    const long long product = static_cast<long long>(a) * b;
    const long long magnitude = (std::llabs(product) + std::llabs(c) / 2) / std::llabs(c);
    return static_cast<int>((product < 0) != (c < 0) ? -magnitude : magnitude);
}

CDialogUnits::CDialogUnits(const QFont& font)
{
    const QFontMetrics metrics(font);
    const int advance = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    m_nBaseX = (advance / 26 + 1) / 2;
    m_nBaseY = metrics.height();
}

QRect CDialogUnits::ToPixels(int x, int y, int cx, int cy) const
{
    return {MulDiv(x, m_nBaseX, 4), MulDiv(y, m_nBaseY, 8), MulDiv(cx, m_nBaseX, 4),
            MulDiv(cy, m_nBaseY, 8)};
}

QSize CDialogUnits::ToPixels(int cx, int cy) const
{
    return {MulDiv(cx, m_nBaseX, 4), MulDiv(cy, m_nBaseY, 8)};
}

QFont CDialogBuilder::DialogFont(const SDialogTemplate& dialogTemplate)
{
    QFont font = QApplication::font();
    font.setPointSize(dialogTemplate.m_nPointSize);
    return font;
}

void CDialogBuilder::Build(const SDialogTemplate& dialogTemplate, QWidget& client)
{
    client.setFont(DialogFont(dialogTemplate));
    const CDialogUnits units(client.font());
    client.setFixedSize(units.ToPixels(dialogTemplate.m_cx, dialogTemplate.m_cy));
    std::vector<QWidget*> widgets;
    for (const SControlTemplate& control : dialogTemplate.m_controls)
        widgets.push_back(MakeControl(control, client, units));
    ConnectLabels(dialogTemplate, widgets);
}

QWidget* CDialogBuilder::MakeControl(const SControlTemplate& control, QWidget& client,
                                     const CDialogUnits& units)
{
    QWidget* widget = nullptr;
    switch (control.m_kind) {
    case EControlKind::Label:
        widget = MakeLabel(control, client);
        break;
    case EControlKind::Icon:
        widget = MakeIcon(control, client);
        break;
    case EControlKind::ListBox:
        widget = MakeListBox(control, client);
        break;
    case EControlKind::Edit:
        widget = MakeEdit(control, client);
        break;
    case EControlKind::PushButton:
        widget = MakePushButton(control, client);
        break;
    case EControlKind::CheckBox:
        widget = new QCheckBox(QString::fromUtf8(control.m_pszText), &client);
        break;
    case EControlKind::ProgressBar:
        widget = MakeProgressBar(client);
        break;
    case EControlKind::GroupBox:
        widget = new QGroupBox(QString::fromUtf8(control.m_pszText), &client);
        break;
    }
    QRect rect = units.ToPixels(control.m_x, control.m_y, control.m_cx, control.m_cy);
    if (control.m_kind == EControlKind::Icon)
        rect.setSize({kIconSize, kIconSize});
    widget->setGeometry(rect);
    if (control.m_nId != kIdStatic)
        widget->setObjectName(ControlName(control.m_nId));
    return widget;
}

QString ControlName(int id)
{
    return QStringLiteral("control%1").arg(id);
}
