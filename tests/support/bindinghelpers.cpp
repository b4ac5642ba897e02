#include "support/bindinghelpers.h"

#include "api/sessiontoken.h"
#include "crypto/credentialcipher.h"
#include "mainwindow/mainwindow.h"
#include "store/accountstore.h"
#include "store/tapbindingstore.h"
#include "support/storedfiles.h"
#include "ui_mainwindow.h"

#include <QFile>
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

QString binding(const QString &user, const QString &serial, const QString &password)
{
    return user + QLatin1Char('|') + serial + QLatin1Char('|') + password;
}

QStringList storedBindings()
{
    return storedfile::records(TapBindingStore::filePath(), storedfile::bindingKeys);
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
    return storedfile::records(AccountStore::filePath(), storedfile::accountKeys);
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
    // Qt's classes name themselves; the offscreen platform notes what it cannot do.
    static const QRegularExpression qtOwn(QStringLiteral("^(Q[A-Za-z]+::|This plugin does not support)"));
    if ((!context.category || qstrcmp(context.category, "default") == 0) && !qtOwn.match(message).hasMatch() &&
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
