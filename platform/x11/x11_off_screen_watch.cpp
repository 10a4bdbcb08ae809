#include "platform/x11/x11_off_screen_watch.h"

#include <xcb/damage.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

#include "platform/logging.h"
#include "platform/x11/x11_connection.h"

namespace numarika {
namespace {

using x11::Reply;

// The DAMAGE extension's first event code, asked of the server once per connection (the
// protocol wants its version asked before any other request); nothing without it.
std::optional<std::uint8_t> damageEventBase(xcb_connection_t* c) {
    static xcb_connection_t* askedOn = nullptr;
    static std::optional<std::uint8_t> base;
    if (askedOn == c) return base;
    askedOn = c;
    base.reset();
    const xcb_query_extension_reply_t* ext = xcb_get_extension_data(c, &xcb_damage_id);
    if (!ext || !ext->present) return base;
    Reply<xcb_damage_query_version_reply_t> version(xcb_damage_query_version_reply(
        c, xcb_damage_query_version(c, XCB_DAMAGE_MAJOR_VERSION, XCB_DAMAGE_MINOR_VERSION),
        nullptr));
    if (version) base = ext->first_event;
    return base;
}

// A compositor draws the screen: it holds the screen's _NET_WM_CM_Sn selection.
bool compositorRunning(xcb_connection_t* c) {
    const QByteArray name = "_NET_WM_CM_S" + QByteArray::number(x11::defaultScreenNumber());
    Reply<xcb_get_selection_owner_reply_t> owner(xcb_get_selection_owner_reply(
        c, xcb_get_selection_owner(c, x11::atom(c, name.constData())), nullptr));
    return owner && owner->owner != XCB_WINDOW_NONE;
}

QRect outerRect(const xcb_get_geometry_reply_t& g) {
    return QRect(g.x, g.y, g.width + 2 * g.border_width, g.height + 2 * g.border_width);
}

// What the windows stacked above `frame` cover: our leaving does not uncover that, and nobody
// repaints it for us. (A compositor's overlay window is not among the children the server
// lists.)
QRegion coveredFromAbove(xcb_connection_t* c, xcb_window_t root, xcb_window_t frame) {
    Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c, xcb_query_tree(c, root), nullptr));
    if (!tree) return {};
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    const int count = xcb_query_tree_children_length(tree.get());
    const xcb_window_t* self = std::find(children, children + count, frame);
    if (self == children + count) return {};
    struct Asked {
        xcb_get_window_attributes_cookie_t attributes;
        xcb_get_geometry_cookie_t geometry;
    };
    std::vector<Asked> asked;
    for (const xcb_window_t* w = self + 1; w < children + count; ++w)
        asked.push_back({xcb_get_window_attributes(c, *w), xcb_get_geometry(c, *w)});
    QRegion covered;
    for (const Asked& a : asked) {
        Reply<xcb_get_window_attributes_reply_t> attributes(
            xcb_get_window_attributes_reply(c, a.attributes, nullptr));
        Reply<xcb_get_geometry_reply_t> geometry(xcb_get_geometry_reply(c, a.geometry, nullptr));
        if (attributes && geometry && attributes->map_state == XCB_MAP_STATE_VIEWABLE &&
            attributes->_class == XCB_WINDOW_CLASS_INPUT_OUTPUT)
            covered += outerRect(*geometry);
    }
    return covered;
}

// One frame of the screen the user sees.
int frameMs() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const qreal hz = screen && screen->refreshRate() > 1 ? screen->refreshRate() : 60;
    return std::clamp(static_cast<int>(std::ceil(1000 / hz)), 1, 50);
}

}  // namespace

OffScreenWatch::ScopedDamage::~ScopedDamage() {
    if (!id) return;
    xcb_damage_destroy(c, id);
    xcb_flush(c);
}

