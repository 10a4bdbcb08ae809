#pragma once
// System-wide hot keys. While a key is registered, each press of it anywhere on the desktop
// reaches the activation handler with the registration's identifier, on the UI thread.

#include <cstdint>
#include <functional>

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

    // `activated` hears the presses; `lost` hears of a registration that the desktop took
    // back later (the keyboard map changed and the key could not be had again, a portal
    // withdrew the shortcut). Both run on the UI thread.
    void setHandlers(Handler activated, Handler lost) {
        activated_ = std::move(activated);
        lost_ = std::move(lost);
    }

  protected:
    void notifyActivated(std::int32_t id) const {
        if (activated_) activated_(id);
    }
    void notifyLost(std::int32_t id) const {
        if (lost_) lost_(id);
    }

  private:
    Handler activated_;
    Handler lost_;
};

}  // namespace numarika
