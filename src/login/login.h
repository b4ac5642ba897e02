#pragma once

#include "ui/metatypes.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QPoint>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <string>

class MainWindow;
class QListWidget;
class QPushButton;

namespace Ui {
class Login;
}

// The first window: collects the platform account and password, asks the platform for a token and
// hands the session to the main window. Offers the remembered accounts of login.ini in an editable
// drop-down with a delete button on every row.
class Login : public QWidget {
    Q_OBJECT

public:
    explicit Login(QWidget *parent = nullptr);
    ~Login() override;

    // Credential cipher as used for stored secrets; the result lands in cipherOutput.
    void encipherToOutput(const QByteArray &bytes);
    void decipherToOutput(const QByteArray &bytes);

    // Remembered accounts: record after a successful login, delete through a row's button.
    void recordAccount(const QString &name, const QString &password, const QByteArray &flag);
    void deleteRememberedAccount(int row);

    // The main window, built by the first successful login (nothing of it shows before), so that
    // at start the user waits only for this dialog. Never deleted by this dialog.
    MainWindow *ensureMainWindow();
    // Told once, right after the main window was built.
    std::function<void(MainWindow *)> mainWindowBuilt;

    Ui::Login *ui;
    MainWindow *mainWindow = nullptr;
    QByteArrayList rememberedUserNames;
    QByteArrayList rememberedPasswords;
    QByteArrayList rememberedFlags;
    QStringList accountNames;
    QByteArray rememberFlag;
    QByteArray userNameBytes;
    QByteArray passwordBytes;
    QPoint dragOffset;
    QString cipherKeyText;
    QByteArray cipherKey;
    QByteArray cipherScratch;
    QByteArray cipherOutput;
    QByteArray token;

signals:
    void sendToken(std::string Token, QString UserName, QString UserPass);

public slots:
    void on_btnMin_clicked();
    void on_btnExit_clicked();
    void on_Btnlogin_clicked();
    void setlogint(int index);
    void on_checkBox_clicked();
    void paintEvent(QPaintEvent *event) override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void addAccountRow(QListWidget *list, const QString &name);
    int rowOfDeleteButton(const QPushButton *button) const;
    void writeRememberedLists();
    void releaseHiddenWindow();
};
