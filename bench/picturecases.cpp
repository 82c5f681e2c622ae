#include "picturecases.h"

#include "cases.h"
#include "harness.h"
#include "processes.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace PictureCases {

namespace {

// Noise does not compress: 580 x 580 pixels of it make a PNG of about 1 MB.
QByteArray noisePng()
{
    QImage image(580, 580, QImage::Format_RGB32);
    quint64 state = 0x9E3779B97F4A7C15ull;
    for (int y = 0; y < image.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            line[x] = 0xFF000000u | static_cast<QRgb>(state & 0xFFFFFF);
        }
    }
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return png;
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int addPicture(const Cases::Options &o)
{
    QFile in(o.input);
    if (!in.open(QIODevice::ReadOnly))
        return 1;
    QByteArray rtf = in.readAll();
    const QByteArray png = noisePng();
    // 580 pixels at 96 dpi, shown at half: 4350 twips, about 7.7 cm.
    const QByteArray pict = "{\\pict\\picw580\\pich580\\picwgoal4350\\pichgoal4350\\pngblip\r\n" + png.toHex() + "}";
    const qsizetype firstPar = rtf.indexOf("\\par");
    if (firstPar < 0)
        return 1;
    rtf.insert(firstPar, pict);
    QFile out(o.output);
    if (!out.open(QIODevice::WriteOnly) || out.write(rtf) != rtf.size())
        return 1;
    Harness::report("png_bytes", static_cast<double>(png.size()));
    Harness::report("rtf_bytes", static_cast<double>(rtf.size()));
    return 0;
}

int compare(const std::string &self, bool quick)
{
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/penloft-bench-XXXXXX"));
    if (!dir.isValid())
        return 1;
    auto file = [&](const char *name) { return dir.filePath(QString::fromLatin1(name)).toStdString(); };
    const std::string plain = file("formatted.rtf");
    const std::string withPicture = file("formatted-picture.rtf");
    const std::string saved = file("saved.rtf");
    const CaseResult gen = runCase(self,
        { "generate-rtf", "--output", plain, "--html", file("formatted.html"), "--text", file("formatted.txt"),
            "--bytes", quick ? "500000" : "5000000", "--run-characters", "20" });
    const CaseResult added = runCase(self, { "add-picture", "--input", plain, "--output", withPicture });
    if (!gen.ok || !added.ok) {
        std::fprintf(stderr, "penloft-bench: could not make the documents\n");
        return 1;
    }
    const char *keys[] = { "open_ms", "load_ms", "layout_ms", "rss_paint_kb", "rss_layout_kb" };
    std::vector<double> figures[2][5];
    bool ok = true;
    for (int run = 0; run < 3; ++run) {
        for (int which = 0; which < 2; ++which) {
            const CaseResult r
                = runCase(self, { "open-rtf-ours", "--input", which ? withPicture : plain, "--output", saved });
            ok = ok && r.ok;
            for (int k = 0; k < 5; ++k)
                figures[which][k].push_back(r[keys[k]]);
        }
    }
    std::printf("open %.1f MB formatted RTF, without and with one PNG of %.0f KB (%.1f MB RTF); medians of 3\n",
        gen["rtf_bytes"] / 1e6, added["png_bytes"] / 1e3, added["rtf_bytes"] / 1e6);
    std::printf("%-36s | %12s | %12s | %6s\n", "figure", "without", "with", "ratio");
    const char *labels[] = { "open until first paint (ms)", "  of which reading (ms)", "whole layout after it (ms)",
        "peak memory at first paint (MB)", "peak memory, layout done (MB)" };
    for (int k = 0; k < 5; ++k) {
        const double scale = k >= 3 ? 1.0 / 1024 : 1.0;
        const double without = median(figures[0][k]) * scale;
        const double with = median(figures[1][k]) * scale;
        std::printf("%-36s | %12.1f | %12.1f | %5.2fx\n", labels[k], without, with, without > 0 ? with / without : 0.0);
    }
    const double ratio = median(figures[1][0]) / std::max(1.0, median(figures[0][0]));
    std::printf("target: open within 1.2x: %s\n", ok && ratio <= 1.2 ? "met" : "not met");
    return ok ? 0 : 1;
}

} // namespace PictureCases
