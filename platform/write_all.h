#pragma once
// Bytes into a file descriptor, all of them: write() may take fewer than it was given, or be
// interrupted by a signal before it took any.

#include <QByteArrayView>

namespace numarika {

// 0 once every byte is written, else the system's error (errno; EIO where the descriptor
// took nothing without saying why).
int writeAll(int fd, QByteArrayView bytes);

}  // namespace numarika
