#pragma once

#include "nodelabel.h"

#include <QByteArray>
#include <QString>

// A label as a one-page PDF of the label's size, written without a graphics library so that the command line
// needs no display: the QR code as filled squares, the texts in the PDF viewer's own Courier, whose glyphs have
// exactly the widths the layout assumes.
class LabelPdf
{
public:
    static QByteArray render(const NodeLabel::Layout &layout);
    // Writes the PDF to `path` (replacing a file there); false with `*error` set when it cannot be written.
    static bool write(const NodeLabel::Layout &layout, const QString &path, QString *error = nullptr);
};
