#include "mainwindow/framelesshelper.h"

#include <QApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QHoverEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QWidget>

#include <memory>

Q_DECLARE_METATYPE(Qt::MouseButton)

namespace {

// Counts the mouse events that reach the window itself (past any event filter).
class CountingWindow : public QWidget {
public:
    CountingWindow() : QWidget(nullptr, Qt::FramelessWindowHint) {}
    int mouseEvents = 0;

protected:
    void mousePressEvent(QMouseEvent *event) override
    {
        ++mouseEvents;
        event->accept();
    }
    void mouseReleaseEvent(QMouseEvent *event) override
    {
        ++mouseEvents;
        event->accept();
    }
    void mouseMoveEvent(QMouseEvent *event) override
    {
        ++mouseEvents;
        event->accept();
    }
};

// Mouse events carry explicit local and global positions; for a frameless window the global
// position is the window's top-left plus the local one.
void sendMouse(QWidget *target, QEvent::Type type, const QPoint &local, const QPoint &global,
               Qt::MouseButton button = Qt::LeftButton)
{
    // Buttons held after the event: none after a release or for a plain hover move.
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::MouseButtons() : Qt::MouseButtons(button);
    QMouseEvent event(type, QPointF(local), QPointF(local), QPointF(global),
                      type == QEvent::MouseMove ? Qt::NoButton : button, held, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

void pressAt(QWidget *window, const QPoint &local, Qt::MouseButton button = Qt::LeftButton)
{
    sendMouse(window, QEvent::MouseButtonPress, local, window->geometry().topLeft() + local, button);
}

void moveTo(QWidget *window, const QPoint &global)
{
    sendMouse(window, QEvent::MouseMove, global - window->geometry().topLeft(), global);
}

void releaseAt(QWidget *window, const QPoint &global)
{
    sendMouse(window, QEvent::MouseButtonRelease, global - window->geometry().topLeft(), global);
}

void doubleClickAt(QWidget *window, const QPoint &local, Qt::MouseButton button = Qt::LeftButton)
{
    sendMouse(window, QEvent::MouseButtonDblClick, local, window->geometry().topLeft() + local, button);
}

void hoverAt(QWidget *window, const QPoint &local)
{
    QHoverEvent event(QEvent::HoverMove, QPointF(local), QPointF(local));
    QApplication::sendEvent(window, &event);
}

void leave(QWidget *window)
{
    QEvent event(QEvent::Leave);
    QApplication::sendEvent(window, &event);
}

// A top-level window keeps WA_SetCursor after unsetCursor(), so look at the shape itself.
bool hasOwnCursor(const QWidget *window)
{
    return window->cursor().shape() != Qt::ArrowCursor;
}

} // namespace

class TestFramelessHelper : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void pressAndDrag_data();
    void pressAndDrag();
    void releaseEndsTheDrag();
    void resizeKeepsMinimumSize_data();
    void resizeKeepsMinimumSize();
    void doubleClickInTitleBand_data();
    void doubleClickInTitleBand();
    void maximiseAndRestoreSignalOnce();
    void restoreCentresWindowAtOrigin();
    void maximisedWindowIgnoresDragResizeAndCursor();
    void cursorShapes_data();
    void cursorShapes();
    void cursorKeptOnLeaveWhilePressed();
    void eventsOfManagedWindowAreConsumed();
    void unmanagedWindowIgnored();
    void managingTwiceChangesNothing();
    void windowDeletedBeforeHelper();
    void helperDestructionRestoresWindow();

private:
    std::unique_ptr<FramelessHelper> helper;
    std::unique_ptr<CountingWindow> window;
};

void TestFramelessHelper::init()
{
    FramelessHelper::titleBarHeight = 30;
    window = std::make_unique<CountingWindow>();
    window->setGeometry(100, 100, 400, 300);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    QCOMPARE(window->geometry(), QRect(100, 100, 400, 300));
    helper = std::make_unique<FramelessHelper>();
    helper->manageWidget(window.get());
}

void TestFramelessHelper::cleanup()
{
    helper.reset();
    window.reset();
}

void TestFramelessHelper::pressAndDrag_data()
{
    QTest::addColumn<QPoint>("pressLocal");
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::addColumn<QPoint>("dragBy");
    QTest::addColumn<QRect>("expected");

    const QPoint by(-20, 5);
    // Left edge at x 100 with a 5 px band: 4 px inside is in it, 6 px inside is not.
    QTest::newRow("4px inside left, below title") << QPoint(4, 150) << Qt::LeftButton << by << QRect(84, 100, 416, 300);
    QTest::newRow("6px inside left, below title")
        << QPoint(6, 150) << Qt::LeftButton << by << QRect(100, 100, 400, 300);
    QTest::newRow("6px inside left, in title") << QPoint(6, 10) << Qt::LeftButton << by << QRect(80, 105, 400, 300);
    QTest::newRow("edge wins over title") << QPoint(4, 10) << Qt::LeftButton << by << QRect(84, 100, 416, 300);
    QTest::newRow("title band middle") << QPoint(200, 29) << Qt::LeftButton << by << QRect(80, 105, 400, 300);
    QTest::newRow("just below title") << QPoint(200, 30) << Qt::LeftButton << by << QRect(100, 100, 400, 300);
    QTest::newRow("right button in title") << QPoint(200, 10) << Qt::RightButton << by << QRect(100, 100, 400, 300);
    // Right edge: R := px, the inclusive right column follows the mouse.
    QTest::newRow("right edge") << QPoint(397, 150) << Qt::LeftButton << QPoint(10, 0) << QRect(100, 100, 408, 300);
    QTest::newRow("top edge") << QPoint(200, 2) << Qt::LeftButton << QPoint(0, -10) << QRect(100, 92, 400, 308);
    QTest::newRow("bottom edge") << QPoint(200, 298) << Qt::LeftButton << QPoint(0, 10) << QRect(100, 100, 400, 309);
    QTest::newRow("top-left corner") << QPoint(1, 1) << Qt::LeftButton << QPoint(-10, -10) << QRect(91, 91, 409, 309);
    // Dragged across the opposite edge: the rectangle inverts and is ignored.
    QTest::newRow("left edge past right")
        << QPoint(2, 150) << Qt::LeftButton << QPoint(500, 0) << QRect(100, 100, 400, 300);
}

void TestFramelessHelper::pressAndDrag()
{
    QFETCH(QPoint, pressLocal);
    QFETCH(Qt::MouseButton, button);
    QFETCH(QPoint, dragBy);
    QFETCH(QRect, expected);

    const QPoint pressGlobal = window->geometry().topLeft() + pressLocal;
    pressAt(window.get(), pressLocal, button);
    moveTo(window.get(), pressGlobal + dragBy);
    QCOMPARE(window->geometry(), expected);
}

void TestFramelessHelper::releaseEndsTheDrag()
{
    pressAt(window.get(), QPoint(200, 10));
    moveTo(window.get(), QPoint(310, 115));
    moveTo(window.get(), QPoint(320, 130));
    QCOMPARE(window->pos(), QPoint(120, 120));
    releaseAt(window.get(), QPoint(320, 130));
    moveTo(window.get(), QPoint(400, 200));
    QCOMPARE(window->pos(), QPoint(120, 120));
    // A release of another button does not end a drag.
    pressAt(window.get(), QPoint(200, 10));
    sendMouse(window.get(), QEvent::MouseButtonRelease, QPoint(200, 10), QPoint(320, 130), Qt::RightButton);
    moveTo(window.get(), QPoint(330, 130));
    QCOMPARE(window->pos(), QPoint(130, 120));
}

void TestFramelessHelper::resizeKeepsMinimumSize_data()
{
    QTest::addColumn<QPoint>("pressLocal");
    QTest::addColumn<QPoint>("target");
    QTest::addColumn<QRect>("expected");

    // Window at (50, 20), 700 x 550, minimum 696 x 546 (the main window's).
    QTest::newRow("corner inwards past minimum") << QPoint(699, 549) << QPoint(600, 400) << QRect(50, 20, 700, 550);
    QTest::newRow("corner to exactly minimum") << QPoint(699, 549) << QPoint(745, 565) << QRect(50, 20, 696, 546);
    QTest::newRow("corner: width ok, height too small")
        << QPoint(699, 549) << QPoint(760, 400) << QRect(50, 20, 711, 550);
    QTest::newRow("left edge inwards past minimum") << QPoint(2, 300) << QPoint(60, 320) << QRect(50, 20, 700, 550);
    QTest::newRow("top edge inwards past minimum") << QPoint(300, 2) << QPoint(300, 40) << QRect(50, 20, 700, 550);
    QTest::newRow("top-left outwards") << QPoint(0, 0) << QPoint(40, 10) << QRect(40, 10, 710, 560);
}

void TestFramelessHelper::resizeKeepsMinimumSize()
{
    QFETCH(QPoint, pressLocal);
    QFETCH(QPoint, target);
    QFETCH(QRect, expected);

    window->setMinimumSize(696, 546);
    window->setGeometry(50, 20, 700, 550);
    QCOMPARE(window->geometry(), QRect(50, 20, 700, 550));

    pressAt(window.get(), pressLocal);
    moveTo(window.get(), target);
    QCOMPARE(window->geometry(), expected);
}

void TestFramelessHelper::doubleClickInTitleBand_data()
{
    QTest::addColumn<int>("localY");
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::addColumn<bool>("maximises");

    QTest::newRow("y 89") << 89 << Qt::LeftButton << true;
    QTest::newRow("y 0") << 0 << Qt::LeftButton << true;
    QTest::newRow("y 90") << 90 << Qt::LeftButton << false;
    QTest::newRow("y 89, right button") << 89 << Qt::RightButton << false;
}

void TestFramelessHelper::doubleClickInTitleBand()
{
    QFETCH(int, localY);
    QFETCH(Qt::MouseButton, button);
    QFETCH(bool, maximises);

    helper->setTitleBarHeight(90);
    helper->setTitleBarHeight(0); // leaves 90
    QCOMPARE(FramelessHelper::titleBarHeight, 90);

    QSignalSpy spy(helper.get(), &FramelessHelper::sigMax);
    doubleClickAt(window.get(), QPoint(200, localY), button);
    QCOMPARE(helper->queryMaximized(window.get()), maximises);
    QCOMPARE(spy.count(), maximises ? 1 : 0);
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    QCOMPARE(window->geometry(), maximises ? available : QRect(100, 100, 400, 300));
    // Not the platform's maximised state: the helper keeps its own.
    QVERIFY(!window->isMaximized());

    if (maximises) {
        doubleClickAt(window.get(), QPoint(200, localY));
        QVERIFY(!helper->queryMaximized(window.get()));
        QCOMPARE(window->geometry(), QRect(100, 100, 400, 300));
        QCOMPARE(spy.count(), 2);
    }
}

void TestFramelessHelper::maximiseAndRestoreSignalOnce()
{
    QSignalSpy spy(helper.get(), &FramelessHelper::sigMax);

    helper->requestMaximized(window.get(), false);
    QCOMPARE(spy.count(), 0);

    helper->requestMaximized(window.get(), true);
    helper->requestMaximized(window.get(), true);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toBool(), true);
    QVERIFY(helper->queryMaximized(window.get()));
    QCOMPARE(window->geometry(), QGuiApplication::primaryScreen()->availableGeometry());

