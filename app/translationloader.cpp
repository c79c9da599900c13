#include "translationloader.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace {

bool installFrom(const QLocale &locale, const QString &name, const QString &directory)
{
    auto *translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(locale, name, QStringLiteral("_"), directory)) {
        delete translator;
        return false;
    }
    QCoreApplication::installTranslator(translator);
    return true;
}

} // namespace

bool TranslationLoader::install(const QLocale &locale)
{
    if (!QCoreApplication::instance())
        return false;
    // Qt's own texts (the buttons of message boxes, file dialogs) come from the system's Qt translations
    // when they are installed; the tool works without them. Only qtbase: the serial port's error texts stay
    // English, because the session recognises a port held by another program by the word "locking" in them.
    installFrom(locale, QStringLiteral("qtbase"), QLibraryInfo::location(QLibraryInfo::TranslationsPath));
    return installFrom(locale, QString::fromLatin1(kFilePrefix), QString::fromLatin1(kResourceDirectory));
}
