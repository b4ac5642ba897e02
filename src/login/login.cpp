#include "login/login.h"

#include "api/operations.h"
#include "api/platformexchange.h"
#include "api/platformreply.h"
#include "crypto/credentialcipher.h"
#include "login/loginpictures.h"
#include "mainwindow/mainwindow.h"
#include "store/accountstore.h"
#include "ui/messageboxes.h"
#include "ui/windowmask.h"
#include "ui/enterclicks.h"
#include "ui_login.h"

#include <QComboBox>
#include <QDebug>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QIcon>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>

namespace {

const char *const deleteButtonStyle = "QPushButton{border-image:url(:/image/错误.png);border-width:3px}";

} // namespace

Login::Login(QWidget *parent)
    : QWidget(parent),
      ui(new Ui::Login),
      cipherKeyText(CredentialCipher::keyText()),
      cipherKey(cipherKeyText.toLocal8Bit())
{
    registerClientMetaTypes();

    // Flags first: changing them on a built form re-applies the style sheets to every widget.
    setWindowFlags(Qt::FramelessWindowHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint);
    // The application font's face first, the larger part of the start, while the pool still
    // decodes the form's pictures.
    QFontMetrics(font()).height();
    LoginPictures::offerFormPictures();
    ui->setupUi(this);
    ui->labelPicture->setPixmap(LoginPictures::picture(QStringLiteral(":/image/login背景.png")));

    ui->btnMin->setIcon(LoginPictures::icon(QStringLiteral(":/image/min.png")));
    ui->btnExit->setIcon(LoginPictures::icon(QStringLiteral(":/image/exit.png")));
    ui->widgetTitle->installEventFilter(this);

    QLineEdit *accountEdit = ui->account_ComboBox->lineEdit();
    accountEdit->addAction(LoginPictures::icon(QStringLiteral(":/image/账号.png")), QLineEdit::LeadingPosition);
    ui->pswd->addAction(LoginPictures::icon(QStringLiteral(":/image/密码.png")), QLineEdit::LeadingPosition);
    accountEdit->setPlaceholderText(QStringLiteral("请输入用户名"));
    ui->pswd->setPlaceholderText(QStringLiteral("请输入密码"));
    clickOnEnter(ui->Btnlogin, {accountEdit, ui->pswd});

    rememberedUserNames.clear();
    rememberedPasswords.clear();
    rememberedFlags.clear();
    // A changed account name invalidates the password shown for the previous one.
    connect(ui->account_ComboBox, &QComboBox::currentTextChanged, ui->pswd, &QLineEdit::clear);
    connect(ui->account_ComboBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &Login::setlogint);

    const AccountStore::Lists stored = AccountStore::load();
    rememberedUserNames = stored.userNames;
    rememberedPasswords = stored.passwords;
    rememberedFlags = stored.flags;

    for (const QByteArray &nameCipher : qAsConst(rememberedUserNames)) {
        decipherToOutput(nameCipher);
        accountNames.append(QString::fromUtf8(cipherOutput));
    }

    // The list widget is both the model and the popup, so every row can carry its delete button.
    auto *accountList = new QListWidget(this);
    ui->account_ComboBox->setModel(accountList->model());
    ui->account_ComboBox->setView(accountList);
    for (const QString &name : qAsConst(accountNames))
        addAccountRow(accountList, name);
    if (ui->account_ComboBox->count() > 0 && ui->account_ComboBox->currentIndex() != 0)
        ui->account_ComboBox->setCurrentIndex(0);

    // The first account decides the start state; missing entries leave the working values empty.
    if (!rememberedUserNames.isEmpty()) {
        decipherToOutput(rememberedUserNames.at(0));
        userNameBytes = cipherOutput;
    }
    if (!rememberedPasswords.isEmpty()) {
        decipherToOutput(rememberedPasswords.at(0));
        passwordBytes = cipherOutput;
    }
    if (!rememberedFlags.isEmpty()) {
        decipherToOutput(rememberedFlags.at(0));
        rememberFlag = cipherOutput;
    }
    if (rememberFlag == "true") {
        ui->checkBox->setChecked(true);
        ui->account_ComboBox->setEditText(QString::fromUtf8(userNameBytes));
        ui->pswd->setText(QString::fromUtf8(passwordBytes));
    }
}

