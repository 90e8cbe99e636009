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

class MutterScreencast : public DBusScreencast {
public:
    MutterScreencast() : DBusScreencast(kService, kSessionInterface, QStringLiteral("Stop")) {}

    void open(Opened opened, Failed failed) override {
        begin(std::move(opened), std::move(failed));
        QDBusMessage create =
            QDBusMessage::createMethodCall(kService, QStringLiteral("/org/gnome/Mutter/ScreenCast"), kService,
                                           QStringLiteral("CreateSession"));
        create << QVariantMap{};
        CallAsync(context(), create, [this](const QDBusMessage& reply) {
            if (!ok(reply))
                return;
            setSession(reply.arguments().value(0).value<QDBusObjectPath>().path());
            record();
        });
    }

private:
    std::string failureOf(const QDBusMessage& error) const override {
        if (error.errorName() == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
            error.errorName() == QLatin1String("org.freedesktop.DBus.Error.UnknownObject") ||
            error.errorName() == QLatin1String("org.freedesktop.DBus.Error.UnknownMethod"))
            return "Could not start screen capture: the compositor offers no org.gnome.Mutter.ScreenCast";
        return DBusScreencast::failureOf(error);
    }

    void record() {
        QDBusMessage call = QDBusMessage::createMethodCall(kService, session(), kSessionInterface,
                                                           QStringLiteral("RecordMonitor"));
        // An empty connector is the primary monitor.
        call << QString()
             << QVariantMap{{QStringLiteral("cursor-mode"), QVariant::fromValue(kCursorAsMetadata)}};
        CallAsync(context(), call, [this](const QDBusMessage& reply) {
            if (!ok(reply))
                return;
            m_stream = reply.arguments().value(0).value<QDBusObjectPath>().path();
            new DBusSignal(
                context(), kService, m_stream, kStreamInterface, QStringLiteral("PipeWireStreamAdded"),
                [this](const QDBusMessage& added) { streamAdded(added.arguments().value(0).toUInt()); });
            readArea();
        });
    }

    void readArea() {
        QDBusMessage get = QDBusMessage::createMethodCall(
            kService, m_stream, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
        get << kStreamInterface << QStringLiteral("Parameters");
        CallAsync(context(), get, [this](const QDBusMessage& reply) {
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
            QDBusMessage::createMethodCall(kService, session(), kSessionInterface, QStringLiteral("Start"));
        CallAsync(context(), call, [this](const QDBusMessage& reply) { ok(reply); });
    }

    void streamAdded(std::uint32_t node) { succeed(ScreencastStream{-1, node, m_area}); }

    QString m_stream;
    TRect m_area;
};

} // namespace

std::unique_ptr<ScreencastSession> CreateMutterScreencast() {
    return std::make_unique<MutterScreencast>();
}

} // namespace platform
