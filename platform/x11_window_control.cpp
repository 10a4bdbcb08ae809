#include "platform/x11_window_control.h"

#include <QAbstractEventDispatcher>
#include <QAbstractNativeEventFilter>
#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <cstring>
#include <functional>
#include <vector>

#include "platform/x11_connection.h"

namespace numarika {
namespace {

using x11::Reply;

constexpr std::uint32_t kNetWmStateRemove = 0;
constexpr std::uint32_t kNetWmStateAdd = 1;
constexpr std::uint32_t kSourcePager = 2;  // _NET_ACTIVE_WINDOW: a request on the user's behalf

// Watches windows until every one of them is unmapped or destroyed. Our own windows report
// their structure changes to Qt already; for the others (the window manager's frame) the
// watch asks for them on Qt's connection and gives the request up again afterwards.
class UnmapWatch final : public QAbstractNativeEventFilter {
  public:
    UnmapWatch(xcb_connection_t* c, xcb_window_t ownWindow, xcb_window_t frame) : c_(c) {
        if (frame != ownWindow && frame != XCB_WINDOW_NONE) {
            const std::uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
            Reply<xcb_generic_error_t> error(xcb_request_check(
                c, xcb_change_window_attributes_checked(c, frame, XCB_CW_EVENT_MASK, &mask)));
            if (!error) {
                selectedOn_ = frame;
                watched_.push_back({frame, true});
            }
        }
        watched_.push_back({ownWindow, true});
        QCoreApplication::instance()->installNativeEventFilter(this);
        // The state now, after the event selection: a change from here on arrives as an event.
        for (Watched& w : watched_) w.mapped = x11::isMapped(c, w.window).value_or(false);
    }

    ~UnmapWatch() override {
        QCoreApplication::instance()->removeNativeEventFilter(this);
        if (selectedOn_ != XCB_WINDOW_NONE) {
            // The frame may be gone by now; its error is of no interest.
            const std::uint32_t none = 0;
            xcb_discard_reply(
                c_, xcb_change_window_attributes_checked(c_, selectedOn_, XCB_CW_EVENT_MASK, &none)
                        .sequence);
            xcb_flush(c_);
        }
    }

    UnmapWatch(const UnmapWatch&) = delete;
    UnmapWatch& operator=(const UnmapWatch&) = delete;

    bool allGone() const {
        for (const Watched& w : watched_)
            if (w.mapped) return false;
        return true;
    }

    // Waits, dispatching events but holding back user input, until everything is gone or the
    // time is up. True when everything is gone.
    bool wait(int milliseconds) {
        xcb_flush(c_);
        if (allGone()) return true;
        QEventLoop loop;
        QTimer deadline;
        deadline.setSingleShot(true);
        QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
        onChange_ = [&loop, this] {
            if (allGone()) loop.quit();
        };
        deadline.start(milliseconds);
        loop.exec(QEventLoop::ExcludeUserInputEvents);
        onChange_ = nullptr;
        return allGone();
    }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override {
        if (eventType != "xcb_generic_event_t") return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        xcb_window_t window = XCB_WINDOW_NONE;
        bool mapped = false;
        switch (event->response_type & 0x7F) {
            case XCB_UNMAP_NOTIFY:
                window = reinterpret_cast<const xcb_unmap_notify_event_t*>(event)->window;
                break;
            case XCB_DESTROY_NOTIFY:
                window = reinterpret_cast<const xcb_destroy_notify_event_t*>(event)->window;
                break;
            case XCB_MAP_NOTIFY:
                window = reinterpret_cast<const xcb_map_notify_event_t*>(event)->window;
                mapped = true;
                break;
            default:
                return false;
        }
        for (Watched& w : watched_) {
            if (w.window != window) continue;
            w.mapped = mapped;
            if (onChange_) onChange_();
        }
        return false;  // Qt needs these events too
    }

