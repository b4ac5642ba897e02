#pragma once

#include <QWidget>

class QMovie;

namespace Ui {
class WaittingWidget;
}

// Application-modal notice with an animation, shown while the tunnel makes its first connection.
class WaittingWidget : public QWidget {
    Q_OBJECT

public:
    explicit WaittingWidget(QWidget *parent = nullptr);
    ~WaittingWidget() override;

    Ui::WaittingWidget *ui;
    QMovie *movie;
};
