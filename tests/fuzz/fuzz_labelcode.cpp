// A scanned or typed label: whatever the scanner sends, the parser gives a label of one kind with identifiers
// of the right length in upper case, or a reason. A label's further fields are only the known tags, cleaned,
// and never the owner token. A node carrying exactly the label's identities matches it.

#include "fuzzsupport.h"
#include "labelcode.h"
#include "operatortext.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(FuzzSupport::bytes(data, size));
    const LabelCode code = LabelCode::parse(text);
    if (!code.isValid()) {
        FUZZ_CHECK(code.kind() == LabelCode::Invalid);
        FUZZ_CHECK(!code.errorText().isEmpty());
        FUZZ_CHECK(code.identifier().isEmpty());
        Node node;
        node.firmwareType = Node::LoRaOTAA;
        FUZZ_CHECK(!code.match(node).matches);
        return 0;
    }
    FUZZ_CHECK(code.errorText().isEmpty());
    Node node;
    switch (code.kind()) {
    case LabelCode::LoRaQrCode:
        FUZZ_CHECK(FuzzSupport::isUpperHex(code.joinEui(), 16, 16));
        FUZZ_CHECK(FuzzSupport::isUpperHex(code.identifier(), 16, 16));
        FUZZ_CHECK(FuzzSupport::isUpperHex(code.profileId(), 8, 8));
        for (const QString &field : code.extraFields()) {
            FUZZ_CHECK(!field.isEmpty());
            const QChar tag = field.at(0).toUpper();
            FUZZ_CHECK(tag == QLatin1Char('S') || tag == QLatin1Char('P') || tag == QLatin1Char('C'));
            FUZZ_CHECK(OperatorText::cleaned(field) == field);
        }
        node.firmwareType = Node::LoRaOTAA;
        node.appId = code.joinEui();
        break;
    case LabelCode::DevEui:
        FUZZ_CHECK(FuzzSupport::isUpperHex(code.identifier(), 16, 16));
        node.firmwareType = Node::LoRaOTAA5D;
        break;
    case LabelCode::SigfoxId:
        FUZZ_CHECK(FuzzSupport::isUpperHex(code.identifier(), 1, 8));
        FUZZ_CHECK(!code.hasPac() || FuzzSupport::isUpperHex(code.pac(), 16, 16));
        node.firmwareType = Node::SigFox;
        node.pac = code.pac();
        break;
    case LabelCode::Invalid:
        FUZZ_CHECK(false);
    }
    node.euid = code.identifier();
    FUZZ_CHECK(code.match(node).matches);
    FUZZ_CHECK(code.match(node, code.profileId()).matches);
    // A profile asking for another profile id refuses a QR code.
    if (code.kind() == LabelCode::LoRaQrCode)
        FUZZ_CHECK(!code.match(node, QStringLiteral("0000000G")).matches);
    // Another node's identity never matches (a SigFox ID is a number: leading zeros do not count).
    node.euid = code.identifier().toULongLong(nullptr, 16) == 1 ? QStringLiteral("2") : QStringLiteral("1");
    FUZZ_CHECK(!code.match(node).matches);
    return 0;
}
