#pragma once

#include <QByteArray>
#include <QString>

// What one read from the tunnel program's management channel means to the client.
//
// The read is judged as one text split on "," with empty fields dropped; lines are not separated
// first. Field 1 is the state name and field 2 its description, so of several state lines in one
// read only the first counts, and a comma-free line in front of it (a greeting, a command's
// SUCCESS answer) only becomes part of field 0.
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

// The password prompt of a management interface opened with a password file; it has no line end.
inline constexpr char managementPasswordPrompt[] = "ENTER PASSWORD:";
// The answer to a correct password.
inline constexpr char managementPasswordAccepted[] = "SUCCESS: password is correct";
