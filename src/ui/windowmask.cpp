#include "ui/windowmask.h"

#include <QBitmap>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>
#include <QWidget>

void paintStyledBackgroundWithRoundedMask(QWidget *window, int cornerRadius)
{
    QStyleOption option;
    option.initFrom(window);
    QPainter painter(window);
    window->style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, window);

    QBitmap mask(window->size());
    mask.fill(Qt::color0);
    QPainter maskPainter(&mask);
    maskPainter.setRenderHint(QPainter::Antialiasing);
    maskPainter.setPen(Qt::NoPen);
    maskPainter.setBrush(Qt::color1);
    maskPainter.drawRoundedRect(mask.rect(), cornerRadius, cornerRadius, Qt::AbsoluteSize);
    window->setMask(mask);
}
