// The desktop portal's screencast, the path every Wayland desktop offers
// applications: CreateSession, SelectSources (one monitor, the pointer as
// metadata), Start, which shows the desktop's "share your screen" dialog,
// then OpenPipeWireRemote. Each step answers through a Request object's
// Response signal.
//
// The portal may let a later session skip the dialog with a restore token.
// The token is kept in memory only, for the program's own reconnects after
// PipeWire restarts: the program keeps no files, so every start asks again.
#include "platform/Screencast.h"
#include "platform/ScreencastDBus.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusUnixFileDescriptor>

#include <unistd.h>

#include <memory>

namespace platform {

namespace {

const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kInterface = QStringLiteral("org.freedesktop.portal.ScreenCast");
constexpr unsigned kMonitorSource = 1;
// The portal's cursor modes are flags: 1 hidden, 2 embedded, 4 metadata.
constexpr unsigned kCursorAsMetadata = 4;
constexpr unsigned kPersistWhileRunning = 1;
constexpr unsigned kResponseCancelled = 1;

const char* const kNoPortal = "Could not start screen capture: this desktop offers no screen cast portal, "
                              "org.freedesktop.portal.ScreenCast";
const char* const kRefused =
    "Could not start screen capture: sharing the screen was not allowed, and the lens "
    "has to see the screen to magnify it";
const char* const kNoCursor =
    "Could not start screen capture: the desktop's screen cast cannot tell where the pointer is";

class PortalScreencast : public DBusScreencast {
public:
    PortalScreencast()
        : DBusScreencast(kService, QStringLiteral("org.freedesktop.portal.Session"),
                         QStringLiteral("Close")) {}

    void open(Opened opened, Failed failed) override {
        begin(std::move(opened), std::move(failed));
        QDBusMessage get = QDBusMessage::createMethodCall(
            kService, kPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("GetAll"));
        get << kInterface;
        CallAsync(context(), get, [this](const QDBusMessage& reply) {
            if (reply.type() == QDBusMessage::ErrorMessage) {
                fail(kNoPortal);
                return;
            }
            const QVariantMap properties = ReadVariantMap(reply.arguments().value(0));
            if (!properties.contains(QStringLiteral("AvailableCursorModes"))) {
                fail(kNoPortal);
                return;
            }
            if (!(properties.value(QStringLiteral("AvailableCursorModes")).toUInt() & kCursorAsMetadata)) {
                fail(kNoCursor);
                return;
            }
            m_version = properties.value(QStringLiteral("version")).toUInt();
            createSession();
        });
    }

private:
    // Calls a portal method that answers through a Request: subscribes to
    // the request's Response before the call, since the path is known from
    // the handle token, and calls `then` with the results of a granted one.
    void request(const QString& method, QList<QVariant> arguments, QVariantMap options,
                 std::function<void(const QVariantMap&)> then) {
        const QString token = QStringLiteral("vistrel%1").arg(++m_tokens);
        QString sender = QDBusConnection::sessionBus().baseService().mid(1);
        sender.replace(QLatin1Char('.'), QLatin1Char('_'));
        const QString path = kPath + QStringLiteral("/request/") + sender + QLatin1Char('/') + token;
        new DBusSignal(context(), kService, path, QStringLiteral("org.freedesktop.portal.Request"),
                       QStringLiteral("Response"), [this, then](const QDBusMessage& response) {
                           const unsigned code = response.arguments().value(0).toUInt();
                           if (code != 0) {
                               fail(code == kResponseCancelled
                                        ? kRefused
                                        : "Could not start screen capture: the desktop's "
                                          "screen cast ended before it began");
                               return;
                           }
                           then(ReadVariantMap(response.arguments().value(1)));
                       });
        options.insert(QStringLiteral("handle_token"), token);
        arguments.append(options);
        QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, method);
        call.setArguments(arguments);
        CallAsync(context(), call, [this](const QDBusMessage& reply) { ok(reply); });
    }

    void createSession() {
        const QVariantMap options{
            {QStringLiteral("session_handle_token"), QStringLiteral("vistrel%1").arg(++m_tokens)}};
        request(QStringLiteral("CreateSession"), {}, options, [this](const QVariantMap& results) {
            setSession(results.value(QStringLiteral("session_handle")).toString());
            selectSources();
        });
    }

    void selectSources() {
        QVariantMap options{{QStringLiteral("types"), QVariant::fromValue(kMonitorSource)},
                            {QStringLiteral("multiple"), false},
                            {QStringLiteral("cursor_mode"), QVariant::fromValue(kCursorAsMetadata)}};
        if (m_version >= 4) {
            options.insert(QStringLiteral("persist_mode"), QVariant::fromValue(kPersistWhileRunning));
            if (!m_restoreToken.isEmpty())
                options.insert(QStringLiteral("restore_token"), m_restoreToken);
        }
        request(QStringLiteral("SelectSources"), {QVariant::fromValue(QDBusObjectPath(session()))}, options,
                [this](const QVariantMap&) { start(); });
    }

    void start() {
        request(QStringLiteral("Start"), {QVariant::fromValue(QDBusObjectPath(session())), QString()}, {},
                [this](const QVariantMap& results) {
                    m_restoreToken = results.value(QStringLiteral("restore_token")).toString();
                    if (!readStream(results.value(QStringLiteral("streams")))) {
                        fail("Could not start screen capture: the desktop shared no monitor");
                        return;
                    }
                    openRemote();
                });
    }

    bool readStream(const QVariant& streams) {
        if (streams.userType() != qMetaTypeId<QDBusArgument>())
            return false;
        const QDBusArgument arg = qvariant_cast<QDBusArgument>(streams);
        bool found = false;
        arg.beginArray();
        while (!arg.atEnd()) {
            std::uint32_t node = 0;
            QVariantMap properties;
            arg.beginStructure();
            arg >> node >> properties;
            arg.endStructure();
            if (found)
                continue;
            int x = 0, y = 0, w = 0, h = 0;
            ReadIntPair(properties.value(QStringLiteral("position")), x, y);
            ReadIntPair(properties.value(QStringLiteral("size")), w, h);
            m_stream = ScreencastStream{-1, node, TRect{x, y, x + w, y + h}};
            found = true;
        }
        arg.endArray();
        return found;
    }

    void openRemote() {
        QDBusMessage call =
            QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("OpenPipeWireRemote"));
        call << QVariant::fromValue(QDBusObjectPath(session())) << QVariantMap{};
        CallAsync(context(), call, [this](const QDBusMessage& reply) {
            if (!ok(reply))
                return;
            const QDBusUnixFileDescriptor fd = reply.arguments().value(0).value<QDBusUnixFileDescriptor>();
            if (!fd.isValid()) {
                fail("Could not start screen capture: the desktop gave no PipeWire connection");
                return;
            }
            ScreencastStream stream = m_stream;
            stream.pipeWireFd = ::dup(fd.fileDescriptor());
            succeed(stream);
        });
    }

    QString m_restoreToken;
    ScreencastStream m_stream;
    unsigned m_version = 0;
    unsigned m_tokens = 0;
};

} // namespace

std::unique_ptr<ScreencastSession> CreatePortalScreencast() {
    return std::make_unique<PortalScreencast>();
}

} // namespace platform
