#include "labelcode.h"

#include "operatortext.h"

#include <QCoreApplication>
#include <QRegularExpression>

namespace {

const int kEuiDigits = 16;
const int kProfileIdDigits = 8;
const int kSigfoxIdDigits = 8;
const int kPacDigits = 16;

const char kNotALabel[] = QT_TRANSLATE_NOOP("LabelCode",
    "Not a label: expected a LoRaWAN QR code (LW:D0:…), a 16-digit DevEUI or a SigFox ID (up to 8 hex digits, "
    "optionally followed by its 16-digit PAC)");
const char kBadQrCode[] = QT_TRANSLATE_NOOP("LabelCode",
    "Not a LoRaWAN QR code: expected LW:D0:<JoinEUI, 16 hex digits>:<DevEUI, 16 hex digits>:<profile id, 8 hex "
    "digits>");

bool isHex(const QString &text, int digits)
{
    if (text.size() != digits)
        return false;
    for (const QChar c : text) {
        if (!((c >= QLatin1Char('0') && c <= QLatin1Char('9')) || (c >= QLatin1Char('A') && c <= QLatin1Char('F'))
                || (c >= QLatin1Char('a') && c <= QLatin1Char('f'))))
            return false;
    }
    return true;
}

// The LoRa Alliance tags of a QR code's further fields this tool keeps: S the serial number, P the vendor's
// proprietary text, C the checksum. O, the owner token, proves ownership and is never kept; nor is a field
// this tool does not know, which could hold anything (a key).
bool isKeptExtraField(const QString &field)
{
    const QChar tag = field.at(0).toUpper();
    return tag == QLatin1Char('S') || tag == QLatin1Char('P') || tag == QLatin1Char('C');
}

bool isLetter(QChar c)
{
    return (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) || (c >= QLatin1Char('a') && c <= QLatin1Char('z'));
}

// Two SigFox IDs are the same number however many leading zeros either carries.
bool sameSigfoxId(const QString &a, const QString &b)
{
    bool aOk = false;
    bool bOk = false;
    const qulonglong aValue = a.toULongLong(&aOk, 16);
    const qulonglong bValue = b.toULongLong(&bOk, 16);
    return aOk && bOk && aValue == bValue;
}

QString nodeIdentifierText(const QString &identity)
{
    return identity.isEmpty() ? QCoreApplication::translate("LabelCode", "without identifier") : identity;
}

} // namespace

LabelCode LabelCode::invalid(const QString &reason)
{
    LabelCode code;
    code.error = reason;
    return code;
}

LabelCode LabelCode::parse(const QString &input)
{
    const QString text = input.trimmed();

    if (text.startsWith(QLatin1String("LW:"), Qt::CaseInsensitive)) {
        const QStringList fields = text.split(QLatin1Char(':'));
        // LW, D0, JoinEUI, DevEUI, profile id
        const int kMandatoryFields = 5;
        if (fields.size() < kMandatoryFields || fields.at(1).compare(QLatin1String("D0"), Qt::CaseInsensitive) != 0
            || !isHex(fields.at(2), kEuiDigits) || !isHex(fields.at(3), kEuiDigits)
            || !isHex(fields.at(4), kProfileIdDigits))
            return invalid(QCoreApplication::translate("LabelCode", kBadQrCode));
        LabelCode code;
        for (int i = kMandatoryFields; i < fields.size(); ++i) {
            if (fields.at(i).isEmpty() || !isLetter(fields.at(i).at(0)))
                return invalid(QCoreApplication::translate(
                    "LabelCode", "Not a LoRaWAN QR code: field \"%1\" does not start with a letter")
                                   .arg(fields.at(i)));
            if (isKeptExtraField(fields.at(i)))
                code.extras << OperatorText::cleaned(fields.at(i));
        }
        code.labelKind = LoRaQrCode;
        code.join = fields.at(2).toUpper();
        code.id = fields.at(3).toUpper();
        code.profile = fields.at(4).toUpper();
        return code;
    }

    QString digits = text;
    digits.remove(QRegularExpression(QStringLiteral("[\\s:-]")));
    if (isHex(digits, kEuiDigits)) {
        LabelCode code;
        code.labelKind = DevEui;
        code.id = digits.toUpper();
        return code;
    }

    static const QRegularExpression sigfox(
        QStringLiteral("^([0-9A-Fa-f]{1,8})(?:(?:\\s*[,;]\\s*|\\s+)([0-9A-Fa-f]{%1}))?$").arg(kPacDigits));
    const QRegularExpressionMatch found = sigfox.match(text);
    if (found.hasMatch()) {
        LabelCode code;
        code.labelKind = SigfoxId;
        code.id = found.captured(1).toUpper();
        code.sigfoxPac = found.captured(2).toUpper();
        return code;
    }
    return invalid(QCoreApplication::translate("LabelCode", kNotALabel));
}

