#include "ui/window_activation.h"

#include <QGuiApplication>
#include <QWidget>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

// _NET_ACTIVE_WINDOW's source indication of a pager, and its layout (EWMH).
constexpr std::uint32_t kSourcePager = 2;

template <class T> using XcbReply = std::unique_ptr<T, decltype(&std::free)>;

xcb_atom_t Atom(xcb_connection_t* connection, const char* name)
{
    const xcb_intern_atom_cookie_t cookie =
        xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(std::strlen(name)), name);
    XcbReply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(connection, cookie, nullptr),
                                            &std::free);
    return reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
}

// True when a window manager runs that takes activation requests.
bool WindowManagerActivates(xcb_connection_t* connection, xcb_window_t root, xcb_atom_t active)
{
    const xcb_atom_t supported = Atom(connection, "_NET_SUPPORTED");
    const xcb_get_property_cookie_t cookie =
        xcb_get_property(connection, 0, root, supported, XCB_ATOM_ATOM, 0, 1024);
    XcbReply<xcb_get_property_reply_t> reply(xcb_get_property_reply(connection, cookie, nullptr),
                                             &std::free);
    if (!reply || reply->format != 32)
        return false;
    const auto* atoms = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply.get()));
    const int count = xcb_get_property_value_length(reply.get()) / 4;
    return std::find(atoms, atoms + count, active) != atoms + count;
}

void AskWindowManager(xcb_connection_t* connection, xcb_window_t root, xcb_window_t window,
                      xcb_atom_t active)
{
    xcb_client_message_event_t event {};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = active;
    event.data.data32[0] = kSourcePager;
    event.data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(connection, 0, root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&event));
}

void ActivateOnX11(QWidget& window, xcb_connection_t* connection)
{
    const xcb_window_t id = static_cast<xcb_window_t>(window.winId());
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    const xcb_atom_t active = Atom(connection, "_NET_ACTIVE_WINDOW");
    if (WindowManagerActivates(connection, screen->root, active))
        AskWindowManager(connection, screen->root, id, active);
    else
        xcb_set_input_focus(connection, XCB_INPUT_FOCUS_PARENT, id, XCB_CURRENT_TIME);
    xcb_flush(connection);
}

} // namespace

void BringWindowToFront(QWidget& window)
{
    window.raise();
    window.activateWindow();
    // The offscreen platform offers the interface too, without a connection.
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (x11 && x11->connection() && window.isVisible())
        ActivateOnX11(window, x11->connection());
}
