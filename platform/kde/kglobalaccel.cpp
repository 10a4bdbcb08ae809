#include "platform/kde/kglobalaccel.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace numarika {
namespace {

const QString kService = QStringLiteral("org.kde.kglobalaccel");
const QString kPath = QStringLiteral("/kglobalaccel");
const QString kInterface = QStringLiteral("org.kde.KGlobalAccel");
constexpr int kTimeoutMs = 5000;

// Calls a method of kglobalaccel; `answered` hears the reply unless `context` goes first.
void call(const QDBusConnection& bus, const QString& method, const QVariantList& arguments,
          QObject* context, std::function<void(const QDBusPendingCall&)> answered) {
    QDBusMessage message = QDBusMessage::createMethodCall(kService, kPath, kInterface, method);
    message.setArguments(arguments);
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(message, kTimeoutMs), context);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context,
                     [watcher, answered = std::move(answered)] {
                         watcher->deleteLater();
                         answered(*watcher);
                     });
}

}  // namespace

bool KGlobalAccel::offered(const QDBusConnection& bus) {
    if (!bus.isConnected() || !bus.interface()) return false;
    return bus.interface()->isServiceRegistered(kService).value();
}

void KGlobalAccel::askHasKey(const QDBusConnection& bus, const QStringList& components,
                             const QString& shortcut, QObject* context, Done done) {
    qDBusRegisterMetaType<QList<QStringList>>();
    call(bus, QStringLiteral("allMainComponents"), {}, context,
         [bus, components, shortcut, context, done](const QDBusPendingCall& answer) {
             const QDBusPendingReply<QList<QStringList>> known = answer;
             if (known.isError()) {
                 done(false, known.error().message());
                 return;
             }
             // A component's first name is its unique one.
             QString component;
             for (const QString& wanted : components) {
                 for (const QStringList& names : known.value()) {
                     if (!names.isEmpty() && names.first() == wanted) component = wanted;
                 }
                 if (!component.isEmpty()) break;
             }
             if (component.isEmpty()) {
                 done(false, QStringLiteral("no component ") + components.join(QLatin1Char('/')));
                 return;
             }
             const QStringList action{component, shortcut, QString(), QString()};
             call(bus, QStringLiteral("shortcut"), {action}, context,
                  [done, component](const QDBusPendingCall& keysAnswer) {
                      const QDBusPendingReply<QList<int>> keys = keysAnswer;
                      if (keys.isError()) {
                          done(false, keys.error().message());
                          return;
                      }
                      for (int key : keys.value()) {
                          if (key != 0) {
                              done(true, {});
                              return;
                          }
                      }
                      done(false, QStringLiteral("no key for the shortcut of ") + component);
                  });
         });
}

}  // namespace numarika
