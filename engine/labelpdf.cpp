#include "labelpdf.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSaveFile>
#include <QVector>

namespace {

const double kPointsPerMm = 72.0 / 25.4;

QByteArray number(double value)
{
    return QByteArray::number(value, 'f', 3);
}

// A PDF string literal of Latin-1 text; the layout has already put '?' for anything outside it.
QByteArray pdfString(const QString &text)
{
    QByteArray out("(");
    for (const char c : text.toLatin1()) {
        if (c == '(' || c == ')' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + ')';
}

} // namespace

QByteArray LabelPdf::render(const NodeLabel::Layout &layout)
{
    const double width = layout.widthMm * kPointsPerMm;
    const double height = layout.heightMm * kPointsPerMm;
    // Millimetres from the top left, as the layout has them, to points from the bottom left.
    QByteArray content = "0 g\n";
    for (const QRectF &module : layout.darkModules) {
        content += number(module.x() * kPointsPerMm) + ' ' + number(height - module.bottom() * kPointsPerMm) + ' '
            + number(module.width() * kPointsPerMm) + ' ' + number(module.height() * kPointsPerMm) + " re\n";
    }
    if (!layout.darkModules.isEmpty())
        content += "f\n";
    for (const NodeLabel::Text &text : layout.texts) {
        const double natural = text.text.size() * NodeLabel::kGlyphWidth * text.sizeMm;
        const double scale = natural > text.widthMm && natural > 0 ? 100.0 * text.widthMm / natural : 100.0;
        content += "BT /F1 " + number(text.sizeMm * kPointsPerMm) + " Tf " + number(scale) + " Tz "
            + number(text.baseline.x() * kPointsPerMm) + ' ' + number(height - text.baseline.y() * kPointsPerMm)
            + " Td " + pdfString(text.text) + " Tj ET\n";
    }

    const QVector<QByteArray> objects{
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " + number(width) + ' ' + number(height)
            + "] /Resources << /Font << /F1 5 0 R >> >> /Contents 4 0 R >>",
        "<< /Length " + QByteArray::number(content.size()) + " >>\nstream\n" + content + "endstream",
        "<< /Type /Font /Subtype /Type1 /BaseFont /Courier /Encoding /WinAnsiEncoding >>",
    };
    QByteArray pdf = "%PDF-1.4\n%\xe2\xe3\xcf\xd3\n";
    QVector<int> offsets;
    for (int i = 0; i < objects.size(); ++i) {
        offsets.append(pdf.size());
        pdf += QByteArray::number(i + 1) + " 0 obj\n" + objects.at(i) + "\nendobj\n";
    }
    const int xref = pdf.size();
    pdf += "xref\n0 " + QByteArray::number(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (const int offset : offsets)
        pdf += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
    pdf += "trailer\n<< /Size " + QByteArray::number(objects.size() + 1) + " /Root 1 0 R >>\nstartxref\n"
        + QByteArray::number(xref) + "\n%%EOF\n";
    return pdf;
}

bool LabelPdf::write(const NodeLabel::Layout &layout, const QString &path, QString *error)
{
    // A link or anything but a regular file in the label's place is left alone: a link would have its target
    // replaced by the label.
    const QFileInfo target(path);
    if (target.isSymLink() || (target.exists() && !target.isFile())) {
        if (error) {
            *error = QCoreApplication::translate("NodeLabel", "The label cannot be written to %1: not a regular file")
                         .arg(path);
        }
        return false;
    }
    QSaveFile file(path);
    const QByteArray pdf = render(layout);
    // A full disk takes part of a write and says nothing; a short write is a failed one, and the file that was
    // there stays as it was.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) || file.write(pdf) != pdf.size() || !file.commit()) {
        if (error) {
            *error = QCoreApplication::translate("NodeLabel", "The label cannot be written to %1: %2")
                         .arg(path, file.errorString());
        }
        return false;
    }
    return true;
}
