#include "platform/x11/clipboard_keeper.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <QAbstractNativeEventFilter>
#include <QClipboard>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <utility>

#include "platform/logging.h"
#include "platform/qt/picture_mime_data.h"
#include "platform/x11/x11_connection.h"

extern char** environ;

namespace numarika {
namespace {

constexpr char kKeeperArgument[] = "--keep-clipboard";
// Where the keeper finds the memory file with the picture, and the pipe on which it says
// that it owns the clipboard.
constexpr int kPictureFd = 3;
constexpr int kReadyFd = 4;
// The longest the program waits for that word; a keeper starts in well under a second.
constexpr int kHandOverMs = 3000;

bool g_keepersAllowed = false;

class UniqueFd {
  public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() { reset(); }
    UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) {
            reset();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    void reset() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

  private:
    int fd_ = -1;
};

QString systemError(const char* what) {
    return QStringLiteral("%1: %2").arg(QLatin1String(what),
                                        QString::fromLocal8Bit(strerror(errno)));
}

// --- the memory file ------------------------------------------------------------------------
// A header, the pixels from kPixelsOffset on, then the PNG (which may be missing).

struct HandOverHeader {
    std::array<char, 8> magic;
    std::uint32_t width, height, bytesPerLine, format;
    std::uint64_t pngOffset, pngSize;
    std::uint32_t owner;  // the program's window that owns the clipboard
};
constexpr std::array<char, 8> kMagic{'n', 'u', 'm', 'k', 'e', 'e', 'p', '1'};
constexpr std::size_t kPixelsOffset = 64;
static_assert(sizeof(HandOverHeader) <= kPixelsOffset);

// Formats whose pixels are all there is (no colour table to hand over).
bool plainFormat(QImage::Format format) {
    return format > QImage::Format_Indexed8 && format < QImage::NImageFormats;
}

UniqueFd writeHandOver(QImage picture, const QByteArray& png, xcb_window_t owner, QString* error) {
    if (!plainFormat(picture.format()))
        picture = picture.convertToFormat(picture.hasAlphaChannel() ? QImage::Format_ARGB32
                                                                    : QImage::Format_RGB32);
    const auto pixels = static_cast<std::size_t>(picture.sizeInBytes());
    const std::size_t total = kPixelsOffset + pixels + static_cast<std::size_t>(png.size());
    UniqueFd fd(memfd_create("numarika-clipboard", MFD_CLOEXEC));
    if (!fd || ftruncate(fd.get(), static_cast<off_t>(total)) != 0) {
        *error = systemError("memory file");
        return {};
    }
    void* map = mmap(nullptr, total, PROT_READ | PROT_WRITE, MAP_SHARED, fd.get(), 0);
    if (map == MAP_FAILED) {
        *error = systemError("mmap");
        return {};
    }
    auto* bytes = static_cast<char*>(map);
    const HandOverHeader header{kMagic,
                                static_cast<std::uint32_t>(picture.width()),
                                static_cast<std::uint32_t>(picture.height()),
                                static_cast<std::uint32_t>(picture.bytesPerLine()),
                                static_cast<std::uint32_t>(picture.format()),
                                kPixelsOffset + pixels,
                                static_cast<std::uint64_t>(png.size()),
                                owner};
    std::memcpy(bytes, &header, sizeof header);
    std::memcpy(bytes + kPixelsOffset, picture.constBits(), pixels);
    if (!png.isEmpty()) std::memcpy(bytes + header.pngOffset, png.constData(), png.size());
    munmap(map, total);
    return fd;
}

// The keeper's view of the memory file: mapped read-only for the keeper's whole life, the
// picture and the PNG pointing into it.
class HandedPicture {
  public:
    ~HandedPicture() {
        picture_ = QImage();
        png_ = QByteArray();
        if (map_) munmap(map_, size_);
    }

