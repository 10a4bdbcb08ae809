#pragma once
// Work that the desktop does for the program after a call has returned: the screen picture
// that a Print Screen press puts on the clipboard. A yield (WindowControl::doEvents) waits
// until none is left, so that the caller finds the result once it has yielded, as it would
// after a key press that the system handles. Every piece of work ends by itself, within its
// own time-out. UI thread only.

#include <QtGlobal>

namespace numarika {

class PendingWork {
  public:
    // One piece of work, for as long as the token lives (or until end()).
    class Token {
      public:
        Token() = default;
        explicit Token(const char* what);
        ~Token() { end(); }
        Token(Token&& other) noexcept : what_(other.what_) { other.what_ = nullptr; }
        Token& operator=(Token&& other) noexcept;
        Token(const Token&) = delete;
        Token& operator=(const Token&) = delete;
        void end();
        bool active() const { return what_ != nullptr; }

      private:
        const char* what_ = nullptr;
    };

    static bool idle();
    // Runs the event loop until no work is left (all events, as a yield does).
    static void waitUntilIdle();
};

}  // namespace numarika
