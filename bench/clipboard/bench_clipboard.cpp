// Clipboard benchmark, run under an X server (bench/clipboard/run.sh starts Xvfb): a screen
// picture of the root window's size is put on the clipboard by the program's clipboard
// service, as a scan does, and another process (xclip) reads it completely into a file. The
// baseline, measured in the same run, is the raw transfer of the same pixels: image/bmp
// already encoded. Beside it: image/png read at once, again, and 0.3 s after the picture was
// set (as a paste by hand comes), the PNG when nobody began it before the paste, image/bmp's
// first read, and Qt's own QClipboard::setImage. Contenders take
// turns; a flat screen and a noisy photograph. How Qt moved each format (in one property or
// in INCR chunks) is read once by a client of our own.
//
//   bench_clipboard [runs]     (default 7; medians)

#include <poll.h>
#include <xcb/xcb.h>

#include <QClipboard>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <future>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/median.h"
#include "bench/pictures/pictures.h"
#include "platform/qt/picture_mime_data.h"
#include "platform/qt/qt_clipboard.h"
#include "platform/x11/x11_connection.h"

namespace {

using numarika::x11::Reply;

// Milliseconds for xclip to write the clipboard's `target` into `out`; negative on failure.
double xclipRead(const char* target, const QString& out) {
    QProcess xclip;
    xclip.setStandardOutputFile(out);
    QEventLoop loop;
    QObject::connect(&xclip, &QProcess::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    QElapsedTimer elapsed;
    elapsed.start();
    xclip.start(QStringLiteral("xclip"),
                {QStringLiteral("-selection"), QStringLiteral("clipboard"), QStringLiteral("-t"),
                 QString::fromLatin1(target), QStringLiteral("-o")});
    loop.exec();  // this process serves the clipboard meanwhile
    const double ms = static_cast<double>(elapsed.nsecsElapsed()) / 1e6;
    if (xclip.state() != QProcess::NotRunning || xclip.exitCode() != 0 || QFile(out).size() == 0)
        return -1;
    return ms;
}

// How the owner hands one target over, seen by a client of our own.
struct Transfer {
    long long bytes = 0;
    int chunks = 0;  // INCR chunks; 0 when it came in one property
    long long largestChunk = 0;
    std::string error;
};

class SelectionReader {
  public:
    ~SelectionReader() {
        if (c_) xcb_disconnect(c_);
    }

    Transfer read(const char* target) {
        Transfer t;
        c_ = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(c_)) return fail(t, "no X server");
        xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c_)).data;
        const xcb_window_t window = xcb_generate_id(c_);
        const std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_create_window(c_, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK,
                          &mask);
        const xcb_atom_t property = atom("BENCH_CLIPBOARD"), incr = atom("INCR");
        xcb_convert_selection(c_, window, atom("CLIPBOARD"), atom(target), property,
                              XCB_CURRENT_TIME);
        xcb_flush(c_);
        auto notify = waitFor(XCB_SELECTION_NOTIFY);
        if (!notify) return fail(t, "no answer");
        if (reinterpret_cast<xcb_selection_notify_event_t*>(notify.get())->property ==
            XCB_ATOM_NONE)
            return fail(t, "refused");
        xcb_atom_t type = XCB_ATOM_NONE;
        long long size = take(window, property, &type);
        if (type != incr) {
            t.bytes = size;
            return t;
        }
        // INCR: each chunk is a new value of the property, the last one empty.
        while (auto event = waitFor(XCB_PROPERTY_NOTIFY)) {
            const auto* e = reinterpret_cast<xcb_property_notify_event_t*>(event.get());
            if (e->atom != property || e->state != XCB_PROPERTY_NEW_VALUE) continue;
            size = take(window, property, &type);
            if (size == 0) return t;
            t.bytes += size;
            ++t.chunks;
            t.largestChunk = std::max(t.largestChunk, size);
        }
        return fail(t, "the INCR transfer stopped");
    }

  private:
    static Transfer fail(Transfer t, const char* why) {
        t.error = why;
        return t;
    }

    xcb_atom_t atom(const char* name) {
        Reply<xcb_intern_atom_reply_t> r(xcb_intern_atom_reply(
            c_, xcb_intern_atom(c_, 0, static_cast<std::uint16_t>(std::strlen(name)), name),
            nullptr));
        return r ? r->atom : xcb_atom_t{XCB_ATOM_NONE};
    }

    Reply<xcb_generic_event_t> waitFor(int type) {
        pollfd fd{xcb_get_file_descriptor(c_), POLLIN, 0};
        for (;;) {
            while (Reply<xcb_generic_event_t> e{xcb_poll_for_event(c_)})
                if (numarika::x11::eventType(e.get()) == type) return e;
            if (xcb_connection_has_error(c_) || poll(&fd, 1, 30000) <= 0) return nullptr;
        }
    }

    long long take(xcb_window_t window, xcb_atom_t property, xcb_atom_t* type) {
        Reply<xcb_get_property_reply_t> r(xcb_get_property_reply(
            c_, xcb_get_property(c_, 1, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 1u << 28),
            nullptr));
        xcb_flush(c_);
        if (!r) return 0;
        *type = r->type;
        return xcb_get_property_value_length(r.get());
    }

    xcb_connection_t* c_ = nullptr;
};