    bool map(int fd, QString* error) {
        struct stat st {};
        if (fstat(fd, &st) != 0) {
            *error = systemError("memory file");
            return false;
        }
        size_ = static_cast<std::size_t>(st.st_size);
        if (size_ < kPixelsOffset) {
            *error = QStringLiteral("the memory file is too short");
            return false;
        }
        void* map = mmap(nullptr, size_, PROT_READ, MAP_PRIVATE, fd, 0);
        if (map == MAP_FAILED) {
            *error = systemError("mmap");
            return false;
        }
        map_ = map;
        HandOverHeader header;
        std::memcpy(&header, map_, sizeof header);
        const auto format = static_cast<QImage::Format>(header.format);
        const bool sane = header.magic == kMagic && header.width > 0 && header.width <= 65535 &&
                          header.height > 0 && header.height <= 65535 && plainFormat(format);
        const std::uint64_t lineBits =
            sane ? std::uint64_t{header.width} * QImage::toPixelFormat(format).bitsPerPixel() : 0;
        const std::uint64_t pixelsEnd =
            kPixelsOffset + std::uint64_t{header.bytesPerLine} * header.height;
        if (!sane || header.bytesPerLine * std::uint64_t{8} < lineBits ||
            header.bytesPerLine % 4 != 0 || pixelsEnd > header.pngOffset ||
            header.pngOffset > size_ || header.pngSize > size_ - header.pngOffset) {
            *error = QStringLiteral("the memory file holds no picture");
            return false;
        }
        const auto* bytes = static_cast<const uchar*>(map_);
        picture_ = QImage(bytes + kPixelsOffset, static_cast<int>(header.width),
                          static_cast<int>(header.height), header.bytesPerLine, format);
        png_ = QByteArray::fromRawData(reinterpret_cast<const char*>(bytes) + header.pngOffset,
                                       static_cast<qsizetype>(header.pngSize));
        owner_ = header.owner;
        return true;
    }

    const QImage& picture() const { return picture_; }
    const QByteArray& png() const { return png_; }
    xcb_window_t owner() const { return owner_; }

  private:
    void* map_ = nullptr;
    std::size_t size_ = 0;
    QImage picture_;
    QByteArray png_;
    xcb_window_t owner_ = XCB_NONE;
};

// The window that owns a selection, as the server has it now (Qt learns of a new owner only
// when it has handled the event); XCB_NONE when nobody does.
xcb_window_t selectionOwner(xcb_connection_t* c, const char* selection) {
    const xcb_atom_t atom = x11::atom(c, selection);
    if (atom == XCB_ATOM_NONE) return XCB_NONE;
    x11::Reply<xcb_get_selection_owner_reply_t> owner(
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, atom), nullptr));
    return owner ? owner->owner : xcb_window_t{XCB_NONE};
}

// --- the program's side ---------------------------------------------------------------------

// Whether a window was made by this connection: its id lies in the connection's own range.
bool madeBy(xcb_connection_t* c, xcb_window_t window) {
    const xcb_setup_t* setup = xcb_get_setup(c);
    return window != XCB_NONE && (window & ~setup->resource_id_mask) == setup->resource_id_base;
}

// This very binary, even if a newer one replaced it on disk meanwhile.
std::string ownExecutable() {
    std::array<char, 4096> path{};
    const ssize_t n = readlink("/proc/self/exe", path.data(), path.size() - 1);
    const std::string resolved(path.data(), n > 0 ? static_cast<std::size_t>(n) : 0);
    if (resolved.empty() || resolved.ends_with(" (deleted)")) return "/proc/self/exe";
    return resolved;
}

