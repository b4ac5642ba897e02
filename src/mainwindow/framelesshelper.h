#pragma once

#include <QHash>
#include <QObject>
#include <QPoint>
#include <QRect>

class QEvent;
class QHoverEvent;
class QMouseEvent;
class QWidget;
class FramelessHelper;

// Which edges of a window's frame a global point lies on. The band is inclusive on both sides,
// and x + width counts as part of the right edge (one past the last column).
struct EdgeHit {
    bool left = false;
    bool right = false;
    bool top = false;
    bool bottom = false;
    bool topLeft = false;
    bool bottomLeft = false;
    bool topRight = false;
    bool bottomRight = false;
    bool anyEdge = false;

    EdgeHit() = default;
    EdgeHit(const QPoint &globalPos, const QRect &frame, int band);
};

// Drag, resize and maximise state of one window under a FramelessHelper.
class WidgetData : public QObject {
    Q_OBJECT

public:
    WidgetData(const FramelessHelper &options, QWidget *window);
    ~WidgetData() override;

    void handleEvent(QEvent *event);
    void applyMaximized(bool bMax);
    // The window is being destroyed: never touch it again.
    void releaseWindow();

    const FramelessHelper &options;
    QWidget *window;
    QPoint dragOffset;
    EdgeHit pressEdges;
    EdgeHit hoverEdges;
    bool leftPressed = false;
    bool pressInTitleBar = false;
    bool cursorOverridden = false;
    bool maximized = false;
    QRect normalGeometry;
    Qt::WindowFlags savedWindowFlags;

signals:
    void sigMax(bool bMax);

private:
    void handleMousePress(const QMouseEvent *event);
    void handleMouseRelease(const QMouseEvent *event);
    void handleMouseDoubleClick(const QMouseEvent *event);
    void handleMouseMove(const QMouseEvent *event);
    void handleLeave();
    void handleHoverMove(const QHoverEvent *event);
    void resizeTo(const QPoint &globalPos);
    void updateCursor(const QPoint &globalPos);
    void clearCursor();
};

// Gives frameless windows back what a platform frame would do: drag by the title band, resize at
// the edges with matching cursors, maximise/restore on a double click in the title band.
class FramelessHelper : public QObject {
    Q_OBJECT

public:
    explicit FramelessHelper(QObject *parent = nullptr);
    ~FramelessHelper() override;

    void manageWidget(QWidget *window);
    void setTitleBarHeight(int height);
    void setMoveEnabled(bool enabled);
    void setResizeEnabled(bool enabled);
    bool isMoveEnabled() const { return moveEnabled; }
    bool isResizeEnabled() const { return resizeEnabled; }
    bool queryMaximized(QWidget *window) const;
    void requestMaximized(QWidget *window, bool bMax);

    // Shared by every helper of the process.
    static constexpr int edgeBandWidth = 5;
    static int titleBarHeight;

    bool eventFilter(QObject *watched, QEvent *event) override;

signals:
    void sigMax(bool bMax);

private:
    void forgetWindow(QWidget *window);

    QHash<QWidget *, WidgetData *> windowStates;
    bool moveEnabled = true;
    bool resizeEnabled = true;
};