OffScreenWatch::ScopedSelection::~ScopedSelection() {
    if (window == XCB_WINDOW_NONE) return;
    // The frame may be gone by now; its error is of no interest.
    const std::uint32_t none = 0;
    xcb_discard_reply(
        c, xcb_change_window_attributes_checked(c, window, XCB_CW_EVENT_MASK, &none).sequence);
    xcb_flush(c);
}

OffScreenWatch::OffScreenWatch(xcb_connection_t* c, xcb_window_t root, xcb_window_t own,
                               xcb_window_t frame)
    : c_(c), frame_(frame) {
    // Our own window reports its structure changes to Qt already; the window manager's frame
    // reports them to us once we ask.
    if (frame != own) {
        const std::uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
        if (!x11::requestError(
                c, xcb_change_window_attributes_checked(c, frame, XCB_CW_EVENT_MASK, &mask))) {
            selection_.c = c;
            selection_.window = frame;
        }
    }
    const bool xwayland = x11::isXwayland(c);
    if (!xwayland) {
        composited_ = compositorRunning(c);
        if (const auto base = damageEventBase(c)) {
            const std::uint32_t id = xcb_generate_id(c);
            if (!x11::requestError(c, xcb_damage_create_checked(
                                          c, id, root, XCB_DAMAGE_REPORT_LEVEL_RAW_RECTANGLES))) {
                damage_.c = c;
                damage_.id = id;
                damageEvent_ = static_cast<std::uint8_t>(*base + XCB_DAMAGE_NOTIFY);
                evidence_ = Evidence::RootDamage;
            }
        }
        if (evidence_ != Evidence::RootDamage)
            qCInfo(lcPlatform) << "no DAMAGE on the root window: the repaint after hiding the"
                                  " window is awaited as one frame";
    }

    // The state now, after the event selection: a change from here on arrives as an event.
    const auto attributesCookie = xcb_get_window_attributes(c, frame);
    const auto geometryCookie = xcb_get_geometry(c, frame);
    const auto rootCookie = xcb_get_geometry(c, root);
    Reply<xcb_get_window_attributes_reply_t> attributes(
        xcb_get_window_attributes_reply(c, attributesCookie, nullptr));
    Reply<xcb_get_geometry_reply_t> geometry(xcb_get_geometry_reply(c, geometryCookie, nullptr));
    Reply<xcb_get_geometry_reply_t> rootGeometry(xcb_get_geometry_reply(c, rootCookie, nullptr));
    frameMapped_ = attributes && attributes->map_state != XCB_MAP_STATE_UNMAPPED;
    if (geometry) frameRect_ = outerRect(*geometry);
    if (rootGeometry) screen_ = outerRect(*rootGeometry);
    above_ = coveredFromAbove(c, root, frame);
    uncovered_ = QRegion(frameRect_ & screen_) - above_;
    // Events reach the filter only from the event loop, which has not run since the selection.
    QCoreApplication::instance()->installNativeEventFilter(this);
}

OffScreenWatch::~OffScreenWatch() { QCoreApplication::instance()->removeNativeEventFilter(this); }

