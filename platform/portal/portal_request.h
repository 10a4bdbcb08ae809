#pragma once
// One request to the desktop portal (org.freedesktop.portal.*), as the portals define them:
// the method call returns a Request object at once, and the answer comes later as that
// object's Response signal. The answer is awaited on the event loop, bounded by a time-out;
// whatever happens, the caller hears exactly once.

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QVariantList>
#include <QVariantMap>
#include <functional>

namespace numarika {

inline const QString kPortalService = QStringLiteral("org.freedesktop.portal.Desktop");
inline const QString kPortalPath = QStringLiteral("/org/freedesktop/portal/desktop");

struct PortalAnswer {
    // The portal's response code: 0 success, 1 cancelled by the user, 2 refused or failed;
    // -1 when no answer came (no portal, a bus error, the time-out), see `error`.
    int code = -1;
    QVariantMap results;
    QString error;
    bool ok() const { return code == 0; }
};

class PortalRequest final : public QObject {
    Q_OBJECT
  public:
    using Done = std::function<void(const PortalAnswer& answer)>;

    // Calls `method` of `interface` with `arguments` followed by `options` (which gets the
    // request's handle_token). `done` runs on the UI thread, once, unless `context` goes
    // first; the request cleans up after itself.
    static void start(const QDBusConnection& bus, const QString& interface, const QString& method,
                      const QVariantList& arguments, QVariantMap options, int timeoutMs,
                      QObject* context, Done done);

  private slots:
    void handleResponse(uint code, const QVariantMap& results);

  private:
    PortalRequest(const QDBusConnection& bus, QObject* context, Done done);
    void listenOn(const QString& path);
    void finish(const PortalAnswer& answer);

    QDBusConnection bus_;
    QString requestPath_;
    QTimer timeout_;
    Done done_;
    bool finished_ = false;
};

}  // namespace numarika
