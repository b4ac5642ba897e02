#pragma once

#include <QString>
#include <optional>

// The options of korvane-client: --version, --help and --diagnostics <file.tar.gz>. Every other
// argument is left to Qt (-platform, -style, ...).
//
// Runs the task the command line asks for, before any window exists (so also without a display),
// and returns the process's exit code; nullopt when the client should start as usual.
std::optional<int> runCommandLine(int argc, char *argv[]);

QString helpText();
QString versionText();

// Writes a diagnostics bundle of the working directory to path. A client running in that
// directory writes it itself (it knows the tunnel's state); otherwise this process does.
// Exit code: 0 written, 1 failed.
int exportDiagnosticsFromCommandLine(const QString &path);
