// GNOME's own screencast interface: no dialog, so it is what the tests use.
// CreateSession, RecordMonitor of the primary monitor with the pointer as
// metadata, Start; the stream's node arrives as a signal.
#include "platform/Screencast.h"
#include "platform/ScreencastDBus.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>

#include <memory>

namespace platform {

namespace {

const QString kService = QStringLiteral("org.gnome.Mutter.ScreenCast");
const QString kSessionInterface = QStringLiteral("org.gnome.Mutter.ScreenCast.Session");
const QString kStreamInterface = QStringLiteral("org.gnome.Mutter.ScreenCast.Stream");
constexpr unsigned kCursorAsMetadata = 2;

std::string failure(const QDBusMessage& reply) {
    if (reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
        reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.UnknownObject") ||
        reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.UnknownMethod"))
        return "Could not start screen capture: the compositor offers no org.gnome.Mutter.ScreenCast";
    return "Could not start screen capture: " + reply.errorMessage().toStdString();
}

class MutterScreencast : public ScreencastSession {
public:
    ~MutterScreencast() override {
        stop();
        // Not inside one of its own replies: it can go at once.
        m_context.reset();
    }

    void open(Opened opened, Failed failed) override {
        close();
        m_context = std::make_unique<QObject>();
        m_opened = std::move(opened);
        m_failed = std::move(failed);
        QDBusMessage create =
            QDBusMessage::createMethodCall(kService, QStringLiteral("/org/gnome/Mutter/ScreenCast"), kService,
                                           QStringLiteral("CreateSession"));
        create << QVariantMap{};
        CallAsync(m_context.get(), create, [this](const QDBusMessage& reply) {
            if (!ok(reply))
                return;
            m_session = reply.arguments().value(0).value<QDBusObjectPath>().path();
            new DBusSignal(m_context.get(), kService, m_session, kSessionInterface, QStringLiteral("Closed"),
                           [this](const QDBusMessage&) { sessionClosed(); });
            record();
        });
    }

    void close() override {
        stop();
        DropContext(m_context);
    }

private:
    void stop() {
        if (!m_session.isEmpty()) {
            QDBusMessage stop = QDBusMessage::createMethodCall(kService, m_session, kSessionInterface,
                                                               QStringLiteral("Stop"));
            QDBusConnection::sessionBus().asyncCall(stop);
        }
        m_session.clear();
    }

    bool ok(const QDBusMessage& reply) {
        if (reply.type() != QDBusMessage::ErrorMessage)
            return true;
        fail(failure(reply));
        return false;
    }

    void fail(const std::string& message) {
        Failed failed = std::move(m_failed);
        close();
        if (failed)
            failed(message);
    }

    void record() {
        QDBusMessage call = QDBusMessage::createMethodCall(kService, m_session, kSessionInterface,
                                                           QStringLiteral("RecordMonitor"));
        // An empty connector is the primary monitor.
        call << QString()
             << QVariantMap{{QStringLiteral("cursor-mode"), QVariant::fromValue(kCursorAsMetadata)}};
        CallAsync(m_context.get(), call, [this](const QDBusMessage& reply) {
            if (!ok(reply))
                return;
            m_stream = reply.arguments().value(0).value<QDBusObjectPath>().path();
            new DBusSignal(
                m_context.get(), kService, m_stream, kStreamInterface, QStringLiteral("PipeWireStreamAdded"),
                [this](const QDBusMessage& added) { streamAdded(added.arguments().value(0).toUInt()); });
            readArea();
        });
    }

    void readArea() {
        QDBusMessage get = QDBusMessage::createMethodCall(
            kService, m_stream, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
        get << kStreamInterface << QStringLiteral("Parameters");
        CallAsync(m_context.get(), get, [this](const QDBusMessage& reply) {
            if (!ok(reply))
                return;
            const QVariantMap parameters = ReadVariantMap(reply.arguments().value(0));
            int x = 0, y = 0, w = 0, h = 0;
            ReadIntPair(parameters.value(QStringLiteral("position")), x, y);
            ReadIntPair(parameters.value(QStringLiteral("size")), w, h);
            m_area = TRect{x, y, x + w, y + h};
            start();
        });
    }

    void start() {
        QDBusMessage call =
            QDBusMessage::createMethodCall(kService, m_session, kSessionInterface, QStringLiteral("Start"));
        CallAsync(m_context.get(), call, [this](const QDBusMessage& reply) { ok(reply); });
    }

    void streamAdded(std::uint32_t node) {
        Opened opened = std::move(m_opened);
        m_failed = nullptr;
        if (opened)
            opened(ScreencastStream{-1, node, m_area});
    }

    void sessionClosed() {
        if (m_opened) { // still opening
            fail("Could not start screen capture: the compositor ended the screen cast");
            return;
        }
        m_session.clear();
        if (closed)
            closed();
    }

    std::unique_ptr<QObject> m_context;
    QString m_session;
    QString m_stream;
    TRect m_area;
    Opened m_opened;
    Failed m_failed;
};

} // namespace

std::unique_ptr<ScreencastSession> CreateMutterScreencast() {
    return std::make_unique<MutterScreencast>();
}

} // namespace platform
