#pragma once

#include <QObject>
#include <QPointer>
#include <QVector>

class QWidget;

// While a platform exchange waits, the windows keep painting and moving but take no input that
// could start another operation: clicks, keys and wheel turns for the windows that were open when
// the wait began are swallowed. Let through: the title bar's minimise, maximise and exit buttons,
// presses on the plain surfaces (the frameless window is dragged and resized there), and every
// window that opens meanwhile (a box, the tray menu).
class WaitingInputFilter : public QObject {
public:
    static WaitingInputFilter &instance();

    // Nested calls: the filter works from the outermost begin to its end.
    void begin();
    void end();

    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool blocks(QWidget *receiver) const;

    int depth = 0;
    QVector<QPointer<QWidget>> blockedWindows;
};