Transfer readWithOwnClient(const char* target) {
    auto result =
        std::async(std::launch::async, [target] { return SelectionReader().read(target); });
    while (result.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return result.get();
}

const numarika::PictureMimeData* offered() {
    return qobject_cast<const numarika::PictureMimeData*>(
        QGuiApplication::clipboard()->mimeData(QClipboard::Clipboard));
}

}  // namespace

int main(int argc, char* argv[]) {
    QGuiApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    xcb_connection_t* c = numarika::x11::connection();
    if (!c) {
        std::fprintf(stderr, "bench_clipboard: needs an X server (run bench/clipboard/run.sh)\n");
        return 2;
    }
    const xcb_screen_t* screen = numarika::x11::defaultScreen(c);
    const int width = screen->width_in_pixels, height = screen->height_in_pixels;
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("read"));
    numarika::QtClipboard clipboard;
    QClipboard* qt = QGuiApplication::clipboard();
    std::printf("%dx%d, another process (xclip) reads the clipboard into a file; median of %d\n",
                width, height, runs);
    std::printf("Qt puts up to %u bytes in one property, more in INCR chunks of that size\n",
                xcb_get_maximum_request_length(c) * 4 - 28);

    for (const bool photo : {false, true}) {
        const QImage picture = photo ? numarika::bench::photoPicture(width, height)
                                     : numarika::bench::screenPicture(width, height);
        std::map<std::string, std::vector<double>> ms;
        int pngEncodings = 0, bmpEncodings = 0;
        bool failed = false;
        const auto time = [&](const char* row, const char* target) {
            const double t = xclipRead(target, out);
            failed |= t < 0;
            ms[row].push_back(t);
        };
        for (int run = 0; run < runs; ++run) {
            // As a scan leaves it: the PNG begun on a worker the moment the picture is there.
            clipboard.setPicture(picture);
            time("png1", "image/png");
            if (run == 0) {
                QFile file(out);
                failed |= !file.open(QIODevice::ReadOnly) ||
                          QImage::fromData(file.readAll()).convertToFormat(QImage::Format_RGB32) !=
                              picture;
            }
            time("png2", "image/png");
            pngEncodings = offered() ? offered()->encodings() : -1;
            time("bmp1", "image/bmp");
            time("bmp2", "image/bmp");
            bmpEncodings = offered() ? offered()->encodings() - pngEncodings : -1;
            // A paste by hand comes later: the picture set, then a pause for the user.
            clipboard.setPicture(picture);
            QEventLoop pause;
            QTimer::singleShot(300, &pause, &QEventLoop::quit);
            pause.exec();
            time("later", "image/png");
            // The same picture with nothing begun before the paste.
            qt->setMimeData(new numarika::PictureMimeData(picture), QClipboard::Clipboard);
            time("lazy", "image/png");
            // Qt's own: every read encodes again.
            qt->setImage(picture, QClipboard::Clipboard);
            time("qtpng", "image/png");
            time("qtbmp", "image/bmp");
        }
        clipboard.setPicture(picture);
        const Transfer png = readWithOwnClient("image/png");
        const Transfer bmp = readWithOwnClient("image/bmp");
        if (failed || !png.error.empty() || !bmp.error.empty()) {
            std::fprintf(stderr, "bench_clipboard: a read failed or gave another picture %s %s\n",
                         png.error.c_str(), bmp.error.c_str());
            return 1;
        }
        const auto incr = [](const Transfer& t) {
            return t.chunks ? "INCR, " + std::to_string(t.chunks) + " chunks of at most " +
                                  std::to_string(t.largestChunk) + " bytes"
                            : std::string("one property");
        };
        std::printf("%s: PNG %lld bytes (%s), BMP %lld bytes (%s)\n",
                    photo ? "photograph (noisy)" : "screen (flat areas, text)", png.bytes,
                    incr(png).c_str(), bmp.bytes, incr(bmp).c_str());
        const double base = numarika::bench::median(ms["bmp2"]);
        const auto row = [&](const char* name, const char* key) {
            const double t = numarika::bench::median(ms[key]);
            std::printf("  %-54s %8.1f ms %6.2fx\n", name, t, t / base);
        };
        row("baseline: image/bmp, already encoded (raw transfer)", "bmp2");
        row("image/png, read at once after the picture was set", "png1");
        row("image/png, second read", "png2");
        row("image/png, read 0.3 s after the picture was set", "later");
        row("image/png, nothing begun before the paste", "lazy");
        row("image/bmp, first read (encodes)", "bmp1");
        row("Qt's QClipboard::setImage: image/png", "qtpng");
        row("Qt's QClipboard::setImage: image/bmp", "qtbmp");
        std::printf("  encodings for two reads each: PNG %d, BMP %d\n", pngEncodings, bmpEncodings);
    }
    return 0;
}
