#include "tests/support/scripted_capture.h"

#include <QCoreApplication>
#include <QPainter>
#include <QWidget>

#include "platform/qt/qt_window_control.h"

namespace numarika::testing {
namespace {

QString stateName(WindowState s) {
    switch (s) {
        case WindowState::Minimized:
            return QStringLiteral("Minimized");
        case WindowState::Maximized:
            return QStringLiteral("Maximized");
        case WindowState::Normal:
            break;
    }
    return QStringLiteral("Normal");
}

}  // namespace

QImage patternPicture(QSize size) {
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x)
            line[x] = qRgb(x & 0xFF, y & 0xFF, ((x >> 8) & 0x0F) | (((y >> 8) & 0x0F) << 4));
    }
    return image;
}

// --- clipboard ------------------------------------------------------------------------------

std::optional<QImage> ScriptedClipboard::picture() {
    desktop_->log(QStringLiteral("clipboard read"));
    if (refuseRead) return std::nullopt;
    return content;
}

void ScriptedClipboard::clear() {
    desktop_->log(QStringLiteral("clipboard clear"));
    content.reset();
}

bool ScriptedClipboard::setPicture(const QImage& picture) {
    desktop_->log(QStringLiteral("clipboard set"));
    content = picture;
    return true;
}

// --- keyboard -------------------------------------------------------------------------------

void ScriptedKeyboard::keybdEvent(std::uint8_t virtualKey, std::uint8_t scanCode,
                                  std::uint32_t flags, std::uint32_t extraInfo) {
    desktop_->log(QStringLiteral("keybd %1 %2 %3 %4")
                      .arg(QString::number(virtualKey, 16).toUpper())
                      .arg(scanCode)
                      .arg(flags)
                      .arg(extraInfo));
    if (virtualKey != kPrintScreenKey || ignorePrintScreen) return;
    QMetaObject::invokeMethod(
        &pending_, [this] { grab(); }, Qt::QueuedConnection);
}

void ScriptedKeyboard::grab() {
    ++grabs;
    desktop_->log(QStringLiteral("grab"));
    QImage picture = desktop_->screen.copy();
    if (desktop_->state != WindowState::Minimized && !picture.isNull()) {
        QPainter p(&picture);
        p.fillRect(desktop_->windowRect, QColor(desktop_->windowColour));
    }
    clipboard_.setPicture(picture);
}

// --- window control -------------------------------------------------------------------------

WindowState ScriptedWindowControl::windowState(QWidget&) { return desktop_->state; }

void ScriptedWindowControl::setWindowState(QWidget&, WindowState state) {
    desktop_->log(QStringLiteral("state ") + stateName(state));
    desktop_->state = state;
}

void ScriptedWindowControl::setTopMost(QWidget&, bool topMost) {
    desktop_->log(topMost ? QStringLiteral("topMost on") : QStringLiteral("topMost off"));
    desktop_->topMost = topMost;
}

bool ScriptedWindowControl::activateByTitle(const QString& caption) {
    desktop_->log(QStringLiteral("activate ") + caption);
    if (refuseActivation) return false;
    activated.append(caption);
    return true;
}

void ScriptedWindowControl::doEvents() {
    ++yields;
    desktop_->log(QStringLiteral("yield"));
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    if (onYield) onYield(yields);
}

void ScriptedWindowControl::centreOnScreen(QWidget& window) {
    QtWindowControl().centreOnScreen(window);
}

// --- cursor ---------------------------------------------------------------------------------

ScriptedCursor::Shape ScriptedCursor::testShape(QRgb body, QPoint hotspot) {
    QImage image(12, 16, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 12; ++x) {
            if (x > y) continue;  // the transparent upper-right corner
            // Column 0 is half transparent: drawn over the picture, it blends.
            image.setPixel(
                x, y,
                x == 0 ? qPremultiply(qRgba(qRed(body), qGreen(body), qBlue(body), 0x80)) : body);
        }
    return {image, hotspot};
}

std::optional<QPoint> ScriptedCursor::cursorPos() {
    desktop_->log(QStringLiteral("cursorPos"));
    return position;
}

std::int32_t ScriptedCursor::windowFromPoint(QPoint screenPos) {
    desktop_->log(QStringLiteral("windowFromPoint %1,%2").arg(screenPos.x()).arg(screenPos.y()));
    return kWindowUnder;
}

std::int32_t ScriptedCursor::windowThreadId(std::int32_t window) {
    if (window != kWindowUnder) return 0;
    return overOwnWindow ? kOwnThread : kOtherThread;
}

std::int32_t ScriptedCursor::currentThreadId() { return kOwnThread; }

bool ScriptedCursor::attachThreadInput(std::int32_t ownThread, std::int32_t otherThread,
                                       bool attach) {
    desktop_->log(QStringLiteral("attach %1 %2")
                      .arg(otherThread, 0, 16)
                      .arg(attach ? QStringLiteral("on") : QStringLiteral("off")));
    if (ownThread != kOwnThread || otherThread == ownThread) return false;
    if (attach) {
        if (refuseAttach || attachedTo != 0) return false;
        attachedTo = otherThread;
        ++attaches;
        return true;
    }
    if (attachedTo != otherThread) return false;
    attachedTo = 0;
    ++detaches;
    return true;
}

CursorHandle ScriptedCursor::getCursor() {
    desktop_->log(QStringLiteral("getCursor #%1").arg(shown));
    return shown;
}

std::optional<CursorShape> ScriptedCursor::cursorShape(CursorHandle cursor) {
    desktop_->log(QStringLiteral("shape #%1").arg(cursor));
    const auto it = shapes.constFind(cursor);
    if (it == shapes.constEnd()) return std::nullopt;
    return *it;
}

// --- installation ---------------------------------------------------------------------------

ScriptedCapture installScriptedCapture(Platform& platform) {
    auto desktop = std::make_shared<ScriptedDesktop>();
    desktop->screen = patternPicture(QSize(640, 480));
    auto clipboard = std::make_unique<ScriptedClipboard>(desktop);
    auto keyboard = std::make_unique<ScriptedKeyboard>(desktop, *clipboard);
    auto windows = std::make_unique<ScriptedWindowControl>(desktop);
    auto cursor = std::make_unique<ScriptedCursor>(desktop);
    const ScriptedCapture capture{desktop.get(), clipboard.get(), keyboard.get(), windows.get(),
                                  cursor.get()};
    platform.clipboard = std::move(clipboard);
    platform.keyboard = std::move(keyboard);
    platform.windows = std::move(windows);
    platform.cursor = std::move(cursor);
    return capture;
}

}  // namespace numarika::testing
