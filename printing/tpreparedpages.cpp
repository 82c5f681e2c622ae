#include "tpreparedpages.h"

#include "document/apperror.h"
#include "document/documentmessages.h"

#include <QDateTime>
#include <QDir>
#include <QMutexLocker>
#include <QTemporaryFile>
#include <QtEndian>

#include <algorithm>
#include <bit>
#include <limits>

using namespace Qt::StringLiterals;

namespace {

constexpr quint16 FormatVersion = 3;
constexpr quint16 EngineVersion = 309;
constexpr qint64 PageCountOffset = 8;
constexpr qint64 DateOffset = 16;
constexpr qint64 CompressionFlagOffset = 25;
// Page number and next-record position before the recording, back-reference after it.
constexpr qint64 RecordOverheadBytes = 12;
constexpr qint64 LargestPosition = std::numeric_limits<quint32>::max();

// QTemporaryFile only opens buffered through its public API. Unbuffered, a failed write
// reports at once and leaves nothing queued to be written later, so a failed page can be cut
// off again (a buffered file refuses to resize or seek while it cannot flush).
class UnbufferedTemporaryFile : public QTemporaryFile {
public:
    using QTemporaryFile::QTemporaryFile;
    bool openUnbuffered() { return QTemporaryFile::open(QIODevice::ReadWrite | QIODevice::Unbuffered); }
};

[[noreturn]] void fail(const char16_t *text)
{
    throw AppError(Messages::text(text));
}

void seekTo(QIODevice &stream, qint64 pos, const char16_t *failure)
{
    if (!stream.seek(pos))
        fail(failure);
}

void writeBytes(QIODevice &stream, QByteArrayView bytes)
{
    if (stream.write(bytes.data(), bytes.size()) != bytes.size())
        fail(Messages::WriteStreamFailed);
}

void writeU32(QIODevice &stream, quint32 value)
{
    char bytes[4];
    qToLittleEndian(value, bytes);
    writeBytes(stream, QByteArrayView(bytes, sizeof bytes));
}

QByteArray readBytes(QIODevice &stream, qint64 size)
{
    QByteArray bytes = stream.read(size);
    if (bytes.size() != size)
        fail(Messages::ReadStreamFailed);
    return bytes;
}

quint32 readU32(QIODevice &stream)
{
    return qFromLittleEndian<quint32>(readBytes(stream, 4).constData());
}

QByteArray header(int pageCount, double oleDate)
{
    QByteArray bytes(TPreparedPages::HeaderSize, '\0');
    char *data = bytes.data();
    qToLittleEndian(FormatVersion, data);
    qToLittleEndian(EngineVersion, data + 2);
    qToLittleEndian(quint32(pageCount), data + PageCountOffset);
    qToLittleEndian(std::bit_cast<quint64>(oleDate), data + DateOffset);
    data[CompressionFlagOffset] = 0; // recordings are stored uncompressed
    return bytes;
}

} // namespace

TPreparedPages::TPreparedPages()
{
    // Unbuffered like the temporary file, so both devices behave alike when cut back.
    m_buffer.open(QIODevice::ReadWrite | QIODevice::Unbuffered);
    m_stream = &m_buffer;
}

TPreparedPages::~TPreparedPages() = default;

int TPreparedPages::pageCount() const
{
    QMutexLocker lock(&m_mutex);
    return m_pageCount;
}

void TPreparedPages::addPage(const QPicture &page)
{
    QMutexLocker lock(&m_mutex);
    const QByteArrayView recording(page.data(), page.size());
    const qint64 sizeBefore = m_stream->size();
    // The next-record position written last is the stream's new size: it must fit in 32 bits.
    if (std::max(sizeBefore, HeaderSize) + RecordOverheadBytes + recording.size() > LargestPosition)
        fail(Messages::WriteStreamFailed);
    ++m_pageCount;
    try {
        if (m_pageCount == 1)
            writeHeader();
        appendRecord(recording);
        if (!m_file && m_stream->size() > SpillThresholdBytes)
            spillToFile();
    } catch (const AppError &) {
        // Cut the stream back to before this page, so a failed page leaves no trace.
        --m_pageCount;
        if (m_file)
            m_file->resize(sizeBefore);
        else
            m_buffer.buffer().truncate(sizeBefore);
        m_stream->seek(sizeBefore);
        throw;
    }
}

std::optional<QPicture> TPreparedPages::page(int number) const
{
    QMutexLocker lock(&m_mutex);
    if (number < 1 || number > m_pageCount)
        return std::nullopt;
    seekToRecord(number);
    return readRecordAtPosition();
}

void TPreparedPages::finish()
{
    QMutexLocker lock(&m_mutex);
    // Before the first page there is no header to rewrite; the stream stays empty.
    if (m_pageCount > 0)
        writeHeader();
}

bool TPreparedPages::isSpilled() const
{
    QMutexLocker lock(&m_mutex);
    return m_file != nullptr;
}

QString TPreparedPages::temporaryFilePath() const
{
    QMutexLocker lock(&m_mutex);
    return m_file ? m_file->fileName() : QString();
}

QByteArray TPreparedPages::rawBytes() const
{
    QMutexLocker lock(&m_mutex);
    const qint64 saved = m_stream->pos();
    seekTo(*m_stream, 0, Messages::ReadStreamFailed);
    QByteArray bytes = readBytes(*m_stream, m_stream->size());
    seekTo(*m_stream, saved, Messages::ReadStreamFailed);
    return bytes;
}

