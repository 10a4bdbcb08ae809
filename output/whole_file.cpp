#include "output/whole_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/write_all.h"

namespace numarika {
namespace {

// Closes and removes the temporary file unless it was put in place.
class TemporaryFile {
  public:
    // A short name in the target's folder: on the same file system, so that the rename is
    // atomic, and never too long where the target's name is not. Created as any new file is,
    // with what the umask leaves of rw-rw-rw-: the umask itself can only be read by changing
    // it, for every thread of the process.
    explicit TemporaryFile(const QByteArray& folder) {
        for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
            name_ = folder + "/.numarika-" +
                    QByteArray::number(QRandomGenerator::global()->generate64(), 36);
            fd_ = ::open(name_.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd_ < 0 && errno != EEXIST) break;
        }
        created_ = fd_ >= 0;
    }
    ~TemporaryFile() {
        if (fd_ >= 0) ::close(fd_);
        if (created_ && !kept_) ::unlink(name_.constData());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    bool created() const { return created_; }
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
    bool created_ = false;
    bool kept_ = false;
};

// A file that is replaced keeps its permissions; a new one has those it was created with.
bool keepModeOf(const QByteArray& target, int fd) {
    struct stat existing;
    if (::stat(target.constData(), &existing) != 0) return true;
    return ::fchmod(fd, existing.st_mode & 07777) == 0;
}

// The rename is on the disk only once the folder is: a crash right after it could otherwise
// leave the old file, or none, under the name. Nothing when synced (or when the folder cannot
// be opened for reading, or its file system syncs no folders), else errno.
std::optional<int> syncFolder(const QByteArray& folder) {
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return errno == EACCES ? std::nullopt : std::optional<int>(errno);
    const bool synced = ::fsync(fd) == 0 || errno == EINVAL;
    const int error = errno;
    ::close(fd);
    return synced ? std::nullopt : std::optional<int>(error);
}

}  // namespace

std::optional<FileWriteFailure> writeWholeFile(const QString& path, QByteArrayView data) {
    const QByteArray target = QFile::encodeName(path);
    const QFileInfo info(path);
    if (info.isDir()) return FileWriteFailure{true, EISDIR};
    const QByteArray folder = QFile::encodeName(info.absolutePath());
    TemporaryFile file(folder);
    if (!file.created()) return FileWriteFailure{true, errno};
    if (const int error = writeAll(file.fd(), data)) return FileWriteFailure{false, error};
    if (!keepModeOf(target, file.fd()) || ::fsync(file.fd()) != 0 || !file.close())
        return FileWriteFailure{false, errno};
    if (::rename(file.name(), target.constData()) != 0) return FileWriteFailure{false, errno};
    file.keep();
    if (const std::optional<int> error = syncFolder(folder)) return FileWriteFailure{false, *error};
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
