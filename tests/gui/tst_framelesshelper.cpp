#include "mainwindow/framelesshelper.h"

#include <QtTest>
#include <QtWidgets>

#include <memory>

namespace {
// Counts the mouse events that reach the window itself, past any event filter.
class CountingWindow : public QWidget {
public:
    CountingWindow() : QWidget(nullptr, Qt::FramelessWindowHint) {}
    int mouseEvents = 0;

protected:
    bool event(QEvent *e) override
    {
        mouseEvents += e->type() >= QEvent::MouseButtonPress && e->type() <= QEvent::MouseMove;
        return QWidget::event(e);
    }
};

// A mouse event at a point given in window coordinates; for a frameless window the global
// position is the window's top-left plus the local one.
void sendMouse(QWidget *window, QEvent::Type type, const QPoint &local, Qt::MouseButton button = Qt::LeftButton)
{
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
    QMouseEvent event(type, local, local, window->geometry().topLeft() + local,
                      type == QEvent::MouseMove ? Qt::NoButton : button, held, Qt::NoModifier);
    QApplication::sendEvent(window, &event);
}

// Press at from, move to to, and release there unless told otherwise.
void drag(QWidget *window, const QPoint &from, const QPoint &to, Qt::MouseButton button = Qt::LeftButton,
          bool release = true)
{
    sendMouse(window, QEvent::MouseButtonPress, from, button);
    sendMouse(window, QEvent::MouseMove, to);
    if (release)
        sendMouse(window, QEvent::MouseButtonRelease, to);
}

void hoverAt(QWidget *window, const QPoint &at)
{
    QHoverEvent event(QEvent::HoverMove, at, at);
    QApplication::sendEvent(window, &event);
}

// A top-level window keeps WA_SetCursor after unsetCursor(), so look at the shape itself.
bool hasOwnCursor(const QWidget *window) { return window->cursor().shape() != Qt::ArrowCursor; }
} // namespace

