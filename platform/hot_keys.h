#pragma once
// System-wide hot keys. While a key is registered, each press of it anywhere on the desktop
// reaches the activation handler with the registration's identifier, on the UI thread.

#include <cstdint>
#include <functional>
#include <vector>

namespace numarika {

class HotKeys {
  public:
    using Handler = std::function<void(std::int32_t id)>;

    virtual ~HotKeys() = default;
    // False when the desktop refuses (another program holds the key, or the desktop offers
    // no global keys). Keys are the window system's virtual-key codes.
    virtual bool registerHotKey(std::int32_t id, std::uint32_t modifiers,
                                std::uint32_t virtualKey) = 0;
    virtual bool unregisterHotKey(std::int32_t id) = 0;
    // False where the desktop has no global-key service at all (sway, GNOME before 48 on
    // Wayland): known at start and unchanged for the session, so a refusal there is final,
    // unlike a key another program holds now and may let go of later.
    virtual bool everOffered() const { return true; }
    // True while the desktop is still deciding about a registration it accepted, maybe asking
    // the user in a dialog of its own that goes away with our window (GNOME): a scan, which
    // hides the window, waits for the decision (afterDecided).
    virtual bool deciding() const { return false; }
    // Opens the desktop's settings of our global shortcut, where it has such a page for a
    // program (KDE Plasma 6.5 and later); false where it has none.
    virtual bool configure() { return false; }
    // Runs `then` once, on the UI thread, when nothing is being decided any more.
    void afterDecided(std::function<void()> then) {
        if (!deciding()) {
            then();
            return;
        }
        waiting_.push_back(std::move(then));
    }

    // `activated` hears the presses; `lost` hears of a registration that the desktop took
    // back later (the keyboard map changed and the key could not be had again, the portal
    // closed the session); `refused` of one the desktop gave no key, or took it away, and
    // still keeps: should the user give it a key later in the desktop's settings, its presses
    // come without a new registration. Without `refused`, `lost` hears those too. All run on
    // the UI thread.
    void setHandlers(Handler activated, Handler lost, Handler refused = nullptr) {
        activated_ = std::move(activated);
        lost_ = std::move(lost);
        refused_ = std::move(refused);
    }

  protected:
    void notifyActivated(std::int32_t id) const {
        if (activated_) activated_(id);
    }
    void notifyLost(std::int32_t id) const {
        if (lost_) lost_(id);
    }
    void notifyRefused(std::int32_t id) const {
        if (refused_)
            refused_(id);
        else
            notifyLost(id);
    }
    // The decision deciding() waited for is made.
    void notifyDecided() {
        std::vector<std::function<void()>> waiting;
        waiting.swap(waiting_);
        for (auto& then : waiting) then();
    }

  private:
    Handler activated_;
    Handler lost_;
    Handler refused_;
    std::vector<std::function<void()>> waiting_;
};

}  // namespace numarika
