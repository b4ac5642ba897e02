#pragma once

#include <QObject>
#include <QString>

// Desktop notifications through the freedesktop notification service on the session bus. Fire and
// forget: a call never waits for the service, and a missing or silent service only costs one
// warning in the log for the whole run.
class DesktopNotifier : public QObject {
    Q_OBJECT

public:
    explicit DesktopNotifier(QObject *parent = nullptr);

    void notify(const QString &summary, const QString &body);

    // Calls sent and replies received (a service that never answers keeps them apart).
    int sentCount() const { return sent; }
    int answeredCount() const { return answered; }

private:
    void warnOnce(const QString &reason);

    uint shownId = 0; // the last notification shown: the next one replaces it
    int sent = 0;
    int answered = 0;
    bool warned = false;
};
