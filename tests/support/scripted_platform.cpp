#include "tests/support/scripted_platform.h"

#include <QCoreApplication>

#include "capture/module1.h"

namespace numarika::testing {

bool ScriptedHotKeys::registerHotKey(Hwnd hwnd, Int32 id, std::uint32_t modifiers,
                                     std::uint32_t virtualKey) {
    calls.append({true, hwnd, id, modifiers, virtualKey});
    if (refuse) return false;
    registered.insert(id);
    hwnd_ = hwnd;
    return true;
}

bool ScriptedHotKeys::unregisterHotKey(Hwnd hwnd, Int32 id) {
    calls.append({false, hwnd, id, 0, 0});
    return registered.remove(id);
}

bool ScriptedHotKeys::press() {
    if (registered.isEmpty()) return false;
    services().windowProcedures.postMessage(hwnd_, WM_HOTKEY, *registered.cbegin(), 0);
    return true;
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

std::optional<Colour> ScriptedDialogs::chooseColour(Colour) {
    ++colourDialogs;
    return colourAnswers.isEmpty() ? std::nullopt : colourAnswers.dequeue();
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
