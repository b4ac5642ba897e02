#include "ui/windowmask.h"

#include <QBitmap>
#include <QImage>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>
#include <QVariant>
#include <QWidget>

namespace {
const char *const kMaskSizeProperty = "korvaneMaskSize";

// The rounded shape is painted antialiased into an 8-bit image and then reduced to one bit: the
// same outline a bitmap painter gives, without its slow per-pixel path for a window-sized mask.
QBitmap roundedMask(const QSize &size, int cornerRadius)
{
    QImage shape(size, QImage::Format_ARGB32_Premultiplied);
    shape.fill(Qt::white);
    QPainter painter(&shape);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::black);
    painter.drawRoundedRect(QRectF(QPointF(0, 0), QSizeF(size)), cornerRadius, cornerRadius, Qt::AbsoluteSize);
    painter.end();
    return QBitmap::fromImage(shape.convertToFormat(QImage::Format_Mono, Qt::ThresholdDither));
}
} // namespace

void paintStyledBackgroundWithRoundedMask(QWidget *window, int cornerRadius)
{
    QStyleOption option;
    option.initFrom(window);
    QPainter painter(window);
    window->style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, window);

    // The mask depends on the size only; it is made again when the window was resized.
    if (window->property(kMaskSizeProperty).toSize() == window->size() && !window->mask().isEmpty())
        return;
    window->setProperty(kMaskSizeProperty, window->size());
    window->setMask(roundedMask(window->size(), cornerRadius));
}
