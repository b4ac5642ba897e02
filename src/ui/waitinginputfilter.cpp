#include "ui/waitinginputfilter.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QLineEdit>
#include <QWidget>

namespace {

bool isUserInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
    case QEvent::Drop:
        return true;
    default:
        return false;
    }
}

bool isKeyboardInput(QEvent::Type type)
{
    return type == QEvent::KeyPress || type == QEvent::KeyRelease || type == QEvent::ShortcutOverride ||
           type == QEvent::Shortcut;
}

// The title bar's buttons that start no platform operation (exit asks first and stops the wait).
bool isWindowButton(const QWidget *widget)
{
    const QString name = widget->objectName();
    return name == QLatin1String("btnMin") || name == QLatin1String("btnMax") || name == QLatin1String("btnExit");
}

// A widget that does something when clicked, or whose parent does (a list's viewport).
bool isOperable(const QWidget *widget)
{
    for (const QWidget *w = widget; w && !w->isWindow(); w = w->parentWidget()) {
        if (qobject_cast<const QAbstractButton *>(w) || qobject_cast<const QAbstractScrollArea *>(w) ||
            qobject_cast<const QLineEdit *>(w) || qobject_cast<const QComboBox *>(w))
            return true;
    }
    return false;
}

} // namespace

WaitingInputFilter &WaitingInputFilter::instance()
{
    static WaitingInputFilter filter;
    return filter;
}

void WaitingInputFilter::begin()
{
    if (depth++ > 0 || !qobject_cast<QApplication *>(QCoreApplication::instance()))
        return;
    blockedWindows.clear();
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (window->isVisible() && window->windowType() != Qt::Popup)
            blockedWindows.append(window);
    }
    qApp->installEventFilter(this);
}

void WaitingInputFilter::end()
{
    if (depth == 0 || --depth > 0)
        return;
    if (QCoreApplication::instance())
        qApp->removeEventFilter(this);
    blockedWindows.clear();
}

bool WaitingInputFilter::blocks(QWidget *receiver) const
{
    QWidget *window = receiver->window();
    for (const QPointer<QWidget> &blocked : blockedWindows) {
        if (blocked == window)
            return true;
    }
    return false;
}

bool WaitingInputFilter::eventFilter(QObject *watched, QEvent *event)
{
    if (!isUserInput(event->type()) || !watched->isWidgetType())
        return false;
    auto *receiver = static_cast<QWidget *>(watched);
    if (!blocks(receiver) || isWindowButton(receiver))
        return false;
    if (isKeyboardInput(event->type()))
        return true;
    return isOperable(receiver);
}
