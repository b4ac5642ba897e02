#include "ui/elidedlabel.h"

#include <QHelpEvent>
#include <QPainter>
#include <QStyle>
#include <QToolTip>

QSize ElidedLabel::minimumSizeHint() const
{
    // Room for the ellipsis alone, so the layout can give the width to the captions.
    const QSize full = QLabel::minimumSizeHint();
    const int margins = full.width() - fontMetrics().horizontalAdvance(text());
    return QSize(std::min(full.width(), margins + fontMetrics().horizontalAdvance(QChar(0x2026))), full.height());
}

bool ElidedLabel::isElided() const
{
    return fontMetrics().horizontalAdvance(text()) > textArea().width();
}

QRect ElidedLabel::textArea() const
{
    return contentsRect().adjusted(margin(), margin(), -margin(), -margin());
}

void ElidedLabel::paintEvent(QPaintEvent *event)
{
    Q_UNUSED(event)
    QPainter painter(this);
    drawFrame(&painter);
    const QRect area = textArea();
    const QString shown = fontMetrics().elidedText(text(), Qt::ElideRight, area.width());
    style()->drawItemText(&painter, area, QStyle::visualAlignment(layoutDirection(), alignment()), palette(),
                          isEnabled(), shown, foregroundRole());
}

bool ElidedLabel::event(QEvent *event)
{
    // A tool tip of its own wins; otherwise the whole text, and only while it is cut.
    if (event->type() == QEvent::ToolTip && toolTip().isEmpty()) {
        if (isElided())
            QToolTip::showText(static_cast<QHelpEvent *>(event)->globalPos(), text(), this, rect());
        else
            QToolTip::hideText();
        return true;
    }
    return QLabel::event(event);
}
