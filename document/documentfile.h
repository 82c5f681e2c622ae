#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <functional>
#include <vector>

// Reading and writing a document's bytes on disk, with the program's failure texts.
namespace DocumentFile {

// The largest document the editor takes, in bytes (its text limit).
constexpr qint64 MaxBytes = 0x7FFFFFF0;

// Reads the whole file. Throws AppError with Messages::cannotOpenFile (the path made absolute)
// when it cannot be opened (missing, a folder, not a regular file, no permission, too large, or
// larger than the memory left could open: refused before anything is read), or the read-stream
// text when reading fails midway.
QByteArray read(const QString &path);
// The same in pieces of `pieceBytes`, for text that is taken a piece at a time; RTF (a file that
// starts "{\\rtf") comes in one piece.
std::vector<QByteArray> readPieces(const QString &path, qint64 pieceBytes = qint64(4) << 20);

// The most memory opening a file of `bytes` bytes takes at its peak, in bytes: the bytes read,
// the text decoded from them and the document built from it (measured: a CP932 text peaks at
// about 4.2 times its size; RTF, with formats, at up to 12 times).
qint64 openingCost(qint64 bytes, bool rtf);
// The memory the system can still give the program, in bytes (MemAvailable), or -1 when unknown.
// Tests replace it; an empty probe restores the system's.
using MemoryProbe = std::function<qint64()>;
void setMemoryProbe(MemoryProbe probe);
// The probe's answer: what a read may take, or -1 when unknown.
qint64 availableMemory();

// Replaces the file with data, or creates it, through a FileReplacement: the old content stays
// until the new one is completely on disk, the file keeps its mode, owner, group and links, and
// a write-protected or non-regular file is refused. Throws AppError: "%s に書き込めません" for a
// file that may not be written, Messages::cannotCreateFile when the file cannot be created, or
// the write-stream text when writing or finishing fails (a full disk).
void write(const QString &path, QByteArrayView data);

} // namespace DocumentFile
