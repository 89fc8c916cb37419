#include "ui/strings.h"

#include "ui/resources/string_table.h"

QString LoadString(int id)
{
    if (id < kFirstStringId || id > kLastStringId)
        return {};
    return QString::fromUtf8(kStringTable[id - kFirstStringId].m_pszText);
}

QString FormatString(int id, const QString& argument)
{
    QString text = LoadString(id);
    const qsizetype place = text.indexOf(QLatin1String("%s"));
    if (place >= 0)
        text.replace(place, 2, argument);
    return text;
}
