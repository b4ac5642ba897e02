// The credential cipher as the main window uses it for the stored bindings.
#include "mainwindow/mainwindow.h"

#include "crypto/credentialcipher.h"

void MainWindow::encipherToOutput(const QByteArray &bytes)
{
    cipherScratch.clear();
    cipherOutput.clear();
    cipherOutput.append(CredentialCipher::encipher(bytes, cipherKey));
}

void MainWindow::decipherToOutput(const QByteArray &bytes)
{
    cipherScratch.clear();
    cipherOutput.clear();
    cipherOutput.append(CredentialCipher::decipher(bytes, cipherKey));
}
