#pragma once
// The stand-ins for services a desktop does not offer: each refuses, leaves a line in the
// platform log, and never pretends. A platform starts with these and a desktop replaces what
// it has, so callers never meet a missing service.

#include <memory>

#include "platform/clipboard.h"
#include "platform/cursor.h"
#include "platform/dialogs.h"
#include "platform/hot_keys.h"
#include "platform/keyboard.h"
#include "platform/printer.h"
#include "platform/shell.h"
#include "platform/window_control.h"

namespace numarika {

class NullHotKeys final : public HotKeys {
  public:
    bool registerHotKey(std::int32_t id, std::uint32_t modifiers,
                        std::uint32_t virtualKey) override;
    bool unregisterHotKey(std::int32_t id) override;
    bool everOffered() const override { return false; }
};

class NullClipboard final : public Clipboard {
  public:
    std::optional<QImage> picture() override;
    void clear() override {}
    bool setPicture(const QImage& picture) override;
};

// No desktop picture can be had: a Print Screen press empties the clipboard, so that an
// older picture there never passes for the screen.
class NullKeyboard final : public Keyboard {
  public:
    // `clipboard`: the platform's slot, whose service may be replaced after this one is made.
    explicit NullKeyboard(std::unique_ptr<Clipboard>& clipboard) : clipboard_(clipboard) {}
    void keybdEvent(std::uint8_t virtualKey, std::uint8_t scanCode, std::uint32_t flags,
                    std::uint32_t extraInfo) override;

  private:
    std::unique_ptr<Clipboard>& clipboard_;
};

// Where no desktop service can place or hide a window: its state is read from Qt and left as
// it is, and a yield still dispatches the waiting events and work, so that scans run (and
// fail at the picture) rather than hang.
class NullWindowControl final : public WindowControl {
  public:
    WindowState windowState(QWidget& window) override;
    void setWindowState(QWidget& window, WindowState state) override;
    void setTopMost(QWidget&, bool) override {}
    bool activateByTitle(const QString& caption) override;
    void doEvents() override;
    void centreOnScreen(QWidget&) override {}
};

class NullCursor final : public CursorService {
  public:
    std::optional<QPoint> cursorPos() override { return std::nullopt; }
    std::int32_t windowFromPoint(QPoint) override { return 0; }
    std::int32_t windowThreadId(std::int32_t) override { return 0; }
    std::int32_t currentThreadId() override { return 1; }
    bool attachThreadInput(std::int32_t, std::int32_t, bool) override { return false; }
    CursorHandle getCursor() override { return 0; }
    std::optional<CursorShape> cursorShape(CursorHandle) override { return std::nullopt; }
};

// Without a desktop to show them, boxes cannot be answered: the text goes to the log, and
// every question is answered as if cancelled.
class NullDialogs final : public Dialogs {
  public:
    void messageBox(const QString& text) override;
    QString inputBox(const QString& prompt, const QString& title,
                     const QString& defaultText) override;
    std::optional<QColor> chooseColour(const QColor& initial) override;
    std::optional<QString> saveFileName(const SaveDialogRequest& request) override;
    void showModal(QDialog& dialog) override;
};

class NullShell final : public Shell {
  public:
    bool openUrl(const QString& url) override;
};

class NullPrinter final : public Printer {
  public:
    bool showPrintDialog() override;
    bool paintPicture(const QImage&, QPoint) override { return false; }
    bool endDoc() override { return false; }
    void killDoc() override {}
    QString errorString() const override;
};

}  // namespace numarika
