#pragma once
// Evidence that a top-level window has left the screen, for a screen grab that must not show
// it: the X server's word that the window's frame (or the window itself, where nothing framed
// it) is unmapped, and that what it covered has been painted again.
//
// The second half matters as much as the first. Without a compositor the windows beneath
// repaint an area that was uncovered only when their program gets to it, tens or hundreds of
// milliseconds later; until then the screen still holds the pixels of the window that left.
// The DAMAGE extension on the root window reports every drawing on the screen, a compositor's
// drawing into its overlay window included (seen with picom's xrender backend), so the watch
// waits until the uncovered area, and every place the frame passed on its way out, has been
// painted and has stayed quiet for a moment. Under Xwayland the root window is not what
// the user sees: there it waits for the compositor (the server has handled the unmap, then a
// frame). Every wait ends at its deadline, and the caller goes on without the evidence.

#include <xcb/xcb.h>

#include <QAbstractNativeEventFilter>
#include <QDeadlineTimer>
#include <QRect>
#include <QRegion>
#include <cstdint>
#include <functional>

namespace numarika {

class OffScreenWatch final : public QAbstractNativeEventFilter {
  public:
    // How long what was uncovered must stay without drawing before it counts as settled: a
    // frame of the screen; with a compositor three, since it draws in frames and may animate
    // the window's leaving (a fade), and a frame can come late on a busy machine.
    static constexpr int kQuietMs = 16;
    static constexpr int kCompositorQuietMs = 50;

    // Starts watching `frame` (the top-level ancestor of our window `own`, or `own` itself)
    // and the screen beneath it. Construct before asking for the unmap, so that nothing the
    // server does afterwards is missed.
    OffScreenWatch(xcb_connection_t* c, xcb_window_t root, xcb_window_t own, xcb_window_t frame);
    ~OffScreenWatch() override;
    OffScreenWatch(const OffScreenWatch&) = delete;
    OffScreenWatch& operator=(const OffScreenWatch&) = delete;

    // Nothing of the window or its frame is on the screen: the frame is unmapped or destroyed.
    bool gone() const { return !frameMapped_; }
    // Runs the event loop, user input held back, until gone() or the deadline. True when gone.
    bool waitGone(const QDeadlineTimer& deadline);
    // Then until what the frame covered has been painted again and stayed quiet (kQuietMs,
    // kCompositorQuietMs), or under Xwayland or without DAMAGE one frame of the screen. False
    // at the deadline.
    bool waitRepainted(const QDeadlineTimer& deadline);

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override;

  private:
    enum class Evidence { RootDamage, CompositorFrame };
    // The damage object on the root window, destroyed with the watch.
    struct ScopedDamage {
        xcb_connection_t* c = nullptr;
        std::uint32_t id = 0;
        ScopedDamage() = default;
        ScopedDamage(const ScopedDamage&) = delete;
        ScopedDamage& operator=(const ScopedDamage&) = delete;
        ~ScopedDamage();
    };
    // Our selection of the frame's structure events, given up with the watch.
    struct ScopedSelection {
        xcb_connection_t* c = nullptr;
        xcb_window_t window = XCB_WINDOW_NONE;
        ScopedSelection() = default;
        ScopedSelection(const ScopedSelection&) = delete;
        ScopedSelection& operator=(const ScopedSelection&) = delete;
        ~ScopedSelection();
    };

    void onDamage(const xcb_rectangle_t& area);
    void onFrameMoved(QRect geometry);
    bool repainted() const;
    // Runs the event loop until `done` holds (checked after each event we watch) or the
    // deadline; `done` is checked once more at the end.
    bool runUntil(const QDeadlineTimer& deadline, const std::function<bool()>& done);
    bool waitOneFrame(const QDeadlineTimer& deadline);

    xcb_connection_t* c_;
    xcb_window_t frame_;
    ScopedSelection selection_;
    ScopedDamage damage_;
    std::uint8_t damageEvent_ = 0;
    Evidence evidence_ = Evidence::CompositorFrame;
    bool composited_ = false;

    bool frameMapped_ = false;
    QRect frameRect_;  // on the root, border included
    QRect screen_;     // the root's
    // What windows above the frame cover: neither ours to uncover nor anyone's to repaint.
    QRegion above_;
    // What the frame covers or covered and nobody above it does: what has to be painted again.
    QRegion uncovered_;
    // Painted since it was uncovered.
    QRegion painted_;
    QDeadlineTimer quietUntil_{0};
    std::function<void()> onChange_;
};

}  // namespace numarika
