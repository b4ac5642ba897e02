#include "tunnel/waitreconnect.h"

#include "tunnel/tunneldialogs.h"
#include "ui_waitreconnect.h"

WaitReConnect::WaitReConnect(QWidget *parent) : QWidget(parent), ui(new Ui::WaitReConnect)
{
    // Flags first: changing them on a built form re-applies the style sheets to every widget.
    setWindowFlags(windowFlags() | Qt::FramelessWindowHint);
    ui->setupUi(this);
    setWindowModality(Qt::ApplicationModal);
    setAttribute(Qt::WA_TranslucentBackground);
    setWindowTitle(QStringLiteral("Form"));
    roundTunnelDialogCorners(this);
}

WaitReConnect::~WaitReConnect()
{
    delete ui;
}

void WaitReConnect::on_toolButton_clicked()
{
    // The listener runs while the dialog is still on screen; only then does it go away.
    emit ReconnectClose();
    close();
}

void WaitReConnect::ReconnectNum_WaitShow(int n)
{
    ui->Wait_1->setText(tr("尝试第 "));
    ui->Wait_Num->setText(QString::number(qint64(n) + 1));
    ui->Wait_2->setText(tr("次重连中..."));
}
