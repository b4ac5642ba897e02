#pragma once

#include <QDateTime>
#include <QString>
#include <QtGlobal>

// The day log: every diagnostic message of the process is appended to
// <working directory>/LogFile/yyyyMMdd.txt once the handler is installed.

// One entry without its terminator: "(yyyy-MM-dd hh:mm:ss ddd) " + level word + " " + message.
// The day name follows the system locale; an info message has an empty level word.
QString formatLogEntry(QtMsgType type, const QString &message, const QDateTime &now);

// Appends the entry and "\r\n \r\n" to the day file of `now`, creating LogFile (one level) when it
// is missing. Failures lose the message silently. Not locked: the handler serialises the calls.
void appendDayLogEntry(QtMsgType type, const QString &message, const QDateTime &now);

// The process-wide handler for qInstallMessageHandler; safe to call from any thread.
void dayLogMessageHandler(QtMsgType type, const QMessageLogContext &context, const QString &message);