  private:
    struct Watched {
        xcb_window_t window;
        bool mapped;
    };
    xcb_connection_t* c_;
    xcb_window_t selectedOn_ = XCB_WINDOW_NONE;
    std::vector<Watched> watched_;
    std::function<void()> onChange_;
};

// Top-level windows of other programs that carry this caption.
xcb_window_t findForeignWindow(xcb_connection_t* c, xcb_window_t root, bool managed,
                               const QString& caption) {
    std::vector<xcb_window_t> candidates;
    if (managed) {
        Reply<xcb_get_property_reply_t> list(
            xcb_get_property_reply(c,
                                   xcb_get_property(c, 0, root, x11::atom(c, "_NET_CLIENT_LIST"),
                                                    XCB_ATOM_WINDOW, 0, 4096),
                                   nullptr));
        if (list && list->format == 32) {
            const auto* ids = static_cast<const xcb_window_t*>(xcb_get_property_value(list.get()));
            candidates.assign(ids, ids + xcb_get_property_value_length(list.get()) / 4);
        }
    } else {
        Reply<xcb_query_tree_reply_t> tree(
            xcb_query_tree_reply(c, xcb_query_tree(c, root), nullptr));
        if (tree) {
            const xcb_window_t* ids = xcb_query_tree_children(tree.get());
            candidates.assign(ids, ids + xcb_query_tree_children_length(tree.get()));
        }
    }
    for (xcb_window_t w : candidates)
        if (x11::isMapped(c, w).value_or(false) && x11::windowName(c, w) == caption) return w;
    return XCB_WINDOW_NONE;
}

}  // namespace

void X11WindowControl::setWindowState(QWidget& window, WindowState state) {
    switch (state) {
        case WindowState::Minimized:
            takeOffScreen(window);
            break;
        default:
            QtWindowControl::setWindowState(window, state);
            break;
    }
}

void X11WindowControl::takeOffScreen(QWidget& window) {
    const auto minimise = [&window] {
        window.setWindowState(window.windowState() | Qt::WindowMinimized);
    };
    xcb_connection_t* c = x11::connection();
    xcb_screen_t* screen = x11::defaultScreen(c);
    if (!screen || !window.isVisible() || hiddenByUs(window)) {
        minimise();
        return;
    }
    const auto own = static_cast<xcb_window_t>(window.winId());
    const xcb_window_t frame = x11::topLevelAncestor(c, own).value_or(own);
    const bool managed = x11::windowManagerRunning(c, screen->root);

    UnmapWatch watch(c, own, frame);
    // Qt asks the window manager to iconify the window; a bare server ignores that.
    minimise();
    if (managed && watch.wait(kIconifyWaitMs)) return;
    window.hide();
    markHidden(window);
    watch.wait(kUnmapWaitMs);
}

void X11WindowControl::setTopMost(QWidget& window, bool topMost) {
    if (topMost && !window.isVisible() && !hiddenByUs(window) && !window.isMinimized())
        window.show();
    xcb_connection_t* c = x11::connection();
    xcb_screen_t* screen = x11::defaultScreen(c);
    if (!screen || !window.testAttribute(Qt::WA_WState_Created)) return;
    const auto own = static_cast<xcb_window_t>(window.winId());
    if (x11::windowManagerRunning(c, screen->root)) {
        x11::sendRootMessage(c, screen->root, own, "_NET_WM_STATE",
                             topMost ? kNetWmStateAdd : kNetWmStateRemove,
                             x11::atom(c, "_NET_WM_STATE_ABOVE"), 0);
    } else if (topMost) {
        // Nobody keeps a stacking order for us: top-most is as high as it goes, now.
        const std::uint32_t above = XCB_STACK_MODE_ABOVE;
        xcb_configure_window(c, own, XCB_CONFIG_WINDOW_STACK_MODE, &above);
    }
    xcb_flush(c);
}

bool X11WindowControl::activateByTitle(const QString& caption) {
    if (QtWindowControl::activateByTitle(caption)) return true;
    xcb_connection_t* c = x11::connection();
    xcb_screen_t* screen = x11::defaultScreen(c);
    if (!screen) return false;
    const bool managed = x11::windowManagerRunning(c, screen->root);
    const xcb_window_t target = findForeignWindow(c, screen->root, managed, caption);
    if (target == XCB_WINDOW_NONE) return false;
    if (managed) {
        x11::sendRootMessage(c, screen->root, target, "_NET_ACTIVE_WINDOW", kSourcePager,
                             XCB_CURRENT_TIME, 0);
    } else {
        const std::uint32_t above = XCB_STACK_MODE_ABOVE;
        xcb_configure_window(c, target, XCB_CONFIG_WINDOW_STACK_MODE, &above);
        xcb_set_input_focus(c, XCB_INPUT_FOCUS_POINTER_ROOT, target, XCB_CURRENT_TIME);
    }
    xcb_flush(c);
    return true;
}

}  // namespace numarika
