#pragma once
// The desktop's clipboard through Qt. A picture put there is offered to every other program
// in the image formats Qt knows (image/png, image/bmp, image/jpeg, ...), each encoded at most
// once (see picture_mime_data.h), for as long as the program owns the clipboard, and after
// that by a keeper where the desktop has no clipboard manager (see clipboard_keeper.h).

#include <QImage>
#include <QPointer>
#include <memory>

#include "platform/clipboard.h"

namespace numarika {

class PictureMimeData;
class WaylandDataControl;

class QtClipboard final : public Clipboard {
  public:
    QtClipboard();
    // The program ends: a picture of ours still on the clipboard is left to a keeper where
    // that is needed.
    ~QtClipboard() override;

    // The picture this program put there last, when it did: read without a round trip
    // through the window system, and not replaced by what another program (a clipboard
    // manager) puts there meanwhile. Else whatever picture the clipboard holds.
    std::optional<QImage> picture() override;
    void clear() override;
    bool setPicture(const QImage& picture) override;

  private:
    bool offerWithoutFocus(const QImage& picture);

    QImage own_;
    // Qt owns it and deletes it when another program takes the clipboard.
    QPointer<PictureMimeData> offered_;
    // On Wayland, where the compositor lets a program set the clipboard without a key press
    // in its window (see wayland_data_control.h); else Qt's own clipboard is used.
    std::unique_ptr<WaylandDataControl> dataControl_;
};

}  // namespace numarika
