#include "ui/pellmar_dlg.h"

#include "app/repository.h"
#include "ui/about_dlg.h"
#include "ui/active_window_scope.h"
#include "ui/destination_dlg.h"
#include "ui/help_dlg.h"
#include "ui/icons.h"
#include "ui/internet_setting_dlg.h"
#include "ui/key_manager_dlg.h"
#include "ui/list_box.h"
#include "ui/message_box.h"
#include "ui/strings.h"
#include "ui/window_activation.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QListWidget>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int kLargeIconId = 128;
constexpr int kSmallIconId = 135;

CPellmarDlg* g_pMainWnd = nullptr;

// The first dropped item when it is a local file; empty otherwise.
QString FirstDroppedFile(const QMimeData* data)
{
    if (!data || !data->hasUrls() || data->urls().isEmpty())
        return {};
    const QUrl& first = data->urls().first();
    return first.isLocalFile() ? first.toLocalFile() : QString();
}

} // namespace

CPellmarDlg::CPellmarDlg(QWidget* parent)
    : CTemplateDialog(kMainTemplate, parent), m_hIcon(LoadIcon(kLargeIconId)),
      m_hSmallIcon(LoadIcon(kSmallIconId))
{
    if (!g_pMainWnd)
        g_pMainWnd = this;
    ConnectButtons();
}

CPellmarDlg::~CPellmarDlg()
{
    if (g_pMainWnd == this)
        g_pMainWnd = nullptr;
}

CPellmarDlg* CPellmarDlg::GetMainWnd()
{
    return g_pMainWnd;
}

void CPellmarDlg::ConnectButtons()
{
    const std::pair<int, void (CPellmarDlg::*)()> handlers[] = {
        {kIdEncrypt, &CPellmarDlg::OnEncrypt}, {kIdAdd, &CPellmarDlg::OnAdd},
        {kIdModify, &CPellmarDlg::OnModify},   {kIdDelete, &CPellmarDlg::OnDelete},
        {kIdUpper, &CPellmarDlg::OnUpper},     {kIdLower, &CPellmarDlg::OnLower},
        {kIdExit, &CPellmarDlg::OnExit},       {kIdHelp, &CPellmarDlg::OnHelp},
    };
    for (const auto& [id, handler] : handlers)
        connect(Control<QPushButton>(id), &QPushButton::clicked, this, handler);
}

void CPellmarDlg::OnInitDialog()
{
    m_pActiveWnd = this;
    setAcceptDrops(true);
    CreateMenu();
    setWindowIcon(WindowIcon(m_hIcon, m_hSmallIcon));
    FillList();
    // exec() shows the window right after this; shown here, it would not become modal.
    setWindowState(Qt::WindowNoState);
    CentreWindow();
}

// The entries a window menu would carry, in a menu of the menu bar.
void CPellmarDlg::CreateMenu()
{
    auto* menuBar = new QMenuBar(this);
    QMenu* menu = menuBar->addMenu(QStringLiteral("&") + LoadString(kIdsCaption));
    menu->addAction(LoadString(kIdsDecrypt), this, &CPellmarDlg::OnDecrypt);
    menu->addAction(LoadString(kIdsKeyManagement), this, &CPellmarDlg::OnKeyManagement);
    menu->addAction(LoadString(kIdsInternetSettings), this, &CPellmarDlg::OnInternetSettings);
    menu->addSeparator();
    menu->addAction(LoadString(kIdsAboutBox), this, &CPellmarDlg::OnAbout);
    WindowLayout().setMenuBar(menuBar);
}

void CPellmarDlg::FillList()
{
    const CDestinationList& destinations = Destinations();
    for (int i = 0; i < destinations.GetCount(); ++i)
        List().addItem(QString::fromStdString(destinations.GetAt(i)->GetName()));
    if (List().count() > 0)
        SelectRow(0);
}

