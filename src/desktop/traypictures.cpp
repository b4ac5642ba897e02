#include "desktop/traypictures.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace {
const QColor white(255, 255, 255);
const QColor green(0x2e, 0xb8, 0x72);
const QColor red(0xd9, 0x53, 0x4f);
const QColor amber(0xf0, 0xa0, 0x30);
const QColor deepBlue(0x0b, 0x3d, 0x91);
const QColor primaryBlue(0x00, 0xaa, 0xff);

QPen whiteStroke(qreal width)
{
    return QPen(white, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void drawTile(QPainter &p, bool active)
{
    QLinearGradient tile(QPointF(1, 23), QPointF(23, 1));
    tile.setColorAt(0, active ? deepBlue : QColor(0x5f, 0x6b, 0x7a));
    tile.setColorAt(1, active ? primaryBlue : QColor(0xa9, 0xb3, 0xbf));
    p.setPen(Qt::NoPen);
    p.setBrush(tile);
    p.drawRoundedRect(QRectF(1, 1, 22, 22), 5, 5);
    p.setPen(whiteStroke(2.6));
    p.drawLine(QPointF(7, 5.5), QPointF(7, 18.5));
    p.drawLine(QPointF(7.6, 14.2), QPointF(15.5, 6.5));
    p.drawLine(QPointF(11, 10.9), QPointF(16.2, 18));
}

// Fills the outline in the colour with a white rim, which keeps it apart from the tile.
void drawBadge(QPainter &p, const QPainterPath &outline, const QColor &fill)
{
    p.setPen(whiteStroke(1.5));
    p.setBrush(fill);
    p.drawPath(outline);
}

void drawConnected(QPainter &p)
{
    QPainterPath circle;
    circle.addEllipse(QPointF(17.4, 17.4), 5.6, 5.6);
    drawBadge(p, circle, green);
    p.setPen(whiteStroke(1.7));
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(QPolygonF({QPointF(14.9, 17.5), QPointF(16.7, 19.3), QPointF(20, 15.7)}));
}

void drawDown(QPainter &p)
{
    QPainterPath triangle;
    triangle.addPolygon(QPolygonF({QPointF(17.4, 10.6), QPointF(23.6, 22.4), QPointF(11.2, 22.4), QPointF(17.4, 10.6)}));
    drawBadge(p, triangle, red);
    p.setPen(whiteStroke(1.7));
    p.drawLine(QPointF(17.4, 14.8), QPointF(17.4, 18.2));
    p.drawPoint(QPointF(17.4, 20.4));
}

void drawConnecting(QPainter &p)
{
    QPainterPath hourglass;
    hourglass.addPolygon(QPolygonF({QPointF(12.6, 11.6), QPointF(22.2, 11.6), QPointF(17.4, 17.4), QPointF(22.2, 23.2),
                                    QPointF(12.6, 23.2), QPointF(17.4, 17.4), QPointF(12.6, 11.6)}));
    // White, rimmed dark: the one bright badge, apart from the grey tile of "off" as well.
    p.setPen(QPen(deepBlue, 1.3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(white);
    p.drawPath(hourglass);
}

void drawReconnecting(QPainter &p)
{
    QPainterPath square;
    square.addRoundedRect(QRectF(11.8, 11.8, 11.2, 11.2), 2.2, 2.2);
    drawBadge(p, square, amber);
    p.setPen(whiteStroke(1.5));
    p.setBrush(Qt::NoBrush);
    const QRectF ring(14.6, 14.6, 5.6, 5.6);
    p.drawArc(ring, 60 * 16, 270 * 16);
    p.drawPolyline(QPolygonF({QPointF(19.2, 13.6), QPointF(19.2, 15.6), QPointF(17.2, 15.6)}));
}
} // namespace

QImage trayPicture(TrayState state, int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 24.0, size / 24.0);
    drawTile(p, state != TrayState::Off);
    switch (state) {
    case TrayState::Off:
        break;
    case TrayState::Connecting:
        drawConnecting(p);
        break;
    case TrayState::Connected:
        drawConnected(p);
        break;
    case TrayState::Reconnecting:
        drawReconnecting(p);
        break;
    case TrayState::Down:
        drawDown(p);
        break;
    }
    return image;
}
