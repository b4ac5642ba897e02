#pragma once

#include <QIcon>
#include <QMessageBox>
#include <QString>

class QWidget;

// Every message box of the client goes through here. Production shows the real QMessageBox;
// tests install a presenter that records the box and answers at once.
namespace MessageBoxes {

enum class Kind { Information, Warning, Critical, About, Question };

struct Request {
    Kind kind = Kind::Information;
    QWidget *parent = nullptr;
    QString title;
    QString text;
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    QIcon windowIcon;   // null: the application's icon
    QString informativeText; // the reason and the next step, under the text; empty: none
};

class Presenter {
public:
    virtual ~Presenter() = default;
    virtual QMessageBox::StandardButton present(const Request &request) = 0;
};

// Installs the presenter for the whole process (null restores the real boxes). Not owned.
void installPresenter(Presenter *presenter);

QMessageBox::StandardButton show(const Request &request);

// Shorthands with one OK button.
void information(QWidget *parent, const QString &title, const QString &text);
void warning(QWidget *parent, const QString &title, const QString &text);
void critical(QWidget *parent, const QString &title, const QString &text);
// The same with the reason and what to do next under the text (nothing when empty).
void critical(QWidget *parent, const QString &title, const QString &text, const QString &informativeText);
void about(QWidget *parent, const QString &title, const QString &text);

// A Yes/No question; returns the button pressed.
QMessageBox::StandardButton question(QWidget *parent, const QString &title, const QString &text,
                                     const QIcon &windowIcon = QIcon());

} // namespace MessageBoxes