    helper->requestMaximized(window.get(), false);
    helper->requestMaximized(window.get(), false);
    QCOMPARE(spy.count(), 2);
    QCOMPARE(spy.at(1).at(0).toBool(), false);
    QVERIFY(!helper->queryMaximized(window.get()));
    QCOMPARE(window->geometry(), QRect(100, 100, 400, 300));
}

void TestFramelessHelper::restoreCentresWindowAtOrigin()
{
    // Odd sizes: the halves round toward zero.
    window->setGeometry(0, 0, 401, 301);
    QCOMPARE(window->geometry(), QRect(0, 0, 401, 301));
    helper->requestMaximized(window.get(), true);
    helper->requestMaximized(window.get(), false);

    const QSize desktop = QGuiApplication::primaryScreen()->virtualSize();
    const QPoint centred((desktop.width() - 401) / 2, (desktop.height() - 301) / 2);
    QVERIFY(centred != QPoint(0, 0));
    QCOMPARE(window->geometry(), QRect(centred, QSize(401, 301)));

    // Only exactly (0, 0) is moved.
    window->setGeometry(0, 10, 401, 301);
    helper->requestMaximized(window.get(), true);
    helper->requestMaximized(window.get(), false);
    QCOMPARE(window->geometry(), QRect(0, 10, 401, 301));
}

