#pragma once

#include <QIcon>
#include <QPixmap>
#include <QString>

// The login dialog's pictures (title bar, logo, background, button and field icons) were a sixth
// of the instructions from start to the dialog on screen. startDecoding() hands them to Qt's thread
// pool once the client owns its folder, so they decode on the second core while the main thread
// loads the fonts; the dialog then takes them. Every picture is read as PNG without asking Qt's
// image plugins (GIF, ICO, JPEG) first, so none of them is loaded before the dialog is on screen.
namespace LoginPictures {

// Starts the decodes once; later calls do nothing.
void startDecoding();

// Puts the title bar and the logo where the form's style sheet and its logo label look for them
// (the pixmap cache, under the key QPixmap's file constructor uses), so the form does not decode
// them again. Waits for them if needed.
void offerFormPictures();

// A picture of the dialog: the decoded one the first time (waiting for it if needed), read here
// afterwards or without startDecoding(). The background is never cached: a hidden dialog gives
// it back.
QPixmap picture(const QString &path);
QIcon icon(const QString &path);

// How many decoded pictures wait for the dialog.
int waitingDecodes();

// The key under which QPixmap(path) finds a picture in the pixmap cache.
QString pixmapCacheKey(const QString &path);

} // namespace LoginPictures
