#include "labelprinter.h"

#include <QCoreApplication>
#include <QFont>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>

#include <cmath>

namespace {

QFont labelFont(double pixelSize)
{
    QFont font(QStringLiteral("DejaVu Sans Mono"));
    font.setStyleHint(QFont::Monospace);
    font.setPixelSize(std::max(1, int(std::lround(pixelSize))));
    return font;
}

} // namespace

void LabelPrinter::paint(QPainter &painter, const NodeLabel::Layout &layout, const QRectF &target)
{
    const double scaleX = target.width() / layout.widthMm;
    const double scaleY = target.height() / layout.heightMm;
    const auto toDevice = [&](const QRectF &mm) {
        return QRectF(
            target.x() + mm.x() * scaleX, target.y() + mm.y() * scaleY, mm.width() * scaleX, mm.height() * scaleY);
    };
    painter.save();
    // Squares side by side must not show hairlines between them, so the code is painted without smoothing.
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.fillRect(target, Qt::white);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::black);
    for (const QRectF &module : layout.darkModules) {
        // Whole device pixels: each module edge snapped, so neighbouring modules meet exactly.
        const QRectF device = toDevice(module);
        const QPointF topLeft(std::round(device.left()), std::round(device.top()));
        const QPointF bottomRight(std::round(device.right()), std::round(device.bottom()));
        painter.drawRect(QRectF(topLeft, bottomRight));
    }
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    painter.setPen(Qt::black);
    for (const NodeLabel::Text &text : layout.texts) {
        const QFont font = labelFont(text.sizeMm * scaleY);
        painter.setFont(font);
        const QFontMetricsF metrics(font, painter.device());
        const double natural = metrics.horizontalAdvance(text.text);
        const double room = text.widthMm * scaleX;
        const QPointF baseline(target.x() + text.baseline.x() * scaleX, target.y() + text.baseline.y() * scaleY);
        painter.save();
        painter.translate(baseline);
        // The layout assumed the monospaced face's usual widths; a face that runs wider is narrowed to fit.
        if (natural > room && natural > 0)
            painter.scale(room / natural, 1.0);
        painter.drawText(QPointF(0, 0), text.text);
        painter.restore();
    }
    painter.restore();
}

QImage LabelPrinter::image(const NodeLabel::Layout &layout, double dotsPerMm)
{
    QImage picture(QSize(int(std::lround(layout.widthMm * dotsPerMm)), int(std::lround(layout.heightMm * dotsPerMm))),
        QImage::Format_RGB32);
    picture.setDotsPerMeterX(int(std::lround(dotsPerMm * 1000)));
    picture.setDotsPerMeterY(int(std::lround(dotsPerMm * 1000)));
    picture.fill(Qt::white);
    QPainter painter(&picture);
    paint(painter, layout, QRectF(QPointF(0, 0), QSizeF(picture.size())));
    return picture;
}

QStringList LabelPrinter::printerNames()
{
    return QPrinterInfo::availablePrinterNames();
}

QString LabelPrinter::print(const NodeLabel::Layout &layout, const QString &printerName, const QString &title)
{
    const QPrinterInfo info
        = printerName.isEmpty() ? QPrinterInfo::defaultPrinter() : QPrinterInfo::printerInfo(printerName);
    if (info.isNull()) {
        return printerName.isEmpty()
            ? QCoreApplication::translate("LabelPrinter", "No printer is set up on this computer")
            : QCoreApplication::translate("LabelPrinter", "The printer %1 is not known to this computer")
                  .arg(printerName);
    }
    QPrinter printer(info, QPrinter::HighResolution);
    printer.setDocName(title);
    printer.setFullPage(true);
    const QPageSize size(QSizeF(layout.widthMm, layout.heightMm), QPageSize::Millimeter,
        QStringLiteral("Label %1 x %2 mm").arg(layout.widthMm).arg(layout.heightMm), QPageSize::ExactMatch);
    printer.setPageLayout(QPageLayout(size, QPageLayout::Portrait, QMarginsF(0, 0, 0, 0)));
    if (!printer.isValid())
        return QCoreApplication::translate("LabelPrinter", "The printer %1 cannot be used").arg(info.printerName());
    QPainter painter;
    if (!painter.begin(&printer))
        return QCoreApplication::translate("LabelPrinter", "The printer %1 does not take the label")
            .arg(info.printerName());
    paint(painter, layout, printer.pageLayout().fullRectPixels(printer.resolution()));
    if (!painter.end() || printer.printerState() == QPrinter::Error)
        return QCoreApplication::translate("LabelPrinter", "The printer %1 failed").arg(info.printerName());
    return QString();
}
