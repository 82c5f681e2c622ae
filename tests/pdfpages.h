#pragma once

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QList>
#include <QProcess>
#include <QString>

// The pages of a PDF as a viewer shows them (pdftoppm), for comparing output pixel for pixel.
namespace PdfPages {

// Each page drawn at `dpi` dots to the inch; empty when the file cannot be read.
inline QList<QImage> rendered(const QString &pdf, int dpi = 50)
{
    const QString prefix = pdf + QStringLiteral("-page");
    QProcess p;
    p.start(QStringLiteral("pdftoppm"), { QStringLiteral("-r"), QString::number(dpi), QStringLiteral("-png"), pdf, prefix });
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return {};
    const QFileInfo info(prefix);
    const QDir folder(info.absolutePath());
    QList<QImage> pages;
    for (const QString &file : folder.entryList({ info.fileName() + QStringLiteral("-*.png") }, QDir::Files, QDir::Name)) {
        pages += QImage(folder.filePath(file)).convertToFormat(QImage::Format_RGB32);
        QFile::remove(folder.filePath(file));
    }
    return pages;
}

// How many pixels are nearly black (automatic text on paper).
inline int blackPixels(const QImage &image)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            count += qGray(image.pixel(x, y)) < 60;
    }
    return count;
}

} // namespace PdfPages