class SpawnSetup {
  public:
    SpawnSetup() {
        posix_spawn_file_actions_init(&actions);
        posix_spawnattr_init(&attributes);
    }
    ~SpawnSetup() {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
};

// The keeper, with the two descriptors in their places, the root folder as its working folder
// and the default signal handling, except that a closing terminal does not end it (SIGHUP is
// ignored). It stays in the program's process group: whoever ends that group ends it too.
// -1 when it cannot be started.
pid_t spawnKeeper(int pictureFd, int readyFd, QString* error) {
    // Both above the numbers they go to, so that placing one cannot overwrite the other.
    const UniqueFd picture(fcntl(pictureFd, F_DUPFD_CLOEXEC, kReadyFd + 1));
    const UniqueFd ready(fcntl(readyFd, F_DUPFD_CLOEXEC, kReadyFd + 1));
    if (!picture || !ready) {
        *error = systemError("dup");
        return -1;
    }
    SpawnSetup setup;
    posix_spawn_file_actions_adddup2(&setup.actions, picture.get(), kPictureFd);
    posix_spawn_file_actions_adddup2(&setup.actions, ready.get(), kReadyFd);
    posix_spawn_file_actions_addopen(&setup.actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    // It holds no folder of the program's: one may be removed or unmounted meanwhile.
    posix_spawn_file_actions_addchdir_np(&setup.actions, "/");
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&setup.attributes, &none);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int signal : {SIGPIPE, SIGINT, SIGTERM, SIGCHLD}) sigaddset(&defaults, signal);
    posix_spawnattr_setsigdefault(&setup.attributes, &defaults);
    posix_spawnattr_setflags(&setup.attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    const std::string path = ownExecutable();
    std::array<char*, 3> argv{const_cast<char*>("numarika"), const_cast<char*>(kKeeperArgument),
                              nullptr};
    pid_t pid = -1;
    if (const int rc = posix_spawn(&pid, path.c_str(), &setup.actions, &setup.attributes,
                                   argv.data(), environ);
        rc != 0) {
        errno = rc;
        *error = systemError("posix_spawn");
        return -1;
    }
    return pid;
}

// Until the keeper says it owns the clipboard, the clipboard is still ours: requests for it
// are answered meanwhile.
bool awaitKeeper(const UniqueFd& ready, pid_t pid) {
    QElapsedTimer elapsed;
    elapsed.start();
    pollfd wait{ready.get(), POLLIN, 0};
    while (elapsed.elapsed() < kHandOverMs) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        const int n = ::poll(&wait, 1, 5);
        if (n < 0 && errno != EINTR) break;
        if (n <= 0) continue;
        char word = 0;
        if (::read(ready.get(), &word, 1) == 1) return true;
        // Closed without a word: the keeper gave up and said why on standard error.
        waitpid(pid, nullptr, WNOHANG);
        qCInfo(lcPlatform) << "the clipboard keeper could not take the clipboard";
        return false;
    }
    qCInfo(lcPlatform) << "the clipboard keeper did not take the clipboard within" << kHandOverMs
                       << "ms";
    return false;
}

// --- the keeper -----------------------------------------------------------------------------

// Ends the keeper once another program owns the clipboard. Qt learns that from the server's
// SelectionClear (dropping our data without a signal) and, where XFixes tells it, from the
// owner's change (QClipboard::changed); the ownership is checked after Qt has handled either.
class ClipboardLossWatch final : public QAbstractNativeEventFilter {
  public:
    explicit ClipboardLossWatch(QClipboard& clipboard) : clipboard_(clipboard) {
        qApp->installNativeEventFilter(this);
        QObject::connect(&clipboard, &QClipboard::changed, qApp,
                         [clipboard = &clipboard](QClipboard::Mode mode) {
                             if (mode == QClipboard::Clipboard) checkSoon(clipboard);
                         });
    }
    ~ClipboardLossWatch() override { qApp->removeNativeEventFilter(this); }
    ClipboardLossWatch(const ClipboardLossWatch&) = delete;
    ClipboardLossWatch& operator=(const ClipboardLossWatch&) = delete;

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
        if (type == "xcb_generic_event_t" &&
            x11::eventType(static_cast<xcb_generic_event_t*>(message)) == XCB_SELECTION_CLEAR)
            checkSoon(&clipboard_);
        return false;
    }

  private:
    static void checkSoon(QClipboard* clipboard) {
        QMetaObject::invokeMethod(
            qApp,
            [clipboard] {
                if (!clipboard->ownsClipboard()) QCoreApplication::quit();
            },
            Qt::QueuedConnection);
    }

    QClipboard& clipboard_;
};

