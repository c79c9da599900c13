#include "nodelabel.h"

#include "labelcode.h"

#include <QCoreApplication>

#include <qrencode.h>

#include <algorithm>
#include <memory>

namespace {

const double kMarginMm = 1.5;
// The light border a scanner needs around the code, in modules.
const int kQuietModules = 4;
const double kGapMm = 1.5;
// A text line's font is at most this share of its row.
const double kFontOfRow = 0.78;
const double kMinFontMm = 1.2;
// Long lots are cut to this many characters on the label; the journal keeps them whole.
const int kMaxLotCharacters = 24;

// The identifier in groups of eight, so that a 16-digit DevEUI gets two large lines rather than one small one.
QStringList inGroupsOfEight(const QString &text)
{
    QStringList groups;
    for (int i = 0; i < text.size(); i += 8)
        groups << text.mid(i, 8);
    return groups;
}

} // namespace

std::optional<NodeLabel> NodeLabel::forNode(
    const Node &node, const QString &profileId, const QString &lot, const QDate &date, QString *error)
{
    const QString code = LabelCode::labelTextFor(node, profileId);
    if (code.isEmpty()) {
        if (error) {
            *error = node.isSigfox()
                ? QCoreApplication::translate("NodeLabel", "A label needs the node's SigFox ID and PAC")
                : QCoreApplication::translate(
                    "NodeLabel", "A label needs the node's JoinEUI and DevEUI, 16 hex digits each");
        }
        return std::nullopt;
    }
    // Upper-case letters, digits, blanks and colons fit the code's compact alphanumeric mode; libqrencode picks
    // the modes itself.
    const QByteArray bytes = code.toUtf8();
    std::unique_ptr<QRcode, void (*)(QRcode *)> qr(
        QRcode_encodeString(bytes.constData(), 0, QR_ECLEVEL_M, QR_MODE_8, 1), QRcode_free);
    if (!qr) {
        if (error)
            *error = QCoreApplication::translate("NodeLabel", "The QR code could not be made: %1").arg(code);
        return std::nullopt;
    }
    NodeLabel label;
    label.qrText = code;
    label.size = qr->width;
    label.dark.resize(qr->width * qr->width);
    for (int i = 0; i < qr->width * qr->width; ++i)
        label.dark[i] = (qr->data[i] & 1) != 0;

    const LabelCode parsed = LabelCode::parse(code);
    label.baseName = parsed.identifier();
    if (node.isSigfox()) {
        label.textLines << QStringLiteral("ID") << parsed.identifier() << QStringLiteral("PAC")
                        << inGroupsOfEight(parsed.pac());
    } else {
        label.textLines << QStringLiteral("DevEUI") << inGroupsOfEight(parsed.identifier());
    }
    if (!lot.isEmpty()) {
        QString shown = lot.left(kMaxLotCharacters);
        // A character the printer's built-in font cannot show is replaced rather than dropped.
        for (QChar &c : shown) {
            if (c.unicode() < 0x20 || c.unicode() > 0xff)
                c = QLatin1Char('?');
        }
        label.textLines << QStringLiteral("LOT ") + shown;
    }
    label.textLines << date.toString(Qt::ISODate);
    return label;
}

NodeLabel::Layout NodeLabel::layout(double widthMm, double heightMm) const
{
    Layout out;
    out.widthMm = std::clamp(widthMm, kMinWidthMm, kMaxWidthMm);
    out.heightMm = std::clamp(heightMm, kMinHeightMm, kMaxHeightMm);

    // The code takes the full height (or at most 60 % of the width); the texts share the room to its right.
    const double side = std::min(out.heightMm - 2 * kMarginMm, out.widthMm * 0.6);
    const double module = side / (size + 2 * kQuietModules);
    out.qrArea = QRectF(kMarginMm, (out.heightMm - side) / 2, side, side);
    const QPointF origin = out.qrArea.topLeft() + QPointF(kQuietModules * module, kQuietModules * module);
    for (int row = 0; row < size; ++row) {
        int column = 0;
        while (column < size) {
            if (!isDark(row, column)) {
                ++column;
                continue;
            }
            const int start = column;
            while (column < size && isDark(row, column))
                ++column;
            out.darkModules.append(
                QRectF(origin.x() + start * module, origin.y() + row * module, (column - start) * module, module));
        }
    }

    const double left = out.qrArea.right() + kGapMm;
    const double room = out.widthMm - kMarginMm - left;
    const double top = kMarginMm;
    const double rowHeight = (out.heightMm - 2 * kMarginMm) / std::max(1, int(textLines.size()));
    for (int i = 0; i < textLines.size(); ++i) {
        const QString &line = textLines.at(i);
        const double fitting = room / (std::max(1, int(line.size())) * kGlyphWidth);
        Text text;
        text.text = line;
        text.sizeMm = std::max(kMinFontMm, std::min(rowHeight * kFontOfRow, fitting));
        text.widthMm = std::min(room, line.size() * kGlyphWidth * text.sizeMm);
        // The baseline sits a fifth of the row above its bottom, which leaves room for descenders.
        text.baseline = QPointF(left, top + (i + 1) * rowHeight - rowHeight * 0.2);
        out.texts.append(text);
    }
    return out;
}
