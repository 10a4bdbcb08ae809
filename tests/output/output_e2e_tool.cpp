// Helper of the end-to-end output tests: a stand-in clipboard manager, and checks of the
// pictures that came out of the program (read back by independent decoders first).
//
//   output_e2e_tool clipboard-manager OUT.png SECONDS
//       Takes the CLIPBOARD_MANAGER selection and, when a program hands its clipboard over on
//       exit (SAVE_TARGETS), fetches the picture as image/png into OUT, acknowledges, and
//       exits 0. Prints "ready" once it holds the selection. Fails after SECONDS.
//   output_e2e_tool clipboard-owner
//       Prints the window that owns the CLIPBOARD selection (0x0 when nobody does).
//   output_e2e_tool compare A B MAX_ERROR MIN_PSNR
//       A and B have the same size; no channel of any pixel differs by more than MAX_ERROR
//       and the PSNR is at least MIN_PSNR dB ("inf" for identical).
//   output_e2e_tool find-picture PAGE.png PICTURE.png
//       Finds PICTURE on a rendered page within an inch of its top-left corner, pixel for
//       pixel as far as the page reaches, with white paper just left of and above it; prints
//       "at X,Y".

#include <xcb/xcb.h>

#include <QByteArray>
#include <QFile>
#include <QImage>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <string>

#include "platform/x11/xcb_reply.h"

namespace {

using numarika::x11::eventType;
using numarika::x11::Reply;

int fail(const char* format, auto... args) {
    std::fprintf(stderr, format, args...);
    std::fputc('\n', stderr);
    return 1;
}

QImage load(const char* path) {
    QImage image(QString::fromLocal8Bit(path));
    return image.isNull() ? image : image.convertToFormat(QImage::Format_RGB32);
}

// --- clipboard manager ------------------------------------------------------------------------

class Manager {
  public:
    ~Manager() {
        if (c_) xcb_disconnect(c_);
    }