int runKeeper(int argc, char* argv[]) {
    // The terminal the program was started from may close; the clipboard stays.
    std::signal(SIGHUP, SIG_IGN);
    UniqueFd ready(kReadyFd);
    HandedPicture handed;
    QString error;
    {
        const UniqueFd file(kPictureFd);
        if (!handed.map(file.get(), &error)) {
            std::fprintf(stderr, "numarika: clipboard keeper: %s\n", qPrintable(error));
            return 1;
        }
    }
    // The X server may be going away with the program that started us (the end of a
    // session): Qt would abort without one.
    {
        xcb_connection_t* probe = xcb_connect(nullptr, nullptr);
        const bool reachable = !xcb_connection_has_error(probe);
        xcb_disconnect(probe);
        if (!reachable) {
            std::fprintf(stderr, "numarika: clipboard keeper: no X server\n");
            return 1;
        }
    }
    // Only X11 lets a process without a window own the clipboard. A session manager is not
    // to restore this process in a later session.
    qputenv("QT_QPA_PLATFORM", "xcb");
    qunsetenv("SESSION_MANAGER");
    QGuiApplication app(argc, argv);
    // Another program that copied meanwhile keeps the clipboard.
    if (xcb_connection_t* c = x11::connection();
        !c || selectionOwner(c, "CLIPBOARD") != handed.owner()) {
        std::fprintf(stderr, "numarika: clipboard keeper: the clipboard is no longer ours\n");
        return 1;
    }
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->setMimeData(new PictureMimeData(handed.picture(), handed.png()),
                           QClipboard::Clipboard);
    if (!clipboard->ownsClipboard()) {
        std::fprintf(stderr, "numarika: clipboard keeper: the clipboard could not be taken\n");
        return 1;
    }
    if (::write(ready.get(), "k", 1) != 1)
        std::fprintf(stderr, "numarika: clipboard keeper: the program did not wait\n");
    ready.reset();
    // Qt itself ends the process when the connection to the X server breaks.
    ClipboardLossWatch watch(*clipboard);
    return app.exec();
}

}  // namespace

std::optional<int> clipboardKeeperEntry(int argc, char* argv[]) {
    if (argc >= 2 && std::strcmp(argv[1], kKeeperArgument) == 0) return runKeeper(argc, argv);
    g_keepersAllowed = true;
    return std::nullopt;
}

bool keepClipboardAfterExit(const PictureMimeData& data) {
    if (!g_keepersAllowed) return false;
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("wayland")) {
        qCInfo(lcPlatform) << "the clipboard's picture goes with the program: on Wayland only a"
                              " focused window may set the clipboard";
        return false;
    }
    xcb_connection_t* c = x11::connection();
    if (platform != QLatin1String("xcb") || !c) return false;
    // Qt hands the clipboard to the manager itself as it quits.
    if (selectionOwner(c, "CLIPBOARD_MANAGER") != XCB_NONE) return false;
    const xcb_window_t owner = selectionOwner(c, "CLIPBOARD");
    if (!madeBy(c, owner)) return false;

    QString error;
    const UniqueFd file = writeHandOver(data.picture(), data.png(), owner, &error);
    std::array<int, 2> pipeEnds{-1, -1};
    if (file && pipe2(pipeEnds.data(), O_CLOEXEC) != 0) error = systemError("pipe");
    const UniqueFd readEnd(pipeEnds[0]);
    UniqueFd writeEnd(pipeEnds[1]);
    const pid_t pid = file && readEnd ? spawnKeeper(file.get(), writeEnd.get(), &error) : -1;
    if (pid < 0) {
        qCInfo(lcPlatform) << "no clipboard keeper:" << error;
        return false;
    }
    // Only the keeper's copy keeps the pipe open now: its end means the keeper's.
    writeEnd.reset();
    return awaitKeeper(readEnd, pid);
}

}  // namespace numarika
