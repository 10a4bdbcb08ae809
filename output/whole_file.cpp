#include "output/whole_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>

#include "platform/write_all.h"

namespace numarika {
namespace {

// Closes and removes the temporary file unless it was put in place.
class TemporaryFile {
  public:
    // A short name in the target's folder: on the same file system, so that the rename is
    // atomic, and never too long where the target's name is not.
    explicit TemporaryFile(const QByteArray& folder) : name_(folder + "/.numarika-XXXXXX") {
        fd_ = ::mkostemp(name_.data(), O_CLOEXEC);
    }
    ~TemporaryFile() {
        if (fd_ >= 0) ::close(fd_);
        if (!kept_) ::unlink(name_.constData());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    bool created() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    const char* name() const { return name_.constData(); }
    // Closes it, reporting a failure the system only tells at the close (NFS, quotas).
    bool close() {
        const int fd = std::exchange(fd_, -1);
        return ::close(fd) == 0;
    }
    void keep() { kept_ = true; }

  private:
    QByteArray name_;
    int fd_ = -1;
    bool kept_ = false;
};

// The permissions a file of that name gets: those of the file it replaces, else what the
// user's umask leaves of rw-rw-rw-.
mode_t modeFor(const QByteArray& target) {
    struct stat existing;
    if (::stat(target.constData(), &existing) == 0) return existing.st_mode & 07777;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

}  // namespace

std::optional<FileWriteFailure> writeWholeFile(const QString& path, QByteArrayView data) {
    const QByteArray target = QFile::encodeName(path);
    const QFileInfo info(path);
    if (info.isDir()) return FileWriteFailure{true, EISDIR};
    TemporaryFile file(QFile::encodeName(info.absolutePath()));
    if (!file.created()) return FileWriteFailure{true, errno};
    if (const int error = writeAll(file.fd(), data)) return FileWriteFailure{false, error};
    if (::fchmod(file.fd(), modeFor(target)) != 0 || ::fsync(file.fd()) != 0 || !file.close())
        return FileWriteFailure{false, errno};
    if (::rename(file.name(), target.constData()) != 0) return FileWriteFailure{false, errno};
    file.keep();
    return std::nullopt;
}

QString systemReason(int error) {
    // The reasons a user can act on, in the program's words; the system's own text follows.
    struct Reason {
        int error;
        const char16_t* words;
    };
    static constexpr Reason kReasons[] = {
        {ENOSPC, u"ディスクの空き容量が足りません"},
        {EDQUOT, u"ディスクの使用量の上限を超えました"},
        {EFBIG, u"ファイルが大きすぎます"},
        {EROFS, u"読み取り専用のファイルシステムです"},
        {EACCES, u"書き込みの権限がありません"},
        {EPERM, u"書き込みの権限がありません"},
        {ENOENT, u"フォルダーがありません"},
        {ENOTDIR, u"フォルダーではないものがパスに含まれています"},
        {EISDIR, u"同じ名前のフォルダーがあります"},
        {ENAMETOOLONG, u"名前が長すぎます"},
        {EIO, u"入出力エラーが発生しました"},
    };
    const QString system = QString::fromLocal8Bit(std::strerror(error));
    for (const Reason& reason : kReasons)
        if (reason.error == error)
            return QString::fromUtf16(reason.words) + QStringLiteral(": ") + system;
    return system;
}

}  // namespace numarika
