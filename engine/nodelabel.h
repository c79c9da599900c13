#pragma once

#include "node.h"

#include <QDate>
#include <QPointF>
#include <QRectF>
#include <QString>
#include <QStringList>
#include <QVector>

#include <optional>

// What a node's printed label shows, laid out in millimetres on a label of a given size, without any painting:
// the window paints it (preview, printer, picture) and the command line writes it as a PDF from the same
// layout. On the left the QR code a scanner reads back as the node's label; on the right the identifiers in
// text, the lot and the date. The texts are in a monospaced face whose glyphs are 0.6 of its size wide, so the
// layout knows their widths without a font.
class NodeLabel
{
public:
    static constexpr double kDefaultWidthMm = 50.0;
    static constexpr double kDefaultHeightMm = 30.0;
    // The sizes a label may have; a label outside them is drawn at the nearest.
    static constexpr double kMinWidthMm = 25.0;
    static constexpr double kMaxWidthMm = 150.0;
    static constexpr double kMinHeightMm = 15.0;
    static constexpr double kMaxHeightMm = 100.0;
    // The width of a glyph of the monospaced face, in units of its size.
    static constexpr double kGlyphWidth = 0.6;

    struct Text
    {
        QString text;
        QPointF baseline; // where the text starts, on its baseline
        double sizeMm = 0; // the font size (em)
        double widthMm = 0; // the room it was fitted into; the text is never wider
    };

    struct Layout
    {
        double widthMm = kDefaultWidthMm;
        double heightMm = kDefaultHeightMm;
        QVector<QRectF> darkModules; // the QR code's dark modules, each row's runs joined
        QRectF qrArea; // the code with its quiet zone
        QVector<Text> texts;
    };

    // The label of `node` with the profile's label profile id (LoRaWAN), the lot and the date; nothing, with
    // `*error` set, for a node whose identifiers cannot make a label.
    static std::optional<NodeLabel> forNode(
        const Node &node, const QString &profileId, const QString &lot, const QDate &date, QString *error = nullptr);

    // The text in the QR code (LabelCode::labelTextFor).
    QString codeText() const { return qrText; }
    // The lines beside the code, top to bottom.
    QStringList lines() const { return textLines; }
    // The QR code's modules, row by row: modules() × modules() values, true for dark.
    int modules() const { return size; }
    bool isDark(int row, int column) const { return dark.at(row * size + column); }

    Layout layout(double widthMm = kDefaultWidthMm, double heightMm = kDefaultHeightMm) const;

    // A name for a file holding this label: the node's identity, safe on any file system.
    QString fileBaseName() const { return baseName; }

private:
    QString qrText;
    QStringList textLines;
    QString baseName;
    int size = 0;
    QVector<bool> dark;
};
