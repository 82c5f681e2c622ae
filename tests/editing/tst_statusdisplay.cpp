#include "editing/statusdisplay.h"

#include <QTest>

using namespace Qt::StringLiterals;

class tst_StatusDisplay : public QObject {
    Q_OBJECT
private slots:
    void texts();
    void markerEdges_data();
    void markerEdges();
    void releasedMarkers_data();
    void releasedMarkers();
};

void tst_StatusDisplay::texts()
{
    QCOMPARE(StatusDisplay::lineAndColumn(0, 0), u"1 行　0 列   "_s);
    QCOMPARE(StatusDisplay::lineAndColumn(1, 6), u"2 行　6 列   "_s);
    QCOMPARE(StatusDisplay::position(true, 0), u" 0   文字目です。"_s); // two spaces fill the field
    QCOMPARE(StatusDisplay::position(false, 6), u" 6   バイト目です。"_s);
    QCOMPARE(StatusDisplay::position(true, 1234), u" 1234 文字目です。"_s); // written in full
    QCOMPARE(StatusDisplay::position(true, 123), u" 123 文字目です。"_s);
    const StatusDisplay::Counter chars = StatusDisplay::counter(true, 3, 6);
    QCOMPARE(chars.number, u"3"_s);
    QCOMPARE(chars.color, QColor(255, 255, 0));
    QCOMPARE(chars.unit, u" 文字"_s);
    const StatusDisplay::Counter bytes = StatusDisplay::counter(false, 3, 6);
    QCOMPARE(bytes.number, u"6"_s);
    QCOMPARE(bytes.color, QColor(0, 255, 255));
    QCOMPARE(bytes.unit, u" バイト"_s);
}

void tst_StatusDisplay::markerEdges_data()
{
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("left");
    QTest::addColumn<int>("right");
    QTest::addColumn<int>("firstEdge");
    QTest::addColumn<int>("leftEdge");
    QTest::addColumn<int>("rightEdge");
    // Ruler width 625.
    QTest::newRow("all zero") << 0 << 0 << 0 << 2 << 2 << 611;
    QTest::newRow("after a drag to 42") << 31 << -30 << 0 << 43 << 3 << 611;
    QTest::newRow("negative first truncates toward zero") << -4 << 0 << 0 << -3 << -3 << 611;
    QTest::newRow("right indent") << 0 << 0 << 30 << 2 << 2 << 571;
}

void tst_StatusDisplay::markerEdges()
{
    QFETCH(int, first);
    QFETCH(int, left);
    QFETCH(int, right);
    const IndentGeometry::MarkerEdges edges = IndentGeometry::markerEdges(first, left, right, 625);
    QTEST(edges.first, "firstEdge");
    QTEST(edges.left, "leftEdge");
    QTEST(edges.right, "rightEdge");
}

void tst_StatusDisplay::releasedMarkers_data()
{
    QTest::addColumn<int>("edge");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("leftOfFirst31");
    QTest::newRow("edge 42") << 42 << 31 << 0;
    QTest::newRow("edge 2 reads back as 1") << 2 << 1 << -30;
    QTest::newRow("edge 15 (first indent 10) reads back as 11") << 15 << 11 << -20;
    QTest::newRow("left of the ruler") << -10 << -7 << -38;
}

void tst_StatusDisplay::releasedMarkers()
{
    QFETCH(int, edge);
    QFETCH(int, first);
    QFETCH(int, leftOfFirst31);
    QCOMPARE(IndentGeometry::firstIndentAt(edge, 6), first);
    QCOMPARE(IndentGeometry::leftIndentAt(edge, 6, 31), leftOfFirst31);
    // A right marker released where a right indent of 0 put it reads back as 1.
    QCOMPARE(IndentGeometry::rightIndentAt(625 - 14, 6, 625), 1);
}

QTEST_GUILESS_MAIN(tst_StatusDisplay)
#include "tst_statusdisplay.moc"
