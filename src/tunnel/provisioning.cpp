// Opening the tunnel: site and customer checks, the profile, the CA file, then the launch.
#include "mainwindow/mainwindow.h"

#include "api/operations.h"
#include "api/platformcall.h"
#include "tunnel/logic/tunnelfiles.h"
#include "ui/messageboxes.h"
#include "ui/networkfailurebox.h"
#include "ui_mainwindow.h"

namespace {
void refuse(const QString &text)
{
    MessageBoxes::warning(nullptr, QStringLiteral("提示"), text);
}
} // namespace

QString MainWindow::tunnelRefusal(bool *unanswered)
{
    // The ordinary-site page's label as last filled; empty before any site was shown.
    if (ui->siteEnabled->text() == QStringLiteral("否"))
        return QStringLiteral("该站点尚未开启，请先开启站点");
    if (!checkCustomerEnabled(unanswered))
        return QStringLiteral("该项目尚未开启，请先开启项目");
    return {};
}

bool MainWindow::openTunnel()
{
    bool unanswered = false;
    QString refusal = tunnelRefusal(&unanswered);
    if (refusal.isEmpty() &&
        (!fetchTunnelProfile(tapSerial, tapPassword, sessionToken) || !fetchCaCertificate(sessionToken, tapSerial)))
        refusal = QStringLiteral("请求失败，请重试");
    if (!refusal.isEmpty()) {
        // Refused: the switch stays off and nothing relaunches until the user switches on again.
        reconnectSuppressed = true;
        showTunnelOff();
        if (unanswered)
            showNetworkFailureBox();
        else
            refuse(refusal);
        return false;
    }
    reconnectSuppressed = false;
    return launchTunnel(tapSerial, tapPassword);
}

bool MainWindow::checkCustomerEnabled(bool *unanswered)
{
    const PlatformReply reply =
        callInSession([&](const QByteArray &token) { return Operations::getCustomerInfo(token, customerId); });
    if (unanswered)
        *unanswered = !reply.answered();
    if (!reply.succeeded())
        return false;
    const cJSON *data = jsonObjectMember(reply.document.root(), "data");
    const cJSON *enabled = jsonMember(data, "enabled");
    if (cJSON_IsBool(enabled))
        return cJSON_IsTrue(enabled);
    return jsonIntMember(data, "enabled").value_or(0) != 0;
}

bool MainWindow::fetchTunnelProfile(const QByteArray &serial, const QByteArray &password, const QByteArray &token)
{
    // The serial names a file and goes onto a command line.
    if (!TunnelFiles::isPlainFileName(QString::fromUtf8(serial)))
        return false;
    bool first = true; // the token given, then a renewal's
    const PlatformReply reply = callInSession([&](const QByteArray &held) {
        const QByteArray sent = first ? token : held;
        first = false;
        return Operations::getConfigParam(sent, QString::fromUtf8(serial), QString::fromUtf8(password));
    });
    if (!reply.succeeded())
        return false;
    const std::optional<TunnelFiles::Parameters> parameters = TunnelFiles::readParameters(reply.document.root());
    if (!parameters)
        return false;
    // Kept: every launch writes the profile anew from it, never trusting what lies on disk.
    if (lastProfileSerial != serial)
        lastCaText.clear();
    lastProfileSerial = serial;
    lastProfileText = TunnelFiles::profileText(*parameters);
    return TunnelFiles::writeOwnerOnly(TunnelFiles::profilePath(QString::fromUtf8(serial)), lastProfileText);
}

bool MainWindow::fetchCaCertificate(const QByteArray &token, const QByteArray &serial)
{
    // Any completed transfer counts, whatever its status or body.
    const std::optional<QByteArray> body = platformExchange(Operations::getDownload(token, QString::fromUtf8(serial)));
    if (!body)
        return false;
    if (lastProfileSerial == serial)
        lastCaText = TunnelFiles::caText(*body);
    return TunnelFiles::writeOwnerOnly(TunnelFiles::caFile, TunnelFiles::caText(*body));
}
