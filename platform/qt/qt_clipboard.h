#pragma once
// The desktop's clipboard through Qt. A picture put there is offered to every other program
// in the image formats Qt knows (image/png, image/bmp, image/jpeg, ...), each encoded at most
// once (see picture_mime_data.h), for as long as the program owns the clipboard, and after
// that by whatever the desktop keeps it with (on X11 a keeper, see x11/clipboard_keeper.h).

#include <QImage>
#include <QPointer>
#include <functional>
#include <memory>

#include "platform/clipboard.h"

namespace numarika {

class PictureMimeData;

// A way to the clipboard beside Qt's, where the desktop has one that needs no key press in
// our window first (wlr-data-control on Wayland).
class DirectClipboard {
  public:
    virtual ~DirectClipboard() = default;
    // Offers the data as the clipboard's content until another program takes it; false when
    // the way has gone.
    virtual bool offer(std::shared_ptr<PictureMimeData> data) = 0;
    // Empties the clipboard if the content is ours.
    virtual void clear() = 0;
};

class QtClipboard final : public Clipboard {
  public:
    // Hands a picture of ours still on the clipboard at the end over; true when taken.
    using KeepAfterExit = std::function<bool(const PictureMimeData& data)>;

    // `direct`: used instead of Qt's clipboard where given. `keep`: called at the end.
    explicit QtClipboard(std::unique_ptr<DirectClipboard> direct = nullptr,
                         KeepAfterExit keep = nullptr);
    // The program ends: a picture of ours still on Qt's clipboard is handed to `keep`.
    ~QtClipboard() override;

    // The picture this program put there last, when it did: read without a round trip
    // through the window system, and not replaced by what another program (a clipboard
    // manager) puts there meanwhile. Else whatever picture the clipboard holds.
    std::optional<QImage> picture() override;
    void clear() override;
    bool setPicture(const QImage& picture) override;

  private:
    bool offerWithoutFocus(const QImage& picture);
    void offer(const QImage& picture);
    void offerAgainAtFocus();

    // A Wayland compositor without wlr-data-control (GNOME) ignores a clipboard set while
    // none of our windows has the keyboard: such a picture is offered again when one gets it.
    QMetaObject::Connection atFocus_;

    QImage own_;
    // Qt owns it and deletes it when another program takes the clipboard.
    QPointer<PictureMimeData> offered_;
    std::unique_ptr<DirectClipboard> direct_;
    KeepAfterExit keep_;
};

}  // namespace numarika
