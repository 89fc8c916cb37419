#include "ui/icons.h"

// Q_INIT_RESOURCE must be used outside any namespace; the resources live in a static library,
// which the linker would otherwise leave out.
static void InitIconResources()
{
    Q_INIT_RESOURCE(pellmar);
}

namespace {

constexpr int kLargeIconId = 128;
constexpr int kSmallIconId = 135;

QString IconFile(int id, int size)
{
    return QStringLiteral(":/icons/icon_%1_%2.png").arg(id).arg(size);
}

} // namespace

QIcon LoadIcon(int id)
{
    static const bool initialised = (InitIconResources(), true);
    static_cast<void>(initialised);
    QIcon icon;
    if (id == kLargeIconId) {
        for (int size : {48, 32, 16})
            icon.addFile(IconFile(id, size), {size, size});
    } else if (id == kSmallIconId) {
        icon.addFile(IconFile(id, 16), {16, 16});
    }
    return icon;
}

QIcon WindowIcon(const QIcon& largeIcon, const QIcon& smallIcon)
{
    QIcon icon;
    for (int size : {48, 32})
        icon.addPixmap(largeIcon.pixmap(size));
    icon.addPixmap(smallIcon.pixmap(16));
    return icon;
}
