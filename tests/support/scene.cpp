#include "support/scene.h"

#include <QImage>
#include <QLabel>
#include <QPixmap>

bool showsPicture(const QWidget *widget, const QString &resource)
{
    const QLabel *label = qobject_cast<const QLabel *>(widget);
    if (!label && widget)
        label = widget->findChild<QLabel *>();
    const QPixmap shown = label ? label->pixmap(Qt::ReturnByValue) : QPixmap();
    return !shown.isNull() && shown.toImage() == QPixmap(resource).toImage();
}

bool isIcon(const QIcon &icon, const QString &resource)
{
    return !icon.isNull() && icon.pixmap(16).toImage() == QIcon(resource).pixmap(16).toImage();
}

sim::Fault fault(int codeOrTrouble, const QByteArray &customBody)
{
    sim::Fault result;
    if (codeOrTrouble > 0)
        result.code = codeOrTrouble;
    result.dropConnection = codeOrTrouble == Drop;
    result.body = codeOrTrouble == NotJson     ? sim::Fault::Body::NotJson
                  : codeOrTrouble == Truncated ? sim::Fault::Body::Truncated
                  : codeOrTrouble == Custom    ? sim::Fault::Body::Custom
                                               : sim::Fault::Body::Normal;
    result.customBody = customBody;
    return result;
}

sim::Fault replyBody(const QByteArray &body)
{
    return fault(Custom, body);
}

sim::Fault droppedConnection()
{
    return fault(Drop);
}
