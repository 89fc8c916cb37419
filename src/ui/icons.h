#pragma once

#include <QIcon>

// Icon resources by number: 128, the program's icon (48, 32 and 16 pixels), and 135, its small
// 16-pixel form for title bars and task lists. A null icon for any other number.
QIcon LoadIcon(int id);

// The icon a window shows: the small icon at 16 pixels, the large one at every other size.
QIcon WindowIcon(const QIcon& largeIcon, const QIcon& smallIcon);
