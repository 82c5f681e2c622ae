#pragma once

#include <QByteArray>
#include <QDeadlineTimer>

#include <memory>

class QColor;
class QTextDocument;
struct CharFormat;

// Writes a document as RTF that old readers and word processors both read right:
// \rtf1\ansi\ansicpg932 with a font table (\fcharset128 for Japanese faces, names in CP932), a
// colour table, paragraph properties with bullets in the \pn style, character runs that write
// only what changed, and every non-ASCII character as \uN followed by its CP932 bytes (\ucN says
// how many) for readers that know no \u. Every paragraph ends with \par, the last one included,
// as the reader expects.
namespace RtfWriter {

// `defaults` is the format of text that sets nothing itself; `windowText` the colour an
// automatic colour reads as.
QByteArray write(const QTextDocument &document, const CharFormat &defaults, const QColor &windowText);

// The same RTF written a slice at a time, so that a large document can be written between the
// events of the program's loop: proceed() writes until its deadline has passed (checked between
// paragraphs) and says whether the whole document is written; take() then gives it. The
// document must not change between the calls: start a new writer when it has.
class SlicedWriter {
public:
    SlicedWriter(const QTextDocument &document, const CharFormat &defaults, const QColor &windowText);
    ~SlicedWriter();
    SlicedWriter(const SlicedWriter &) = delete;
    SlicedWriter &operator=(const SlicedWriter &) = delete;

    bool proceed(QDeadlineTimer deadline);
    QByteArray take();

private:
    struct State;
    std::unique_ptr<State> m_state;
};

} // namespace RtfWriter
