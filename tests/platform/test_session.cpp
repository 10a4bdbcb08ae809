// Which desktop the program runs on (chosen before Qt starts), and what it does with the
// picture file the desktop portal hands over.

#include <sys/stat.h>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QtTest>
#include <atomic>
#include <chrono>
#include <thread>

#include "platform/desktop/session.h"
#include "platform/portal/portal_screenshot.h"

using namespace numarika;

namespace {

// A session as the environment describes it; every desktop named is reachable unless said.
SessionEnvironment session(QByteArray qpa, QByteArray wayland, QByteArray x, bool waylandUp = true,
                           bool xUp = true, bool plugin = true) {
    SessionEnvironment env;
    env.qpaPlatform = std::move(qpa);
    env.waylandDisplay = std::move(wayland);
    env.display = std::move(x);
    env.waylandReachable = [waylandUp] { return waylandUp; };
    env.xReachable = [xUp] { return xUp; };
    env.waylandPluginInstalled = [plugin] { return plugin; };
    return env;
}

}  // namespace

Q_DECLARE_METATYPE(numarika::SessionEnvironment)

class TestSession : public QObject {
    Q_OBJECT
  private slots:
    void chooseSession_data() {
        QTest::addColumn<SessionEnvironment>("environment");
        QTest::addColumn<QByteArray>("platform");
        QTest::addColumn<QString>("error");  // a part of the message, empty for none
        QTest::newRow("Wayland session")
            << session({}, "wayland-0", ":0") << QByteArray("wayland") << QString();
        QTest::newRow("X11 session") << session({}, {}, ":0") << QByteArray("xcb") << QString();
        QTest::newRow("user's xcb in a Wayland session")
            << session("xcb", "wayland-0", ":0") << QByteArray() << QString();
        QTest::newRow("user's offscreen")
            << session("offscreen", {}, {}) << QByteArray() << QString();
        QTest::newRow("no Wayland plugin: Xwayland")
            << session({}, "wayland-0", ":0", true, true, false) << QByteArray("xcb") << QString();
        QTest::newRow("compositor gone, X there")
            << session({}, "wayland-0", ":0", false) << QByteArray("xcb") << QString();
        QTest::newRow("nothing") << session({}, {}, {}) << QByteArray()
                                 << QStringLiteral("neither WAYLAND_DISPLAY nor DISPLAY");
        QTest::newRow("X gone") << session({}, {}, ":5", true, false) << QByteArray()
                                << QStringLiteral("cannot open X display :5");
        QTest::newRow("compositor gone") << session({}, "wayland-9", {}, false) << QByteArray()
                                         << QStringLiteral("cannot connect to Wayland display");
        QTest::newRow("user's xcb, no X") << session("xcb", "wayland-0", {}) << QByteArray()
                                          << QStringLiteral("DISPLAY is not set");
    }
    void chooseSession() {
        QFETCH(SessionEnvironment, environment);
        QFETCH(QByteArray, platform);
        QFETCH(QString, error);
        const SessionChoice choice = numarika::chooseSession(environment);
        QCOMPARE(choice.qpaPlatform, platform);
        if (error.isEmpty()) {
            QVERIFY2(choice.error.isEmpty(), qPrintable(choice.error));
        } else {
            QVERIFY2(choice.error.contains(error), qPrintable(choice.error));
            // Japanese first, then English, as every start-up refusal.
            QCOMPARE(choice.error.count(QLatin1Char('\n')), 1);
        }
    }

    // The portal's file: read at the screen's own pixels, removed wherever the portal wrote it
    // for this request (KDE's portal writes into ~/Pictures, here any folder stands for it); a
    // file made before it stays.
    void portalPictureFile() {
        QTemporaryDir temporary;
        QImage screen(40, 30, QImage::Format_ARGB32);
        screen.fill(qRgba(10, 200, 30, 255));
        screen.setDevicePixelRatio(2);
        const QDateTime asked = QDateTime::currentDateTime();
        const QString fresh = temporary.filePath(QStringLiteral("fresh.png"));
        QVERIFY(screen.save(fresh));
        const auto picture = PortalScreenSource::takePicture(fresh, asked);
        QVERIFY(picture);
        QCOMPARE(picture->size(), QSize(40, 30));
        QCOMPARE(picture->devicePixelRatio(), 1.0);
        QCOMPARE(picture->format(), QImage::Format_RGB32);
        QCOMPARE(picture->pixel(5, 5), qRgb(10, 200, 30));
        QVERIFY(!QFile::exists(fresh));

        // Older than the request: not written for it.
        const QString old = temporary.filePath(QStringLiteral("old.png"));
        QVERIFY(screen.save(old));
        QVERIFY(PortalScreenSource::takePicture(old, asked.addSecs(60)));
        QVERIFY(QFile::exists(old));
        // Unreadable: no picture.
        QFile junk(temporary.filePath(QStringLiteral("junk.png")));
        QVERIFY(junk.open(QIODevice::WriteOnly));
        junk.write("not a picture");
        junk.close();
        QVERIFY(!PortalScreenSource::takePicture(junk.fileName(), asked));
    }

    // The picture is read on a worker: the UI runs on while it is on its way. Here it comes
    // through a pipe, written once the UI has shown that it runs (or, should reading block
    // the UI, after a few seconds, so that the test ends and fails).
    void portalPictureIsReadWhileTheUiRuns() {
        QTemporaryDir temporary;
        const QString pipe = temporary.filePath(QStringLiteral("screen.png"));
        QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
        QImage screen(64, 48, QImage::Format_RGB32);
        screen.fill(qRgb(1, 2, 3));
        QByteArray png;
        QBuffer buffer(&png);
        QVERIFY(buffer.open(QIODevice::WriteOnly) && screen.save(&buffer, "PNG"));
        std::atomic<bool> uiRan{false};
        std::thread portal([&] {
            for (int i = 0; i < 300 && !uiRan; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            QFile file(pipe);
            if (file.open(QIODevice::WriteOnly)) file.write(png);
        });
        QObject context;
        std::optional<QImage> picture;
        bool answered = false;
        bool uiRanFirst = false;
        PortalScreenSource::takePictureLater(pipe, QDateTime::currentDateTime(), &context,
                                             [&](std::optional<QImage> p) {
                                                 uiRanFirst = uiRan;
                                                 picture = std::move(p);
                                                 answered = true;
                                             });
        QTimer::singleShot(0, &context, [&uiRan] { uiRan = true; });
        QTRY_VERIFY_WITH_TIMEOUT(answered, 10000);
        portal.join();
        QVERIFY(uiRanFirst);
        QVERIFY(picture);
        QCOMPARE(picture->pixel(7, 7), qRgb(1, 2, 3));
    }
};

QTEST_MAIN(TestSession)
#include "test_session.moc"
