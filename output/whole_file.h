#pragma once
// A file written in full or not at all: into a temporary file beside it, synced, then renamed
// over it, and the folder synced, so that a failed write never destroys an existing file nor
// leaves a partial one, and a crash right after the save keeps the new file under its name.
// Failures keep the system's own error, so that the user learns why (no space left, a
// read-only file system, ...).

#include <QByteArrayView>
#include <QString>
#include <optional>

namespace numarika {

struct FileWriteFailure {
    bool creating;  // the file could not even be created (else writing or renaming failed)
    int error;      // errno
};

std::optional<FileWriteFailure> writeWholeFile(const QString& path, QByteArrayView data);

// Why a file operation failed, for the user: the common causes in Japanese, with the system's
// own words beside them.
QString systemReason(int error);

}  // namespace numarika