double TPreparedPages::oleAutomationDate(const QDateTime &local)
{
    static constexpr double MsecsPerDay = 24 * 60 * 60 * 1000;
    const QDate oleEpoch(1899, 12, 30);
    return double(oleEpoch.daysTo(local.date())) + local.time().msecsSinceStartOfDay() / MsecsPerDay;
}

// The header is rewritten in place; the position returns to where it was, so the record the
// stream stood on stays the starting point for the next fetch.
void TPreparedPages::writeHeader()
{
    const qint64 saved = m_stream->pos();
    seekTo(*m_stream, 0, Messages::WriteStreamFailed);
    writeBytes(*m_stream, header(m_pageCount, oleAutomationDate(QDateTime::currentDateTime())));
    seekTo(*m_stream, saved, Messages::WriteStreamFailed);
}

void TPreparedPages::appendRecord(QByteArrayView recording)
{
    const qint64 start = m_stream->size();
    seekTo(*m_stream, start, Messages::WriteStreamFailed);
    writeU32(*m_stream, quint32(m_pageCount));
    const qint64 nextPositionAt = m_stream->pos();
    writeU32(*m_stream, 0); // filled in below, once the recording's length is known
    writeBytes(*m_stream, recording);
    writeU32(*m_stream, quint32(start));
    const qint64 next = m_stream->pos();
    seekTo(*m_stream, nextPositionAt, Messages::WriteStreamFailed);
    writeU32(*m_stream, quint32(next));
    seekTo(*m_stream, next, Messages::WriteStreamFailed);
}

// The file takes over only once it holds every byte; until then the buffer stays the stream,
// and a failure deletes the half-made file.
void TPreparedPages::spillToFile()
{
    const QString name = u"penloft-pages-XXXXXX.tmp"_s;
    const QString folder = QDir::tempPath();
    // tempPath() is empty when TMPDIR names a folder that does not exist; the bare name would
    // then put the file in the working folder.
    if (folder.isEmpty())
        throw AppError(Messages::cannotCreateFile(name, Messages::FileProblem::FolderNotFound));
    auto file = std::make_unique<UnbufferedTemporaryFile>(QDir(folder).filePath(name));
    if (!file->openUnbuffered())
        throw AppError(Messages::cannotCreateFile(file->fileTemplate(), file->errorString()));
    writeBytes(*file, m_buffer.data());
    seekTo(*file, m_buffer.pos(), Messages::WriteStreamFailed);
    m_file = std::move(file);
    m_stream = m_file.get();
    m_buffer.close();
    m_buffer.setData(QByteArray());
}

// Between calls the stream stands at a record's start or at its end. Page 1 and the last page
// are reached directly; any other page by stepping from where the stream stands.
void TPreparedPages::seekToRecord(int number) const
{
    if (number == 1) {
        seekTo(*m_stream, HeaderSize, Messages::ReadStreamFailed);
    } else if (number == m_pageCount) {
        seekTo(*m_stream, m_stream->size(), Messages::ReadStreamFailed);
        stepBackward();
    } else {
        int at = pageNumberAtPosition();
        for (; at < number; ++at)
            stepForward();
        for (; at > number; --at)
            stepBackward();
    }
    if (pageNumberAtPosition() != number)
        fail(Messages::ReadStreamFailed);
}

// The page number of the record the stream stands on. The stream's end counts as the page
// after the last, which is where that page's record would start.
int TPreparedPages::pageNumberAtPosition() const
{
    const qint64 pos = m_stream->pos();
    if (pos == m_stream->size())
        return m_pageCount + 1;
    const quint32 number = readU32(*m_stream);
    seekTo(*m_stream, pos, Messages::ReadStreamFailed);
    if (number < 1 || number > quint32(m_pageCount))
        fail(Messages::ReadStreamFailed);
    return int(number);
}

void TPreparedPages::stepForward() const
{
    const qint64 start = m_stream->pos();
    seekTo(*m_stream, start + 4, Messages::ReadStreamFailed);
    const qint64 next = readU32(*m_stream);
    if (next < start + RecordOverheadBytes || next > m_stream->size())
        fail(Messages::ReadStreamFailed);
    seekTo(*m_stream, next, Messages::ReadStreamFailed);
}

// The four bytes before a record's start (or before the stream's end) are the previous
// record's back-reference.
void TPreparedPages::stepBackward() const
{
    const qint64 start = m_stream->pos();
    if (start < HeaderSize + RecordOverheadBytes)
        fail(Messages::ReadStreamFailed);
    seekTo(*m_stream, start - 4, Messages::ReadStreamFailed);
    const qint64 previous = readU32(*m_stream);
    if (previous < HeaderSize || previous > start - RecordOverheadBytes)
        fail(Messages::ReadStreamFailed);
    seekTo(*m_stream, previous, Messages::ReadStreamFailed);
}

// Reads the record the stream stands on and returns to its start, so the neighbouring pages
// are one step away in either direction.
QPicture TPreparedPages::readRecordAtPosition() const
{
    const qint64 start = m_stream->pos();
    seekTo(*m_stream, start + 4, Messages::ReadStreamFailed);
    const qint64 next = readU32(*m_stream);
    // The recording runs from after the next-record position up to the back-reference.
    const qint64 length = next - m_stream->pos() - 4;
    if (length < 0 || next > m_stream->size())
        fail(Messages::ReadStreamFailed);
    const QByteArray recording = readBytes(*m_stream, length);
    seekTo(*m_stream, start, Messages::ReadStreamFailed);
    QPicture picture;
    picture.setData(recording.constData(), uint(recording.size()));
    return picture;
}
