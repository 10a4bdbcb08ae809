#include "platform/portal/portal_request.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QRandomGenerator>

#include "platform/logging.h"

namespace numarika {
namespace {

const QString kRequestInterface = QStringLiteral("org.freedesktop.portal.Request");

// Tokens name the request object, so a second program run must not meet an old one.
QString newToken() {
    static quint32 counter = 0;
    return QStringLiteral("numarika%1_%2")
        .arg(++counter)
        .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
}

}  // namespace

PortalRequest::PortalRequest(const QDBusConnection& bus, QObject* context, Done done)
    : QObject(context), bus_(bus), done_(std::move(done)) {
    timeout_.setSingleShot(true);
}

void PortalRequest::start(const QDBusConnection& bus, const QString& interface,
                          const QString& method, const QVariantList& arguments, QVariantMap options,
                          int timeoutMs, QObject* context, Done done) {
    auto* request = new PortalRequest(bus, context, std::move(done));
    if (!bus.isConnected()) {
        request->finish({-1, {}, QStringLiteral("no session bus")});
        return;
    }
    const QString token = newToken();
    options.insert(QStringLiteral("handle_token"), token);
    // The portal names the request object after our bus name and the token: listening there
    // before the call means a quick answer cannot be missed.
    QString sender = bus.baseService();
    sender.remove(0, 1).replace(QLatin1Char('.'), QLatin1Char('_'));
    request->listenOn(
        QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, token));

    connect(&request->timeout_, &QTimer::timeout, request, [request, timeoutMs] {
        request->finish({-1, {}, QStringLiteral("no answer within %1 ms").arg(timeoutMs)});
    });
    request->timeout_.start(timeoutMs);

    QDBusMessage call =
        QDBusMessage::createMethodCall(kPortalService, kPortalPath, interface, method);
    call.setArguments(arguments + QVariantList{options});
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, timeoutMs), request);
    connect(watcher, &QDBusPendingCallWatcher::finished, request, [request, watcher] {
        watcher->deleteLater();
        const QDBusPendingReply<QDBusObjectPath> reply = *watcher;
        if (reply.isError()) {
            request->finish({-1, {}, reply.error().message()});
            return;
        }
        // Portals older than the token convention answer on a path of their own.
        const QString path = reply.value().path();
        if (path != request->requestPath_) request->listenOn(path);
    });
}

void PortalRequest::listenOn(const QString& path) {
    if (!requestPath_.isEmpty())
        bus_.disconnect(kPortalService, requestPath_, kRequestInterface, QStringLiteral("Response"),
                        this, SLOT(handleResponse(uint, QVariantMap)));
    requestPath_ = path;
    bus_.connect(kPortalService, requestPath_, kRequestInterface, QStringLiteral("Response"), this,
                 SLOT(handleResponse(uint, QVariantMap)));
}

void PortalRequest::handleResponse(uint code, const QVariantMap& results) {
    finish({static_cast<int>(code), results, {}});
}

void PortalRequest::finish(const PortalAnswer& answer) {
    if (finished_) return;
    finished_ = true;
    timeout_.stop();
    if (!requestPath_.isEmpty()) {
        bus_.disconnect(kPortalService, requestPath_, kRequestInterface, QStringLiteral("Response"),
                        this, SLOT(handleResponse(uint, QVariantMap)));
        // A request given up on is closed, so that the portal stops asking the user.
        if (answer.code == -1 && bus_.isConnected())
            bus_.asyncCall(QDBusMessage::createMethodCall(
                kPortalService, requestPath_, kRequestInterface, QStringLiteral("Close")));
    }
    if (!answer.ok())
        qCInfo(lcPlatform).noquote()
            << "portal request failed: code" << answer.code << answer.error;
    // Answered from the event loop, never inside start().
    QMetaObject::invokeMethod(
        this,
        [this, answer] {
            if (done_) done_(answer);
            deleteLater();
        },
        Qt::QueuedConnection);
}

}  // namespace numarika
