#include "platform/null_services.h"

#include <QCoreApplication>
#include <QWidget>

#include "platform/logging.h"
#include "platform/pending_work.h"

namespace numarika {

bool NullHotKeys::registerHotKey(std::int32_t id, std::uint32_t, std::uint32_t virtualKey) {
    qCInfo(lcPlatform) << "hot key" << id << "for key" << virtualKey
                       << "refused: this desktop offers no global keys";
    return false;
}

bool NullHotKeys::unregisterHotKey(std::int32_t) { return false; }

std::optional<QImage> NullClipboard::picture() { return std::nullopt; }

bool NullClipboard::setPicture(const QImage&) {
    qCInfo(lcPlatform) << "clipboard refused: this desktop has none";
    return false;
}

void NullKeyboard::keybdEvent(std::uint8_t virtualKey, std::uint8_t, std::uint32_t flags,
                              std::uint32_t) {
    if (virtualKey != kPrintScreenKey || (flags & kKeyEventKeyUp)) return;
    qCInfo(lcPlatform) << "Print Screen: no picture of the screen can be had on this desktop";
    clipboard_->clear();
}

WindowState NullWindowControl::windowState(QWidget& window) {
    if (window.isMinimized()) return WindowState::Minimized;
    if (window.isMaximized()) return WindowState::Maximized;
    return WindowState::Normal;
}

void NullWindowControl::setWindowState(QWidget&, WindowState state) {
    qCInfo(lcPlatform) << "window state" << static_cast<int>(state)
                       << "not set: no desktop service places windows";
}

bool NullWindowControl::activateByTitle(const QString& caption) {
    qCInfo(lcPlatform) << "no window activated by its caption" << caption;
    return false;
}

void NullWindowControl::doEvents() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    PendingWork::waitUntilIdle();
}

void NullDialogs::messageBox(const QString& text) {
    qCWarning(lcPlatform).noquote() << "message not shown (no desktop):" << text;
}

QString NullDialogs::inputBox(const QString&, const QString&, const QString&) { return {}; }

std::optional<QColor> NullDialogs::chooseColour(const QColor&) { return std::nullopt; }

std::optional<QString> NullDialogs::saveFileName(const SaveDialogRequest&) { return std::nullopt; }

void NullDialogs::showModal(QDialog&) { qCInfo(lcPlatform) << "window not shown: no desktop"; }

bool NullShell::openUrl(const QString& url) {
    qCInfo(lcPlatform) << "no program to open" << url;
    return false;
}

bool NullPrinter::showPrintDialog() {
    qCInfo(lcPlatform) << "no printing on this desktop";
    return false;
}

QString NullPrinter::errorString() const { return QStringLiteral("印刷できる環境がありません。"); }

}  // namespace numarika
