// A stand-in for the desktop portal's Inhibit interface, run on a private session bus by the
// window tests. It grants every inhibition, ends one when its request is closed or its owner
// leaves the bus, and answers the tests on a little interface of its own:
//   io.github.quillet.PortalStandIn.Active()  inhibitions held now
//   io.github.quillet.PortalStandIn.Granted() inhibitions granted since the start
//   io.github.quillet.PortalStandIn.LastFlags() / LastReason()  of the newest inhibition
// at /io/github/quillet/PortalStandIn. It owns org.freedesktop.portal.Desktop, prints "ready"
// once it does, and runs until killed.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusServiceWatcher>
#include <QMap>
#include <QVariantMap>
#include <cstdio>

namespace {

const QString PortalPath = QStringLiteral("/org/freedesktop/portal/desktop");

// One granted inhibition, closed through its request object.
class InhibitRequest : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Request")

public:
    explicit InhibitRequest(QString owner) : owner(std::move(owner)) {}
    const QString owner;

signals:
    void closed(InhibitRequest* request);

public slots:
    void Close() { emit closed(this); }
};

class InhibitPortal : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Inhibit")

public:
    explicit InhibitPortal(QDBusConnection bus) : bus(bus), owners(this)
    {
        owners.setConnection(bus);
        owners.setWatchMode(QDBusServiceWatcher::WatchForUnregistration);
        connect(&owners, &QDBusServiceWatcher::serviceUnregistered, this,
                &InhibitPortal::OnOwnerLeft);
    }

    uint ActiveCount() const { return uint(requests.size()); }
    uint granted = 0;
    uint lastFlags = 0;
    QString lastReason;

public slots:
    QDBusObjectPath Inhibit(const QString&, uint flags, const QVariantMap& options,
                            const QDBusMessage& message)
    {
        // The handle's path follows the portal's rule: the sender without its colon, dots as
        // underscores, then the caller's token.
        QString sender = message.service();
        QString token = options.value("handle_token").toString();
        if (token.isEmpty())
            token = QStringLiteral("t%1").arg(granted);
        QString path = PortalPath + "/request/" + sender.mid(1).replace('.', '_') + "/" + token;
        auto* request = new InhibitRequest(sender);
        request->setParent(this);
        bus.registerObject(path, request, QDBusConnection::ExportAllSlots);
        requests.insert(path, request);
        connect(request, &InhibitRequest::closed, this, [this, path] { End(path); });
        owners.addWatchedService(sender);
        ++granted;
        lastFlags = flags;
        lastReason = options.value("reason").toString();
        return QDBusObjectPath(path);
    }

private:
    void End(const QString& path)
    {
        InhibitRequest* request = requests.take(path);
        if (!request)
            return;
        bus.unregisterObject(path);
        request->deleteLater();
    }

    void OnOwnerLeft(const QString& owner)
    {
        for (const QString& path : requests.keys())
            if (requests.value(path)->owner == owner)
                End(path);
    }

    QDBusConnection bus;
    QDBusServiceWatcher owners;
    QMap<QString, InhibitRequest*> requests;
};

class StandInRecord : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "io.github.quillet.PortalStandIn")

public:
    explicit StandInRecord(const InhibitPortal& portal) : portal(portal) {}

public slots:
    uint Active() { return portal.ActiveCount(); }
    uint Granted() { return portal.granted; }
    uint LastFlags() { return portal.lastFlags; }
    QString LastReason() { return portal.lastReason; }

private:
    const InhibitPortal& portal;
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        std::fprintf(stderr, "portal-standin: no session bus: %s\n",
                     qPrintable(bus.lastError().message()));
        return 1;
    }
    InhibitPortal portal(bus);
    StandInRecord record(portal);
    bus.registerObject(PortalPath, "org.freedesktop.portal.Inhibit", &portal,
                       QDBusConnection::ExportAllSlots);
    bus.registerObject("/io/github/quillet/PortalStandIn", &record,
                       QDBusConnection::ExportAllSlots);
    if (!bus.registerService("org.freedesktop.portal.Desktop")) {
        std::fprintf(stderr, "portal-standin: cannot own the portal's name: %s\n",
                     qPrintable(bus.lastError().message()));
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    return application.exec();
}

#include "PortalStandIn.moc"
