#pragma once

#include "nodelabel.h"

#include <QImage>
#include <QString>
#include <QStringList>

class QPainter;
class QRectF;

// Paints a node's label: into a picture (the preview in Settings → Label…, a PNG) or on a printer the system
// knows, through Qt's print support (CUPS on Linux), on a page of the label's size.
class LabelPrinter
{
public:
    // Paints the label to fill `target` (device units of the painter), white ground included.
    static void paint(QPainter &painter, const NodeLabel::Layout &layout, const QRectF &target);
    // The label as a picture of `dotsPerMm` dots per millimetre.
    static QImage image(const NodeLabel::Layout &layout, double dotsPerMm);
    // The printers the system knows, by name.
    static QStringList printerNames();
    // Prints the label on `printerName` (the system's default printer when empty) as one page of the label's
    // size, with `title` as the job's name. Returns an empty text once the job was handed over, else why not
    // (no such printer, none set up, the printer refused the job) in the operator's words.
    static QString print(const NodeLabel::Layout &layout, const QString &printerName, const QString &title);
};
