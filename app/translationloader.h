#pragma once

class QLocale;

// Puts the tool's texts, and Qt's own dialog texts, into the language of a locale. Where no translation
// exists the texts stay in English, the language they are written in. The translators belong to the running
// application object and go with it.
class TranslationLoader
{
public:
    // Where the compiled translations are built into the program.
    static constexpr const char *kResourceDirectory = ":/translations";
    static constexpr const char *kFilePrefix = "iot_commission";

    // Installs the translators for `locale` into the running application. True when the tool's own texts
    // were found in that language.
    static bool install(const QLocale &locale);
};