    int run(const char* out, int seconds) {
        c_ = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(c_)) return fail("no X server");
        xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c_)).data;
        window_ = xcb_generate_id(c_);
        const std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_create_window(c_, XCB_COPY_FROM_PARENT, window_, screen->root, 0, 0, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK,
                          &mask);
        manager_ = atom("CLIPBOARD_MANAGER");
        saveTargets_ = atom("SAVE_TARGETS");
        clipboard_ = atom("CLIPBOARD");
        png_ = atom("image/png");
        incr_ = atom("INCR");
        property_ = atom("NUMARIKA_SAVED");
        xcb_set_selection_owner(c_, window_, manager_, XCB_CURRENT_TIME);
        Reply<xcb_get_selection_owner_reply_t> owner(
            xcb_get_selection_owner_reply(c_, xcb_get_selection_owner(c_, manager_), nullptr));
        if (!owner || owner->owner != window_) return fail("could not take CLIPBOARD_MANAGER");
        std::printf("ready\n");
        std::fflush(stdout);

        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (std::chrono::steady_clock::now() < deadline) {
            Reply<xcb_generic_event_t> event(xcb_poll_for_event(c_));
            if (!event) {
                if (xcb_connection_has_error(c_)) return fail("X connection lost");
                struct timespec pause {
                    0, 5'000'000
                };
                nanosleep(&pause, nullptr);
                continue;
            }
            switch (eventType(event.get())) {
                case XCB_SELECTION_REQUEST:
                    onRequest(*reinterpret_cast<xcb_selection_request_event_t*>(event.get()));
                    break;
                case XCB_SELECTION_NOTIFY:
                    if (!onNotify(*reinterpret_cast<xcb_selection_notify_event_t*>(event.get())))
                        return fail("the clipboard owner gave no image/png");
                    break;
                case XCB_PROPERTY_NOTIFY:
                    if (!onProperty(*reinterpret_cast<xcb_property_notify_event_t*>(event.get())))
                        return 1;
                    break;
                default:
                    break;
            }
            if (done_) {
                QFile file(QString::fromLocal8Bit(out));
                if (!file.open(QIODevice::WriteOnly) || file.write(data_) != data_.size())
                    return fail("cannot write %s", out);
                std::printf("saved %lld bytes of image/png\n",
                            static_cast<long long>(data_.size()));
                return 0;
            }
        }
        return fail("no clipboard was handed over within %d s", seconds);
    }

  private:
    xcb_atom_t atom(const char* name) {
        Reply<xcb_intern_atom_reply_t> r(xcb_intern_atom_reply(
            c_, xcb_intern_atom(c_, 0, static_cast<std::uint16_t>(std::strlen(name)), name),
            nullptr));
        return r ? r->atom : xcb_atom_t{XCB_ATOM_NONE};
    }

    // A program leaving: fetch its picture before it goes.
    void onRequest(const xcb_selection_request_event_t& e) {
        if (e.selection != manager_ || e.target != saveTargets_) {
            reply(e, XCB_ATOM_NONE);
            return;
        }
        request_ = e;
        requested_ = true;
        xcb_delete_property(c_, window_, property_);
        xcb_convert_selection(c_, window_, clipboard_, png_, property_, e.time);
        xcb_flush(c_);
    }

    void reply(const xcb_selection_request_event_t& e, xcb_atom_t property) {
        xcb_selection_notify_event_t n;
        std::memset(&n, 0, sizeof n);
        n.response_type = XCB_SELECTION_NOTIFY;
        n.time = e.time;
        n.requestor = e.requestor;
        n.selection = e.selection;
        n.target = e.target;
        n.property = property;
        xcb_send_event(c_, 0, e.requestor, XCB_EVENT_MASK_NO_EVENT,
                       reinterpret_cast<const char*>(&n));
        xcb_flush(c_);
    }

    // Reads and deletes the property; false when it is missing.
    bool take(xcb_atom_t* type, QByteArray* bytes) {
        Reply<xcb_get_property_reply_t> r(xcb_get_property_reply(
            c_, xcb_get_property(c_, 1, window_, property_, XCB_GET_PROPERTY_TYPE_ANY, 0, 1u << 28),
            nullptr));
        if (!r) return false;
        *type = r->type;
        *bytes = QByteArray(static_cast<const char*>(xcb_get_property_value(r.get())),
                            xcb_get_property_value_length(r.get()));
        xcb_flush(c_);
        return r->type != XCB_ATOM_NONE;
    }

    bool onNotify(const xcb_selection_notify_event_t& e) {
        if (!requested_ || e.selection != clipboard_) return true;
        if (e.property == XCB_ATOM_NONE) return false;
        xcb_atom_t type = XCB_ATOM_NONE;
        QByteArray bytes;
        if (!take(&type, &bytes)) return false;
        if (type == incr_) {
            incremental_ = true;  // the chunks follow as property changes
            return true;
        }
        data_ = bytes;
        finish();
        return true;
    }

    bool onProperty(const xcb_property_notify_event_t& e) {
        if (!incremental_ || e.atom != property_ || e.state != XCB_PROPERTY_NEW_VALUE) return true;
        xcb_atom_t type = XCB_ATOM_NONE;
        QByteArray chunk;
        if (!take(&type, &chunk)) {
            fail("a chunk of the picture went missing");
            return false;
        }
        if (chunk.isEmpty()) {
            finish();
        } else {
            data_ += chunk;
        }
        return true;
    }

    void finish() {
        reply(request_, request_.property);
        done_ = true;
    }

    xcb_connection_t* c_ = nullptr;
    xcb_window_t window_ = 0;
    xcb_atom_t manager_ = 0, saveTargets_ = 0, clipboard_ = 0, png_ = 0, incr_ = 0, property_ = 0;
    xcb_selection_request_event_t request_{};
    bool requested_ = false;
    bool incremental_ = false;
    bool done_ = false;
    QByteArray data_;
};

int clipboardOwner() {
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    const std::unique_ptr<xcb_connection_t, void (*)(xcb_connection_t*)> keep(c, xcb_disconnect);
    if (xcb_connection_has_error(c)) return fail("no X server");
    Reply<xcb_intern_atom_reply_t> clipboard(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, 9, "CLIPBOARD"), nullptr));
    Reply<xcb_get_selection_owner_reply_t> owner(
        clipboard
            ? xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, clipboard->atom), nullptr)
            : nullptr);
    if (!owner) return fail("cannot ask for the clipboard's owner");
    std::printf("0x%x\n", owner->owner);
    return 0;
}

// --- picture checks -----------------------------------------------------------------------------

