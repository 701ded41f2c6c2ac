#include "ui/Closerequests.h"

#include <QAbstractNativeEventFilter>
#include <QApplication>
#include <QGuiApplication>
#include <QPointer>
#include <QWidget>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

namespace
{

xcb_atom_t InternAtom(xcb_connection_t *c, const char *name)
{
    xcb_intern_atom_reply_t *r = xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr);
    xcb_atom_t atom = XCB_ATOM_NONE;
    if (r != nullptr)
        atom = r->atom;
    std::free(r);
    return atom;
}

// The window named by `window`'s WM_CLIENT_LEADER; XCB_WINDOW_NONE when none.
xcb_window_t ClientLeader(xcb_connection_t *c, xcb_window_t window, xcb_atom_t leaderAtom)
{
    xcb_get_property_reply_t *r = xcb_get_property_reply(
        c, xcb_get_property(c, 0, window, leaderAtom, XCB_ATOM_WINDOW, 0, 1), nullptr);
    xcb_window_t leader = XCB_WINDOW_NONE;
    if (r != nullptr && r->format == 32 && xcb_get_property_value_length(r) >= 4)
        std::memcpy(&leader, xcb_get_property_value(r), sizeof leader);
    std::free(r);
    return leader;
}

class TLeaderCloseFilter : public QAbstractNativeEventFilter
{
public:
    TLeaderCloseFilter(QWidget *window, xcb_window_t leader, xcb_atom_t protocols,
                       xcb_atom_t deleteWindow)
        : FWindow(window), FLeader(leader), FProtocols(protocols), FDelete(deleteWindow)
    {
    }

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *) override
    {
        if (eventType != "xcb_generic_event_t")
            return false;
        const auto *event = static_cast<const xcb_generic_event_t *>(message);
        if ((event->response_type & 0x7f) != XCB_CLIENT_MESSAGE)
            return false;
        const auto *cm = reinterpret_cast<const xcb_client_message_event_t *>(event);
        if (cm->window != FLeader || cm->type != FProtocols || cm->format != 32 ||
            cm->data.data32[0] != FDelete)
            return false;
        // As the window's own close: a modal dialog keeps it open.
        if (FWindow && QApplication::activeModalWidget() == nullptr) {
            QPointer<QWidget> window = FWindow;
            QMetaObject::invokeMethod(
                window,
                [window] {
                    if (window)
                        window->close();
                },
                Qt::QueuedConnection);
        }
        return true;
    }

private:
    QPointer<QWidget> FWindow;
    xcb_window_t FLeader;
    xcb_atom_t FProtocols;
    xcb_atom_t FDelete;
};

} // namespace

void HonourCloseRequestsOutsideWindows(QWidget *window)
{
    auto *x11 =
        qApp != nullptr ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (window == nullptr || x11 == nullptr || x11->connection() == nullptr)
        return;
    xcb_connection_t *c = x11->connection();
    const auto own = static_cast<xcb_window_t>(window->winId());
    const xcb_window_t leader = ClientLeader(c, own, InternAtom(c, "WM_CLIENT_LEADER"));
    if (leader == XCB_WINDOW_NONE || leader == own)
        return;
    const auto length = static_cast<std::uint32_t>(std::strlen(kClientLeaderTitle));
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, leader, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
                        length, kClientLeaderTitle);
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, leader, InternAtom(c, "_NET_WM_NAME"),
                        InternAtom(c, "UTF8_STRING"), 8, length, kClientLeaderTitle);
    xcb_flush(c);
    // Lives as long as the application that runs its filters.
    static TLeaderCloseFilter *filter = nullptr;
    if (filter == nullptr) {
        filter = new TLeaderCloseFilter(window, leader, InternAtom(c, "WM_PROTOCOLS"),
                                        InternAtom(c, "WM_DELETE_WINDOW"));
        qApp->installNativeEventFilter(filter);
    }
}