Login::~Login()
{
    delete ui;
}

MainWindow *Login::ensureMainWindow()
{
    if (mainWindow)
        return mainWindow;
    // The main window lives on its own after the login; this dialog never deletes it.
    mainWindow = new MainWindow;
    connect(this, &Login::sendToken, mainWindow, &MainWindow::getToken);
    if (mainWindowBuilt)
        mainWindowBuilt(mainWindow);
    return mainWindow;
}

void Login::encipherToOutput(const QByteArray &bytes)
{
    cipherScratch.clear();
    cipherOutput.clear();
    cipherOutput.append(CredentialCipher::encipher(bytes, cipherKey));
}

void Login::decipherToOutput(const QByteArray &bytes)
{
    cipherScratch.clear();
    cipherOutput.clear();
    cipherOutput.append(CredentialCipher::decipher(bytes, cipherKey));
}

void Login::addAccountRow(QListWidget *list, const QString &name)
{
    auto *item = new QListWidgetItem(name);
    list->addItem(item);

    auto *row = new QWidget;
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addStretch();
    auto *deleteButton = new QPushButton(row);
    deleteButton->setFixedSize(15, 15);
    deleteButton->setFocusPolicy(Qt::NoFocus);
    deleteButton->setCursor(Qt::PointingHandCursor);
    deleteButton->setStyleSheet(QString::fromUtf8(deleteButtonStyle));
    layout->addWidget(deleteButton);
    list->setItemWidget(item, row);

    // Rows move up after a deletion, so the row is looked up when the button is clicked.
    connect(deleteButton, &QPushButton::clicked, this, [this, deleteButton] {
        const int row = rowOfDeleteButton(deleteButton);
        if (row >= 0)
            deleteRememberedAccount(row);
    });
}

int Login::rowOfDeleteButton(const QPushButton *button) const
{
    const auto *list = qobject_cast<const QListWidget *>(ui->account_ComboBox->view());
    if (!list)
        return -1;
    for (int row = 0; row < list->count(); ++row) {
        if (list->itemWidget(list->item(row)) == button->parentWidget())
            return row;
    }
    return -1;
}

void Login::writeRememberedLists()
{
    if (AccountStore::save({rememberedUserNames, rememberedPasswords, rememberedFlags}))
        return;
    qWarning().noquote() << AccountStore::saveFailedText();
    MessageBoxes::warning(nullptr, QStringLiteral("提示"), AccountStore::saveFailedText());
}

void Login::recordAccount(const QString &name, const QString &password, const QByteArray &flag)
{
    encipherToOutput(name.toUtf8());
    const QByteArray nameCipher = cipherOutput;
    encipherToOutput(password.toUtf8());
    const QByteArray passwordCipher = cipherOutput;
    encipherToOutput(flag);
    const QByteArray flagCipher = cipherOutput;

    AccountStore::Lists lists{rememberedUserNames, rememberedPasswords, rememberedFlags};
    AccountStore::recordAccount(lists, nameCipher, passwordCipher, flagCipher);
    rememberedUserNames = lists.userNames;
    rememberedPasswords = lists.passwords;
    rememberedFlags = lists.flags;
    writeRememberedLists();
}

void Login::deleteRememberedAccount(int row)
{
    QComboBox *combo = ui->account_ComboBox;
    auto *list = qobject_cast<QListWidget *>(combo->view());
    if (!list || row < 0 || row >= list->count())
        return;
    QListWidgetItem *item = list->item(row);
    const QString rowText = item->text();
    combo->hidePopup();
    qDebug() << "delete remembered account" << rowText;

    encipherToOutput(rowText.toUtf8());
    AccountStore::Lists lists{rememberedUserNames, rememberedPasswords, rememberedFlags};
    int position = AccountStore::removeAccount(lists, cipherOutput);
    if (position < 0) {
        // A stored name that does not survive the round trip through text (damaged entry) still
        // has to go when its row is deleted, or it could never be removed.
        position = row;
        for (QByteArrayList *entries : {&lists.userNames, &lists.passwords, &lists.flags}) {
            if (position < entries->size())
                entries->removeAt(position);
        }
    }
    rememberedUserNames = lists.userNames;
    rememberedPasswords = lists.passwords;
    rememberedFlags = lists.flags;
    writeRememberedLists();

    list->removeItemWidget(item);
    qDebug() << "remembered accounts left:" << rememberedUserNames.size();

    if (!rememberedUserNames.isEmpty()) {
        combo->removeItem(position);
    } else {
        const QSignalBlocker blocker(combo);
        combo->removeItem(position);
        ui->pswd->clear();
    }
}

