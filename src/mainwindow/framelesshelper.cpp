#include "mainwindow/framelesshelper.h"

#include <QEvent>
#include <QGuiApplication>
#include <QHoverEvent>
#include <QMouseEvent>
#include <QScreen>
#include <QWidget>

int FramelessHelper::titleBarHeight = 30;

EdgeHit::EdgeHit(const QPoint &globalPos, const QRect &frame, int band)
{
    const int px = globalPos.x();
    const int py = globalPos.y();
    const int x = frame.x();
    const int y = frame.y();
    const int w = frame.width();
    const int h = frame.height();

    left = px >= x && px <= x + band;
    right = px >= x + w - band && px <= x + w;
    top = py >= y && py <= y + band;
    bottom = py >= y + h - band && py <= y + h;
    topLeft = top && left;
    bottomLeft = bottom && left;
    topRight = top && right;
    bottomRight = bottom && right;
    anyEdge = left || right || top || bottom;
}

WidgetData::WidgetData(const FramelessHelper &options, QWidget *window)
    : options(options), window(window), normalGeometry(window->geometry()), savedWindowFlags(window->windowFlags())
{
    window->setMouseTracking(true);
    window->setAttribute(Qt::WA_Hover, true);
}

WidgetData::~WidgetData()
{
    if (!window)
        return;
    window->setMouseTracking(false);
    window->setAttribute(Qt::WA_Hover, false);
    // Changing the flags re-creates (and hides) a window; only do it when they really differ.
    if (window->windowFlags() != savedWindowFlags)
        window->setWindowFlags(savedWindowFlags);
}

void WidgetData::releaseWindow()
{
    window = nullptr;
}

void WidgetData::handleEvent(QEvent *event)
{
    if (!window)
        return;
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        handleMousePress(static_cast<QMouseEvent *>(event));
        break;
    case QEvent::MouseButtonRelease:
        handleMouseRelease(static_cast<QMouseEvent *>(event));
        break;
    case QEvent::MouseButtonDblClick:
        handleMouseDoubleClick(static_cast<QMouseEvent *>(event));
        break;
    case QEvent::MouseMove:
        handleMouseMove(static_cast<QMouseEvent *>(event));
        break;
    case QEvent::Leave:
        handleLeave();
        break;
    case QEvent::HoverMove:
        handleHoverMove(static_cast<QHoverEvent *>(event));
        break;
    default:
        break;
    }
}

void WidgetData::handleMousePress(const QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const QRect frame = window->frameGeometry();
    leftPressed = true;
    pressInTitleBar = event->pos().y() < FramelessHelper::titleBarHeight;
    pressEdges = EdgeHit(event->globalPos(), frame, FramelessHelper::edgeBandWidth);
    dragOffset = event->globalPos() - frame.topLeft();
}

void WidgetData::handleMouseRelease(const QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    leftPressed = false;
    pressInTitleBar = false;
    pressEdges = EdgeHit();
}

void WidgetData::handleMouseDoubleClick(const QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    if (event->pos().y() < FramelessHelper::titleBarHeight)
        applyMaximized(!maximized);
}

void WidgetData::handleMouseMove(const QMouseEvent *event)
{
    if (maximized)
        return;
    if (leftPressed) {
        // Resize wins over move: a press in the title band's edge band resizes.
        if (options.isResizeEnabled() && pressEdges.anyEdge)
            resizeTo(event->globalPos());
        else if (options.isMoveEnabled() && pressInTitleBar)
            window->move(event->globalPos() - dragOffset);
    } else if (options.isResizeEnabled()) {
        updateCursor(event->globalPos());
    }
}

void WidgetData::handleLeave()
{
    if (!leftPressed)
        clearCursor();
}

void WidgetData::handleHoverMove(const QHoverEvent *event)
{
    if (!maximized && options.isResizeEnabled())
        updateCursor(window->mapToGlobal(event->pos()));
}

void WidgetData::resizeTo(const QPoint &globalPos)
{
    const QRect old = window->frameGeometry();
    int l = old.left();
    int t = old.top();
    int r = old.right();
    int b = old.bottom();

    if (pressEdges.topLeft) {
        l = globalPos.x();
        t = globalPos.y();
    } else if (pressEdges.bottomLeft) {
        l = globalPos.x();
        b = globalPos.y();
    } else if (pressEdges.topRight) {
        t = globalPos.y();
        r = globalPos.x();
    } else if (pressEdges.bottomRight) {
        b = globalPos.y();
        r = globalPos.x();
    } else if (pressEdges.left) {
        l = globalPos.x();
    } else if (pressEdges.right) {
        r = globalPos.x();
    } else if (pressEdges.top) {
        t = globalPos.y();
    } else if (pressEdges.bottom) {
        b = globalPos.y();
    }

    QRect rect(QPoint(l, t), QPoint(r, b));
    if (!rect.isValid())
        return;

    // Below the minimum size the dragged side stays where it was, so the window does not creep.
    if (rect.width() < window->minimumWidth()) {
        if (rect.left() == old.left())
            rect.setRight(old.right());
        else
            rect.setLeft(old.left());
    }
    if (rect.height() < window->minimumHeight()) {
        if (rect.top() == old.top())
            rect.setBottom(old.bottom());
        else
            rect.setTop(old.top());
    }
    window->setGeometry(rect);
}

