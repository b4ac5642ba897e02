#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

// What a line from the tunnel program's management channel means to the client.
//
// A text is judged split on "," with empty fields dropped: field 1 is the state name and field 2
// its description. The line end counts as a field of its own, so ">STATE:1,TCP_CONNECT,,,,,,\r\n"
// is judged while the same text cut before its line end is not; comma-free lines (the greeting, a
// command's SUCCESS answer, "END") are never judged.
struct ManagementChunk {
    bool judged = false;     // at least three non-empty fields
    QByteArray state;        // field 1
    QByteArray description;  // field 2
    QByteArray line;         // the whole line as read, empty fields and line end included

    // CONNECTED with SUCCESS: the tunnel is up.
    bool connected() const { return judged && state == "CONNECTED" && description == "SUCCESS"; }
    // RECONNECTING for any reason. Once connected it is the fall of the tunnel: a server that died
    // shows over UDP only as ping-restart, a broken TCP connection as connection-reset.
    bool reconnecting() const { return judged && state == "RECONNECTING"; }
};

ManagementChunk judgeManagementChunk(const QByteArray &bytes);

// The judged complete lines of one read, in order, each with its line end; a last line without
// its end is left out. OpenVPN writes several states at once (ASSIGN_IP, ADD_ROUTES and CONNECTED
// come in one read over TCP): judging only the first would miss the connection.
QVector<ManagementChunk> judgeManagementRead(const QByteArray &bytes);

// The channel's reads joined into lines: a line cut by a read boundary is judged when its end
// arrives. An unfinished line longer than the limit is no line OpenVPN writes and is dropped.
class ManagementLineReader {
public:
    static constexpr int lineLimit = 64 * 1024;

    QVector<ManagementChunk> judge(const QByteArray &bytes);
    void reset() { tail.clear(); }
    int pendingBytes() const { return tail.size(); }

private:
    QByteArray tail;
};

// Identical notifications in a row are logged once, then as a count when something else comes: a
// flood from the management peer must not flood the day log.
class RepeatedLineLog {
public:
    // The log lines to write for this notification (none while it repeats the previous one).
    QStringList take(const QString &line);

private:
    QString last;
    int repeats = 0;
};

// The password prompt of a management interface opened with a password file; it has no line end.
inline constexpr char managementPasswordPrompt[] = "ENTER PASSWORD:";
// The answer to a correct password.
inline constexpr char managementPasswordAccepted[] = "SUCCESS: password is correct";
