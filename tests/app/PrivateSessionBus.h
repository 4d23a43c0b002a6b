// A D-Bus session bus of the test's own, with the portal stand-in on it (tests/app/standins),
// and the process's session bus address pointed at it. Construct it before anything in the test
// process talks to D-Bus: Qt keeps the first session connection for the life of the process
// (each test runs in a process of its own).
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

class PrivateSessionBus
{
public:
    // withPortal false leaves the bus without a portal, as a desktop without one is.
    explicit PrivateSessionBus(bool withPortal = true)
    {
        const std::string config = folder / "session.conf";
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
        setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);
        if (withPortal) {
            portal.start(QUILLET_PORTAL_STANDIN, {});
            if (!portal.waitForReadyRead(5000) || !portal.readLine().startsWith("ready")) {
                why = "the portal stand-in did not start: " +
                      portal.readAllStandardError().toStdString();
                return;
            }
        }
        started = true;
    }
    ~PrivateSessionBus()
    {
        for (QProcess* process : {&portal, &daemon}) {
            process->kill();
            process->waitForFinished(2000);
        }
    }
    PrivateSessionBus(const PrivateSessionBus&) = delete;
    PrivateSessionBus& operator=(const PrivateSessionBus&) = delete;

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
        QDBusInterface record("org.freedesktop.portal.Desktop", "/io/github/quillet/PortalStandIn",
                              "io.github.quillet.PortalStandIn");
        QDBusReply<T> reply = record.call(method);
        return reply.isValid() ? reply.value() : fallback;
    }

    TempFolder folder;
    QProcess daemon;
    QProcess portal;
    std::string address;
    std::string why;
    bool started = false;
};