void WidgetData::updateCursor(const QPoint &globalPos)
{
    if (window->isFullScreen() || window->isMaximized()) {
        if (cursorOverridden)
            clearCursor();
        return;
    }

    hoverEdges = EdgeHit(globalPos, window->frameGeometry(), FramelessHelper::edgeBandWidth);
    if (hoverEdges.topLeft || hoverEdges.bottomRight) {
        window->setCursor(Qt::SizeFDiagCursor);
    } else if (hoverEdges.topRight || hoverEdges.bottomLeft) {
        window->setCursor(Qt::SizeBDiagCursor);
    } else if (hoverEdges.left || hoverEdges.right) {
        window->setCursor(Qt::SizeHorCursor);
    } else if (hoverEdges.top || hoverEdges.bottom) {
        window->setCursor(Qt::SizeVerCursor);
    } else {
        if (cursorOverridden)
            clearCursor();
        return;
    }
    cursorOverridden = true;
}

void WidgetData::clearCursor()
{
    window->unsetCursor();
    cursorOverridden = false;
}

void WidgetData::applyMaximized(bool bMax)
{
    if (!window || bMax == maximized)
        return;

    if (bMax) {
        normalGeometry = window->geometry();
        if (const QScreen *screen = QGuiApplication::primaryScreen())
            window->setGeometry(screen->availableGeometry());
    } else {
        // A window that never had a place of its own comes back in the middle of the desktop.
        if (normalGeometry.x() == 0 && normalGeometry.y() == 0) {
            if (const QScreen *screen = QGuiApplication::primaryScreen()) {
                const QSize desktop = screen->virtualSize();
                normalGeometry.moveTo((desktop.width() - normalGeometry.width()) / 2,
                                      (desktop.height() - normalGeometry.height()) / 2);
            }
        }
        window->setGeometry(normalGeometry);
    }

    maximized = bMax;
    emit sigMax(bMax);
}

FramelessHelper::FramelessHelper(QObject *parent) : QObject(parent) {}

FramelessHelper::~FramelessHelper()
{
    qDeleteAll(windowStates);
    windowStates.clear();
}

void FramelessHelper::manageWidget(QWidget *window)
{
    if (!window || windowStates.contains(window))
        return;

    auto *data = new WidgetData(*this, window);
    connect(data, &WidgetData::sigMax, this, &FramelessHelper::sigMax);
    // A window may die before the helper; its entry must go with it.
    connect(window, &QObject::destroyed, this, [this, window]() { forgetWindow(window); });
    windowStates.insert(window, data);
    window->installEventFilter(this);
}

void FramelessHelper::forgetWindow(QWidget *window)
{
    WidgetData *data = windowStates.take(window);
    if (!data)
        return;
    window->removeEventFilter(this);
    data->releaseWindow();
    delete data;
}

void FramelessHelper::setTitleBarHeight(int height)
{
    if (height != 0)
        titleBarHeight = height;
}

void FramelessHelper::setMoveEnabled(bool enabled)
{
    moveEnabled = enabled;
}

void FramelessHelper::setResizeEnabled(bool enabled)
{
    resizeEnabled = enabled;
}

bool FramelessHelper::queryMaximized(QWidget *window) const
{
    const WidgetData *data = windowStates.value(window);
    return data && data->maximized;
}

void FramelessHelper::requestMaximized(QWidget *window, bool bMax)
{
    if (WidgetData *data = windowStates.value(window))
        data->applyMaximized(bMax);
}

bool FramelessHelper::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Leave:
    case QEvent::HoverMove: {
        // Only managed windows carry this filter, and a window leaves the map (and loses the
        // filter) as soon as it starts dying, so the watched object is a live widget here.
        WidgetData *data = watched->isWidgetType() ? windowStates.value(static_cast<QWidget *>(watched)) : nullptr;
        if (data) {
            data->handleEvent(event);
            return true;
        }
        break;
    }
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}
