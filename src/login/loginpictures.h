#pragma once

#include <QPixmap>

// The login dialog's pictures (its title bar, the logo in it and the background) are a sixth of
// the instructions from start to the dialog on screen when decoded in turn. startDecoding() hands
// them to Qt's thread pool right after the application object exists, so they decode on the
// second core while the main thread loads the fonts; the dialog then takes them.
namespace LoginPictures {

// Starts the decodes once; later calls do nothing.
void startDecoding();

// Puts the decoded title bar and logo where the form looks for them (the pixmap cache, under the
// key QPixmap's file constructor uses), so the form does not decode them again. Waits for them if
// needed; nothing to do without startDecoding() or after the first call.
void offerFormPictures();

// The background, as decoded by startDecoding() (waiting for it if needed) the first time, decoded
// here afterwards or without it. Not cached: a hidden dialog gives it back.
QPixmap background();

// How many decoded pictures wait for the dialog.
int waitingDecodes();

// The key under which QPixmap(path) finds a picture in the pixmap cache.
QString pixmapCacheKey(const QString &path);

} // namespace LoginPictures
