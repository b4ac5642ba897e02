#include "ui/windowmask.h"

#include <QPainter>
#include <QRegion>
#include <QStyle>
#include <QStyleOption>
#include <QVariant>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace {
const char *const kMaskSizeProperty = "korvaneMaskSize";

// The rounded shape as a region: a pixel belongs to it when its centre lies inside the rounded
// rectangle. Built row by row for the corner rows, so no window-sized image is ever allocated.
QRegion roundedRegion(const QSize &size, int cornerRadius)
{
    const int width = size.width();
    const int height = size.height();
    const int radius = std::max(0, std::min({cornerRadius, width / 2, height / 2}));
    QRegion region(0, radius, width, height - 2 * radius);
    for (int row = 0; row < radius; ++row) {
        const double fromCentre = radius - (row + 0.5);
        const double halfChord = std::sqrt(double(radius) * radius - fromCentre * fromCentre);
        const int inset = std::max(0, int(std::ceil(radius - halfChord - 0.5)));
        region += QRect(inset, row, width - 2 * inset, 1);
        region += QRect(inset, height - 1 - row, width - 2 * inset, 1);
    }
    return region;
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
    window->setMask(roundedRegion(window->size(), cornerRadius));
}
