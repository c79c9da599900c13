// The registration document built from a node record whose texts and numbers come from the node. The input
// gives the record's fields, one per line; whatever they hold, the compact JSON the tool posts parses back to
// the same document with the members the server expects.

#include "fuzzsupport.h"
#include "jsondeviceregister.h"
#include "node.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

namespace {
// Whether what a JSON reader got back is what was sent: the same members, the same texts and the same numbers
// (compared as numbers: Qt reads a whole number of more than 15 digits back as an integer, so the values need not
// be of one kind). Qt's reader drops a U+FEFF that starts a string value without escapes (it decodes such a string
// like a file with a byte order mark); the bytes the tool posts keep it, so a text read back without it also
// counts as the same.
bool sameAsReadBack(const QJsonValue &sent, const QJsonValue &read)
{
    if (sent.isString()) {
        const QString text = sent.toString();
        return read.isString()
            && (read.toString() == text || (text.startsWith(QChar(0xFEFF)) && read.toString() == text.mid(1)));
    }
    if (sent.isDouble())
        return read.isDouble() && read.toDouble() == sent.toDouble();
    if (sent.isArray()) {
        const QJsonArray a = sent.toArray();
        const QJsonArray b = read.toArray();
        if (!read.isArray() || a.size() != b.size())
            return false;
        for (int i = 0; i < a.size(); ++i) {
            if (!sameAsReadBack(a.at(i), b.at(i)))
                return false;
        }
        return true;
    }
    if (sent.isObject()) {
        const QJsonObject a = sent.toObject();
        const QJsonObject b = read.toObject();
        if (!read.isObject() || a.keys() != b.keys())
            return false;
        for (auto it = a.begin(); it != a.end(); ++it) {
            if (!sameAsReadBack(it.value(), b.value(it.key())))
                return false;
        }
        return true;
    }
    return sent == read;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QList<QByteArray> fields = FuzzSupport::bytes(data, size).split('\n');
    auto text = [&](int i) { return i < fields.size() ? QString::fromUtf8(fields.at(i)) : QString(); };
    // Texts that are not numbers give 0, and numbers keep whatever the text says (nan and inf included).
    auto number = [&](int i) { return i < fields.size() ? fields.at(i).toFloat() : std::nanf(""); };

    Node node;
    node.deviceType = text(0).toInt();
    node.deviceCommunication = text(1).toInt();
    node.lockDescription = text(2);
    node.nodeVersion = text(3);
    node.moduleVersion = text(4);
    node.loraVersion = text(5);
    node.euid = text(6);
    node.pac = text(7);
    node.appId = text(8);
    node.appKey = text(9);
    node.netId = text(10);
    float *values[] = {&node.thresholds.temperatureLow, &node.thresholds.temperatureHigh, &node.thresholds.humidityLow,
        &node.thresholds.humidityHigh, &node.thresholds.pressureLow, &node.thresholds.pressureHigh,
        &node.thresholds.accelX};
    for (int i = 0; i < 7; ++i)
        *values[i] = number(11 + i);

    const QJsonObject document = JSONdeviceRegister::deviceDocument(node);
    const QByteArray posted = QJsonDocument(document).toJson(QJsonDocument::Compact);
    QJsonParseError error;
    const QJsonDocument back = QJsonDocument::fromJson(posted, &error);
    FUZZ_CHECK(error.error == QJsonParseError::NoError);
    FUZZ_CHECK(back.isObject());
    FUZZ_CHECK(sameAsReadBack(document, back.object()));
    FUZZ_CHECK(!posted.contains('\n'));

    FUZZ_CHECK(document.value(QLatin1String("DeviceName")).toString() == node.lockDescription);
    FUZZ_CHECK(!document.value(QLatin1String("euid")).toString().contains(QLatin1Char(':')));
    FUZZ_CHECK(document.value(QLatin1String("version")).toString() == node.versionText());
    const int communication = node.deviceCommunication;
    FUZZ_CHECK(document.contains(QLatin1String("appkey")) == (communication == 1 || communication == 2));
    FUZZ_CHECK(document.contains(QLatin1String("netid")) == (communication == 1));
    FUZZ_CHECK(document.contains(QLatin1String("pac")) == (communication == 3));

    // Four thresholds, gravity first; a value that is not a finite number goes out as null, never as text.
    const QJsonArray thresholds = back.object().value(QLatin1String("thresholds")).toArray();
    FUZZ_CHECK(thresholds.size() == 4);
    auto sent = [&](int position, const char *label, const char *member, float value) {
        const QJsonObject threshold = thresholds.at(position).toObject();
        FUZZ_CHECK(threshold.value(QLatin1String("label")) == QLatin1String(label));
        const QJsonValue number = threshold.value(QLatin1String(member));
        FUZZ_CHECK(std::isfinite(value) ? number.isDouble() && number.toDouble() == double(value) : number.isNull());
    };
    const NodeThresholds &t = node.thresholds;
    sent(0, "gravity", "high", t.accelX);
    sent(1, "pressure", "low", t.pressureLow);
    sent(1, "pressure", "high", t.pressureHigh);
    sent(2, "humidity", "low", t.humidityLow);
    sent(2, "humidity", "high", t.humidityHigh);
    sent(3, "temperature", "low", t.temperatureLow);
    sent(3, "temperature", "high", t.temperatureHigh);
    return 0;
}