// Centred on the screen the window is on, its size unchanged. It is placed before it first shows,
// when the frame the desktop will add is not known yet: the frame's size is not counted.
void CPellmarDlg::CentreWindow()
{
    WindowLayout().activate(); // gives the window its final size
    const QRect desktop = screen()->geometry();
    const QSize size = frameGeometry().size();
    move(desktop.x() + desktop.width() / 2 - size.width() / 2,
         desktop.y() + desktop.height() / 2 - size.height() / 2);
}

void CPellmarDlg::InsertDestination(CDestination item)
{
    const int row = std::max(SelectedRow(), 0);
    const QString name = QString::fromStdString(item.GetName());
    // A failed save is not reported: the list keeps the change and the next save writes it.
    static_cast<void>(Destinations().InsertAt(row, std::move(item)));
    List().insertItem(row, name);
    SelectRow(row);
}

void CPellmarDlg::OnBringToFront()
{
    if (isMinimized())
        showNormal();
    BringWindowToFront(*this);
    // The window the user was working in ends on top.
    if (m_pActiveWnd && m_pActiveWnd != this)
        BringWindowToFront(*m_pActiveWnd);
}

void CPellmarDlg::dragEnterEvent(QDragEnterEvent* event)
{
    if (!FirstDroppedFile(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

// Only the first dropped file counts, and it is always decrypted.
void CPellmarDlg::dropEvent(QDropEvent* event)
{
    const QString path = FirstDroppedFile(event->mimeData());
    if (path.isEmpty())
        return;
    event->acceptProposedAction();
    DoDecrypt(path);
}

void CPellmarDlg::OnAdd()
{
    CDestinationDlg dialog(this);
    if (RunModal(dialog) == QDialog::Accepted && dialog.m_pDestination)
        InsertDestination(std::move(*dialog.m_pDestination));
}

void CPellmarDlg::OnModify()
{
    const int row = SelectedRow();
    if (row < 0)
        return;
    CDestinationDlg dialog(this);
    dialog.m_pDestination = std::make_unique<CDestination>(*Destinations().GetAt(row));
    dialog.m_nIndex = row;
    if (RunModal(dialog) != QDialog::Accepted)
        return;
    List().item(row)->setText(QString::fromStdString(dialog.m_pDestination->GetName()));
    SelectRow(row);
    // Writes nothing when name and URL are unchanged.
    static_cast<void>(Destinations().SetAt(row, std::move(*dialog.m_pDestination)));
}

void CPellmarDlg::OnDelete()
{
    const int row = SelectedRow();
    if (row < 0)
        return;
    const QString name = QString::fromStdString(Destinations().GetAt(row)->GetName());
    if (!MessageBoxQuestion(this, kIdsDeleteDestination, FormatString(kIdsDeleteDestination, name)))
        return;
    static_cast<void>(Destinations().RemoveAt(row));
    delete List().takeItem(row);
    SelectAfterRemoval(List(), row);
}

void CPellmarDlg::OnUpper()
{
    MoveSelectedRow(List(), Destinations(), -1, *Control<QPushButton>(kIdUpper));
}

void CPellmarDlg::OnLower()
{
    MoveSelectedRow(List(), Destinations(), +1, *Control<QPushButton>(kIdLower));
}

void CPellmarDlg::OnExit()
{
    accept();
}

void CPellmarDlg::OnHelp()
{
    CHelpDlg help(this);
    RunModal(help);
}

void CPellmarDlg::OnAbout()
{
    CAboutDlg about(this);
    RunModal(about);
}

void CPellmarDlg::OnKeyManagement()
{
    CKeyManagerDlg dialog(this);
    RunModal(dialog);
}

void CPellmarDlg::OnInternetSettings()
{
    CInternetSettingDlg dialog(this);
    RunModal(dialog);
}

QListWidget& CPellmarDlg::List() const
{
    return *Control<QListWidget>(kIdDestinationList);
}

CDestinationList& CPellmarDlg::Destinations()
{
    // The repository exists for as long as the main window does.
    return *GetRepository()->m_pDestinationList;
}

int CPellmarDlg::SelectedRow() const
{
    return ::SelectedRow(List());
}

void CPellmarDlg::SelectRow(int row)
{
    List().setCurrentRow(row);
}
