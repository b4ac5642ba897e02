#include "support/bindinghelpers.h"

#include "api/sessiontoken.h"
#include "crypto/credentialcipher.h"
#include "mainwindow/mainwindow.h"
#include "store/accountstore.h"
#include "store/tapbindingstore.h"
#include "ui_mainwindow.h"

#include <QFile>
#include <QLabel>
#include <QRegularExpression>

namespace bindingtest {

QString decipher(const QByteArray &cipher)
{
    return QString::fromUtf8(CredentialCipher::decipher(cipher, CredentialCipher::keyBytes()));
}

QByteArray encipher(const QString &text)
{
    return CredentialCipher::encipher(text.toUtf8(), CredentialCipher::keyBytes());
}

sim::Fault fault(int trouble, const QByteArray &customBody)
{
    sim::Fault result;
    if (trouble > 0)
        result.code = trouble;
    result.dropConnection = trouble == Drop;
    result.body = trouble == NotJson     ? sim::Fault::Body::NotJson
                  : trouble == Truncated ? sim::Fault::Body::Truncated
                  : trouble == Custom    ? sim::Fault::Body::Custom
                                         : sim::Fault::Body::Normal;
    result.customBody = customBody;
    return result;
}

QString binding(const QString &user, const QString &serial, const QString &password)
{
    return user + QLatin1Char('|') + serial + QLatin1Char('|') + password;
}

QStringList storedBindings()
{
    const TapBindingStore::Lists lists = TapBindingStore::load();
    if (lists.tapSerials.size() != lists.userNames.size() || lists.tapPasswords.size() != lists.userNames.size())
        return {QStringLiteral("<lists of different lengths>")};
    QStringList result;
    for (int i = 0; i < lists.userNames.size(); ++i)
        result.append(binding(decipher(lists.userNames.at(i)), decipher(lists.tapSerials.at(i)),
                              decipher(lists.tapPasswords.at(i))));
    return result;
}

void storeBinding(const QString &user, const QString &serial, const QString &password)
{
    TapBindingStore::Lists lists = TapBindingStore::load();
    TapBindingStore::saveBinding(lists, encipher(user), encipher(serial), encipher(password));
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool logIn(MainWindow &window, const QString &user, const QString &password)
{
    const TokenReply reply = requestToken(user, password);
    if (!reply.token)
        return false;
    window.getToken(reply.token->toStdString(), user, password);
    return true;
}

void bindManually(MainWindow &window, const QString &serial, const QString &password)
{
    window.ui->b_tap_LineEdit->setText(serial);
    window.ui->b_tap_pswd_lineEdit->setText(password);
    window.ui->btn_bound_tap->click();
}

bool showsBindPage(const MainWindow &window)
{
    return window.ui->stackedWidget->currentIndex() == 2 && window.ui->stackedWidget_2->currentIndex() == 1;
}

bool showsPicture(const QLabel *label, const QString &path)
{
    const QPixmap shown = label->pixmap(Qt::ReturnByValue);
    return !shown.isNull() && shown.toImage() == QPixmap(path).toImage();
}

QByteArray gatewayPage(int rows)
{
    QByteArrayList data;
    for (int i = 0; i < rows; ++i)
        data.append("{\"gatewaySn\":\"GW" + QByteArray::number(i) + "\",\"tunnelOnline\":1,\"customerId\":1001}");
    return "{\"code\":100,\"page\":{\"size\":30,\"count\":" + QByteArray::number(rows) + ",\"index\":1},\"data\":[" +
           data.join(',') + "]}";
}

QStringList storedAccounts()
{
    const AccountStore::Lists lists = AccountStore::load();
    QStringList accounts;
    for (int i = 0; i < lists.userNames.size(); ++i)
        accounts.append(binding(decipher(lists.userNames.at(i)), decipher(lists.passwords.value(i)),
                                decipher(lists.flags.value(i))));
    return accounts;
}

void storeAccounts(const QStringList &accounts)
{
    AccountStore::Lists lists;
    QByteArrayList *const columns[] = {&lists.userNames, &lists.passwords, &lists.flags};
    for (const QString &account : accounts)
        for (int i = 0; i < 3; ++i)
            columns[i]->append(encipher(account.section(QLatin1Char('|'), i, i)));
    AccountStore::save(lists);
}

sim::World loginWorld()
{
    sim::World world = sim::demoWorld();
    for (int n = 1; n <= 9; ++n)
        world.accounts.append({QStringLiteral("user%1").arg(n), QStringLiteral("Secret@%1").arg(n), 1001});
    world.accounts.append({specialName, specialPassword, 1001});
    return world;
}

namespace capturedLog {
namespace {
QtMessageHandler previousHandler = nullptr;

void capture(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    static const QRegularExpression qtClass(QStringLiteral("^Q[A-Za-z]+::"));
    if ((!context.category || qstrcmp(context.category, "default") == 0) && !qtClass.match(message).hasMatch() &&
        (type == QtWarningMsg || type == QtDebugMsg))
        (type == QtWarningMsg ? warnings : debugLines).append(message);
    if (previousHandler)
        previousHandler(type, context, message);
}
} // namespace

void install(bool on)
{
    if (on)
        previousHandler = qInstallMessageHandler(capture);
    else
        qInstallMessageHandler(previousHandler);
}
} // namespace capturedLog

QStringList shownBoxes(const MessageRecorder &recorder)
{
    static const char *const kinds[] = {"information", "warning", "critical", "about", "question"};
    QStringList result;
    for (const MessageBoxes::Request &box : recorder.boxes())
        result.append(QLatin1String(kinds[int(box.kind)]) +
                      (box.parent ? QLatin1String("/window/") : QLatin1String("/none/")) + box.title +
                      QLatin1Char('/') + box.text);
    return result;
}

} // namespace bindingtest
