#include "desktop/logviewer.h"

#include "app/logtail.h"
#include "tunnel/logic/tunnelfiles.h"

#include <QDate>
#include <QDesktopServices>
#include <QDir>
#include <QFontDatabase>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

namespace {
// Lines kept in a view: the view stays as light as the bounded read.
constexpr int lineLimit = 20000;

QString todaysDayLog()
{
    // The day log's own naming: ASCII digits whatever the locale.
    return QStringLiteral("LogFile/") + QLocale::c().toString(QDate::currentDate(), QStringLiteral("yyyyMMdd")) +
           QStringLiteral(".txt");
}
} // namespace

LogViewer::LogViewer(QWidget *parent) : QWidget(parent), pages(new QTabWidget(this)), follow(new QTimer(this))
{
    setWindowTitle(QStringLiteral("查看日志"));
    resize(900, 560);
    logs = {{TunnelFiles::logDirectory + QStringLiteral("/openvpn.log"), 0, nullptr}, {todaysDayLog(), 0, nullptr}};
    const QStringList captions{QStringLiteral("通道日志"), QStringLiteral("今日日志")};
    for (int i = 0; i < logs.size(); ++i) {
        auto *view = new QPlainTextEdit(pages);
        view->setReadOnly(true);
        view->setLineWrapMode(QPlainTextEdit::NoWrap);
        view->setMaximumBlockCount(lineLimit);
        view->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
        view->setObjectName(i == 0 ? QStringLiteral("tunnelLogView") : QStringLiteral("dayLogView"));
        logs[i].view = view;
        pages->addTab(view, captions.at(i) + QStringLiteral("（") + logs.at(i).path + QStringLiteral("）"));
    }
    openFolder = new QPushButton(QStringLiteral("打开日志文件夹"), this);
    openFolder->setObjectName(QStringLiteral("openLogFolder"));
    connect(openFolder, &QPushButton::clicked, this, &LogViewer::openCurrentFolder);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(openFolder);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(pages);
    layout->addLayout(buttons);

    follow->setInterval(followIntervalMs);
    connect(follow, &QTimer::timeout, this, &LogViewer::refresh);
}

namespace {
QPointer<LogViewer> shared;
} // namespace

LogViewer *LogViewer::sharedInstance()
{
    return shared;
}

LogViewer *LogViewer::showShared()
{
    if (!shared) {
        shared = new LogViewer;
        shared->setAttribute(Qt::WA_DeleteOnClose);
    }
    shared->show();
    shared->raise();
    shared->activateWindow();
    return shared;
}

QPlainTextEdit *LogViewer::view(int index) const
{
    return logs.value(index).view;
}

QString LogViewer::logPath(int index) const
{
    return logs.value(index).path;
}

void LogViewer::refresh()
{
    // After midnight the day log is tomorrow's file.
    if (logs[1].path != todaysDayLog()) {
        logs[1].path = todaysDayLog();
        logs[1].end = 0;
        logs[1].view->clear();
    }
    for (Log &log : logs)
        readInto(log);
}

void LogViewer::readInto(Log &log)
{
    const LogTail tail = readLogTail(log.path, log.end, readLimit);
    if (tail.restarted || tail.skipped)
        log.view->clear();
    // A line still being written is read whole at the next look.
    const int lastNewline = tail.bytes.lastIndexOf('\n');
    const qint64 unfinished = lastNewline < 0 && tail.bytes.size() < readLimit ? tail.bytes.size()
                                                                               : tail.bytes.size() - lastNewline - 1;
    const QByteArray bytes = lastNewline < 0 && unfinished ? QByteArray() : tail.bytes.left(tail.bytes.size() - int(unfinished));
    log.end = tail.end - unfinished;
    if (bytes.isEmpty())
        return;
    QScrollBar *bar = log.view->verticalScrollBar();
    // Only a reader at the end is carried along; one who scrolled up keeps the place.
    const bool following = bar->value() >= bar->maximum();
    QString text = QString::fromUtf8(bytes);
    if (text.endsWith(QLatin1Char('\n')))
        text.chop(1);
    log.view->appendPlainText(text);
    if (following)
        bar->setValue(bar->maximum());
}

void LogViewer::openCurrentFolder()
{
    QString folder = QFileInfo(logs.value(pages->currentIndex()).path).absolutePath();
    if (!QFileInfo(folder).isDir())
        folder = QDir::currentPath();
    QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

void LogViewer::showEvent(QShowEvent *event)
{
    refresh();
    follow->start();
    QWidget::showEvent(event);
}

void LogViewer::hideEvent(QHideEvent *event)
{
    follow->stop();
    QWidget::hideEvent(event);
}
