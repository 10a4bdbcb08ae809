#pragma once
// What the benchmarks that run the program's own window share: the desktop's services with
// messages going to the log (a modal box would stop a run), a watch for the canvas painted with
// a new picture, letting the program settle between runs, and the median.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QObject>
#include <memory>
#include <vector>

#include "bench/median.h"
#include "controls/picture_box.h"
#include "platform/desktop/desktop_platform.h"
#include "platform/null_services.h"
#include "platform/platform.h"

namespace numarika::bench {

inline void installDesktopWithoutBoxes() {
    auto platform = makeDesktopPlatform();
    platform->dialogs = std::make_unique<NullDialogs>();
    installPlatform(std::move(platform));
}

// Lets the program do what it does after a user's action (a paint, a copy on another thread,
// the clipboard's picture) before the next is timed: a user never acts again as quickly.
inline void processEventsFor(int milliseconds) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < milliseconds)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
}

// Notes when the canvas has been painted with a new picture. A paint of the picture before,
// still pending from the last scan, happens inside the scan's first yield and does not count.
class PaintWatch final : public QObject {
  public:
    explicit PaintWatch(const PictureBox& box) : box_(box) {}
    bool painted = false;
    void expectNewPicture() {
        painted = false;
        before_ = box_.Picture().cacheKey();
    }
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint && box_.Picture().cacheKey() != before_) painted = true;
        return false;
    }

  private:
    const PictureBox& box_;
    qint64 before_ = 0;
};

}  // namespace numarika::bench
