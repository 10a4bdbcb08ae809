// The real desktop services of the scan where there is no X server (Qt's offscreen platform):
// each one refuses cleanly instead of crashing, and a scan ends on its error path with the
// window usable. Also the conversion of the server's pixels.

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QtTest>
#include <cstring>
#include <vector>

#include "controls/win_types.h"
#include "main_window/main.h"
#include "platform/print_screen_keyboard.h"
#include "platform/qt/qt_clipboard.h"
#include "platform/x11/x11_connection.h"
#include "platform/x11/x11_cursor.h"
#include "platform/x11/x11_screen_grab.h"
#include "platform/x11/x11_window_control.h"
#include "tests/support/scripted_platform.h"
#include "tests/support/test_app.h"

using namespace numarika;
using namespace numarika::testing;

namespace {

// The real capture services on top of the scripted rest.
Scripted installRealCapture() {
    Scripted s = installScriptedPlatform();
    s.platform->clipboard = std::make_unique<QtClipboard>();
    s.platform->keyboard =
        std::make_unique<PrintScreenKeyboard>(*s.platform, std::make_unique<X11ScreenSource>());
    s.platform->windows = std::make_unique<X11WindowControl>();
    s.platform->cursor = std::make_unique<X11CursorService>();
    s.clipboard = nullptr;
    s.keyboard = nullptr;
    s.windows = nullptr;
    s.cursor = nullptr;
    return s;
}

QImage filled(QSize size, QRgb colour) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

}  // namespace

