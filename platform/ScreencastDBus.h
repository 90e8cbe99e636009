// The D-Bus plumbing both screencast services share: asynchronous calls
// whose replies come back through Qt's event loop, and signal subscriptions
// that call a function. Everything is owned by a context object: deleting it
// drops every pending reply and subscription.
#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <functional>
#include <memory>

namespace platform {

class DBusSignal : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<void(const QDBusMessage&)>;
    DBusSignal(QObject* context, const QString& service, const QString& path, const QString& interface,
               const QString& name, Handler handler);

public slots:
    void deliver(const QDBusMessage& message);

private:
    Handler m_handler;
};

// Ends everything the context owns. Safe from inside one of its own replies
// or signals: nothing of it runs again, and it is deleted once control is
// back in the event loop.
void DropContext(std::unique_ptr<QObject>& context);

// Calls `method`; `done` gets the reply (or the error message) later.
void CallAsync(QObject* context, const QDBusMessage& method, std::function<void(const QDBusMessage&)> done);

// A D-Bus (ii) structure, such as a stream's position or size.
bool ReadIntPair(const QVariant& value, int& first, int& second);
// An a{sv} inside a variant, as replies and properties carry them.
QVariantMap ReadVariantMap(const QVariant& value);

} // namespace platform