void TestFramelessHelper::maximisedWindowIgnoresDragResizeAndCursor()
{
    helper->requestMaximized(window.get(), true);
    const QRect maximisedGeometry = window->geometry();
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();

    // Title drag.
    pressAt(window.get(), QPoint(200, 10));
    moveTo(window.get(), available.topLeft() + QPoint(260, 40));
    releaseAt(window.get(), available.topLeft() + QPoint(260, 40));
    QCOMPARE(window->geometry(), maximisedGeometry);

    // Edge resize.
    pressAt(window.get(), QPoint(2, 200));
    moveTo(window.get(), available.topLeft() + QPoint(50, 200));
    releaseAt(window.get(), available.topLeft() + QPoint(50, 200));
    QCOMPARE(window->geometry(), maximisedGeometry);

    // Cursor on the screen edges.
    hoverAt(window.get(), QPoint(1, 1));
    moveTo(window.get(), available.topLeft() + QPoint(1, 200));
    QVERIFY(!hasOwnCursor(window.get()));
}

void TestFramelessHelper::cursorShapes_data()
{
    QTest::addColumn<QPoint>("local");
    QTest::addColumn<bool>("byHover");
    QTest::addColumn<int>("shape"); // -1: no cursor of its own

    const struct {
        const char *name;
        QPoint local;
        int shape;
    } cases[] = {
        {"top-left", QPoint(2, 2), Qt::SizeFDiagCursor},
        {"bottom-right", QPoint(398, 298), Qt::SizeFDiagCursor},
        {"top-right", QPoint(398, 2), Qt::SizeBDiagCursor},
        {"bottom-left", QPoint(2, 298), Qt::SizeBDiagCursor},
        {"left", QPoint(4, 150), Qt::SizeHorCursor},
        {"right", QPoint(395, 150), Qt::SizeHorCursor},
        {"top", QPoint(200, 5), Qt::SizeVerCursor},
        {"bottom", QPoint(200, 299), Qt::SizeVerCursor},
        {"inside", QPoint(200, 150), -1},
        {"6px inside left", QPoint(6, 150), -1},
    };
    for (const auto &c : cases) {
        QTest::newRow(qPrintable(QStringLiteral("%1 (hover)").arg(QLatin1String(c.name))))
            << c.local << true << c.shape;
        QTest::newRow(qPrintable(QStringLiteral("%1 (move)").arg(QLatin1String(c.name))))
            << c.local << false << c.shape;
    }
}

