#include "tunnel/waittingwidget.h"

#include "tunnel/tunneldialogs.h"
#include "ui_waittingwidget.h"

#include <QByteArray>
#include <QMovie>

WaittingWidget::WaittingWidget(QWidget *parent) : QWidget(parent), ui(new Ui::WaittingWidget)
{
    ui->setupUi(this);
    setWindowModality(Qt::ApplicationModal);
    setWindowFlags(windowFlags() | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_TranslucentBackground);
    setWindowTitle(QStringLiteral("Form"));
    roundTunnelDialogCorners(this);

    // The animation runs for the life of the window, shown or not; the format comes from the data.
    movie = new QMovie(QStringLiteral(":/image/wait.gif"), QByteArray(), this);
    ui->label_2->setMovie(movie);
    movie->start();
}

WaittingWidget::~WaittingWidget()
{
    delete ui;
}
