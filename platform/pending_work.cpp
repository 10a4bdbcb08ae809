#include "platform/pending_work.h"

#include <QEventLoop>
#include <QList>
#include <QTimer>

#include "platform/logging.h"

namespace numarika {
namespace {

int g_pending = 0;
QList<QEventLoop*> g_waiting;

// Work has its own time-outs; this only keeps a fault in one of them from hanging the program.
constexpr int kLongestWaitMs = 120'000;

}  // namespace

PendingWork::Token::Token(const char* what) : what_(what) { ++g_pending; }

PendingWork::Token& PendingWork::Token::operator=(Token&& other) noexcept {
    if (this != &other) {
        end();
        what_ = other.what_;
        other.what_ = nullptr;
    }
    return *this;
}

void PendingWork::Token::end() {
    if (!what_) return;
    what_ = nullptr;
    if (--g_pending == 0)
        for (QEventLoop* loop : g_waiting) loop->quit();
}

bool PendingWork::idle() { return g_pending == 0; }

void PendingWork::waitUntilIdle() {
    if (idle()) return;
    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &loop, [&loop] {
        qCWarning(lcPlatform) << "desktop work still pending after" << kLongestWaitMs << "ms";
        loop.quit();
    });
    limit.start(kLongestWaitMs);
    g_waiting.append(&loop);
    while (!idle() && limit.isActive()) loop.exec();
    g_waiting.removeOne(&loop);
}

}  // namespace numarika
