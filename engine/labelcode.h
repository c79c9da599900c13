#pragma once

#include "node.h"

#include <QString>
#include <QStringList>

// The outcome of holding a label against a node: whether they agree, and the text the operator sees.
struct LabelMatch
{
    bool matches = false;
    QString text;
};

// What a scanned or typed node label carries: the LoRa Alliance QR code of a LoRaWAN device, a bare DevEUI,
// or a SigFox ID with its PAC. Identifiers are kept in upper case.
class LabelCode
{
public:
    enum Kind {
        Invalid,
        LoRaQrCode, // LW:D0:<JoinEUI>:<DevEUI>:<profile id>[:<letter><text>…]
        DevEui, // 16 hex digits
        SigfoxId, // up to 8 hex digits, optionally followed by the 16-digit PAC
    };

    static LabelCode parse(const QString &text);
    // The text a label for `node` carries in its QR code, which parse() reads back as a label that matches the
    // node: for a LoRaWAN node LW:D0:<JoinEUI>:<DevEUI>:<profileId> (kNoProfileId when `profileId` is empty),
    // for a SigFox node its ID and PAC separated by a blank. Empty when the node's identifiers cannot make one
    // (a JoinEUI or DevEUI that is not 16 hex digits, a SigFox node without ID or PAC).
    static QString labelTextFor(const Node &node, const QString &profileId = QString());
    // The profile id a LoRaWAN QR code carries when the profile names none: a label needs one to be read.
    static constexpr const char *kNoProfileId = "00000000";

    bool isValid() const { return labelKind != Invalid; }
    Kind kind() const { return labelKind; }
    // Why the text is not a label; empty for a valid one.
    QString errorText() const { return error; }

    // The identifier the node is known by: the DevEUI, or the SigFox ID as written on the label.
    QString identifier() const { return id; }
    bool isSigfox() const { return labelKind == SigfoxId; }
    QString joinEui() const { return join; }
    // Eight hex digits: the vendor id followed by the vendor's profile id.
    QString profileId() const { return profile; }
    // The QR code's further fields that this tool knows, as they were ("S0042", "P…"): the serial number,
    // the vendor's proprietary text and the checksum. The owner token ("O…") and any field not known are not
    // kept: a label is journalled, and the owner token is a secret that proves ownership of the device.
    QStringList extraFields() const { return extras; }
    bool hasPac() const { return !sigfoxPac.isEmpty(); }
    QString pac() const { return sigfoxPac; }

    // A LoRaWAN QR code matches a node only when both its JoinEUI (the node's AppEUI) and its DevEUI are the
    // node's, and its profile id is `profileId` when that is not empty; a bare DevEUI or a SigFox ID by the
    // identifier (and the PAC when it carries one).
    LabelMatch match(const Node &node, const QString &profileId = QString()) const;

private:
    static LabelCode invalid(const QString &reason);

    Kind labelKind = Invalid;
    QString error;
    QString id;
    QString join;
    QString profile;
    QStringList extras;
    QString sigfoxPac;
};
