#pragma once

// Reading the system's font configuration (fontconfig's XML files and its caches) is a quarter of
// the instructions from start to the login dialog, and it needs nothing of Qt. start() runs it on
// a thread of its own before the application object exists, so it overlaps with Qt's own start
// on the second core; finish() waits for what is left, before the first font is looked up. Qt's
// font database then finds the configuration loaded, with one rule of the client's own: the bold
// faces of the Chinese family are left out (see fontwarmup.cpp). Nothing to do where Qt does not
// use fontconfig (Windows).
namespace FontWarmup {
void start();
void finish();
} // namespace FontWarmup
