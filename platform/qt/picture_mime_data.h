#pragma once
// A picture on the clipboard, offered in the formats Qt offers for any picture
// (application/x-qt-image and image/<format> for every format Qt can write, image/png first),
// so that the X targets that follow from them are the same too. Qt would encode the picture
// again for every request of every format; here each format is encoded at most once, on its
// first request, and the PNG with our own fast encoder, possibly on a worker thread before
// anyone asks. application/x-qt-image is answered with the same PNG, as Qt does.
//
// Threads: the mime data lives on the UI thread, which alone serves the selection; the worker
// touches only the PNG's slot, which is filled once and outlives the mime data if the worker
// still has it when Qt deletes the data (another program, or the next scan, took the
// clipboard), so that nobody waits for an encoding nobody needs any more.

#include <QByteArray>
#include <QHash>
#include <QImage>
#include <QMimeData>
#include <QStringList>
#include <functional>
#include <memory>

namespace numarika {

class PictureMimeData final : public QMimeData {
    Q_OBJECT
  public:
    // png: the picture's PNG when it was encoded already (the keeper is handed it).
    explicit PictureMimeData(QImage picture, QByteArray png = {});
    // Never waits: a worker still encoding keeps what it needs.
    ~PictureMimeData() override;

    const QImage& picture() const { return picture_; }

    // Queues the PNG's encoding for a worker (one for all pictures) with that many threads (0:
    // one per core), unless it is done or under way.
    void encodePngInBackground(int threads = 0);
    // The PNG: encoded now on this thread (all cores) when nobody started it, else the
    // worker's, waited for. Empty when it cannot be encoded.
    QByteArray png() const;
    // The PNG when it is ready, without waiting; empty otherwise.
    QByteArray pngIfReady() const;
    // The PNG for a thread other than the UI thread (a writer to a pasting program, which must
    // not hold up the UI): calling it encodes the PNG there when nobody has begun, or waits for
    // the encoding under way. Empty when the mime data went before anybody began.
    std::function<QByteArray()> pngFromAnyThread() const;

    // How many encodings of any format this picture has cost so far.
    int encodings() const;

    QStringList formats() const override;
    bool hasFormat(const QString& mimeType) const override;

  protected:
    QVariant retrieveData(const QString& mimeType, QMetaType type) const override;

  private:
    struct PngSlot;

    QByteArray encoded(const QString& mimeType) const;

    QImage picture_;
    QStringList formats_;
    std::shared_ptr<PngSlot> png_;
    mutable QHash<QString, QByteArray> others_;  // UI thread only
    mutable int otherEncodings_ = 0;
};

// The formats Qt offers for a picture on the clipboard, in its order.
QStringList pictureMimeFormats();

}  // namespace numarika