void TestFramelessHelper::cursorShapes()
{
    QFETCH(QPoint, local);
    QFETCH(bool, byHover);
    QFETCH(int, shape);

    // Start from an overridden cursor so that "no edge" must actively clear it.
    hoverAt(window.get(), QPoint(200, 1));
    QVERIFY(hasOwnCursor(window.get()));

    if (byHover) {
        QCOMPARE(window->mapToGlobal(local), window->geometry().topLeft() + local);
        hoverAt(window.get(), local);
    } else {
        sendMouse(window.get(), QEvent::MouseMove, local, window->geometry().topLeft() + local, Qt::NoButton);
    }

    if (shape < 0) {
        QVERIFY(!hasOwnCursor(window.get()));
    } else {
        QVERIFY(hasOwnCursor(window.get()));
        QCOMPARE(int(window->cursor().shape()), shape);
    }

    leave(window.get());
    QVERIFY(!hasOwnCursor(window.get()));
}

void TestFramelessHelper::cursorKeptOnLeaveWhilePressed()
{
    hoverAt(window.get(), QPoint(2, 150));
    pressAt(window.get(), QPoint(2, 150));
    leave(window.get());
    QVERIFY(hasOwnCursor(window.get()));
    releaseAt(window.get(), QPoint(102, 250));
    leave(window.get());
    QVERIFY(!hasOwnCursor(window.get()));
}

