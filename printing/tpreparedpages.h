#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QMutex>
#include <QPicture>
#include <QString>

#include <memory>
#include <optional>

class QDateTime;
class QIODevice;
class QTemporaryFile;

// The finished pages of a report while its preview is open: each page's recording (QPicture
// data, stored as is) goes into one byte stream that grows by one record per page. The stream
// stays in memory until it passes SpillThresholdBytes, then moves to a temporary file in the
// system's temporary folder, deleted when the store is destroyed. Only the stream is kept; a
// page becomes a QPicture again when it is fetched.
//
// Stream layout, numbers little-endian, positions in bytes from the stream's start:
// - a HeaderSize-byte header: 16-bit format version (3) at 0, 16-bit engine version (309) at 2,
//   32-bit page count at 8, the time of writing as an OLE Automation date (64-bit double) at 16,
//   the compression flag (always 0) at 25, every other byte zero;
// - one record per page, in page order: 32-bit page number, 32-bit position of the next
//   record, the recording's bytes, 32-bit position of this record's start. Page 1 starts at
//   HeaderSize; the stream's last four bytes lead back to the last page.
//
// Every operation takes the store's lock, so the shared stream position never interleaves.
// A failing read or write throws AppError with the stream texts; a failed addPage leaves the
// store as it was before the call.
class TPreparedPages {
public:
    static constexpr qint64 HeaderSize = 128;
    // The stream moves to a temporary file once it is larger than this.
    static constexpr qint64 SpillThresholdBytes = 100000;

    TPreparedPages();
    // Deletes the temporary file, if the stream was moved to one.
    ~TPreparedPages();
    Q_DISABLE_COPY_MOVE(TPreparedPages)

    int pageCount() const;

    // Appends page as the next page number. The first page also writes the header (counting
    // one page, until finish() writes the final count). Throws AppError when the stream cannot
    // be written or the temporary file cannot be made; the page is then not added. A stream
    // cannot grow past 4 GiB, as its positions are 32-bit.
    void addPage(const QPicture &page);

    // A fresh copy of page number (1-based), or none when number is outside 1..pageCount().
    // Throws AppError (ReadStreamFailed) when the stream cannot be read or does not hold the
    // page where its positions say. Const: it moves only the stream's read position, which the
    // lock guards.
    std::optional<QPicture> page(int number) const;

    // Rewrites the header with the final page count and the current time.
    void finish();

    bool isSpilled() const;
    // The temporary file's path; empty while the stream is in memory.
    QString temporaryFilePath() const;
    // The whole stream as it stands, header included.
    QByteArray rawBytes() const;

    // local as an OLE Automation date: days since 30 December 1899 00:00, the time of day as the
    // fraction (1 January 1900 00:00 is 2.0).
    static double oleAutomationDate(const QDateTime &local);

private:
    void writeHeader();
    void appendRecord(QByteArrayView recording);
    void spillToFile();
    void seekToRecord(int number) const;
    int pageNumberAtPosition() const;
    void stepForward() const;
    void stepBackward() const;
    QPicture readRecordAtPosition() const;

    mutable QMutex m_mutex;
    QBuffer m_buffer;
    std::unique_ptr<QTemporaryFile> m_file;
    // m_buffer until the spill, m_file after it: every read, write and seek goes through here.
    QIODevice *m_stream = nullptr;
    int m_pageCount = 0;
};
