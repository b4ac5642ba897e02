#pragma once

#include <QWidget>

namespace Ui {
class WaitReConnect;
}

// Application-modal reconnect progress; its cancel button is the only way out of a reconnect cycle.
class WaitReConnect : public QWidget {
    Q_OBJECT

public:
    explicit WaitReConnect(QWidget *parent = nullptr);
    ~WaitReConnect() override;

    Ui::WaitReConnect *ui;

signals:
    void ReconnectClose();

public slots:
    void on_toolButton_clicked();
    void ReconnectNum_WaitShow(int n);
};
