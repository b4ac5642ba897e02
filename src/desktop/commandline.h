#pragma once

#include <QString>
#include <optional>

// The options of korvane-client: --version, --help and --diagnostics <file.tar.gz>, beside Qt's own
// (-platform, -style, ...). Anything else is refused with the usage (exit 2), and a start without a
// display says so in one line (exit 1) instead of letting Qt abort.
//
// Runs the task the command line asks for, before any window exists (so also without a display),
// and returns the process's exit code; nullopt when the client should start as usual.
std::optional<int> runCommandLine(int argc, char *argv[]);

QString helpText();

// The check of a start that opens the window: exit code 2 for an unknown option or a stray argument,
// 1 without a display (unless a Qt platform is named on the command line); nullopt to start.
std::optional<int> checkArguments(int argc, char *argv[], bool hasDisplay);
QString versionText();

// Writes a diagnostics bundle of the working directory to path. A client running in that
// directory writes it itself (it knows the tunnel's state); otherwise this process does.
// Exit code: 0 written, 1 failed.
int exportDiagnosticsFromCommandLine(const QString &path);
