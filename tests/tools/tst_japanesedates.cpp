#include "tools/japanesedates.h"

#include <QTest>

using namespace Qt::StringLiterals;
using namespace JapaneseDates;

class tst_JapaneseDates : public QObject {
    Q_OBJECT
private slots:
    void eraBoundaries_data();
    void eraBoundaries();
    void westernDates();
    void beforeTheFirstEra();
    void runsCarryOverMonthsAndLeapDays();
    void countBoxIntegers_data();
    void countBoxIntegers();
};

void tst_JapaneseDates::eraBoundaries_data()
{
    QTest::addColumn<QDate>("date");
    QTest::addColumn<QString>("expected");
    QTest::newRow("Meiji first day") << QDate(1868, 1, 1) << u"明治1年1月1日[水曜日]"_s;
    QTest::newRow("Meiji last day") << QDate(1912, 7, 29) << u"明治45年7月29日[月曜日]"_s;
    QTest::newRow("Taisho first day") << QDate(1912, 7, 30) << u"大正1年7月30日[火曜日]"_s;
    QTest::newRow("Taisho last day") << QDate(1926, 12, 24) << u"大正15年12月24日[金曜日]"_s;
    QTest::newRow("Showa first day") << QDate(1926, 12, 25) << u"昭和1年12月25日[土曜日]"_s;
    QTest::newRow("Showa 2") << QDate(1927, 1, 1) << u"昭和2年1月1日[土曜日]"_s;
    QTest::newRow("Showa last day") << QDate(1989, 1, 7) << u"昭和64年1月7日[土曜日]"_s;
    QTest::newRow("Heisei first day") << QDate(1989, 1, 8) << u"平成1年1月8日[日曜日]"_s;
    QTest::newRow("Heisei 9") << QDate(1997, 12, 31) << u"平成9年12月31日[水曜日]"_s;
    QTest::newRow("Heisei 10") << QDate(1998, 1, 1) << u"平成10年1月1日[木曜日]"_s;
    QTest::newRow("Heisei last day") << QDate(2019, 4, 30) << u"平成31年4月30日[火曜日]"_s;
    QTest::newRow("Reiwa first day") << QDate(2019, 5, 1) << u"令和1年5月1日[水曜日]"_s;
    QTest::newRow("Reiwa 8") << QDate(2026, 12, 8) << u"令和8年12月8日[火曜日]"_s;
    QTest::newRow("Reiwa 82") << QDate(2100, 3, 1) << u"令和82年3月1日[月曜日]"_s;
}

void tst_JapaneseDates::eraBoundaries()
{
    QFETCH(QDate, date);
    QFETCH(QString, expected);
    QCOMPARE(eraDate(date), expected);
}

void tst_JapaneseDates::westernDates()
{
    QCOMPARE(westernDate(QDate(2026, 12, 8)), u"2026年12月8日[火曜日]"_s);
    QCOMPARE(westernDate(QDate(2024, 2, 29)), u"2024年2月29日[木曜日]"_s);
    QCOMPARE(westernDate(QDate(9999, 12, 31)), u"9999年12月31日[金曜日]"_s);
    QCOMPARE(westernDate(QDate(800, 1, 5)), u"800年1月5日[水曜日]"_s);
}

void tst_JapaneseDates::beforeTheFirstEra()
{
    // Never under an era it does not belong to: the Western form instead.
    QVERIFY(!eraYear(QDate(1867, 12, 31)));
    QCOMPARE(eraDate(QDate(1867, 12, 31)), u"1867年12月31日[火曜日]"_s);
    QCOMPARE(eraYear(QDate(1868, 1, 1))->year, 1);
}

void tst_JapaneseDates::runsCarryOverMonthsAndLeapDays()
{
    QCOMPARE(lines(QDate(2024, 2, 28), 3, Calendar::Western),
             u"2024年2月28日[水曜日]\r\n2024年2月29日[木曜日]\r\n2024年3月1日[金曜日]\r\n"_s);
    // 2100 is not a leap year.
    QCOMPARE(lines(QDate(2100, 2, 28), 2, Calendar::Era), u"令和82年2月28日[日曜日]\r\n令和82年3月1日[月曜日]\r\n"_s);
    QCOMPARE(lines(QDate(2019, 4, 30), 2, Calendar::Era), u"平成31年4月30日[火曜日]\r\n令和1年5月1日[水曜日]\r\n"_s);
    const QString year = lines(QDate(2023, 12, 31), 367, Calendar::Western);
    QCOMPARE(year.count(u"\r\n"_s), 367);
    QVERIFY(year.endsWith(u"2024年12月31日[火曜日]\r\n"_s));
}

void tst_JapaneseDates::countBoxIntegers_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("value");
    QTest::addColumn<bool>("valid");
    QTest::newRow("plain") << u"14"_s << 14 << true;
    QTest::newRow("leading spaces") << u"  7"_s << 7 << true;
    QTest::newRow("signs") << u"-3"_s << -3 << true;
    QTest::newRow("plus") << u"+5"_s << 5 << true;
    QTest::newRow("hex") << u"$1F"_s << 31 << true;
    QTest::newRow("0x") << u"0x10"_s << 16 << true;
    QTest::newRow("largest") << u"2147483647"_s << 2147483647 << true;
    QTest::newRow("smallest") << u"-2147483648"_s << int(-2147483648LL) << true;
    QTest::newRow("too large") << u"2147483648"_s << 0 << false;
    QTest::newRow("far too large") << u"99999999999999999999"_s << 0 << false;
    QTest::newRow("letters") << u"abc"_s << 0 << false;
    QTest::newRow("trailing space") << u"7 "_s << 0 << false;
    QTest::newRow("empty") << QString() << 0 << false;
    QTest::newRow("sign only") << u"-"_s << 0 << false;
    QTest::newRow("full-width digits") << u"１０"_s << 0 << false;
    QTest::newRow("decimal point") << u"1.5"_s << 0 << false;
}

void tst_JapaneseDates::countBoxIntegers()
{
    QFETCH(QString, text);
    QFETCH(int, value);
    QFETCH(bool, valid);
    const std::optional<int> got = toInteger(text);
    QCOMPARE(got.has_value(), valid);
    if (valid)
        QCOMPARE(*got, value);
}

QTEST_MAIN(tst_JapaneseDates)
#include "tst_japanesedates.moc"
