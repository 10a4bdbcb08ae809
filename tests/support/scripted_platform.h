#pragma once
// A platform layer that the tests script: it records what the program asked of it and
// answers as the test told it to.

#include <QImage>
#include <QList>
#include <QQueue>
#include <QSet>
#include <QString>
#include <functional>
#include <optional>

#include "controls/win_types.h"
#include "platform/dialogs.h"
#include "platform/hot_keys.h"
#include "platform/platform.h"
#include "platform/shell.h"
#include "tests/support/scripted_capture.h"
#include "tests/support/scripted_printer.h"

namespace numarika::testing {

class ScriptedHotKeys final : public HotKeys {
  public:
    struct Call {
        bool registering;
        std::int32_t id;
        std::uint32_t modifiers;
        std::uint32_t virtualKey;
    };
    bool refuse = false;     // the next registrations are refused (another program holds the key)
    bool noService = false;  // a desktop without global keys: every registration is refused
    QList<Call> calls;
    QSet<std::int32_t> registered;  // identifiers registered now

    bool registerHotKey(std::int32_t id, std::uint32_t modifiers,
                        std::uint32_t virtualKey) override;
    bool unregisterHotKey(std::int32_t id) override;
    bool everOffered() const override { return !noService; }
    // A press of the key, delivered from the event loop as the desktop does. False when no
    // hot key is registered (the press then goes elsewhere).
    bool press();
    // The desktop takes the registration back (a keyboard map without the key).
    void loseKey();

  private:
    QObject queued_;
};

class ScriptedDialogs final : public Dialogs {
  public:
    QStringList messages;
    // Answers, taken in order; an exhausted queue answers Cancel.
    QQueue<QString> inputAnswers;                 // a null QString means Cancel
    QQueue<std::optional<Colour>> colourAnswers;  // 0x00BBGGRR
    QQueue<std::optional<QString>> saveAnswers;
    struct Input {
        QString prompt, title, defaultText;
    };
    QList<Input> inputs;
    QList<SaveDialogRequest> saves;
    int colourDialogs = 0;
    int modalShows = 0;
    // Runs while a message box is "open" (for checking state at that moment).
    std::function<void(const QString&)> onMessage;
    std::function<void(QDialog&)> onModal;

    void messageBox(const QString& text) override;
    QString inputBox(const QString& prompt, const QString& title,
                     const QString& defaultText) override;
    std::optional<QColor> chooseColour(const QColor& initial) override;
    std::optional<QString> saveFileName(const SaveDialogRequest& request) override;
    void showModal(QDialog& dialog) override;
};

class ScriptedShell final : public Shell {
  public:
    QStringList opened;
    bool openUrl(const QString& url) override;
};

// Installs a fresh scripted platform and returns it; the pointers stay valid until the next
// install.
struct Scripted {
    Platform* platform;
    ScriptedHotKeys* hotKeys;
    ScriptedDialogs* dialogs;
    ScriptedShell* shell;
    ScriptedPrinter* printer;
    // The scan's desktop: see scripted_capture.h (no cursor is shown until a test sets one).
    ScriptedDesktop* desktop = nullptr;
    ScriptedClipboard* clipboard = nullptr;
    ScriptedKeyboard* keyboard = nullptr;
    ScriptedWindowControl* windows = nullptr;
    ScriptedCursor* cursor = nullptr;
};
Scripted installScriptedPlatform();

}  // namespace numarika::testing
