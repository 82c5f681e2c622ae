#pragma once

#include "recoveryfile.h"

#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>
#include <thread>

class RichDocument;
namespace RtfWriter {
class SlicedWriter;
}

// Keeps the unsaved work of one document in this process's recovery file. While the document
// has unsaved changes, the file is written after a spell of idle time that follows a change
// (a minute); the RTF is made a slice at a time between the program's events, so that writing
// a large document never holds the program up, and made again when the document changes
// meanwhile. A save (the modified flag cleared), New, Open and a clean exit remove the file.
// A write that fails is reported each time (writeFailed); the window tells the user once.
class RecoveryKeeper : public QObject {
    Q_OBJECT
public:
    static constexpr int DefaultIdleMs = 60'000;
    static constexpr int SliceMs = 15;

    explicit RecoveryKeeper(RichDocument &document, QObject *parent = nullptr);
    ~RecoveryKeeper() override;

    // Where the header's document path comes from, asked at each write (empty: a new document).
    void setDocumentPathSource(std::function<QString()> source) { m_documentPath = std::move(source); }
    void setIdleInterval(int ms) { m_idle.setInterval(ms); }

    QString file() const { return m_file; }

    // Writes the file now, in one go; says why when it could not be written (and reports it).
    // Does nothing, successfully, for a document without unsaved changes.
    RecoveryFile::WriteResult writeNow();

    // Where the work went at the program's end by a signal.
    struct Kept {
        enum class Where { NothingUnsaved, RecoveryFolder, BesideDocument, SpareFolder, Nowhere };
        Where where = Where::NothingUnsaved;
        QString file;
    };
    // Keeps the unsaved work at the program's end: in the recovery file, else in a new RTF file
    // `beside` (where the document is; skipped when empty), else in a recovery file in the spare
    // folder, which the next start offers as well. Reports nothing: the program is ending.
    Kept keepAtEnd(const QString &beside);
    // Removes the file and stops any writing under way.
    void discard();

signals:
    // A recovery file was written (for the tests).
    void written();
    // A recovery file could not be written: the unsaved work is not kept.
    void writeFailed(const RecoveryFile::WriteResult &result);

private:
    void changed();
    void startWriting();
    void writeSlice();
    RecoveryFile::Header header() const;
    // Stops a write being made between events and waits for one on its way to disk.
    void stopWriting();
    // Waits for a file being written on the side to be on disk.
    void settle();

    RichDocument &m_document;
    QString m_file;
    std::function<QString()> m_documentPath;
    QTimer m_idle;
    QTimer m_slices;
    std::unique_ptr<RtfWriter::SlicedWriter> m_writer;
    quint64 m_writingChange = 0; // the document's change count the writer started from
    // The finished RTF goes to disk beside the program's loop (a large file, flushed, can take a
    // while); `m_generation` tells whether the document was discarded meanwhile.
    std::thread m_disk;
    quint64 m_generation = 0;
};
