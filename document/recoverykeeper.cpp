#include "recoverykeeper.h"

#include "richdocument.h"
#include "rtf/rtfwriter.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QTextDocument>

RecoveryKeeper::RecoveryKeeper(RichDocument &document, QObject *parent)
    : QObject(parent)
    , m_document(document)
    , m_file(RecoveryFile::fileOf(RecoveryFile::ownProcess()))
{
    m_idle.setSingleShot(true);
    // PENLOFT_RECOVERY_IDLE_MS shortens the wait (tests that end the program on purpose).
    bool given = false;
    const int idle = qEnvironmentVariableIntValue("PENLOFT_RECOVERY_IDLE_MS", &given);
    m_idle.setInterval(given ? qBound(50, idle, 3'600'000) : DefaultIdleMs);
    connect(&m_idle, &QTimer::timeout, this, &RecoveryKeeper::startWriting);
    // A zero-length timer runs between the program's events: one slice each time.
    m_slices.setInterval(0);
    connect(&m_slices, &QTimer::timeout, this, &RecoveryKeeper::writeSlice);
    QTextDocument *doc = document.document();
    connect(doc, &QTextDocument::contentsChanged, this, &RecoveryKeeper::changed);
    connect(doc, &QTextDocument::modificationChanged, this, [this](bool modified) {
        if (!modified)
            discard();
    });
}

RecoveryKeeper::~RecoveryKeeper()
{
    settle();
}

void RecoveryKeeper::changed()
{
    // Every change starts the idle spell again: the file is written once typing pauses.
    if (m_document.document()->isModified())
        m_idle.start();
}

void RecoveryKeeper::startWriting()
{
    if (!m_document.document()->isModified())
        return;
    m_writer = std::make_unique<RtfWriter::SlicedWriter>(*m_document.document(), m_document.defaultCharFormat(),
                                                         m_document.windowTextColor());
    m_writingChange = m_document.changeCount();
    m_slices.start();
}

void RecoveryKeeper::writeSlice()
{
    if (!m_writer)
        return;
    if (m_document.changeCount() != m_writingChange) {
        // Changed under the writer: the change itself has started the idle spell again.
        m_slices.stop();
        m_writer.reset();
        return;
    }
    if (!m_writer->proceed(QDeadlineTimer(SliceMs)))
        return;
    m_slices.stop();
    QByteArray rtf = m_writer->take();
    m_writer.reset();
    settle();
    const quint64 generation = m_generation;
    m_disk = std::thread([this, rtf = std::move(rtf), file = m_file, header = header(), generation] {
        const RecoveryFile::WriteResult result = RecoveryFile::write(file, header, rtf);
        QMetaObject::invokeMethod(this, [this, result, generation] {
            settle();
            if (generation != m_generation)
                QFile::remove(m_file); // discarded while it was being written
            else if (result)
                emit written();
            else
                emit writeFailed(result);
        }, Qt::QueuedConnection);
    });
}

RecoveryFile::Header RecoveryKeeper::header() const
{
    RecoveryFile::Header header = RecoveryFile::ownProcess();
    // Made absolute against the program's current folder: a restored document takes only an
    // absolute path.
    const QString path = m_documentPath ? m_documentPath() : QString();
    header.documentPath = path.isEmpty() ? QString() : QFileInfo(path).absoluteFilePath();
    header.originalStamp = RecoveryFile::stampOf(header.documentPath);
    header.written = QDateTime::currentDateTime();
    return header;
}

void RecoveryKeeper::settle()
{
    if (m_disk.joinable())
        m_disk.join();
}

void RecoveryKeeper::stopWriting()
{
    m_slices.stop();
    m_writer.reset();
    settle();
}

RecoveryFile::WriteResult RecoveryKeeper::writeNow()
{
    stopWriting();
    if (!m_document.document()->isModified())
        return {};
    const RecoveryFile::WriteResult result = RecoveryFile::write(m_file, header(), m_document.save(StreamFormat::Rtf));
    if (result)
        emit written();
    else
        emit writeFailed(result);
    return result;
}

RecoveryKeeper::Kept RecoveryKeeper::keepAtEnd(const QString &beside)
{
    stopWriting();
    if (!m_document.document()->isModified())
        return {};
    const QByteArray rtf = m_document.save(StreamFormat::Rtf);
    const RecoveryFile::Header now = header();
    if (RecoveryFile::write(m_file, now, rtf))
        return { Kept::Where::RecoveryFolder, m_file };
    if (!beside.isEmpty() && RecoveryFile::writeCopy(beside, rtf))
        return { Kept::Where::BesideDocument, beside };
    const QString spare = RecoveryFile::fileIn(RecoveryFile::spareFolder(), now);
    if (RecoveryFile::write(spare, now, rtf))
        return { Kept::Where::SpareFolder, spare };
    return { Kept::Where::Nowhere, {} };
}

void RecoveryKeeper::discard()
{
    m_idle.stop();
    stopWriting();
    ++m_generation;
    QFile::remove(m_file);
}
