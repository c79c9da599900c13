#pragma once

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QString>

// Reads labels back the way a scanner would, with programs from outside the tool: zbarimg (zbar-tools) decodes
// the QR codes of a picture, pdftoppm (poppler-utils) turns a PDF into one. Each returns false with `*error`
// set when the program is missing or fails; the caller decides whether a missing program skips the test.
namespace QrReader {

constexpr int kProgramMs = 30000;

inline bool hasPrograms()
{
    return !QStandardPaths::findExecutable(QStringLiteral("zbarimg")).isEmpty()
        && !QStandardPaths::findExecutable(QStringLiteral("pdftoppm")).isEmpty();
}

inline bool run(const QString &program, const QStringList &arguments, QString *output, QString *error)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForStarted(kProgramMs) || !process.waitForFinished(kProgramMs)) {
        *error = program + QStringLiteral(": ") + process.errorString();
        return false;
    }
    *output = QString::fromUtf8(process.readAllStandardOutput());
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        *error = QStringLiteral("%1 exited with %2: %3")
                     .arg(program)
                     .arg(process.exitCode())
                     .arg(QString::fromUtf8(process.readAllStandardError()));
        return false;
    }
    return true;
}

// The texts of every code zbarimg finds in the picture, one per line as it prints them.
inline bool decode(const QString &imagePath, QStringList *texts, QString *error)
{
    QString output;
    if (!run(QStringLiteral("zbarimg"), {QStringLiteral("--raw"), QStringLiteral("-q"), imagePath}, &output, error))
        return false;
    *texts = output.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    return true;
}

// How each code found lies in the picture, as zbarimg sees it: "UP" for a code printed upright; a code printed
// mirrored or turned reads "DOWN", "LEFT" or "RIGHT" (zbar reads a mirrored code too, many scanners do not).
inline bool orientations(const QString &imagePath, QStringList *found, QString *error)
{
    QString output;
    if (!run(QStringLiteral("zbarimg"), {QStringLiteral("--xml"), QStringLiteral("-q"), imagePath}, &output, error))
        return false;
    found->clear();
    static const QRegularExpression orientation(QStringLiteral("orientation='(\\w+)'"));
    for (auto it = orientation.globalMatch(output); it.hasNext();)
        *found << it.next().captured(1);
    return true;
}

// The PDF's first page as a PNG of `dpi` dots per inch at `pngPath`.
inline bool pdfToPng(const QString &pdfPath, const QString &pngPath, int dpi, QString *error)
{
    QString output;
    QString base = pngPath;
    base.chop(4); // pdftoppm adds ".png" itself
    return run(QStringLiteral("pdftoppm"),
        {QStringLiteral("-png"), QStringLiteral("-singlefile"), QStringLiteral("-r"), QString::number(dpi), pdfPath,
            base},
        &output, error);
}

} // namespace QrReader
