#pragma once
// A scripted desktop for the scan: the clipboard, the Print Screen key, the window control
// and the cursor, answering as the test says and writing every call into one journal.
//
// Getting a picture into the canvas from any test:
//     Scripted s = installScriptedPlatform();
//     s.desktop->screen = myPicture;   // what the "screen" shows
//     main w;
//     w.m_n_cap_Click();                // the scan; the canvas then holds myPicture
//
// While the program's window is on the screen (not minimised), a Print Screen press paints
// it into the picture as a rectangle of `windowColour` at `windowRect`, so a test can tell
// whether the window was in the picture.

#include <QHash>
#include <QImage>
#include <QObject>
#include <QPointer>
#include <QQueue>
#include <QRect>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

#include "platform/clipboard.h"
#include "platform/cursor.h"
#include "platform/keyboard.h"
#include "platform/platform.h"
#include "platform/window_control.h"

namespace numarika::testing {

// What the scripted screen shows and what has happened to it.
struct ScriptedDesktop {
    // Every call of the four services, in order, e.g. "cursorPos", "yield", "state Minimized",
    // "topMost on", "keybd 2C 1 0 0", "clipboard read", "drawIcon 93 72 #7".
    QStringList journal;
    QImage screen;
    QRect windowRect{300, 200, 120, 80};
    QRgb windowColour = qRgb(0xFF, 0x00, 0xFF);
    // The state the program's window is in, and whether it is top-most.
    WindowState state = WindowState::Normal;
    bool topMost = false;
    void log(const QString& entry) { journal.append(entry); }
};

// A picture of `size` in which every pixel differs from its neighbours.
QImage patternPicture(QSize size);

class ScriptedClipboard final : public Clipboard {
  public:
    explicit ScriptedClipboard(std::shared_ptr<ScriptedDesktop> desktop)
        : desktop_(std::move(desktop)) {}
    std::optional<QImage> content;
    bool refuseRead = false;  // the clipboard cannot be read

    std::optional<QImage> picture() override;
    void clear() override;
    bool setPicture(const QImage& picture) override;

  private:
    std::shared_ptr<ScriptedDesktop> desktop_;
};

class ScriptedKeyboard final : public Keyboard {
  public:
    ScriptedKeyboard(std::shared_ptr<ScriptedDesktop> desktop, Clipboard& clipboard)
        : desktop_(std::move(desktop)), clipboard_(clipboard) {}
    // The system does nothing with Print Screen (the clipboard keeps what it had).
    bool ignorePrintScreen = false;
    int grabs = 0;

    // Print Screen: the screen picture reaches the clipboard once the caller yields, as on
    // the real desktop.
    void keybdEvent(std::uint8_t virtualKey, std::uint8_t scanCode, std::uint32_t flags,
                    std::uint32_t extraInfo) override;

  private:
    void grab();
    std::shared_ptr<ScriptedDesktop> desktop_;
    Clipboard& clipboard_;
    QObject pending_;
};

class ScriptedWindowControl final : public WindowControl {
  public:
    explicit ScriptedWindowControl(std::shared_ptr<ScriptedDesktop> desktop)
        : desktop_(std::move(desktop)) {}
    bool refuseActivation = false;  // no window carries the caption
    QStringList activated;
    QStringList activationTokens;  // handed over for the next activation, in order
    int yields = 0;
    // Runs inside every yield, after the pending events: the yield's number (from 1) is given.
    std::function<void(int)> onYield;

    WindowState windowState(QWidget& window) override;
    void setWindowState(QWidget& window, WindowState state) override;
    void setTopMost(QWidget& window, bool topMost) override;
    bool activateByTitle(const QString& caption) override;
    void useActivationToken(const QString& token) override { activationTokens.append(token); }
    void doEvents() override;
    // Centred as Qt alone would (the scripted desktop has no frames).
    void centreOnScreen(QWidget& window) override;

  private:
    std::shared_ptr<ScriptedDesktop> desktop_;
};

class ScriptedCursor final : public CursorService {
  public:
    explicit ScriptedCursor(std::shared_ptr<ScriptedDesktop> desktop)
        : desktop_(std::move(desktop)) {}
    using Shape = CursorShape;
    std::optional<QPoint> position = QPoint(40, 30);
    bool overOwnWindow = false;  // the pointer is over the program's window
    bool refuseAttach = false;
    static constexpr std::int32_t kOwnThread = 0x100;
    static constexpr std::int32_t kOtherThread = 0x200;
    static constexpr std::int32_t kWindowUnder = 0x4A0;
    QHash<CursorHandle, Shape> shapes;
    CursorHandle shown = 0;  // the cursor on the screen now
    int attaches = 0;        // successful attaches
    int detaches = 0;
    std::int32_t attachedTo = 0;  // the thread attached now (0: none)

    // A 12 x 16 arrow-like test cursor with an opaque body, a transparent corner and a
    // half-transparent column.
    static Shape testShape(QRgb body, QPoint hotspot);

    std::optional<QPoint> cursorPos() override;
    std::int32_t windowFromPoint(QPoint screenPos) override;
    std::int32_t windowThreadId(std::int32_t window) override;
    std::int32_t currentThreadId() override;
    bool attachThreadInput(std::int32_t ownThread, std::int32_t otherThread, bool attach) override;
    CursorHandle getCursor() override;
    std::optional<CursorShape> cursorShape(CursorHandle cursor) override;

  private:
    std::shared_ptr<ScriptedDesktop> desktop_;
};

// The four services on one fresh desktop, installed into `platform`; the pointers live as
// long as the platform. installScriptedPlatform() does this for every test.
struct ScriptedCapture {
    ScriptedDesktop* desktop;
    ScriptedClipboard* clipboard;
    ScriptedKeyboard* keyboard;
    ScriptedWindowControl* windows;
    ScriptedCursor* cursor;
};
ScriptedCapture installScriptedCapture(Platform& platform);

}  // namespace numarika::testing
