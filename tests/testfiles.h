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

} // namespace TestFiles