QString LabelCode::labelTextFor(const Node &node, const QString &profileId)
{
    if (node.isSigfox()) {
        const LabelCode code = parse(node.euid + QLatin1Char(' ') + node.pac);
        if (!code.isSigfox() || !code.hasPac())
            return QString();
        // A SigFox ID is a 32-bit number, written with its eight digits: a node that reports it without its
        // leading zeros still gets the ID its packaging and the SigFox backend show.
        return code.identifier().rightJustified(kSigfoxIdDigits, QLatin1Char('0')) + QLatin1Char(' ') + code.pac();
    }
    const auto bareHex
        = [](QString text) { return text.remove(QRegularExpression(QStringLiteral("[\\s:-]"))).toUpper(); };
    const QString joinEui = bareHex(node.appId);
    const QString devEui = bareHex(node.euid);
    const QString profile = profileId.isEmpty() ? QLatin1String(kNoProfileId) : profileId.toUpper();
    if (!isHex(joinEui, kEuiDigits) || !isHex(devEui, kEuiDigits) || !isHex(profile, kProfileIdDigits))
        return QString();
    return QStringLiteral("LW:D0:%1:%2:%3").arg(joinEui, devEui, profile);
}

LabelMatch LabelCode::match(const Node &node, const QString &profileId) const
{
    LabelMatch result;
    if (!isValid()) {
        result.text = error;
        return result;
    }
    const QString nodeId = node.identity();
    const bool sameIdentifier = isSigfox() == node.isSigfox()
        && (isSigfox() ? sameSigfoxId(id, nodeId) : id.compare(nodeId, Qt::CaseInsensitive) == 0);
    if (!sameIdentifier) {
        result.text = QCoreApplication::translate("LabelCode", "Label %1 does not match node %2")
                          .arg(id, nodeIdentifierText(nodeId));
        return result;
    }
    if (labelKind == LoRaQrCode) {
        const QString nodeJoinEui = node.appId.toUpper().remove(QLatin1Char(':'));
        if (join != nodeJoinEui) {
            result.text = QCoreApplication::translate("LabelCode", "The JoinEUI %1 on the label is not the node's (%2)")
                              .arg(join, nodeIdentifierText(nodeJoinEui));
            return result;
        }
        if (!profileId.isEmpty() && profile.compare(profileId, Qt::CaseInsensitive) != 0) {
            result.text = QCoreApplication::translate("LabelCode", "The label's profile id %1 is not the profile's %2")
                              .arg(profile, profileId.toUpper());
            return result;
        }
    }
    // The PAC itself is never shown: the text may end up in the journal.
    if (hasPac() && sigfoxPac.compare(node.pac, Qt::CaseInsensitive) != 0) {
        result.text
            = QCoreApplication::translate("LabelCode", "The PAC on label %1 does not match node %2").arg(id, nodeId);
        return result;
    }
    result.matches = true;
    result.text = QCoreApplication::translate("LabelCode", "Label matches");
    return result;
}