class TestX11Services : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase() {
        initTestResources();
        QCOMPARE(QGuiApplication::platformName(), QStringLiteral("offscreen"));
        QVERIFY(x11::connection() == nullptr);
    }

    // --- pixels from the server ----------------------------------------------------------------

    void serverPixelsOfTheUsualLayoutGetAnOpaqueAlpha() {
        // Two pixels and a padded line end; the padding byte of each pixel is undefined.
        const std::vector<std::uint32_t> data{0x00123456, 0x7FABCDEF, 0xDEADBEEF,
                                              0x00000000, 0x00FFFFFF, 0xDEADBEEF};
        const auto image = imageFromServerPixels(reinterpret_cast<const std::uint8_t*>(data.data()),
                                                 2, 2, 12, XPixelLayout{});
        QVERIFY(image);
        QCOMPARE(image->format(), QImage::Format_RGB32);
        QCOMPARE(image->pixel(0, 0), 0xFF123456u);
        QCOMPARE(image->pixel(1, 0), 0xFFABCDEFu);
        QCOMPARE(image->pixel(0, 1), 0xFF000000u);
        QCOMPARE(image->pixel(1, 1), 0xFFFFFFFFu);
    }

    void serverPixelsInOtherLayouts() {
        // 32 bits, most significant byte first.
        const std::uint8_t msb[] = {0x00, 0x12, 0x34, 0x56};
        XPixelLayout bigEndian;
        bigEndian.msbFirst = true;
        auto image = imageFromServerPixels(msb, 1, 1, 4, bigEndian);
        QVERIFY(image);
        QCOMPARE(image->pixel(0, 0), qRgb(0x12, 0x34, 0x56));

        // 16 bits, 5-6-5: full intensity stays full.
        XPixelLayout rgb565{16, false, 0xF800, 0x07E0, 0x001F};
        const std::uint16_t pixels[] = {0xF800, 0x07E0, 0x001F, 0x8410};
        image =
            imageFromServerPixels(reinterpret_cast<const std::uint8_t*>(pixels), 4, 1, 8, rgb565);
        QVERIFY(image);
        QCOMPARE(image->pixel(0, 0), qRgb(255, 0, 0));
        QCOMPARE(image->pixel(1, 0), qRgb(0, 255, 0));
        QCOMPARE(image->pixel(2, 0), qRgb(0, 0, 255));
        QCOMPARE(image->pixel(3, 0), qRgb(0x84, 0x82, 0x84));

        // Channels in another order (blue high).
        XPixelLayout bgr{32, false, 0x0000FF, 0x00FF00, 0xFF0000};
        const std::uint32_t bgrPixel = 0x00563412;
        image =
            imageFromServerPixels(reinterpret_cast<const std::uint8_t*>(&bgrPixel), 1, 1, 4, bgr);
        QVERIFY(image);
        QCOMPARE(image->pixel(0, 0), qRgb(0x12, 0x34, 0x56));
    }

    void theUsualLayoutIsUsedAsItIs() {
        QVERIFY(isQtPixelLayout(XPixelLayout{}));
        XPixelLayout other;
        other.msbFirst = true;
        QVERIFY(!isQtPixelLayout(other));
        QVERIFY(!isQtPixelLayout(XPixelLayout{32, false, 0xFF, 0xFF00, 0xFF0000}));
        QVERIFY(!isQtPixelLayout(XPixelLayout{16, false, 0xF800, 0x07E0, 0x001F}));
        // Only the padding byte of each pixel changes, not the line ends.
        std::uint32_t data[] = {0x00123456, 0x00ABCDEF, 0x11111111,
                                0x7F000000, 0x00FFFFFF, 0x22222222};
        makeOpaque(reinterpret_cast<std::uint8_t*>(data), 2, 2, 12);
        QCOMPARE(data[0], 0xFF123456u);
        QCOMPARE(data[1], 0xFFABCDEFu);
        QCOMPARE(data[2], 0x11111111u);
        QCOMPARE(data[3], 0xFF000000u);
        QCOMPARE(data[4], 0xFFFFFFFFu);
        QCOMPARE(data[5], 0x22222222u);
    }

    void everyWidthIsMadeOpaqueAndNothingBeyond() {
        // Widths around the sizes of the wide steps, with and without padding between lines,
        // and data that does not start on a 16-byte boundary.
        for (int width = 1; width <= 37; ++width) {
            for (const int padWords : {0, 1, 3}) {
                const int height = 3;
                const int wordsPerLine = width + padWords;
                std::vector<std::uint32_t> data(static_cast<std::size_t>(wordsPerLine) * height +
                                                2);
                for (std::size_t i = 0; i < data.size(); ++i)
                    data[i] = static_cast<std::uint32_t>(i * 0x01030507u) & 0x7FFFFFFFu;
                const std::vector<std::uint32_t> before = data;
                auto* bytes = reinterpret_cast<std::uint8_t*>(data.data() + 1);
                makeOpaque(bytes, width, height, wordsPerLine * 4);
                for (std::size_t i = 0; i < data.size(); ++i) {
                    const long word = static_cast<long>(i) - 1;
                    const bool pixel =
                        word >= 0 && word < wordsPerLine * height && word % wordsPerLine < width;
                    QCOMPARE(data[i], pixel ? (before[i] | 0xFF000000u) : before[i]);
                }

                // The copying conversion of the same lines.
                const auto image =
                    imageFromServerPixels(bytes, width, height, wordsPerLine * 4, XPixelLayout{});
                QVERIFY(image);
                for (int y = 0; y < height; ++y)
                    for (int x = 0; x < width; ++x)
                        QCOMPARE(image->pixel(x, y),
                                 before[1 + static_cast<std::size_t>(y) * wordsPerLine + x] |
                                     0xFF000000u);
            }
        }
        makeOpaque(nullptr, 4, 4, 16);  // nothing to do, nothing touched
    }

    void serverPixelsThatCannotBeRead() {
        const std::uint8_t data[64] = {};
        XPixelLayout palette{8, false, 0, 0, 0};
        QVERIFY(!imageFromServerPixels(data, 2, 2, 8, palette));
        QVERIFY(!imageFromServerPixels(data, 4, 2, 8, XPixelLayout{}));  // lines too short
        QVERIFY(!imageFromServerPixels(nullptr, 2, 2, 8, XPixelLayout{}));
        QVERIFY(!imageFromServerPixels(data, 0, 2, 8, XPixelLayout{}));
    }

    // --- no X server ---------------------------------------------------------------------------

    void cursorServiceRefuses() {
        installScriptedPlatform();
        main w;
        X11CursorService cursor;
        QVERIFY(!cursor.cursorPos());
        QCOMPARE(cursor.windowFromPoint(QPoint(10, 10)), 0);
        QCOMPARE(cursor.windowThreadId(0x400005), 0);
        QVERIFY(!cursor.attachThreadInput(cursor.currentThreadId(), 0x400001, true));
        QCOMPARE(cursor.getCursor(), 0);
        QVERIFY(!cursor.cursorShape(0));
        QVERIFY(!cursor.cursorShape(12345));
    }

    void grabberAndKeyboardRefuse() {
        X11ScreenGrabber grabber;
        QVERIFY(!grabber.grabDesktop());

        // The clipboard's old picture must not pass for a new screen picture.
        Platform platform;
        platform.clipboard = std::make_unique<QtClipboard>();
        Clipboard& clipboard = *platform.clipboard;
        QVERIFY(clipboard.setPicture(filled(QSize(8, 8), qRgb(9, 9, 9))));
        PrintScreenKeyboard keyboard(platform, std::make_unique<X11ScreenSource>());
        keyboard.keybdEvent(VK_SNAPSHOT, 1, 0x2, 0);  // key up: nothing
        keyboard.keybdEvent(0x41, 0, 0, 0);           // another key: nothing
        QCoreApplication::processEvents();
        QVERIFY(clipboard.picture());
        keyboard.keybdEvent(VK_SNAPSHOT, 1, 0, 0);
        QVERIFY(clipboard.picture());  // the system acts later, not inside the call
        QCoreApplication::processEvents();
        QVERIFY(!clipboard.picture());
    }

    void pendingPrintScreenDiesWithTheKeyboard() {
        Platform platform;
        platform.clipboard = std::make_unique<QtClipboard>();
        Clipboard& clipboard = *platform.clipboard;
        QVERIFY(clipboard.setPicture(filled(QSize(8, 8), qRgb(9, 9, 9))));
        {
            PrintScreenKeyboard keyboard(platform, std::make_unique<X11ScreenSource>());
            keyboard.keybdEvent(VK_SNAPSHOT, 1, 0, 0);
        }
        QCoreApplication::processEvents();  // must not touch the destroyed keyboard
        QVERIFY(clipboard.picture());
    }

    void clipboardRoundTrip() {
        QtClipboard clipboard;
        const QImage picture = filled(QSize(30, 20), qRgb(10, 200, 30));
        QVERIFY(clipboard.setPicture(picture));
        auto back = clipboard.picture();
        QVERIFY(back);
        QCOMPARE(back->size(), picture.size());
        QCOMPARE(back->pixel(5, 5), picture.pixel(5, 5));
        QVERIFY(!clipboard.setPicture(QImage()));

        // Another program taking the clipboard (a clipboard manager) does not replace the
        // picture this program put there.
        QGuiApplication::clipboard()->setText(QStringLiteral("text"));
        QCOMPARE(clipboard.picture()->pixel(5, 5), picture.pixel(5, 5));

        clipboard.clear();
        QVERIFY(!clipboard.picture());
        // Text is no picture.
        QGuiApplication::clipboard()->setText(QStringLiteral("text"));
        QVERIFY(!clipboard.picture());
    }

    void windowControlWithoutX() {
        installScriptedPlatform();
        main w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        X11WindowControl windows;
        QCOMPARE(windows.windowState(w), WindowState::Normal);
        windows.setWindowState(w, WindowState::Maximized);
        QCOMPARE(windows.windowState(w), WindowState::Maximized);
        windows.setWindowState(w, WindowState::Minimized);
        QCOMPARE(windows.windowState(w), WindowState::Minimized);
        windows.setTopMost(w, true);  // a minimised window stays minimised
        QCOMPARE(windows.windowState(w), WindowState::Minimized);
        windows.setWindowState(w, WindowState::Normal);  // not back to maximised
        QCOMPARE(windows.windowState(w), WindowState::Normal);
        QVERIFY(w.isVisible());
        windows.setTopMost(w, false);

        QVERIFY(windows.activateByTitle(QStringLiteral("ヌマリカ Ver1.00")));
        QVERIFY(!windows.activateByTitle(QStringLiteral("ヌマリカ")));
        w.hide();
        QVERIFY(!windows.activateByTitle(QStringLiteral("ヌマリカ Ver1.00")));

        bool ran = false;
        QMetaObject::invokeMethod(
            &w, [&ran] { ran = true; }, Qt::QueuedConnection);
        windows.doEvents();
        QVERIFY(ran);
    }

    void scanWithoutXEndsOnTheErrorPath() {
        Scripted s = installRealCapture();
        main w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QGuiApplication::clipboard()->setImage(filled(QSize(50, 50), qRgb(1, 2, 3)));
        w.m_n_cap_Click();
        QCOMPARE(s.dialogs->messages,
                 QStringList{QStringLiteral("エラー発生しました。もう一度スキャンして下さい")});
        QVERIFY(!w.Picture2->Visible());
        QVERIFY(!w.m_all_save->isEnabled());
        // Usable again: back on the screen, in the normal state, the hot key registered.
        QVERIFY(w.isVisible());
        QVERIFY(!w.isMinimized());
        QCOMPARE(s.hotKeys->registered.size(), 1);
    }
};

QTEST_MAIN(TestX11Services)
#include "test_x11_services.moc"
