#include "platform/x11/x11_window_control.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <vector>

#include "platform/logging.h"
#include "platform/x11/frame_centring.h"
#include "platform/x11/x11_connection.h"
#include "platform/x11/x11_off_screen_watch.h"

namespace numarika {
namespace {

using x11::Reply;

constexpr std::uint32_t kNetWmStateRemove = 0;
constexpr std::uint32_t kNetWmStateAdd = 1;
constexpr std::uint32_t kSourcePager = 2;  // _NET_ACTIVE_WINDOW: a request on the user's behalf

// Whether the window manager will iconify `window` when asked: it lists minimising among the
// window's allowed actions or, where it keeps no such list for the window, among the actions it
// supports. Tiling window managers (i3) list neither and ignore the request.
bool windowManagerIconifies(xcb_connection_t* c, xcb_window_t root, xcb_window_t window) {
    if (!x11::windowManagerRunning(c, root)) return false;
    std::vector<std::uint32_t> actions =
        x11::property32(c, window, x11::atom(c, "_NET_WM_ALLOWED_ACTIONS"), XCB_ATOM_ATOM);
    if (actions.empty())
        actions = x11::property32(c, root, x11::atom(c, "_NET_SUPPORTED"), XCB_ATOM_ATOM);
    const xcb_atom_t minimise = x11::atom(c, "_NET_WM_ACTION_MINIMIZE");
    return std::find(actions.begin(), actions.end(), minimise) != actions.end();
}

// Our visible top-level windows that belong above `window`: its dialogs, and the modal ones,
// which block it.
std::vector<xcb_window_t> dialogsOf(const QWidget& window) {
    std::vector<xcb_window_t> dialogs;
    const QWindow* handle = window.windowHandle();
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w == &window || !w->isVisible() || !w->testAttribute(Qt::WA_WState_Created)) continue;
        const QWindow* parent = w->windowHandle() ? w->windowHandle()->transientParent() : nullptr;
        const bool belongs = w->isModal() || (handle && parent == handle) ||
                             (w->parentWidget() && w->parentWidget()->window() == &window);
        if (belongs) dialogs.push_back(static_cast<xcb_window_t>(w->winId()));
    }
    return dialogs;
}

// Without a window manager a raised window covers its own dialogs: raise them again above it,
// keeping the order they had among themselves.
void raiseDialogsAbove(xcb_connection_t* c, xcb_window_t root, const QWidget& window) {
    const std::vector<xcb_window_t> dialogs = dialogsOf(window);
    if (dialogs.empty()) return;
    Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c, xcb_query_tree(c, root), nullptr));
    if (!tree) return;
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    const int count = xcb_query_tree_children_length(tree.get());
    const std::uint32_t above = XCB_STACK_MODE_ABOVE;
    // Bottom to top: each one raised goes above those raised before it.
    for (int i = 0; i < count; ++i)
        if (std::find(dialogs.begin(), dialogs.end(), children[i]) != dialogs.end())
            xcb_configure_window(c, children[i], XCB_CONFIG_WINDOW_STACK_MODE, &above);
}

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
    const QDeadlineTimer deadline(kOffScreenWaitMs, Qt::PreciseTimer);
    const auto own = static_cast<xcb_window_t>(window.winId());
    const xcb_window_t frame = x11::topLevelAncestor(c, own).value_or(own);
    const auto withdraw = [this, &window] {
        // Qt unmaps the window and tells the window manager it is withdrawn.
        window.hide();
        markHidden(window);
    };

    OffScreenWatch watch(c, screen->root, own, frame);
    bool iconified = windowManagerIconifies(c, screen->root, own);
    if (iconified) {
        minimise();
        if (!watch.waitGone(QDeadlineTimer(kIconifyWaitMs, Qt::PreciseTimer))) {
            qCInfo(lcPlatform) << "the window manager did not iconify the window within"
                               << kIconifyWaitMs << "ms: withdrawn instead";
            iconified = false;
            withdraw();
        }
    } else {
        withdraw();
    }
    if (!watch.waitGone(deadline)) {
        qCInfo(lcPlatform) << "the window is still on the screen after" << kOffScreenWaitMs << "ms";
        return;
    }
    const qint64 goneMs = kOffScreenWaitMs - deadline.remainingTime();
    if (!watch.waitRepainted(deadline)) {
        qCInfo(lcPlatform) << "what the window covered was not painted again within"
                           << kOffScreenWaitMs << "ms";
        return;
    }
    qCDebug(lcPlatform) << "window" << (iconified ? "iconified" : "withdrawn") << "in" << goneMs
                        << "ms, painted over after" << kOffScreenWaitMs - deadline.remainingTime()
                        << "ms";
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
        raiseDialogsAbove(c, screen->root, window);
    }
    xcb_flush(c);
}

bool X11WindowControl::activateByTitle(const QString& caption) {
    xcb_connection_t* c = x11::connection();
    xcb_screen_t* screen = x11::defaultScreen(c);
    if (QWidget* own = visibleWindowTitled(caption)) {
        QtWindowControl::activateByTitle(caption);
        if (screen && !x11::windowManagerRunning(c, screen->root)) {
            raiseDialogsAbove(c, screen->root, *own);
            xcb_flush(c);
        }
        return true;
    }
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

void X11WindowControl::centreOnScreen(QWidget& window) { centreFrameOnScreen(window); }

}  // namespace numarika
