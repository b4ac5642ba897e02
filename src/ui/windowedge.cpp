#include "ui/windowedge.h"

#include <QColor>
#include <QEvent>
#include <QPainter>
#include <QWidget>

namespace {

class WindowEdge : public QWidget {
public:
    WindowEdge(QWidget *window, int cornerRadius, const QColor &color)
        : QWidget(window), cornerRadius(cornerRadius), color(color)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_NoSystemBackground);
        setGeometry(window->rect());
        window->installEventFilter(this);
        raise();
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        // Follows the window's size, and stays above children added later.
        if (watched == parent() && (event->type() == QEvent::Resize || event->type() == QEvent::ChildAdded)) {
            setGeometry(parentWidget()->rect());
            raise();
        }
        return false;
    }

    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(color, 2));
        painter.setBrush(Qt::NoBrush);
        // The pen's outer half lies on the window's outermost pixels, inside the rounded mask.
        painter.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), cornerRadius - 1, cornerRadius - 1);
    }

private:
    const int cornerRadius;
    const QColor color;
};

} // namespace

void addWindowEdge(QWidget *window, int cornerRadius, const QColor &color)
{
    new WindowEdge(window, cornerRadius, color);
}
