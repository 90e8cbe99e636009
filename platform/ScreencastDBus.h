// The D-Bus plumbing both screencast services share: asynchronous calls
// whose replies come back through Qt's event loop, and signal subscriptions
// that call a function. Everything is owned by a context object: deleting it
// drops every pending reply and subscription.
#pragma once

#include "platform/Screencast.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <functional>
#include <memory>
#include <string>

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

// What a session of either service keeps: the context of its pending replies
// and subscriptions, the session's object path, and the callbacks of an open
// under way. Ending a session calls `endMethod` on `sessionInterface`.
class DBusScreencast : public ScreencastSession {
public:
    ~DBusScreencast() override;
    void close() override;

protected:
    DBusScreencast(QString service, QString sessionInterface, QString endMethod);

    // A fresh context and the callbacks of the open it starts.
    void begin(Opened opened, Failed failed);
    QObject* context() const { return m_context.get(); }
    // The session's path; its Closed signal ends an open session or fails
    // an opening one.
    void setSession(const QString& path);
    const QString& session() const { return m_session; }

    void succeed(const ScreencastStream& stream);
    void fail(const std::string& message);
    // True for a reply; fails the open with the error's message otherwise.
    bool ok(const QDBusMessage& reply);
    virtual std::string failureOf(const QDBusMessage& error) const;

private:
    void endSession();
    void sessionClosed();

    QString m_service;
    QString m_sessionInterface;
    QString m_endMethod;
    std::unique_ptr<QObject> m_context;
    QString m_session;
    Opened m_opened;
    Failed m_failed;
};

} // namespace platform
