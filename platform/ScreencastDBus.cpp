#include "platform/ScreencastDBus.h"

#include <QDBusArgument>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>

namespace platform {

DBusSignal::DBusSignal(QObject* context, const QString& service, const QString& path,
                       const QString& interface, const QString& name, Handler handler)
    : QObject(context), m_handler(std::move(handler)) {
    QDBusConnection::sessionBus().connect(service, path, interface, name, this, SLOT(deliver(QDBusMessage)));
}

void DBusSignal::deliver(const QDBusMessage& message) {
    if (!signalsBlocked())
        m_handler(message);
}

void DropContext(std::unique_ptr<QObject>& context) {
    if (!context)
        return;
    for (QObject* child : context->children())
        child->blockSignals(true);
    context.release()->deleteLater();
}

void CallAsync(QObject* context, const QDBusMessage& method, std::function<void(const QDBusMessage&)> done) {
    auto* watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(method), context);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context,
                     [watcher, done = std::move(done)](QDBusPendingCallWatcher*) {
                         const QDBusMessage reply = watcher->reply();
                         watcher->deleteLater();
                         done(reply);
                     });
}

namespace {
QVariant unwrapped(const QVariant& value) {
    if (value.userType() == qMetaTypeId<QDBusVariant>())
        return qvariant_cast<QDBusVariant>(value).variant();
    return value;
}
} // namespace

bool ReadIntPair(const QVariant& value, int& first, int& second) {
    const QVariant inner = unwrapped(value);
    if (inner.userType() != qMetaTypeId<QDBusArgument>())
        return false;
    const QDBusArgument arg = qvariant_cast<QDBusArgument>(inner);
    if (arg.currentSignature() != QLatin1String("(ii)"))
        return false;
    arg.beginStructure();
    arg >> first >> second;
    arg.endStructure();
    return true;
}

QVariantMap ReadVariantMap(const QVariant& value) {
    const QVariant inner = unwrapped(value);
    if (inner.userType() == qMetaTypeId<QDBusArgument>())
        return qdbus_cast<QVariantMap>(qvariant_cast<QDBusArgument>(inner));
    return inner.toMap();
}

} // namespace platform
