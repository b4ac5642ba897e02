#pragma once

#include <QString>
#include <QVector>
#include <QWidget>

class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class QTimer;

// A read-only view of the tunnel program's log (logs/openvpn.log) and today's day log
// (LogFile/yyyyMMdd.txt) of the working directory. It follows what is appended, as `tail -f`
// does, and reads at most the last 256 KiB of a log however large it grew; a button opens the
// log's folder in the desktop's file manager.
class LogViewer : public QWidget {
    Q_OBJECT

public:
    static constexpr qint64 readLimit = 256 * 1024;
    static constexpr int followIntervalMs = 1000;

    explicit LogViewer(QWidget *parent = nullptr);

    // The one viewer of the process, shown and raised (built at the first call).
    static LogViewer *showShared();
    // That viewer while it is open; null before the first call and after it was closed.
    static LogViewer *sharedInstance();

    // Reads what the logs got since the last look (the timer calls it while the view is shown).
    void refresh();

    QTabWidget *tabs() const { return pages; }
    QPlainTextEdit *view(int index) const;
    QPushButton *openFolderButton() const { return openFolder; }
    // Paths of the shown logs, relative to the working directory.
    QString logPath(int index) const;

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    struct Log {
        QString path;
        qint64 end = 0;
        QPlainTextEdit *view = nullptr;
    };
    void readInto(Log &log);
    void openCurrentFolder();

    QVector<Log> logs;
    QTabWidget *pages = nullptr;
    QPushButton *openFolder = nullptr;
    QTimer *follow = nullptr;
};