void Login::on_btnMin_clicked()
{
    showMinimized();
}

void Login::on_btnExit_clicked()
{
    close();
}

void Login::on_Btnlogin_clicked()
{
    const QString name = ui->account_ComboBox->currentText();
    const QString password = ui->pswd->text();

    const std::optional<QByteArray> body = platformExchange(Operations::getLintraToken(name, password));
    if (!body) {
        // Without a word the user would only see the button do nothing, for up to the time-out.
        MessageBoxes::information(nullptr, QStringLiteral("提示"),
                                  QStringLiteral("网络连接失败，请检测您的网络状态后重试"));
        return;
    }
    const JsonDocument reply = JsonDocument::parse(*body);
    if (!reply.isValid())
        return;
    const std::optional<int> code = replyCode(reply);

    if (code == ReplyCode::CredentialsRejected) {
        MessageBoxes::about(nullptr, QString(), QStringLiteral("账号或密码错误，请重新输入"));
        ui->account_ComboBox->clearEditText();
        ui->pswd->clear();
        return;
    }
    // A token is kept from any reply that carries one; only code 100 completes the login.
    if (const std::optional<QByteArray> granted = jsonBytesMember(jsonObjectMember(reply.root(), "data"), "token"))
        token = *granted;
    if (code != ReplyCode::Success)
        return;

    // Built while this dialog still shows, so the screen is never without a window.
    ensureMainWindow();
    hide();
    // Hidden for the rest of the session: its window surface (a full-size image shared with the
    // display server) and its background picture are given back once this click has been handled,
    // before the main window's first paint. A later show() makes both again.
    QMetaObject::invokeMethod(this, &Login::releaseHiddenWindow, Qt::QueuedConnection);
    mainWindow->show();
    emit sendToken(token.toStdString(), name, password);
    recordAccount(ui->account_ComboBox->currentText(), ui->pswd->text(), rememberFlag);
}

void Login::releaseHiddenWindow()
{
    if (isVisible())
        return;
    ui->labelPicture->clear();
    destroy();
}

void Login::showEvent(QShowEvent *event)
{
    if (ui->labelPicture->pixmap(Qt::ReturnByValue).isNull())
        ui->labelPicture->setPixmap(LoginPictures::picture(QStringLiteral(":/image/login背景.png")));
    QWidget::showEvent(event);
}

void Login::setlogint(int index)
{
    if (index < 0 || index >= rememberedPasswords.size())
        return;
    decipherToOutput(rememberedPasswords.at(index));
    passwordBytes = cipherOutput;
    if (index < rememberedFlags.size()) {
        decipherToOutput(rememberedFlags.at(index));
        rememberFlag = cipherOutput;
    } else {
        rememberFlag.clear();
    }
    if (rememberFlag == "true") {
        ui->checkBox->setChecked(true);
        ui->pswd->setText(QString::fromUtf8(passwordBytes));
    } else {
        ui->checkBox->setChecked(false);
        ui->pswd->clear();
    }
}

void Login::on_checkBox_clicked()
{
    rememberFlag = ui->checkBox->isChecked() ? QByteArrayLiteral("true") : QByteArrayLiteral("false");
}

void Login::paintEvent(QPaintEvent *event)
{
    Q_UNUSED(event)
    paintStyledBackgroundWithRoundedMask(this, 3);
}

bool Login::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ui->widgetTitle) {
        switch (event->type()) {
        case QEvent::MouseButtonPress: {
            const auto *mouse = static_cast<QMouseEvent *>(event);
            if (mouse->button() == Qt::LeftButton)
                dragOffset = mouse->globalPos() - pos();
            break;
        }
        case QEvent::MouseMove:
            if (!dragOffset.isNull())
                move(static_cast<QMouseEvent *>(event)->globalPos() - dragOffset);
            break;
        case QEvent::MouseButtonRelease:
            dragOffset = QPoint();
            break;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}
