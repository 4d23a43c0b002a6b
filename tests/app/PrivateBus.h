// A D-Bus bus of the test's own standing in for the session or the system bus, with one of the
// stand-in services on it (tests/app/standins), and the process's address of that bus pointed at
// it. Construct it before anything in the test process talks to that bus: Qt keeps its first
// connection for the life of the process (each test runs in a process of its own).
#pragma once

#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>
#include <QProcess>
#include <QString>
#include <cstdlib>
#include <fstream>
#include <string>

#include "TempFolder.h"

class PrivateBus
{
public:
    enum class Service
    {
        None,   // a bus on which nobody answers, as a desktop without a portal
        Portal, // the desktop portal's Inhibit on a session bus
        Logind, // logind's Inhibit on a system bus
    };

    explicit PrivateBus(Service service = Service::Portal) : system(service == Service::Logind)
    {
        const std::string config = folder / "bus.conf";
        std::ofstream(config) << "<busconfig><type>session</type>"
                                 "<listen>unix:path="
                              << (folder / "bus")
                              << "</listen><auth>EXTERNAL</auth>"
                                 "<policy context=\"default\"><allow user=\"*\"/>"
                                 "<allow send_destination=\"*\" eavesdrop=\"true\"/>"
                                 "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy>"
                                 "</busconfig>\n";
        daemon.start("dbus-daemon", {"--config-file=" + QString::fromStdString(config), "--nofork",
                                     "--print-address=1"});
        if (!daemon.waitForStarted(5000) || !daemon.waitForReadyRead(5000)) {
            why = "dbus-daemon did not start: " + daemon.errorString().toStdString();
            return;
        }
        address = daemon.readLine().trimmed().toStdString();
        setenv(system ? "DBUS_SYSTEM_BUS_ADDRESS" : "DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);
        if (service != Service::None) {
            portal.start(QUILLET_PORTAL_STANDIN, system ? QStringList{"--logind"} : QStringList{});
            if (!portal.waitForReadyRead(5000) || !portal.readLine().startsWith("ready")) {
                why = "the stand-in service did not start: " +
                      portal.readAllStandardError().toStdString();
                return;
            }
        }
        started = true;
    }
    ~PrivateBus()
    {
        for (QProcess* process : {&portal, &daemon}) {
            process->kill();
            process->waitForFinished(2000);
        }
    }
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    bool Started() const { return started; }
    const std::string& Why() const { return why; }

    // What the stand-in counts: inhibitions held now, and granted since it started.
    // A count the stand-in did not answer is NoAnswer, never a plausible zero.
    static constexpr unsigned NoAnswer = ~0u;
    unsigned Active() { return Ask<uint>("Active", NoAnswer); }
    unsigned Granted() { return Ask<uint>("Granted", NoAnswer); }
    unsigned LastFlags() { return Ask<uint>("LastFlags", NoAnswer); }
    QString LastReason() { return Ask<QString>("LastReason", {}); }

private:
    template <class T> T Ask(const char* method, T fallback)
    {
        QDBusInterface record(system ? "org.freedesktop.login1" : "org.freedesktop.portal.Desktop",
                              "/io/github/quillet/PortalStandIn", "io.github.quillet.PortalStandIn",
                              system ? QDBusConnection::systemBus()
                                     : QDBusConnection::sessionBus());
        QDBusReply<T> reply = record.call(method);
        return reply.isValid() ? reply.value() : fallback;
    }

    const bool system;
    TempFolder folder;
    QProcess daemon;
    QProcess portal;
    std::string address;
    std::string why;
    bool started = false;
};
