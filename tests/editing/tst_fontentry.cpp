#include "editing/fontentry.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QTest>

using namespace Qt::StringLiterals;

class tst_FontEntry : public QObject {
    Q_OBJECT
private slots:
    void everyNameFitsItsEntry_data();
    void everyNameFitsItsEntry();
    void aNameThatFitsStaysWhereItIs();
};

void tst_FontEntry::everyNameFitsItsEntry_data()
{
    QTest::addColumn<int>("pixels");
    QTest::newRow("the list's size") << 13;
    QTest::newRow("lines taller than the entry") << 21;
    QTest::newRow("ink taller than the entry") << 40;
}

void tst_FontEntry::everyNameFitsItsEntry()
{
    QFETCH(int, pixels);
    const QRect entry(0, 30, 169, 15);
    QStringList cut;
    QStringList names = QFontDatabase::families();
    names += { u"Typography jq|"_s, u"ÅÉÎgjpqy"_s };
    for (const QString &name : names) {
        QFont face;
        face.setFamilies({ name });
        face.setPixelSize(pixels);
        const FontEntryPlacement placement = placeFontEntry(face, name, entry);
        const QRect ink = QFontMetrics(placement.font).tightBoundingRect(name).translated(0, placement.baseline);
        if (ink.top() < entry.top() || ink.bottom() > entry.bottom())
            cut += name;
    }
    QVERIFY2(cut.isEmpty(), qPrintable(cut.join(u", "_s)));
}

void tst_FontEntry::aNameThatFitsStaysWhereItIs()
{
    QFont face;
    face.setFamilies({ u"IPAGothic"_s });
    face.setPixelSize(13);
    const QRect entry(0, 30, 169, 15);
    const FontEntryPlacement placement = placeFontEntry(face, u"IPAGothic"_s, entry);
    QCOMPARE(placement.font.pixelSize(), 13);
    QCOMPARE(placement.baseline, 30 + QFontMetrics(face).ascent());
}

QTEST_MAIN(tst_FontEntry)
#include "tst_fontentry.moc"
