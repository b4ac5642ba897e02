#include "ui/language.h"

#include <QGuiApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QPointer>
#include <QTranslator>

bool applyClientLanguage()
{
    // Qt puts the display name after every title and, while none is set, the file name in place of
    // an empty title; an empty display name does neither.
    QGuiApplication::setApplicationDisplayName(QStringLiteral(""));

    // The client is Chinese whatever the system's language.
    static QPointer<QTranslator> installed;
    if (installed)
        return true;
    auto *translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::location(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    installed = translator;
    return QCoreApplication::installTranslator(translator);
}
