#include "ui/file_dialogs.h"

#include "ui/active_window_scope.h"
#include "ui/strings.h"

namespace {

QString QtPatterns(const QString& patterns)
{
    QStringList list = patterns.split(u';', Qt::SkipEmptyParts);
    for (QString& pattern : list) {
        if (pattern == QStringLiteral("*.*"))
            pattern = QStringLiteral("*");
    }
    return list.join(u' ');
}

} // namespace

QStringList NameFiltersOf(const QString& filter)
{
    const QStringList parts = filter.split(u'|');
    QStringList filters;
    // A pair needs both parts; the empty text after the closing "||" ends the list.
    for (qsizetype i = 0; i + 1 < parts.size() && !parts[i].isEmpty(); i += 2)
        filters << parts[i] + QStringLiteral(" (") + QtPatterns(parts[i + 1]) + u')';
    return filters;
}

std::optional<QString> RunFileDialog(QWidget* parent, const SFileDialogSetup& setup)
{
    QFileDialog dialog(parent);
    dialog.setAcceptMode(setup.m_mode);
    dialog.setFileMode(setup.m_mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile
                                                               : QFileDialog::AnyFile);
    if (setup.m_nFilterId != 0) {
        dialog.setOption(QFileDialog::HideNameFilterDetails);
        dialog.setNameFilters(NameFiltersOf(LoadString(setup.m_nFilterId)));
    }
    dialog.setDefaultSuffix(setup.m_defaultSuffix);
    if (!setup.m_initialName.isEmpty())
        dialog.selectFile(setup.m_initialName);
    if (RunModal(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}
