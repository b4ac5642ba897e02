#include "mainwindow/userdesign.h"

#include "api/operations.h"
#include "api/platformcall.h"
#include "crypto/credentialcipher.h"
#include "desktop/logviewer.h"
#include "store/tapbindingstore.h"
#include "ui/messageboxes.h"
#include "ui/windowedge.h"
#include "ui/windowmask.h"
#include "ui_userdesign.h"

#include <QApplication>
#include <QDebug>
#include <QMouseEvent>
#include <QToolButton>

#include <utility>

namespace {
const QString kUnbound = QStringLiteral("unbound");

QMessageBox::StandardButton resultBox(MessageBoxes::Kind kind, const QString &title, const QString &text)
{
    return MessageBoxes::show({kind, nullptr, title, text, QMessageBox::Yes, QIcon(QStringLiteral(":/image/logo3.png"))});
}
} // namespace

UserDesign::UserDesign(std::shared_ptr<bool> tapBound, QWidget *parent)
    : QWidget(parent),
      ui(new Ui::UserDesign),
      cipherKeyText(CredentialCipher::keyText()),
      cipherKey(cipherKeyText.toLocal8Bit()),
      tapBound(std::move(tapBound))
{
    // Flags first: changing them on a built form re-applies the style sheets to every widget.
    setWindowFlags(Qt::FramelessWindowHint);
    ui->setupUi(this);
    ui->btnMin->setIcon(QIcon(QStringLiteral(":/image/min.png")));
    ui->btnExit->setIcon(QIcon(QStringLiteral(":/image/exit.png")));
    ui->widgetTitle->installEventFilter(this);
    connect(ui->viewLogs, &QToolButton::clicked, this, [] { LogViewer::showShared(); });
    addWindowEdge(this, 10, QColor(120, 138, 160));

    const TapBindingStore::Lists stored = TapBindingStore::load();
    boundUserNames = stored.userNames;
    boundTapSerials = stored.tapSerials;
    boundTapPasswords = stored.tapPasswords;
}

UserDesign::~UserDesign()
{
    delete ui;
}

void UserDesign::on_btnMin_clicked()
{
    // Minimised alone, the modal dialog would leave the windows it blocks on screen with no way to
    // reach it again: they go down with it, and restoring any of them brings all back.
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (window == this || !window->isVisible() || window->isMinimized() ||
            (window->windowType() != Qt::Window && window->windowType() != Qt::Dialog))
            continue;
        minimisedWith.append(window);
        window->installEventFilter(this);
        window->showMinimized();
    }
    showMinimized();
}

void UserDesign::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::WindowStateChange && !isMinimized())
        restoreTogether();
    QWidget::changeEvent(event);
}

void UserDesign::restoreTogether()
{
    if (restoring || minimisedWith.isEmpty())
        return;
    restoring = true;
    const QList<QPointer<QWidget>> windows = std::exchange(minimisedWith, {});
    for (const QPointer<QWidget> &window : windows) {
        if (!window)
            continue;
        window->removeEventFilter(this);
        window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    }
    setWindowState(windowState() & ~Qt::WindowMinimized);
    raise();
    activateWindow();
    restoring = false;
}

void UserDesign::on_btnExit_clicked()
{
    close();
}

void UserDesign::getToken_UsrName_TAP(std::string Token, QString UserName, QString TAP)
{
    ui->UserName->setText(UserName);
    ui->Bound_TAP->setText(TAP.isEmpty() ? kUnbound : TAP);
    tapSerial = TAP;
    sessionToken = QString::fromStdString(Token);
    userName = UserName;
}

void UserDesign::on_toolButton_clicked()
{
    if (ui->Bound_TAP->text() == kUnbound) {
        resultBox(MessageBoxes::Kind::Warning, QStringLiteral("警告"), QStringLiteral("当前尚未绑定TAP"));
        *tapBound = false;
        return;
    }
    const auto answer = MessageBoxes::question(nullptr, QStringLiteral("提示"), QStringLiteral("是否解除当前TAP绑定"),
                                               QIcon(QStringLiteral(":/image/logo3.png")));
    if (answer == QMessageBox::No)
        return;

    if (!releaseOnPlatform()) {
        resultBox(MessageBoxes::Kind::Critical, QStringLiteral("错误"), QStringLiteral("解绑失败"));
        *tapBound = true;
        return;
    }
    resultBox(MessageBoxes::Kind::Information, QStringLiteral("提示"), QStringLiteral("解绑成功"));
    *tapBound = false;
    ui->Bound_TAP->setText(kUnbound);
    removeBindingFromFile();
    emit closeSon();
    close();
}

// Any JSON reply with a "code", of whatever value or type, counts: the platform has taken note.
bool UserDesign::releaseOnPlatform() const
{
    const PlatformReply reply = callPlatform(Operations::updateTapAuth(tapSerial, sessionToken.toUtf8()));
    return jsonMember(reply.document.root(), "code") != nullptr;
}

// Writes the dialog's lists without this user's binding, also when there was none.
void UserDesign::removeBindingFromFile()
{
    cipherScratch.clear();
    cipherOutput = CredentialCipher::encipher(userName.toUtf8(), cipherKey);
    userNameCipher = cipherOutput;
    TapBindingStore::Lists lists{boundUserNames, boundTapSerials, boundTapPasswords};
    TapBindingStore::removeUser(lists, userNameCipher);
    boundUserNames = lists.userNames;
    boundTapSerials = lists.tapSerials;
    boundTapPasswords = lists.tapPasswords;
    if (TapBindingStore::save(lists))
        return;
    qWarning().noquote() << TapBindingStore::saveFailedText();
    resultBox(MessageBoxes::Kind::Warning, QStringLiteral("提示"), TapBindingStore::saveFailedText());
}

bool UserDesign::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (type == QEvent::WindowStateChange && watched != ui->widgetTitle) {
        const auto *window = qobject_cast<QWidget *>(watched);
        if (window && !window->isMinimized())
            restoreTogether();
        return QWidget::eventFilter(watched, event);
    }
    if (watched == ui->widgetTitle
        && (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonRelease || type == QEvent::MouseMove)) {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (type == QEvent::MouseButtonRelease)
            dragOffset = QPoint(0, 0);
        else if (type == QEvent::MouseButtonPress && mouse->button() == Qt::LeftButton)
            dragOffset = mouse->globalPos() - pos();
        else if (!dragOffset.isNull())
            move(mouse->globalPos() - dragOffset);
    }
    return QWidget::eventFilter(watched, event);
}

void UserDesign::paintEvent(QPaintEvent *event)
{
    Q_UNUSED(event)
    paintStyledBackgroundWithRoundedMask(this, 10);
}
