#pragma once

#include <QImage>
#include <optional>

namespace numarika {

// The desktop's clipboard, as far as pictures go.
class Clipboard {
  public:
    virtual ~Clipboard() = default;
    // The picture on the clipboard; nothing when it holds none or cannot be read.
    virtual std::optional<QImage> picture() = 0;
    virtual void clear() = 0;
    // Puts a copy of the picture there; false when the clipboard cannot be written.
    virtual bool setPicture(const QImage& picture) = 0;
};

}  // namespace numarika
