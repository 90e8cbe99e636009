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

DBusScreencast::DBusScreencast(QString service, QString sessionInterface, QString endMethod)
    : m_service(std::move(service)), m_sessionInterface(std::move(sessionInterface)),
      m_endMethod(std::move(endMethod)) {}

DBusScreencast::~DBusScreencast() {
    endSession();
    // Not inside one of its own replies: it can go at once.
    m_context.reset();
}

void DBusScreencast::close() {
    endSession();
    DropContext(m_context);
}

void DBusScreencast::begin(Opened opened, Failed failed) {
    close();
    m_context = std::make_unique<QObject>();
    m_opened = std::move(opened);
    m_failed = std::move(failed);
}

void DBusScreencast::setSession(const QString& path) {
    m_session = path;
    new DBusSignal(m_context.get(), m_service, m_session, m_sessionInterface, QStringLiteral("Closed"),
                   [this](const QDBusMessage&) { sessionClosed(); });
}

void DBusScreencast::succeed(const ScreencastStream& stream) {
    Opened opened = std::move(m_opened);
    m_failed = nullptr;
    if (opened)
        opened(stream);
}

void DBusScreencast::fail(const std::string& message) {
    Failed failed = std::move(m_failed);
    m_opened = nullptr;
    close();
    if (failed)
        failed(message);
}

bool DBusScreencast::ok(const QDBusMessage& reply) {
    if (reply.type() != QDBusMessage::ErrorMessage)
        return true;
    fail(failureOf(reply));
    return false;
}

std::string DBusScreencast::failureOf(const QDBusMessage& error) const {
    return "Could not start screen capture: " + error.errorMessage().toStdString();
}

void DBusScreencast::endSession() {
    if (!m_session.isEmpty())
        QDBusConnection::sessionBus().asyncCall(
            QDBusMessage::createMethodCall(m_service, m_session, m_sessionInterface, m_endMethod));
    m_session.clear();
}

void DBusScreencast::sessionClosed() {
    if (m_opened) {
        fail("Could not start screen capture: the desktop's screen cast ended before it began");
        return;
    }
    m_session.clear();
    if (closed)
        closed();
}

} // namespace platform
