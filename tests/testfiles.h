#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTest>

// Small file helpers the tests share.
namespace TestFiles {

inline void write(const QString &path, const QByteArray &data)
{
    QFile f(path);
    QVERIFY2(f.open(QIODevice::WriteOnly), qPrintable(path));
    f.write(data);
}

inline QByteArray read(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A file of tests/fixtures, by its path there; a missing one ends the test program.
inline QByteArray fixture(const QString &path)
{
    QFile f(QStringLiteral(PENLOFT_FIXTURES "/") + path);
    if (!f.open(QIODevice::ReadOnly))
        qFatal("missing fixture %s", qPrintable(path));
    return f.readAll();
}

} // namespace TestFiles
