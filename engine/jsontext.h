#pragma once

#include <QByteArray>
#include <QStringList>

// Checks on JSON text that Qt's reader does not make.
class JsonText
{
public:
    // The path of the first key that one object of the text holds twice (["types", "LoRa OTAA"]), or an empty
    // list. Qt's reader keeps the last of two equal keys without a word, so which one counts is not what the
    // writer of the text may have meant; keys are compared as the reader decodes them ("report\u0052ate" is
    // "reportRate"). The text need not be valid JSON: the walk only follows strings, braces, brackets and commas.
    static QStringList duplicateKey(const QByteArray &json);
};