void TestFramelessHelper::eventsOfManagedWindowAreConsumed()
{
    pressAt(window.get(), QPoint(200, 150));
    moveTo(window.get(), QPoint(310, 260));
    releaseAt(window.get(), QPoint(310, 260));
    QCOMPARE(window->mouseEvents, 0);

    // A child that ignores the press hands it up to the window, where the helper takes it:
    // pressing the child near the window's left edge resizes the window.
    auto *child = new QWidget(window.get());
    child->setGeometry(0, 50, 400, 200);
    child->show();
    sendMouse(child, QEvent::MouseButtonPress, QPoint(3, 100), QPoint(103, 250));
    moveTo(window.get(), QPoint(93, 250));
    QCOMPARE(window->geometry(), QRect(93, 100, 407, 300));
    QCOMPARE(window->mouseEvents, 0);

    // Other events pass.
    QEvent enter(QEvent::Enter);
    QVERIFY(!helper->eventFilter(window.get(), &enter));
}

void TestFramelessHelper::unmanagedWindowIgnored()
{
    CountingWindow other;
    other.setGeometry(200, 200, 300, 200);
    other.show();
    QVERIFY(QTest::qWaitForWindowExposed(&other));

    QSignalSpy spy(helper.get(), &FramelessHelper::sigMax);
    pressAt(&other, QPoint(2, 10));
    moveTo(&other, QPoint(150, 150));
    releaseAt(&other, QPoint(150, 150));
    hoverAt(&other, QPoint(2, 2));
    doubleClickAt(&other, QPoint(100, 5));
    helper->requestMaximized(&other, true);

    // Press, move, release, and the double click (which a widget takes as a press).
    QCOMPARE(other.mouseEvents, 4);
    QCOMPARE(other.geometry(), QRect(200, 200, 300, 200));
    QVERIFY(!hasOwnCursor(&other));
    QVERIFY(!helper->queryMaximized(&other));
    QCOMPARE(spy.count(), 0);
    QVERIFY(!helper->queryMaximized(nullptr));
    helper->requestMaximized(nullptr, true);
    helper->manageWidget(nullptr);

    QMouseEvent press(QEvent::MouseButtonPress, QPointF(2, 10), QPointF(2, 10), QPointF(202, 210), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QVERIFY(!helper->eventFilter(&other, &press));
}

void TestFramelessHelper::managingTwiceChangesNothing()
{
    QSignalSpy spy(helper.get(), &FramelessHelper::sigMax);
    helper->requestMaximized(window.get(), true);
    helper->manageWidget(window.get());
    // The window keeps its state: still maximised, and restoring goes back to where it was.
    QVERIFY(helper->queryMaximized(window.get()));
    helper->requestMaximized(window.get(), false);
    QCOMPARE(window->geometry(), QRect(100, 100, 400, 300));
    QCOMPARE(spy.count(), 2);
}

void TestFramelessHelper::windowDeletedBeforeHelper()
{
    QSignalSpy spy(helper.get(), &FramelessHelper::sigMax);
    QWidget *gone = window.release();
    QPointer<QWidget> watch(gone);
    delete gone;
    QVERIFY(watch.isNull());

    QVERIFY(!helper->queryMaximized(gone));
    helper->requestMaximized(gone, true);
    QCOMPARE(spy.count(), 0);

    // The helper still works for new windows, even at the same address.
    window = std::make_unique<CountingWindow>();
    window->setGeometry(100, 100, 400, 300);
    window->show();
    QVERIFY(!helper->queryMaximized(window.get()));
    helper->manageWidget(window.get());
    QVERIFY(window->hasMouseTracking());
    helper->requestMaximized(window.get(), true);
    QCOMPARE(spy.count(), 1);
    helper.reset();
}

void TestFramelessHelper::helperDestructionRestoresWindow()
{
    QVERIFY(window->hasMouseTracking());
    QVERIFY(window->testAttribute(Qt::WA_Hover));
    const Qt::WindowFlags managedFlags = window->windowFlags();
    window->setWindowFlags(managedFlags | Qt::WindowStaysOnTopHint);

    helper.reset();
    QVERIFY(!window->hasMouseTracking());
    QVERIFY(!window->testAttribute(Qt::WA_Hover));
    QCOMPARE(window->windowFlags(), managedFlags);

    // Without the helper the window sees its own events again.
    window->show();
    pressAt(window.get(), QPoint(200, 10));
    QCOMPARE(window->mouseEvents, 1);
}

QTEST_MAIN(TestFramelessHelper)
#include "tst_framelesshelper.moc"
