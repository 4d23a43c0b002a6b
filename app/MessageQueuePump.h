// Delivers the messages of the user-interface thread's queue (the engine's events, sample
// buffers and timer ticks, which its hidden windows receive) from inside Qt's event loop.
// Because it rides on a socket notifier, the messages also arrive while a nested loop runs,
// as under QMessageBox::exec or QDialog::exec. Construct one on the user-interface thread.
#pragma once

#include <QObject>

class QSocketNotifier;

class MessageQueuePump : public QObject
{
    Q_OBJECT

public:
    explicit MessageQueuePump(QObject* parent = nullptr);

    // Dispatches every message that is queued or due now; answers how many it dispatched.
    int Drain();

private:
    QSocketNotifier* notifier;
};
