#include "ui/messageboxes.h"

#include "ui/appearance.h"

#include <QCursor>
#include <QGridLayout>
#include <QGuiApplication>
#include <QPixmap>
#include <QSize>
#include <QSpacerItem>

#include <algorithm>

namespace MessageBoxes {

namespace {

Presenter *installed = nullptr;

constexpr int minimumBoxWidth = 220;
constexpr int titleBarExtras = 150; // the frame's icon and buttons beside the title

QMessageBox::Icon iconFor(Kind kind)
{
    switch (kind) {
    case Kind::Information:
        return QMessageBox::Information;
    case Kind::Warning:
        return QMessageBox::Warning;
    case Kind::Critical:
        return QMessageBox::Critical;
    case Kind::Question:
        return QMessageBox::Question;
    case Kind::About:
        break;
    }
    return QMessageBox::NoIcon;
}

// A window manager puts the title between the frame's icon and its three buttons; a box only as
// wide as a short text would see its title cut to "…".
void keepTitleReadable(QMessageBox &box)
{
    auto *grid = qobject_cast<QGridLayout *>(box.layout());
    if (!grid)
        return;
    const int titleWidth = box.fontMetrics().horizontalAdvance(box.windowTitle());
    const int width = std::max(minimumBoxWidth, titleWidth + titleBarExtras);
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Minimum), grid->rowCount(), 0, 1,
                  grid->columnCount());
}

QMessageBox::StandardButton showReal(const Request &request)
{
    QMessageBox::StandardButtons buttons = request.buttons;
    if (request.kind == Kind::About)
        buttons = QMessageBox::Ok;
    else if (buttons == QMessageBox::NoButton)
        buttons = request.kind == Kind::Question ? (QMessageBox::Yes | QMessageBox::No) : QMessageBox::Ok;

    QMessageBox box(iconFor(request.kind), request.title, request.text, buttons, request.parent);
    box.setStyleSheet(messageBoxStyleSheet());
    if (!request.windowIcon.isNull())
        box.setWindowIcon(request.windowIcon);
    if (!request.informativeText.isEmpty())
        box.setInformativeText(request.informativeText);
    if (request.kind == Kind::About) {
        // As the toolkit's about box: the window's (by default the application's) icon as picture.
        const QIcon icon = box.windowIcon();
        const QSize size = icon.actualSize(QSize(64, 64));
        box.setIconPixmap(icon.pixmap(size));
    }
    keepTitleReadable(box); // last: setting the icon rebuilds the layout
    // A box raised while an exchange waits (its handler ran meanwhile) takes clicks: no busy cursor.
    const bool overBusyCursor = QGuiApplication::overrideCursor() != nullptr;
    if (overBusyCursor)
        QGuiApplication::setOverrideCursor(QCursor(Qt::ArrowCursor));
    const int result = box.exec();
    if (overBusyCursor)
        QGuiApplication::restoreOverrideCursor();
    if (result == -1)
        return QMessageBox::Cancel;
    return box.standardButton(box.clickedButton());
}

Request makeRequest(Kind kind, QWidget *parent, const QString &title, const QString &text,
                    QMessageBox::StandardButtons buttons, const QIcon &windowIcon = QIcon())
{
    Request request;
    request.kind = kind;
    request.parent = parent;
    request.title = title;
    request.text = text;
    request.buttons = buttons;
    request.windowIcon = windowIcon;
    return request;
}

} // namespace

void installPresenter(Presenter *presenter)
{
    installed = presenter;
}

QMessageBox::StandardButton show(const Request &request)
{
    if (installed)
        return installed->present(request);
    return showReal(request);
}

void information(QWidget *parent, const QString &title, const QString &text)
{
    show(makeRequest(Kind::Information, parent, title, text, QMessageBox::Ok));
}

void warning(QWidget *parent, const QString &title, const QString &text)
{
    show(makeRequest(Kind::Warning, parent, title, text, QMessageBox::Ok));
}

void critical(QWidget *parent, const QString &title, const QString &text)
{
    show(makeRequest(Kind::Critical, parent, title, text, QMessageBox::Ok));
}

void critical(QWidget *parent, const QString &title, const QString &text, const QString &informativeText)
{
    Request request = makeRequest(Kind::Critical, parent, title, text, QMessageBox::Ok);
    request.informativeText = informativeText;
    show(request);
}

void about(QWidget *parent, const QString &title, const QString &text)
{
    show(makeRequest(Kind::About, parent, title, text, QMessageBox::Ok));
}

QMessageBox::StandardButton question(QWidget *parent, const QString &title, const QString &text,
                                     const QIcon &windowIcon)
{
    return show(makeRequest(Kind::Question, parent, title, text, QMessageBox::Yes | QMessageBox::No, windowIcon));
}

} // namespace MessageBoxes
