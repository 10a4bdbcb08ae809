#include "tests/support/scripted_platform.h"

#include <QCoreApplication>

#include "capture/module1.h"
#include "controls/user32.h"

namespace numarika::testing {

bool ScriptedHotKeys::registerHotKey(std::int32_t id, std::uint32_t modifiers,
                                     std::uint32_t virtualKey) {
    calls.append({true, id, modifiers, virtualKey});
    if (refuse || noService) return false;
    registered.insert(id);
    return true;
}

bool ScriptedHotKeys::unregisterHotKey(std::int32_t id) {
    calls.append({false, id, 0, 0});
    return registered.remove(id);
}

bool ScriptedHotKeys::press() {
    if (registered.isEmpty()) return false;
    const std::int32_t id = *registered.cbegin();
    QMetaObject::invokeMethod(
        &queued_, [this, id] { notifyActivated(id); }, Qt::QueuedConnection);
    return true;
}

void ScriptedHotKeys::loseKey() {
    const QSet<std::int32_t> lost = std::exchange(registered, {});
    for (std::int32_t id : lost) notifyLost(id);
}

void ScriptedDialogs::messageBox(const QString& text) {
    messages.append(text);
    if (onMessage) onMessage(text);
}

QString ScriptedDialogs::inputBox(const QString& prompt, const QString& title,
                                  const QString& defaultText) {
    inputs.append({prompt, title, defaultText});
    return inputAnswers.isEmpty() ? QString() : inputAnswers.dequeue();
}

std::optional<QColor> ScriptedDialogs::chooseColour(const QColor&) {
    ++colourDialogs;
    const std::optional<Colour> answer =
        colourAnswers.isEmpty() ? std::nullopt : colourAnswers.dequeue();
    if (!answer) return std::nullopt;
    return QColor(rgbOf(*answer));
}

std::optional<QString> ScriptedDialogs::saveFileName(const SaveDialogRequest& request) {
    saves.append(request);
    return saveAnswers.isEmpty() ? std::nullopt : saveAnswers.dequeue();
}

void ScriptedDialogs::showModal(QDialog& dialog) {
    ++modalShows;
    if (onModal) onModal(dialog);
}

bool ScriptedShell::openUrl(const QString& url) {
    opened.append(url);
    return true;
}

Scripted installScriptedPlatform() {
    // Module1's state belongs to one program run; every test starts a fresh one.
    Module1::lngPrevWndProc = 0;
    Module1::lngHotKeyAtom = 0;
    resetUser32();
    auto platform = std::make_unique<Platform>();
    auto hotKeys = std::make_unique<ScriptedHotKeys>();
    auto dialogs = std::make_unique<ScriptedDialogs>();
    auto shell = std::make_unique<ScriptedShell>();
    auto printer = std::make_unique<ScriptedPrinter>();
    Scripted s{platform.get(), hotKeys.get(), dialogs.get(), shell.get(), printer.get()};
    platform->hotKeys = std::move(hotKeys);
    platform->dialogs = std::move(dialogs);
    platform->shell = std::move(shell);
    const ScriptedCapture capture = installScriptedCapture(*platform);
    s.desktop = capture.desktop;
    s.clipboard = capture.clipboard;
    s.keyboard = capture.keyboard;
    s.windows = capture.windows;
    s.cursor = capture.cursor;
    platform->printer = std::move(printer);
    installPlatform(std::move(platform));
    return s;
}

}  // namespace numarika::testing
