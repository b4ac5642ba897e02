#include "browser/devicestatuscell.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QVariant>
#include <QWidget>

namespace {
const QPixmap &statusPixmap(bool online)
{
    static const QPixmap on(QStringLiteral(":/image/对.png"));
    static const QPixmap off(QStringLiteral(":/image/错.png"));
    return online ? on : off;
}
} // namespace

namespace {
const char *const onlineProperty = "korvaneDeviceOnline";
} // namespace

QWidget *makeDeviceStatusCell(bool online)
{
    auto *cell = new QWidget;
    cell->setProperty(onlineProperty, online);
    auto *layout = new QHBoxLayout(cell);
    layout->setContentsMargins(0, 3, 0, 3);
    auto *picture = new QLabel(cell);
    picture->setObjectName(QStringLiteral("deviceStatus"));
    // At most 23 px wide; square so the picture keeps its proportions in the middle of the column.
    picture->setMaximumSize(23, 23);
    picture->setScaledContents(true);
    picture->setPixmap(statusPixmap(online));
    layout->addWidget(picture, 0, Qt::AlignCenter);
    return cell;
}

bool deviceStatusCellShows(const QWidget *cell, bool online)
{
    const QVariant shown = cell ? cell->property(onlineProperty) : QVariant();
    return shown.isValid() && shown.toBool() == online;
}