bool OffScreenWatch::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (eventType != "xcb_generic_event_t") return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    const std::uint8_t type = x11::eventType(event);
    if (damage_.id && type == damageEvent_) {
        const auto* notify = reinterpret_cast<const xcb_damage_notify_event_t*>(event);
        if (notify->damage != damage_.id) return false;
        onDamage(notify->area);
        if (onChange_) onChange_();
        return true;  // ours alone
    }
    // Only the server's word counts, not what another client says it did.
    if (event->response_type & 0x80) return false;
    switch (type) {
        case XCB_UNMAP_NOTIFY:
            if (reinterpret_cast<const xcb_unmap_notify_event_t*>(event)->window != frame_)
                return false;
            frameMapped_ = false;
            break;
        case XCB_DESTROY_NOTIFY:
            if (reinterpret_cast<const xcb_destroy_notify_event_t*>(event)->window != frame_)
                return false;
            frameMapped_ = false;
            break;
        case XCB_MAP_NOTIFY:
            if (reinterpret_cast<const xcb_map_notify_event_t*>(event)->window != frame_)
                return false;
            frameMapped_ = true;
            painted_ -= frameRect_;
            break;
        case XCB_CONFIGURE_NOTIFY: {
            const auto* configure = reinterpret_cast<const xcb_configure_notify_event_t*>(event);
            if (configure->window != frame_) return false;
            // A window manager's iconify animation moves and shrinks the frame, over what
            // lay beneath and beyond where it stood: what it covers on its way has to be
            // painted again too.
            const QRect moved(configure->x, configure->y,
                              configure->width + 2 * configure->border_width,
                              configure->height + 2 * configure->border_width);
            if (frameMapped_) {
                painted_ -= moved;
                uncovered_ += QRegion(moved & screen_) - above_;
            }
            frameRect_ = moved;
            break;
        }
        default:
            return false;
    }
    if (onChange_) onChange_();
    return false;  // Qt needs these events too
}

void OffScreenWatch::onDamage(const xcb_rectangle_t& area) {
    const QRect rect(area.x, area.y, area.width, area.height);
    QRegion fresh(rect);
    if (frameMapped_) {
        // Drawing inside the frame while it is still there is the frame's own. A compositor
        // draws the rest from what the windows beneath hold. Without one, the drawing of a
        // window beneath is reported clipped to what it can reach, which the frame is not:
        // a report that overlaps the frame is the frame's, and what the server reports of
        // the frame's moves is its whole old size at the new place, not only where it is now.
        if (!composited_ && rect.intersects(frameRect_)) return;
        fresh -= frameRect_;
    }
    fresh &= uncovered_;
    if (fresh.isEmpty()) return;
    painted_ += fresh;
    quietUntil_ = QDeadlineTimer(composited_ ? kCompositorQuietMs : kQuietMs, Qt::PreciseTimer);
}

bool OffScreenWatch::repainted() const {
    return gone() && (uncovered_ - painted_).isEmpty() && quietUntil_.hasExpired();
}

bool OffScreenWatch::runUntil(const QDeadlineTimer& deadline, const std::function<bool()>& done) {
    xcb_flush(c_);
    QEventLoop loop;
    QTimer limit, quiet;
    limit.setSingleShot(true);
    quiet.setSingleShot(true);
    quiet.setTimerType(Qt::PreciseTimer);
    const auto check = [&] {
        if (done()) {
            loop.quit();
        } else if (!quietUntil_.hasExpired() && !quiet.isActive()) {
            // A quiet moment ends without an event of its own.
            quiet.start(static_cast<int>(quietUntil_.remainingTime()));
        }
    };
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(&quiet, &QTimer::timeout, &loop, check);
    if (done()) return true;
    if (deadline.hasExpired()) return false;
    onChange_ = check;
    limit.setTimerType(Qt::PreciseTimer);
    limit.start(static_cast<int>(deadline.remainingTime()));
    check();
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    onChange_ = nullptr;
    return done();
}

bool OffScreenWatch::waitGone(const QDeadlineTimer& deadline) {
    return runUntil(deadline, [this] { return gone(); });
}

bool OffScreenWatch::waitOneFrame(const QDeadlineTimer& deadline) {
    const QDeadlineTimer frame(frameMs(), Qt::PreciseTimer);
    const bool inTime = frame.deadline() <= deadline.deadline();
    runUntil(inTime ? frame : deadline, [] { return false; });
    return inTime;
}

bool OffScreenWatch::waitRepainted(const QDeadlineTimer& deadline) {
    if (!waitGone(deadline)) return false;
    if (evidence_ == Evidence::CompositorFrame) {
        // The server has handled the unmap; the compositor shows it with its next frame.
        x11::sync(c_);
        return waitOneFrame(deadline);
    }
    return runUntil(deadline, [this] { return repainted(); });
}

}  // namespace numarika