class TestFramelessHelper : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        helper.reset(); // before its window
        FramelessHelper::titleBarHeight = 30;
        window = std::make_unique<CountingWindow>();
        window->setGeometry(100, 100, 400, 300);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        helper = std::make_unique<FramelessHelper>();
        helper->manageWidget(window.get());
    }

    // Window at (100, 100), 400 x 300, title band 30, edge band 5. Each press drags by (-20, 5) unless
    // told otherwise; the window itself never sees these events and the release ends the drag.
    void pressAndDrag()
    {
        const QRect same(100, 100, 400, 300), resized(84, 100, 416, 300), moved(80, 105, 400, 300);
        const QPoint by(-20, 5);
        const struct { QPoint press; Qt::MouseButton button; QPoint by; QRect expected; } cases[] = {
            {{4, 150}, Qt::LeftButton, by, resized},  {{6, 150}, Qt::LeftButton, by, same},
            {{6, 10}, Qt::LeftButton, by, moved},     {{4, 10}, Qt::LeftButton, by, resized}, // edge wins over title
            {{200, 30}, Qt::LeftButton, by, same},    {{200, 10}, Qt::RightButton, by, same},
            {{2, 150}, Qt::LeftButton, {500, 0}, same}, // left edge dragged past the right one
        };
        for (const auto &c : cases) {
            window->setGeometry(same);
            drag(window.get(), c.press, c.press + c.by, c.button, false);
            QCOMPARE(window->geometry(), c.expected);
            sendMouse(window.get(), QEvent::MouseButtonRelease, c.press + c.by);
            sendMouse(window.get(), QEvent::MouseMove, c.press + c.by + QPoint(-30, 30));
            QCOMPARE(window->geometry(), c.expected);
        }
        QCOMPARE(window->mouseEvents, 0);
    }

    // Dragging the bottom-right corner inwards past the minimum (the main window's) keeps the old
    // size; exactly the minimum is allowed.
    void resizeKeepsMinimumSize()
    {
        window->setMinimumSize(696, 546);
        window->setGeometry(50, 20, 700, 550);
        drag(window.get(), QPoint(699, 549), QPoint(550, 380), Qt::LeftButton, false);
        QCOMPARE(window->geometry(), QRect(50, 20, 700, 550));
        sendMouse(window.get(), QEvent::MouseMove, QPoint(695, 545));
        QCOMPARE(window->geometry(), QRect(50, 20, 696, 546));
    }

    void doubleClickInTitleBand()
    {
        helper->setTitleBarHeight(90);
        helper->setTitleBarHeight(0); // leaves 90
        QSignalSpy spy(helper.get(), &FramelessHelper::sigMax);
        sendMouse(window.get(), QEvent::MouseButtonDblClick, QPoint(200, 90));
        sendMouse(window.get(), QEvent::MouseButtonDblClick, QPoint(200, 89), Qt::RightButton);
        sendMouse(window.get(), QEvent::MouseButtonDblClick, QPoint(200, 89));
        // The helper's own state, not the platform's.
        QVERIFY(helper->queryMaximized(window.get()) && !window->isMaximized());
        sendMouse(window.get(), QEvent::MouseButtonDblClick, QPoint(200, 89));
        QVERIFY(!helper->queryMaximized(window.get()));
        QCOMPARE(spy.count(), 2);
    }

    void maximiseAndRestoreSignalOnce()
    {
        const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
        QSignalSpy spy(helper.get(), &FramelessHelper::sigMax);
        for (const bool maximise : {false, true, true})
            helper->requestMaximized(window.get(), maximise);
        // While maximised there is no drag, no resize and no resize cursor.
        for (const QPoint &press : {QPoint(200, 10), QPoint(2, 200)})
            drag(window.get(), press, press + QPoint(60, 30));
        hoverAt(window.get(), QPoint(1, 1));
        sendMouse(window.get(), QEvent::MouseMove, QPoint(1, 200), Qt::NoButton);
        QVERIFY(!hasOwnCursor(window.get()));
        QCOMPARE(window->geometry(), available);
        for (int twice = 0; twice < 2; ++twice)
            helper->requestMaximized(window.get(), false);
        QCOMPARE(window->geometry(), QRect(100, 100, 400, 300));
        QCOMPARE(spy.count(), 2);
        QVERIFY(spy.at(0).at(0).toBool() && !spy.at(1).at(0).toBool());

        // A window restored to exactly (0, 0) is centred on the desktop, halves rounded down.
        const QSize desktop = QGuiApplication::primaryScreen()->virtualSize();
        const QRect centred((desktop.width() - 401) / 2, (desktop.height() - 301) / 2, 401, 301);
        for (const QRect &old : {QRect(0, 0, 401, 301), QRect(0, 10, 401, 301)}) {
            window->setGeometry(old);
            helper->requestMaximized(window.get(), true);
            helper->requestMaximized(window.get(), false);
            QCOMPARE(window->geometry(), old.topLeft().isNull() ? centred : old);
        }
    }

    // Hover or plain move, each from an overridden cursor so that "no edge" must clear it; leaving
    // the window clears it too.
    void cursorShapes()
    {
        // Shape -1: no cursor of its own.
        const std::pair<QPoint, int> points[] = {{{398, 298}, Qt::SizeFDiagCursor}, {{398, 2}, Qt::SizeBDiagCursor},
                                                 {{4, 150}, Qt::SizeHorCursor}, {{200, 299}, Qt::SizeVerCursor},
                                                 {{6, 150}, -1}};
        for (const auto &[at, shape] : points) {
            for (const bool hover : {true, false}) {
                hoverAt(window.get(), QPoint(200, 1));
                QVERIFY(hasOwnCursor(window.get()));
                hover ? hoverAt(window.get(), at)
                      : sendMouse(window.get(), QEvent::MouseMove, at, Qt::NoButton);
                QCOMPARE(hasOwnCursor(window.get()) ? int(window->cursor().shape()) : -1, shape);
                QEvent leave(QEvent::Leave);
                QApplication::sendEvent(window.get(), &leave);
                QVERIFY(!hasOwnCursor(window.get()));
            }
        }
    }

    // An unmanaged window is left alone; the helper forgets a window destroyed before it, and still
    // serves a new one.
    void unmanagedOrDeletedWindow()
    {
        CountingWindow other;
        other.setGeometry(200, 200, 300, 200);
        other.show();
        QSignalSpy spy(helper.get(), &FramelessHelper::sigMax);
        drag(&other, QPoint(2, 10), QPoint(50, 50));
        helper->requestMaximized(&other, true);
        QVERIFY(other.mouseEvents == 3 && other.geometry() == QRect(200, 200, 300, 200));
        QVERIFY(!helper->queryMaximized(&other));
        QWidget *gone = window.get();
        window.reset();
        QVERIFY(!helper->queryMaximized(gone));
        helper->requestMaximized(gone, true);
        QCOMPARE(spy.count(), 0);

        window = std::make_unique<CountingWindow>();
        helper->manageWidget(window.get());
        helper->requestMaximized(window.get(), true);
        QCOMPARE(spy.count(), 1);
    }

private:
    std::unique_ptr<FramelessHelper> helper;
    std::unique_ptr<CountingWindow> window;
};

QTEST_MAIN(TestFramelessHelper)
#include "tst_framelesshelper.moc"
