#include "tunnel/waittingwidget.h"

#include "tunnel/tunneldialogs.h"
#include "ui_waittingwidget.h"

#include <QByteArray>
#include <QMovie>

WaittingWidget::WaittingWidget(QWidget *parent) : QWidget(parent), ui(new Ui::WaittingWidget)
{
    // Flags first: changing them on a built form re-applies the style sheets to every widget.
    setWindowFlags(windowFlags() | Qt::FramelessWindowHint);
    ui->setupUi(this);
    setWindowModality(Qt::ApplicationModal);
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
