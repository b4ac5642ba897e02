#pragma once

// Every text the client shows is Chinese, Qt's own included (the standard buttons of the message
// boxes read 确定, 是, 否), and every window title reaches the window system exactly as given: an
// empty one stays empty instead of turning into the program's file name. Returns false when Qt's
// Chinese translation is not installed (Debian: qttranslations5-l10n); the buttons then stay English.
bool applyClientLanguage();
