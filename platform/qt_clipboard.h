#pragma once
// The desktop's clipboard through Qt. On X11 a picture put there is offered to every other
// program in the image formats Qt knows (image/png, image/bmp, image/jpeg, ...), for as long
// as the program runs.

#include "platform/clipboard.h"

namespace numarika {

class QtClipboard final : public Clipboard {
  public:
    std::optional<QImage> picture() override;
    void clear() override;
    bool setPicture(const QImage& picture) override;
};

}  // namespace numarika