int compare(const char* a, const char* b, int maxError, double minPsnr) {
    const QImage A = load(a), B = load(b);
    if (A.isNull() || B.isNull()) return fail("cannot read %s or %s", a, b);
    if (A.size() != B.size())
        return fail("sizes differ: %dx%d and %dx%d", A.width(), A.height(), B.width(), B.height());
    double sum = 0;
    int worst = 0;
    for (int y = 0; y < A.height(); ++y) {
        const auto* p = reinterpret_cast<const QRgb*>(A.constScanLine(y));
        const auto* q = reinterpret_cast<const QRgb*>(B.constScanLine(y));
        for (int x = 0; x < A.width(); ++x) {
            const int d[3] = {qRed(p[x]) - qRed(q[x]), qGreen(p[x]) - qGreen(q[x]),
                              qBlue(p[x]) - qBlue(q[x])};
            for (int v : d) {
                sum += v * v;
                worst = std::max(worst, std::abs(v));
            }
        }
    }
    const double psnr = sum == 0
                            ? std::numeric_limits<double>::infinity()
                            : 10 * std::log10(255.0 * 255.0 * 3 * A.width() * A.height() / sum);
    std::printf("%dx%d, largest error %d, PSNR %.1f dB\n", A.width(), A.height(), worst, psnr);
    if (worst > maxError) return fail("an error of %d exceeds %d", worst, maxError);
    if (psnr < minPsnr) return fail("PSNR %.1f dB is below %.1f dB", psnr, minPsnr);
    return 0;
}

// The page's last column and row may be cut through by the paper's edge (A4 is 793.7 x
// 1122.5 pixels at 96 dpi), which blends them with nothing: they are not compared.
bool matchesAt(const QImage& page, const QImage& picture, QPoint at) {
    const QRect visible = QRect(at, picture.size()).intersected(page.rect().adjusted(0, 0, -1, -1));
    for (int y = visible.top(); y <= visible.bottom(); ++y)
        for (int x = visible.left(); x <= visible.right(); ++x)
            if ((page.pixel(x, y) & 0xFFFFFF) != (picture.pixel(x - at.x(), y - at.y()) & 0xFFFFFF))
                return false;
    return true;
}

int findPicture(const char* pagePath, const char* picturePath) {
    const QImage page = load(pagePath), picture = load(picturePath);
    if (page.isNull() || picture.isNull())
        return fail("cannot read %s or %s", pagePath, picturePath);
    for (int y = 0; y < 96; ++y)
        for (int x = 0; x < 96; ++x) {
            if ((page.pixel(x, y) & 0xFFFFFF) != (picture.pixel(0, 0) & 0xFFFFFF)) continue;
            if (!matchesAt(page, picture, QPoint(x, y))) continue;
            const QRgb white = qRgb(255, 255, 255);
            for (int i = 0; i < std::min(picture.height(), page.height() - y); ++i)
                if (x > 0 && page.pixel(x - 1, y + i) != white)
                    return fail("not paper left of the picture at row %d", y + i);
            for (int i = 0; i < std::min(picture.width(), page.width() - x); ++i)
                if (y > 0 && page.pixel(x + i, y - 1) != white)
                    return fail("not paper above the picture at column %d", x + i);
            std::printf("at %d,%d on a %dx%d page\n", x, y, page.width(), page.height());
            return 0;
        }
    return fail(
        "the %dx%d picture is not on the page, pixel for pixel, within an inch of its "
        "corner",
        picture.width(), picture.height());
}

}  // namespace

int main(int argc, char* argv[]) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "clipboard-manager" && argc == 4)
        return Manager().run(argv[2], std::atoi(argv[3]));
    if (command == "compare" && argc == 6) {
        const double minPsnr = std::string(argv[5]) == "inf"
                                   ? std::numeric_limits<double>::infinity()
                                   : std::atof(argv[5]);
        return compare(argv[2], argv[3], std::atoi(argv[4]), minPsnr);
    }
    if (command == "find-picture" && argc == 4) return findPicture(argv[2], argv[3]);
    if (command == "clipboard-owner" && argc == 2) return clipboardOwner();
    return fail(
        "usage: %s clipboard-manager OUT.png SECONDS | clipboard-owner | compare A B MAX_ERROR "
        "MIN_PSNR | find-picture PAGE.png PICTURE.png",
        argv[0]);
}
