#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// Reading and writing a document's bytes on disk, with the program's failure texts.
namespace DocumentFile {

// The largest document the editor takes, in bytes (its text limit).
constexpr qint64 MaxBytes = 0x7FFFFFF0;

// Reads the whole file. Throws AppError: "ファイル "path". reason は開けません" when it cannot be
// opened (missing, a folder, not a regular file, no permission, too large), or the read-stream
// text when reading fails midway.
QByteArray read(const QString &path);

// Replaces the file with data, or creates it. The old content stays until the new one is
// completely on disk, so a failure never leaves a half-written file. Throws AppError:
// "ファイル "path". reason を作成できません" when the file cannot be created, or the
// write-stream text when writing or finishing fails (a full disk).
void write(const QString &path, QByteArrayView data);

} // namespace DocumentFile
