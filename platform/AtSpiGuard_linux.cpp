#include "platform/AtSpiGuard.h"

#include <QAccessible>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QHash>
#include <QPointer>
#include <QSet>
#include <QXmlStreamReader>

namespace platform {

namespace {

// Where the bridge lives: its connection to the accessibility bus, the tree
// of accessible objects it serves (one virtual object for all), and the
// device event controller, which is the bridge object itself.
const QString kConnectionName = QStringLiteral("a11y");
const QString kAccessiblePath = QStringLiteral("/org/a11y/atspi/accessible");
const QString kBridgePath = QStringLiteral("/org/a11y/atspi/registry/deviceeventcontroller");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
const QString kIntrospectable = QStringLiteral("org.freedesktop.DBus.Introspectable");
const QString kAccessible = QStringLiteral("org.a11y.atspi.Accessible");

// What one object offers, as the bridge introspects it: "interface.member"
// to the signature of its arguments, and "interface.property" by access.
struct Offer {
    QHash<QString, QString> methods;
    QSet<QString> readable;
    QSet<QString> writable;
};

Offer readOffer(const QString& introspection) {
    Offer offer;
    // The bridge gives the interfaces alone; a root element makes them a document.
    QXmlStreamReader xml(QStringLiteral("<node>") + introspection + QStringLiteral("</node>"));
    QString interface, method, signature;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            const QXmlStreamAttributes a = xml.attributes();
            const QString name = a.value(QLatin1String("name")).toString();
            if (xml.name() == QLatin1String("interface")) {
                interface = name;
            } else if (xml.name() == QLatin1String("method")) {
                method = interface + u'.' + name;
                signature.clear();
            } else if (xml.name() == QLatin1String("arg") && !method.isEmpty() &&
                       a.value(QLatin1String("direction")) != QLatin1String("out")) {
                signature += a.value(QLatin1String("type"));
            } else if (xml.name() == QLatin1String("property")) {
                const auto access = a.value(QLatin1String("access"));
                if (access.contains(QLatin1String("read")))
                    offer.readable.insert(interface + u'.' + name);
                if (access.contains(QLatin1String("write")))
                    offer.writable.insert(interface + u'.' + name);
            }
        } else if (xml.isEndElement() && xml.name() == QLatin1String("method")) {
            offer.methods.insert(method, signature);
            method.clear();
        }
    }
    return offer;
}

class BridgeGuard : public QDBusVirtualObject {
public:
    explicit BridgeGuard(QObject* parent) : QDBusVirtualObject(parent) {}

    void setBridge(QDBusVirtualObject* bridge) { m_bridge = bridge; }

    QString introspect(const QString& path) const override {
        QDBusVirtualObject* b = bridge();
        return b ? b->introspect(path) : QString();
    }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        const QString interface = message.interface();
        const QString member = message.member();
        const QString signature = message.signature();
        // QtDBus itself answers an introspection the bridge leaves to it.
        if ((interface.isEmpty() || interface == kIntrospectable) && member == QLatin1String("Introspect") &&
            signature.isEmpty())
            return false;
        QDBusVirtualObject* b = bridge();
        if (!b)
            return refuse(message, connection, QDBusError::Failed,
                          QStringLiteral("Accessibility is starting"));
        const Offer& offer = offerOf(b->introspect(message.path()));
        if (interface == kProperties) {
            const QList<QVariant> args = message.arguments();
            const auto property = [&args] { return args.at(0).toString() + u'.' + args.at(1).toString(); };
            if ((member == QLatin1String("Get") && signature == QLatin1String("ss") &&
                 offer.readable.contains(property())) ||
                (member == QLatin1String("Set") && signature == QLatin1String("ssv") &&
                 offer.writable.contains(property())))
                return b->handleMessage(message, connection);
            if (member == QLatin1String("GetAll"))
                return refuse(message, connection, QDBusError::NotSupported,
                              QStringLiteral("Ask for each property with Get"));
            return refuse(message, connection, QDBusError::InvalidArgs, QStringLiteral("No such property"));
        }
        const auto declared = offer.methods.constFind(interface + u'.' + member);
        // The bridge serves GetInterfaces without declaring it; it takes no argument.
        const bool served =
            declared != offer.methods.cend()
                ? *declared == signature
                : interface == kAccessible && member == QLatin1String("GetInterfaces") && signature.isEmpty();
        if (served)
            return b->handleMessage(message, connection);
        return refuse(message, connection,
                      declared != offer.methods.cend() ? QDBusError::InvalidArgs : QDBusError::UnknownMethod,
                      QStringLiteral("No such call: %1.%2(%3)").arg(interface, member, signature));
    }

private:
    static bool refuse(const QDBusMessage& message, const QDBusConnection& connection,
                       QDBusError::ErrorType type, const QString& text) {
        connection.send(message.createErrorReply(type, text));
        return true;
    }

    // The bridge could not register its own tree, which the guard holds: it
    // is found among the children of the bridge object, which it registers
    // under its own path before it tries.
    QDBusVirtualObject* bridge() const {
        if (!m_bridge) {
            if (QObject* owner = QDBusConnection(kConnectionName).objectRegisteredAt(kBridgePath)) {
                for (QObject* child : owner->children()) {
                    auto* served = qobject_cast<QDBusVirtualObject*>(child);
                    if (served && served != this) {
                        m_bridge = served;
                        break;
                    }
                }
            }
        }
        return m_bridge;
    }

    const Offer& offerOf(const QString& introspection) {
        // Objects offer one of a few sets of interfaces: read each set once.
        auto it = m_offers.find(introspection);
        if (it == m_offers.end())
            it = m_offers.insert(introspection, readOffer(introspection));
        return *it;
    }

    mutable QPointer<QDBusVirtualObject> m_bridge;
    QHash<QString, Offer> m_offers;
};

// Takes the bridge's place on the bus. Called when accessibility comes on,
// which the bridge announces after it connects to the bus and before it
// registers its tree: the guard is there first, and the bridge's own
// registration at the same path fails, so that no call reaches it except
// through the guard.
void standGuard() {
    static QPointer<BridgeGuard> guard;
    QDBusConnection bus(kConnectionName);
    if (!bus.isConnected() || !QCoreApplication::instance())
        return;
    QObject* served = bus.objectRegisteredAt(kAccessiblePath);
    if (guard && served == guard)
        return;
    if (!guard)
        guard = new BridgeGuard(QCoreApplication::instance());
    // Should the bridge have registered first after all, the guard replaces it.
    if (auto* bridge = qobject_cast<QDBusVirtualObject*>(served)) {
        guard->setBridge(bridge);
        bus.unregisterObject(kAccessiblePath, QDBusConnection::UnregisterTree);
    }
    bus.registerVirtualObject(kAccessiblePath, guard, QDBusConnection::SubPath);
}

class Activation : public QAccessible::ActivationObserver {
public:
    void accessibilityActiveChanged(bool active) override {
        if (active)
            standGuard();
    }
};

} // namespace

void GuardAtSpiBridge() {
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    // The bridge, which alone turns accessibility on and off, goes with the
    // application object, long before this observer does.
    static Activation activation;
    QAccessible::installActivationObserver(&activation);
    if (QAccessible::isActive())
        standGuard();
}

} // namespace platform
