#include "platform/write_all.h"

#include <unistd.h>

#include <cerrno>

namespace numarika {

int writeAll(int fd, QByteArrayView bytes) {
    const char* next = bytes.data();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, next, static_cast<size_t>(left));
        if (written < 0 && errno == EINTR) continue;
        if (written < 0) return errno;
        if (written == 0) return EIO;
        next += written;
        left -= written;
    }
    return 0;
}

}  // namespace numarika
