#pragma once

#include "plaintext.h"

#include <QBasicTimer>
#include <QObject>
#include <QTextCharFormat>

class QTextDocument;

// The rest of a long text, appended to the end of the document a part at a time between the
// program's events once its start is shown. Each part is one edit without undo history, and
// leaves the document's modified flag as it was.
class BackgroundLoad : public QObject {
    Q_OBJECT
public:
    // About 15 ms of work on this kind of machine: scrolling stays smooth meanwhile.
    static constexpr qsizetype PartBytes = qsizetype(512) << 10;
    static constexpr int FirstPartDelayMs = 30;

    BackgroundLoad(QTextDocument &document, PlainText::PieceReader &&reader, const QTextCharFormat &format,
                   QObject *parent = nullptr);

    bool isDone() const { return m_reader.atEnd(); }
    // Appends everything that is left, now.
    void finish();

signals:
    // Everything is in (by parts or by finish()); sent once.
    void finished();

protected:
    void timerEvent(QTimerEvent *event) override;

private:
    void append(qsizetype bytes);

    QTextDocument &m_document;
    PlainText::PieceReader m_reader;
    QTextCharFormat m_format;
    QBasicTimer m_timer;
    bool m_started = false;
    bool m_reported = false;
};
