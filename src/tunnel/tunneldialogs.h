#pragma once

#include <QPainterPath>
#include <QRegion>
#include <QWidget>

// The wait and reconnect windows have no parent; left to the window manager they open in a
// corner. They come up over the middle of the main window instead, and stay where they are while
// shown (the user may have moved them).
inline void showCentredOver(QWidget *dialog, const QWidget *window)
{
    if (!dialog->isVisible())
        dialog->move(window->frameGeometry().center() - dialog->rect().center());
    dialog->show();
}

// The frame's corners are rounded (radius 10); without a compositing window manager the
// translucent corners outside it would show black, so the window is cut to the frame's outline.
inline void roundTunnelDialogCorners(QWidget *dialog)
{
    QPainterPath outline;
    outline.addRoundedRect(QRectF(dialog->rect()), 10, 10);
    dialog->setMask(QRegion(outline.toFillPolygon().toPolygon()));
}
