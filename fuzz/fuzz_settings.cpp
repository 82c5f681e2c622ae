// libFuzzer target for the settings file.
//
// The input is the file's content (up to the 1 MB the program reads). It is parsed, the window's
// four values are read and held to a work area as the main window holds them, and then:
//  - every number read is an int, and the window's sides and corner stay within their ranges;
//  - a value set reads back from the bytes written, and the file's other keys keep their values;
//  - writing what was read a second time gives the very same bytes.
// Undefined behaviour aborts (the build has -fno-sanitize-recover=all); a failed check prints
// what differs and aborts, so libFuzzer keeps the input.

#include "app/settingsfile.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QRect>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

const QString Section = QStringLiteral("Form");

void check(bool ok, const char *what, const QByteArray &input)
{
    if (ok)
        return;
    std::fprintf(stderr, "fuzz_settings: %s\ninput: %s\n", what, input.left(400).toPercentEncoding(" []=;").constData());
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > static_cast<size_t>(IniFile::MaxBytes))
        return 0; // the program does not read such a file
    const QByteArray input(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    IniFile ini(QStringLiteral("/nonexistent/fuzz.ini"));
    ini.parse(input);

    // The placement, as the main window applies it, on a work area of 1920 x 1040 at (0, 40).
    const QRect workArea(0, 40, 1920, 1040);
    const int top = clampedWindowCoordinate(ini.integer(Section, QStringLiteral("Top"), workArea.top()));
    const int left = clampedWindowCoordinate(ini.integer(Section, QStringLiteral("Left"), workArea.left()));
    const int width = checkedWindowSide(ini.integer(Section, QStringLiteral("Width"), 637));
    const int height = checkedWindowSide(ini.integer(Section, QStringLiteral("Height"), 480));
    check(width >= 1 && width <= MaxWindowSide && height >= 1 && height <= MaxWindowSide, "side out of range", input);
    const QRect outer(QPoint(left, top), QSize(width, height)); // no overflow: the corner is held first
    const QPoint placed = checkedWindowPosition(outer.topLeft(), workArea);
    check(placed.x() >= workArea.left() && placed.x() <= workArea.left() + workArea.width() - 100, "left off the work area",
          input);
    check(placed.y() >= workArea.top() && placed.y() <= workArea.top() + workArea.height() - 100, "top off the work area",
          input);

    // Setting a value keeps the others; after one trip through the bytes nothing drifts.
    const QString otherKey = QStringLiteral("Left");
    const QString before = ini.value(Section, otherKey);
    ini.setValue(Section, QStringLiteral("Top"), QStringLiteral("-123"));
    const QByteArray written = ini.toBytes();
    IniFile again(QStringLiteral("/nonexistent/fuzz.ini"));
    again.parse(written);
    check(again.integer(Section, QStringLiteral("Top"), 0) == -123, "the value set does not read back", input);
    const QString after = again.value(Section, otherKey);
    // Text CP932 cannot hold is written as "?": compare what the bytes can say.
    check(after.isNull() == before.isNull(), "another key appeared or vanished", input);
    check(again.toBytes() == written, "writing what was read changes the file", input);
    return 0;
}
