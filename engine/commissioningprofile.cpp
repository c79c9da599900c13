#include "commissioningprofile.h"

#include <QCryptographicHash>

#include "jsontext.h"
#include "nodecmdsetthreshold.h"
#include "operatortext.h"
#include "regularfile.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>

#include <cmath>
#include <limits>

namespace {

// What a form's edit accepts, by the validator it carries.
enum class Accepts {
    Nothing, // the type's form has no such edit
    AnyNumber, // no validator; the write truncates to the node's 32-bit value
    Whole, // any int
    WholeHundred, // whole numbers from -100 to 100
    TwoDecimals, // -100 to 100 with at most two decimals
};

// The settings each type's form offers and what its edits accept. The validators go by position in each
// form's edit list, so the two values of one pair can differ (the LoRa OTAA forms take a whole upper humidity
// but a decimal lower one); a profile is held to exactly what an operator could have typed.
struct TypeRules
{
    Node::eFirmwareType type;
    bool appId;
    bool netId;
    Accepts temperatureLow;
    Accepts temperatureHigh;
    Accepts humidityLow;
    Accepts humidityHigh;
    Accepts pressure;
    Accepts accelerometer;
};

constexpr Accepts kNo = Accepts::Nothing;
constexpr Accepts kAny = Accepts::AnyNumber;
constexpr Accepts kInt = Accepts::Whole;
constexpr Accepts kHundred = Accepts::WholeHundred;
constexpr Accepts kDecimal = Accepts::TwoDecimals;

const TypeRules kTypeRules[] = {
    {Node::Pellimar, true, true, kInt, kInt, kDecimal, kDecimal, kDecimal, kDecimal},
    {Node::LoRaOTAA, true, false, kHundred, kHundred, kDecimal, kHundred, kDecimal, kDecimal},
    {Node::SigFox, false, false, kHundred, kAny, kHundred, kHundred, kDecimal, kDecimal},
    {Node::Pellimar5D, true, true, kInt, kInt, kDecimal, kDecimal, kNo, kNo},
    {Node::LoRaOTAA5D, true, false, kHundred, kHundred, kDecimal, kHundred, kNo, kNo},
    {Node::SigFox5D, false, false, kAny, kAny, kHundred, kHundred, kNo, kNo},
};

constexpr int kHundredLimit = 100;
constexpr int kDecimals = 2;
constexpr int kAppIdDigits = 16;
constexpr int kNetIdDigits = 8;
constexpr int kLabelProfileIdDigits = 8;
// The largest rate whose milliseconds still fit the node's 32-bit value, as the form's report-rate edit allows.
constexpr qint64 kMaxReportRateMinutes = std::numeric_limits<qint32>::max() / NodeCMDsetThreshold::kMsPerMinute;
// Both bounds are exact in a float; the write saturates anything beyond them.
constexpr double kInt32Low = -2147483648.0;
constexpr double kInt32High = 2147483648.0;

const QString kAppKeyKey = QStringLiteral("appKey");

QString numberText(double value)
{
    return QString::number(value, 'g', 15);
}

QString quoted(const QString &text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

const TypeRules *rulesFor(int type)
{
    for (const TypeRules &rules : kTypeRules) {
        if (rules.type == type)
            return &rules;
    }
    return nullptr;
}

bool isHex(const QString &text, int digits)
{
    static const QRegularExpression hex(QStringLiteral("^[0-9A-Fa-f]*$"));
    return text.size() == digits && hex.match(text).hasMatch();
}

// True when `value` is one the edit accepts; otherwise `*why` says what is wrong with it, naming it by `what`
// ("low", "high" or empty).
bool accepted(double value, Accepts accepts, const QString &what, QString *why)
{
    const QString named = what.isEmpty() ? numberText(value) : what + QLatin1Char(' ') + numberText(value);
    const auto refuse = [&](const QString &reason) {
        *why = named + reason;
        return false;
    };
    const bool whole = value == std::trunc(value);
    const bool beyondInt32 = value < kInt32Low || value >= kInt32High;
    const QString notWhole = QCoreApplication::translate("CommissioningProfile", " is not a whole number");
    const QString beyondNode = QCoreApplication::translate("CommissioningProfile", " is beyond what the node can hold");
    switch (accepts) {
    case Accepts::Nothing:
        *why = QCoreApplication::translate("CommissioningProfile", "not a setting of this type");
        return false;
    case Accepts::AnyNumber:
        return !beyondInt32 || refuse(beyondNode);
    case Accepts::Whole:
        if (!whole)
            return refuse(notWhole);
        return !beyondInt32 || refuse(beyondNode);
    case Accepts::WholeHundred:
        if (!whole)
            return refuse(notWhole);
        break;
    case Accepts::TwoDecimals:
        // The nearest double to a number with two decimals prints back as exactly that number.
        if (QString::number(value, 'f', kDecimals).toDouble() != value)
            return refuse(
                QCoreApplication::translate("CommissioningProfile", " has more than %1 decimals").arg(kDecimals));
        break;
    }
    if (value < -kHundredLimit || value > kHundredLimit)
        return refuse(QCoreApplication::translate("CommissioningProfile", " is outside %1 to %2")
                          .arg(-kHundredLimit)
                          .arg(kHundredLimit));
    return true;
}

bool readNumber(const QJsonValue &json, Accepts accepts, const QString &what, float *target, QString *why)
{
    if (!json.isDouble()) {
        *why = (what.isEmpty() ? QCoreApplication::translate("CommissioningProfile", "not a number")
                               : what + QCoreApplication::translate("CommissioningProfile", " is not a number"));
        return false;
    }
    const double value = json.toDouble();
    if (!accepted(value, accepts, what, why))
        return false;
    *target = float(value);
    return true;
}

bool readRange(
    const QJsonValue &json, Accepts low, Accepts high, std::optional<ProfileEntry::Range> *target, QString *why)
{
    const QJsonArray pair = json.toArray();
    if (!json.isArray() || pair.size() != 2) {
        *why = QCoreApplication::translate("CommissioningProfile", "not a pair [low, high]");
        return false;
    }
    ProfileEntry::Range range{};
    if (!readNumber(pair.at(0), low, QCoreApplication::translate("CommissioningProfile", "low"), &range.low, why)
        || !readNumber(pair.at(1), high, QCoreApplication::translate("CommissioningProfile", "high"), &range.high, why))
        return false;
    if (range.high < range.low) {
        *why = QCoreApplication::translate("CommissioningProfile", "high %1 is below low %2")
                   .arg(numberText(pair.at(1).toDouble()), numberText(pair.at(0).toDouble()));
        return false;
    }
    *target = range;
    return true;
}

bool readHex(const QJsonValue &json, int digits, std::optional<QString> *target, QString *why)
{
    const QString text = json.toString();
    if (!json.isString() || !isHex(text, digits)) {
        *why = QCoreApplication::translate("CommissioningProfile", "not %1 hex digits").arg(digits);
        return false;
    }
    *target = text.toUpper();
    return true;
}

// One setting of a type's entry; false with `*why` set when the value is refused.
bool readSetting(const QString &key, const QJsonValue &json, const TypeRules &rules, ProfileEntry *entry, QString *why)
{
    const auto notOfType = [&] {
        *why = QCoreApplication::translate("CommissioningProfile", "the %1 form has no such setting")
                   .arg(Node::communicationText(rules.type));
        return false;
    };
    if (key == QLatin1String("appId"))
        return rules.appId ? readHex(json, kAppIdDigits, &entry->appId, why) : notOfType();
    if (key == QLatin1String("netId"))
        return rules.netId ? readHex(json, kNetIdDigits, &entry->netId, why) : notOfType();
    if (key == QLatin1String("temperature"))
        return readRange(json, rules.temperatureLow, rules.temperatureHigh, &entry->temperature, why);
    if (key == QLatin1String("humidity"))
        return readRange(json, rules.humidityLow, rules.humidityHigh, &entry->humidity, why);
    if (key == QLatin1String("pressure"))
        return rules.pressure == Accepts::Nothing
            ? notOfType()
            : readRange(json, rules.pressure, rules.pressure, &entry->pressure, why);
    if (key == QLatin1String("accelerometer")) {
        if (rules.accelerometer == Accepts::Nothing)
            return notOfType();
        float value = 0;
        if (!readNumber(json, rules.accelerometer, QString(), &value, why))
            return false;
        entry->accelerometer = value;
        return true;
    }
    if (key == QLatin1String("reportRate")) {
        const double minutes = json.toDouble(-1);
        if (!json.isDouble() || minutes != std::trunc(minutes) || minutes < 0 || minutes > kMaxReportRateMinutes) {
            *why = QCoreApplication::translate("CommissioningProfile", "not whole minutes from 0 to %1")
                       .arg(kMaxReportRateMinutes);
            return false;
        }
        entry->reportRate = qint32(minutes);
        return true;
    }
    if (key == QLatin1String("minNodeVersion")) {
        static const QRegularExpression version(QStringLiteral("^[vV]?\\d"));
        const QString text = json.toString().trimmed();
        if (!json.isString() || !version.match(text).hasMatch()) {
            *why = QCoreApplication::translate("CommissioningProfile", "not a firmware version such as \"v2.1.0\"");
            return false;
        }
        entry->minNodeVersion = text;
        return true;
    }
    if (key == QLatin1String("labelProfileId")) {
        if (Node::isSigfoxType(rules.type))
            return notOfType();
        std::optional<QString> id;
        if (!readHex(json, kLabelProfileIdDigits, &id, why))
            return false;
        entry->labelProfileId = *id;
        return true;
    }
    if (key == kAppKeyKey) {
        *why = QCoreApplication::translate(
            "CommissioningProfile", "a profile never holds an application key: keys are per device");
        return false;
    }
    *why = QCoreApplication::translate("CommissioningProfile", "unknown setting");
    return false;
}

bool readBool(const QJsonObject &root, const QString &key, bool *target, QString *why)
{
    const QJsonValue json = root.value(key);
    if (json.isUndefined())
        return true;
    if (!json.isBool()) {
        *why = quoted(key) + QCoreApplication::translate("CommissioningProfile", ": not true or false");
        return false;
    }
    *target = json.toBool();
    return true;
}

// The "auto" object: which steps a station takes by itself. Each step builds on the one before it, so a profile
// that would register a node nobody wrote, or put to sleep one nobody registered, is refused.
bool readAutomation(const QJsonValue &json, CommissioningProfile::Automation *target, QString *why)
{
    const QString prefix = quoted(QStringLiteral("auto")) + QStringLiteral(" / ");
    if (!json.isObject()) {
        *why = quoted(QStringLiteral("auto")) + QCoreApplication::translate("CommissioningProfile", ": not an object");
        return false;
    }
    const QJsonObject object = json.toObject();
    static const QStringList keys = {
        QStringLiteral("apply"), QStringLiteral("register"), QStringLiteral("activate"), QStringLiteral("printLabel")};
    for (const QString &key : object.keys()) {
        if (!keys.contains(key)) {
            *why = prefix + quoted(key) + QCoreApplication::translate("CommissioningProfile", ": unknown key");
            return false;
        }
    }
    CommissioningProfile::Automation automation;
    if (!readBool(object, QStringLiteral("apply"), &automation.apply, why)
        || !readBool(object, QStringLiteral("register"), &automation.registerNode, why)
        || !readBool(object, QStringLiteral("activate"), &automation.activate, why)) {
        *why = prefix + *why;
        return false;
    }
    const QJsonValue print = object.value(QStringLiteral("printLabel"));
    if (print == QJsonValue(QStringLiteral("onPass"))) {
        automation.printLabel = CommissioningProfile::Automation::Print::OnPass;
    } else if (!print.isUndefined() && print != QJsonValue(false) && print != QJsonValue(QStringLiteral("never"))) {
        *why = prefix + quoted(QStringLiteral("printLabel"))
            + QCoreApplication::translate("CommissioningProfile", ": \"onPass\", \"never\" or false");
        return false;
    }
    const auto needs = [&](const char *key, const char *needed) {
        *why = prefix + quoted(QLatin1String(key))
            + QCoreApplication::translate("CommissioningProfile", ": needs %1 as well")
                  .arg(quoted(QLatin1String(needed)));
        return false;
    };
    if (automation.registerNode && !automation.apply)
        return needs("register", "apply");
    if (automation.activate && !automation.registerNode)
        return needs("activate", "register");
    if (automation.printLabel != CommissioningProfile::Automation::Print::Never && !automation.apply)
        return needs("printLabel", "apply");
    *target = automation;
    return true;
}

// The form titles that are not themselves a "Communication:" text, with the types whose forms bear them: the
// operator may name a type by the title the form shows.
struct TitleAlias
{
    const char *title;
    QList<int> types;
};
const QList<TitleAlias> &titleAliases()
{
    static const QList<TitleAlias> aliases = {{"PellimarNode", {Node::Pellimar, Node::Pellimar5D}}};
    return aliases;
}

// The node types a key of "types" names: one for a "Communication:" text, each type bearing a form title.
QList<int> typesOfKey(const QString &key)
{
    Node probe;
    if (probe.applyCommunication(key) && rulesFor(probe.firmwareType))
        return {int(probe.firmwareType)};
    for (const TitleAlias &alias : titleAliases()) {
        if (key == QLatin1String(alias.title))
            return alias.types;
    }
    return {};
}

// Every key "types" accepts, quoted, for the refusal of one that is none.
QStringList validTypeKeys()
{
    QStringList keys;
    for (int type = Node::Unknown; type <= Node::SigFox5D; ++type) {
        if (rulesFor(type))
            keys << quoted(Node::communicationText(type));
    }
    for (const TitleAlias &alias : titleAliases())
        keys << quoted(QLatin1String(alias.title));
    return keys;
}

QByteArray withoutByteOrderMark(QByteArray bytes)
{
    // Editors on Windows like to start UTF-8 files with a byte order mark, which the JSON reader refuses.
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    return bytes;
}

} // namespace

std::optional<CommissioningProfile> CommissioningProfile::load(const QString &path, QString *error)
{
    const QString prefix = QFileInfo(path).fileName() + QStringLiteral(": ");
    const auto refuse = [&](const QString &why) {
        if (error)
            *error = prefix + why;
        return std::nullopt;
    };

    QFile file;
    QString problem;
    if (!RegularFile::open(file, path, &problem))
        return refuse(QCoreApplication::translate("CommissioningProfile", "cannot be read (%1)").arg(problem));
    // A larger file is refused unread; fromJson() says so for one that grew while it was read.
    if (file.size() > kMaxFileBytes)
        return refuse(QCoreApplication::translate("CommissioningProfile", "larger than %1 bytes, not a profile")
                          .arg(kMaxFileBytes));
    return fromJson(file.read(kMaxFileBytes + 1), path, error);
}

std::optional<CommissioningProfile> CommissioningProfile::fromJson(
    const QByteArray &text, const QString &path, QString *error)
{
    const QString prefix = QFileInfo(path).fileName() + QStringLiteral(": ");
    const auto refuse = [&](const QString &why) {
        if (error)
            *error = prefix + why;
        return std::nullopt;
    };
    if (text.size() > kMaxFileBytes)
        return refuse(QCoreApplication::translate("CommissioningProfile", "larger than %1 bytes, not a profile")
                          .arg(kMaxFileBytes));
    const QByteArray bytes = withoutByteOrderMark(text);

    // The JSON reader would keep the last of two equal keys without a word (a profile saying "locked": true and
    // later "locked": false would silently be unlocked); such a text is refused before it is read.
    const QStringList twice = JsonText::duplicateKey(bytes);
    if (!twice.isEmpty()) {
        QStringList path;
        for (const QString &key : twice)
            path << quoted(key);
        return refuse(path.join(QStringLiteral(" / "))
            + QCoreApplication::translate("CommissioningProfile", ": the key is given twice"));
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return refuse(QCoreApplication::translate("CommissioningProfile", "not valid JSON (%1 at byte %2)")
                          .arg(parseError.errorString())
                          .arg(parseError.offset));
    if (!document.isObject())
        return refuse(QCoreApplication::translate("CommissioningProfile", "not a JSON object"));
    const QJsonObject root = document.object();

    static const QStringList topKeys = {QStringLiteral("format"), QStringLiteral("name"), QStringLiteral("locked"),
        QStringLiteral("requireLabel"), QStringLiteral("auto"), QStringLiteral("types")};
    for (const QString &key : root.keys()) {
        if (!topKeys.contains(key))
            return refuse(quoted(key) + QCoreApplication::translate("CommissioningProfile", ": unknown key"));
    }

    const QJsonValue format = root.value(QStringLiteral("format"));
    if (!format.isDouble() || format.toDouble() != kFormat) {
        const QString given = format.isUndefined() ? QCoreApplication::translate("CommissioningProfile", "missing")
            : format.isDouble()                    ? numberText(format.toDouble())
            : format.isString()                    ? quoted(format.toString())
                                : QCoreApplication::translate("CommissioningProfile", "not a number");
        return refuse(QCoreApplication::translate("CommissioningProfile", "\"format\": %1, this tool reads format %2")
                          .arg(given)
                          .arg(kFormat));
    }

    CommissioningProfile profile;
    profile.m_filePath = path;
    profile.m_sha256 = QString::fromLatin1(QCryptographicHash::hash(text, QCryptographicHash::Sha256).toHex());
    const QJsonValue name = root.value(QStringLiteral("name"));
    if (!name.isUndefined() && !name.isString())
        return refuse(QCoreApplication::translate("CommissioningProfile", "\"name\": not a text"));
    profile.m_name = OperatorText::cleaned(name.toString());
    if (profile.m_name.isEmpty())
        profile.m_name = QFileInfo(path).completeBaseName();

    QString why;
    if (!readBool(root, QStringLiteral("locked"), &profile.m_locked, &why)
        || !readBool(root, QStringLiteral("requireLabel"), &profile.m_requireLabel, &why))
        return refuse(why);
    const QJsonValue automation = root.value(QStringLiteral("auto"));
    if (!automation.isUndefined() && !readAutomation(automation, &profile.m_automation, &why))
        return refuse(why);

    const QJsonValue types = root.value(QStringLiteral("types"));
    if (!types.isObject() || types.toObject().isEmpty())
        return refuse(QCoreApplication::translate("CommissioningProfile", "\"types\": missing or names no node type"));
    const QJsonObject typeObject = types.toObject();
    // A key named by the node's own "Communication:" text wins over a form title that covers its type too.
    QSet<int> namedExactly;
    for (auto it = typeObject.begin(); it != typeObject.end(); ++it) {
        const QString typeText = it.key();
        const QList<int> covered = typesOfKey(typeText);
        if (covered.isEmpty())
            return refuse(QCoreApplication::translate("CommissioningProfile",
                "\"types\" / %1: not a node type; the node's \"Communication:\" text (shown in the status bar) "
                "or its form's title: %2")
                              .arg(quoted(typeText), validTypeKeys().join(QStringLiteral(", "))));
        if (!it.value().isObject())
            return refuse(
                quoted(typeText) + QCoreApplication::translate("CommissioningProfile", ": not an object of settings"));
        const bool exact = covered.size() == 1 && Node::communicationText(covered.first()) == typeText;
        for (int type : covered) {
            if (!exact && namedExactly.contains(type))
                continue;
            const TypeRules *rules = rulesFor(type);
            ProfileEntry entry;
            entry.firmwareType = rules->type;
            const QJsonObject settings = it.value().toObject();
            for (auto setting = settings.begin(); setting != settings.end(); ++setting) {
                if (!readSetting(setting.key(), setting.value(), *rules, &entry, &why))
                    return refuse(
                        quoted(typeText) + QStringLiteral(" / ") + quoted(setting.key()) + QStringLiteral(": ") + why);
            }
            profile.m_entries.insert(rules->type, entry);
            if (exact)
                namedExactly.insert(type);
        }
    }
    return profile;
}

const ProfileEntry *CommissioningProfile::entryFor(const QString &communicationText) const
{
    Node probe;
    if (!probe.applyCommunication(communicationText))
        return nullptr;
    return entryFor(int(probe.firmwareType));
}

const ProfileEntry *CommissioningProfile::entryFor(int firmwareType) const
{
    const auto it = m_entries.constFind(firmwareType);
    return it == m_entries.constEnd() ? nullptr : &it.value();
}
