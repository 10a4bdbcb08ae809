#pragma once
// The desktop's clipboard through Qt. A picture put there is offered to every other program
// in the image formats Qt knows (image/png, image/bmp, image/jpeg, ...), for as long as the
// program owns the clipboard.

#include <QImage>

#include "platform/clipboard.h"

namespace numarika {

class QtClipboard final : public Clipboard {
  public:
    // The picture this program put there last, when it did: read without a round trip
    // through the window system, and not replaced by what another program (a clipboard
    // manager) puts there meanwhile. Else whatever picture the clipboard holds.
    std::optional<QImage> picture() override;
    void clear() override;
    bool setPicture(const QImage& picture) override;

  private:
    QImage own_;
};

}  // namespace numarika
