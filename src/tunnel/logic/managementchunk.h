#pragma once

#include <QByteArray>
#include <QString>
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

    // CONNECTED with SUCCESS: the tunnel is up.
    bool connected() const { return judged && state == "CONNECTED" && description == "SUCCESS"; }
    // RECONNECTING after connection-reset, or a fresh TCP connect: the tunnel dropped.
    bool dropped() const
    {
        return judged && ((state == "RECONNECTING" && description == "connection-reset") || state == "TCP_CONNECT");
    }
};

ManagementChunk judgeManagementChunk(const QByteArray &bytes);

// The judged lines of one read, in order, each line with its line end. OpenVPN writes several
// states at once (ASSIGN_IP, ADD_ROUTES and CONNECTED come in one read over TCP): judging only the
// first would miss the connection and time a working tunnel out.
QVector<ManagementChunk> judgeManagementRead(const QByteArray &bytes);

// The password prompt of a management interface opened with a password file; it has no line end.
inline constexpr char managementPasswordPrompt[] = "ENTER PASSWORD:";
// The answer to a correct password.
inline constexpr char managementPasswordAccepted[] = "SUCCESS: password is correct";
