#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QList>
#include <QPoint>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <memory>
#include <string>

namespace Ui {
class UserDesign;
}

// The user settings dialog: shows the account and the TAP bound on this PC and releases the
// binding, on the platform and in TAPBOUND.ini.
class UserDesign : public QWidget {
    Q_OBJECT

public:
    explicit UserDesign(std::shared_ptr<bool> tapBound, QWidget *parent = nullptr);
    ~UserDesign() override;

signals:
    void closeSon();

public slots:
    void on_btnMin_clicked();
    void on_btnExit_clicked();
    void on_toolButton_clicked();
    void getToken_UsrName_TAP(std::string Token, QString UserName, QString TAP);
    void paintEvent(QPaintEvent *event) override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void changeEvent(QEvent *event) override;

public:
    Ui::UserDesign *ui;
    QPoint dragOffset;
    QString sessionToken;
    QString userName;
    QString tapSerial;
    QByteArray userNameCipher;
    QByteArray tapSerialCipher;
    QByteArray tapPasswordCipher;
    QByteArrayList boundUserNames;
    QByteArrayList boundTapSerials;
    QByteArrayList boundTapPasswords;
    QByteArray cipherScratch;
    QByteArray cipherOutput;
    QString cipherKeyText;
    QByteArray cipherKey;
    std::shared_ptr<bool> tapBound;

private:
    bool releaseOnPlatform() const;
    void removeBindingFromFile();
    void restoreTogether();

    // The windows minimised with this modal dialog; they come back with it, and it with them.
    QList<QPointer<QWidget>> minimisedWith;
    bool restoring = false;
};
