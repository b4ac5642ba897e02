#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGTERM, SIGINT and SIGHUP (session logout, a kill, a closed terminal) into an orderly
// QCoreApplication::quit(), so that what runs at quit (stopping the tunnel) still runs. The
// handler only writes to a pipe; the quit happens in the event loop. The handlers outlive the
// object, so that signals after the quit do not change the exit status.
class QuitOnSignals : public QObject {
    Q_OBJECT

public:
    explicit QuitOnSignals(QObject *parent = nullptr);
    ~QuitOnSignals() override;

    bool isActive() const { return active; }

private:
    QSocketNotifier *notifier = nullptr;
    bool active = false;
};
