#pragma once

// The Windows client is a windowed program: Windows gives it no console. When it is started from a
// console for a command-line task (--version, --help, --diagnostics), its output goes to that
// console, unless it is already redirected. Elsewhere nothing to do.
void useParentConsole();
