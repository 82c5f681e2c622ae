#include "backgroundload.h"

#include <QTextCursor>
#include <QTextDocument>
#include <QTimerEvent>

#include <limits>

BackgroundLoad::BackgroundLoad(QTextDocument &document, PlainText::PieceReader &&reader, const QTextCharFormat &format,
                               QObject *parent)
    : QObject(parent)
    , m_document(document)
    , m_reader(std::move(reader))
    , m_format(format)
{
    // The first part waits for the first screen to be painted; then a zero-length timer runs
    // between the program's events, so that scrolling stays smooth while the rest comes in.
    m_timer.start(FirstPartDelayMs, this);
}

void BackgroundLoad::finish()
{
    append(std::numeric_limits<qsizetype>::max());
}

void BackgroundLoad::timerEvent(QTimerEvent *event)
{
    if (event->timerId() == m_timer.timerId()) {
        if (!m_started) {
            m_started = true;
            m_timer.start(0, this);
        }
        append(PartBytes);
    } else {
        QObject::timerEvent(event);
    }
}

void BackgroundLoad::append(qsizetype bytes)
{
    if (!isDone()) {
        const bool modified = m_document.isModified();
        const bool undo = m_document.isUndoRedoEnabled();
        // What is appended is part of the file that was opened, not an edit to undo.
        m_document.setUndoRedoEnabled(false);
        QTextCursor cursor(&m_document);
        cursor.movePosition(QTextCursor::End);
        // In an edit block: see PlainText::read.
        cursor.beginEditBlock();
        m_reader.insert(cursor, m_format, bytes);
        cursor.endEditBlock();
        m_document.setUndoRedoEnabled(undo);
        m_document.setModified(modified);
    }
    if (isDone() && !m_reported) {
        m_reported = true;
        m_timer.stop();
        emit finished();
    }
}
