// Keeps the desktop from suspending or idling the machine while a recording runs.
//
// A recording that a suspend cuts off loses what the microphone would have heard, and a screen
// locker that blanks the window hides the level the user watches. The inhibition goes through the
// desktop portal's Inhibit interface on the session bus (what sandboxed and unsandboxed programs
// alike use on current desktops), or through logind's Inhibit on the system bus where no portal
// answers. Every call is asynchronous: a slow or absent service never stalls the window, and
// without any bus the recording goes on as before, uninhibited.
//
// Threads: the UI thread; replies arrive through Qt's event loop.
#pragma once

#include <QDBusObjectPath>
#include <QDBusUnixFileDescriptor>
#include <QObject>
#include <QString>

class QDBusPendingCallWatcher;

class SleepInhibitor : public QObject
{
    Q_OBJECT

public:
    explicit SleepInhibitor(QObject* parent = nullptr);
    // Releases what is held.
    ~SleepInhibitor() override;

    // Asks for the inhibition unless it is held or asked for already.
    void Hold(const QString& reason);
    // Gives the inhibition back, now or as soon as a pending request is answered.
    void Release();

    // True while the desktop has granted the inhibition.
    bool IsHeld() const { return !portalHandle.path().isEmpty() || logindLock.isValid(); }

private:
    void AskPortal();
    void AskLogind();
    void OnPortalReply(QDBusPendingCallWatcher* watcher);
    void OnLogindReply(QDBusPendingCallWatcher* watcher);
    void GiveBack();

    QString reason;
    bool wanted = false; // what the recording wants; replies that come late follow it
    QDBusPendingCallWatcher* request = nullptr; // the request on its way
    QDBusObjectPath portalHandle;
    QDBusUnixFileDescriptor logindLock;
    unsigned tokenCount = 0;
};
