#include "SleepInhibitor.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

namespace {

const QString PortalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString PortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString PortalInhibit = QStringLiteral("org.freedesktop.portal.Inhibit");
const QString PortalRequest = QStringLiteral("org.freedesktop.portal.Request");
const QString LogindService = QStringLiteral("org.freedesktop.login1");
const QString LogindPath = QStringLiteral("/org/freedesktop/login1");
const QString LogindManager = QStringLiteral("org.freedesktop.login1.Manager");

// The portal's flags: 4 suspend, 8 idle. Logging out or switching users stays the user's choice.
constexpr uint PortalSuspendAndIdle = 4 | 8;

// Closing its request ends a portal's inhibition; the answer carries nothing to wait for.
void ClosePortalRequest(const QDBusObjectPath& handle)
{
    QDBusConnection::sessionBus().send(
        QDBusMessage::createMethodCall(PortalService, handle.path(), PortalRequest, "Close"));
}

} // namespace

SleepInhibitor::SleepInhibitor(QObject* parent) : QObject(parent) {}

SleepInhibitor::~SleepInhibitor()
{
    wanted = false;
    GiveBack();
    if (!request)
        return;
    // The answer outlives us: whatever it grants is given back as soon as it comes. The
    // application keeps the request, so one still unanswered when the program ends goes with it.
    request->disconnect(this);
    request->setParent(QCoreApplication::instance());
    connect(request, &QDBusPendingCallWatcher::finished, [](QDBusPendingCallWatcher* watcher) {
        watcher->deleteLater();
        QDBusMessage reply = watcher->reply();
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
            return;
        QVariant granted = reply.arguments().front();
        if (granted.canConvert<QDBusObjectPath>())
            ClosePortalRequest(granted.value<QDBusObjectPath>());
    });
}

void SleepInhibitor::Hold(const QString& why)
{
    reason = why;
    wanted = true;
    if (IsHeld() || request)
        return;
    if (QDBusConnection::sessionBus().isConnected())
        AskPortal();
    else
        AskLogind();
}

void SleepInhibitor::Release()
{
    wanted = false;
    // A request on its way is given back when its answer comes.
    if (!request)
        GiveBack();
}

void SleepInhibitor::AskPortal()
{
    QDBusMessage call =
        QDBusMessage::createMethodCall(PortalService, PortalPath, PortalInhibit, "Inhibit");
    QVariantMap options{{"reason", reason},
                        {"handle_token", QStringLiteral("quillet%1").arg(++tokenCount)}};
    // No window identifier: the inhibition is the program's, whichever window shows.
    call << QString() << PortalSuspendAndIdle << options;
    request = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call), this);
    connect(request, &QDBusPendingCallWatcher::finished, this, &SleepInhibitor::OnPortalReply);
}

void SleepInhibitor::AskLogind()
{
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected())
        return;
    QDBusMessage call =
        QDBusMessage::createMethodCall(LogindService, LogindPath, LogindManager, "Inhibit");
    call << QStringLiteral("sleep:idle") << QStringLiteral("Quillet") << reason
         << QStringLiteral("block");
    request = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(request, &QDBusPendingCallWatcher::finished, this, &SleepInhibitor::OnLogindReply);
}

void SleepInhibitor::OnPortalReply(QDBusPendingCallWatcher* watcher)
{
    watcher->deleteLater();
    request = nullptr;
    QDBusPendingReply<QDBusObjectPath> reply = *watcher;
    if (reply.isError()) {
        // No portal on this desktop, or one without Inhibit: logind is the other way.
        if (wanted)
            AskLogind();
        return;
    }
    portalHandle = reply.value();
    if (!wanted)
        GiveBack();
}

void SleepInhibitor::OnLogindReply(QDBusPendingCallWatcher* watcher)
{
    watcher->deleteLater();
    request = nullptr;
    QDBusPendingReply<QDBusUnixFileDescriptor> reply = *watcher;
    if (reply.isError())
        return; // nobody to ask: the recording goes on uninhibited
    logindLock = reply.value();
    if (!wanted)
        GiveBack();
}

void SleepInhibitor::GiveBack()
{
    if (!portalHandle.path().isEmpty()) {
        ClosePortalRequest(portalHandle);
        portalHandle = QDBusObjectPath();
    }
    // logind ends its inhibition when the last copy of the descriptor closes.
    logindLock = QDBusUnixFileDescriptor();
}
