// A stand-in for the desktop's inhibition services, run on private buses by the window tests:
// by default the portal's Inhibit interface on the session bus, whose inhibitions end when their
// request is closed or their owner leaves the bus; with --logind, logind's Manager.Inhibit on the
// system bus, whose inhibitions last while a copy of the descriptor it hands out is open. It
// grants every inhibition and answers the tests on a little interface of its own:
//   io.github.quillet.PortalStandIn.Active()  inhibitions held now
//   io.github.quillet.PortalStandIn.Granted() inhibitions granted since the start
//   io.github.quillet.PortalStandIn.LastFlags() / LastReason()  of the newest inhibition
// at /io/github/quillet/PortalStandIn (LastFlags is the portal's only). It owns the service's
// name, prints "ready" once it does, and runs until killed.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusServiceWatcher>
#include <QDBusUnixFileDescriptor>
#include <QMap>
#include <QSocketNotifier>
#include <QVariantMap>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

const QString PortalPath = QStringLiteral("/org/freedesktop/portal/desktop");

// What the tests ask about, whichever service grants.
struct Tally
{
    uint active = 0;
    uint granted = 0;
    uint lastFlags = 0;
    QString lastReason;
};

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
    InhibitPortal(QDBusConnection bus, Tally& tally) : bus(bus), tally(tally), owners(this)
    {
        owners.setConnection(bus);
        owners.setWatchMode(QDBusServiceWatcher::WatchForUnregistration);
        connect(&owners, &QDBusServiceWatcher::serviceUnregistered, this,
                &InhibitPortal::OnOwnerLeft);
    }

public slots:
    QDBusObjectPath Inhibit(const QString&, uint flags, const QVariantMap& options,
                            const QDBusMessage& message)
    {
        // The handle's path follows the portal's rule: the sender without its colon, dots as
        // underscores, then the caller's token.
        QString sender = message.service();
        QString token = options.value("handle_token").toString();
        if (token.isEmpty())
            token = QStringLiteral("t%1").arg(tally.granted);
        QString path = PortalPath + "/request/" + sender.mid(1).replace('.', '_') + "/" + token;
        auto* request = new InhibitRequest(sender);
        request->setParent(this);
        bus.registerObject(path, request, QDBusConnection::ExportAllSlots);
        requests.insert(path, request);
        connect(request, &InhibitRequest::closed, this, [this, path] { End(path); });
        owners.addWatchedService(sender);
        ++tally.granted;
        tally.active = uint(requests.size());
        tally.lastFlags = flags;
        tally.lastReason = options.value("reason").toString();
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
        tally.active = uint(requests.size());
    }

    void OnOwnerLeft(const QString& owner)
    {
        for (const QString& path : requests.keys())
            if (requests.value(path)->owner == owner)
                End(path);
    }

    QDBusConnection bus;
    Tally& tally;
    QDBusServiceWatcher owners;
    QMap<QString, InhibitRequest*> requests;
};

class LogindManager : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")

public:
    explicit LogindManager(Tally& tally) : tally(tally) {}

public slots:
    QDBusUnixFileDescriptor Inhibit(const QString&, const QString&, const QString& why,
                                    const QString&)
    {
        // The inhibition ends when the last copy of the write end closes: the read end then
        // reads end-of-file.
        int ends[2];
        if (pipe2(ends, O_CLOEXEC) != 0)
            return QDBusUnixFileDescriptor();
        QDBusUnixFileDescriptor handed(ends[1]); // a copy of its own
        close(ends[1]);
        auto* watch = new QSocketNotifier(ends[0], QSocketNotifier::Read, this);
        connect(watch, &QSocketNotifier::activated, this, [this, watch, fd = ends[0]] {
            char byte;
            if (read(fd, &byte, 1) > 0)
                return;
            watch->setEnabled(false);
            watch->deleteLater();
            close(fd);
            --tally.active;
        });
        ++tally.active;
        ++tally.granted;
        tally.lastReason = why;
        return handed;
    }

private:
    Tally& tally;
};

class StandInRecord : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "io.github.quillet.PortalStandIn")

public:
    explicit StandInRecord(const Tally& tally) : tally(tally) {}

public slots:
    uint Active() { return tally.active; }
    uint Granted() { return tally.granted; }
    uint LastFlags() { return tally.lastFlags; }
    QString LastReason() { return tally.lastReason; }

private:
    const Tally& tally;
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    const bool logind = argc > 1 && QByteArray(argv[1]) == "--logind";
    QDBusConnection bus = logind ? QDBusConnection::systemBus() : QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        std::fprintf(stderr, "portal-standin: no bus: %s\n", qPrintable(bus.lastError().message()));
        return 1;
    }
    Tally tally;
    InhibitPortal portal(bus, tally);
    LogindManager manager(tally);
    StandInRecord record(tally);
    QString service = QStringLiteral("org.freedesktop.portal.Desktop");
    if (logind) {
        service = QStringLiteral("org.freedesktop.login1");
        bus.registerObject("/org/freedesktop/login1", &manager, QDBusConnection::ExportAllSlots);
    } else {
        bus.registerObject(PortalPath, &portal, QDBusConnection::ExportAllSlots);
    }
    bus.registerObject("/io/github/quillet/PortalStandIn", &record,
                       QDBusConnection::ExportAllSlots);
    if (!bus.registerService(service)) {
        std::fprintf(stderr, "portal-standin: cannot own %s: %s\n", qPrintable(service),
                     qPrintable(bus.lastError().message()));
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    return application.exec();
}

#include "PortalStandIn.moc"
