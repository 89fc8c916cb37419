#pragma once

class QWidget;

// Raises window and gives it the keyboard focus even while another program has the focus. A
// bring-to-front request from a second start stands for the user's own action, but it reaches
// this process without an input event of the user's, so the desktop's focus-stealing prevention
// would turn a plain activation down. On X11 the request goes to the window manager as a pager's
// (which it grants without comparing time stamps), or, with no window manager, straight to the
// X server at its current time. Elsewhere the platform's own activation is all there is.
void BringWindowToFront(QWidget& window);
