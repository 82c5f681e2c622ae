#pragma once

#include "fenwicktree.h"

#include <QObject>

#include <vector>

class QTextDocument;

// Display lines of a laid-out QTextDocument (its paragraphs wrapped at the layout's width),
// numbered from 0 across the document. Keeps each paragraph's line count, learnt from the layout
// and forgotten when the paragraph changes or the width or default font changes, so that a line
// number needs the layout only of the paragraphs not known yet.
//
// The layout is lazy: asking about a paragraph lays the document out up to it first.
class DisplayLineIndex : public QObject {
    Q_OBJECT
public:
    explicit DisplayLineIndex(QTextDocument *document, QObject *parent = nullptr);

    // Forget every line count (the default font or the layout changed).
    void invalidateAll();
    // Many changes at once: none is followed until resume(), which forgets every count.
    void suspend() { m_suspended = true; }
    void resume();

    // Line of a document position; with lineStart, also where that line starts.
    int lineOfPosition(int documentPosition, int *lineStart = nullptr);
    // Document position of the first character of a line, or -1 when there is no such line.
    int lineStart(int line);
    // Lines of the whole document (lays all of it out).
    int lineCount();

private:
    static constexpr int Unknown = -1;

    void onContentsChange(int position, int charsRemoved, int charsAdded);
    void checkLayoutWidth();
    // Makes the counts of paragraphs 0..blockNumber known.
    void learnUpTo(int blockNumber);
    void learn(int blockNumber, int lineCount);
    int layoutLineCount(int blockNumber) const;
    void ensureTree();

    QTextDocument *m_document;
    std::vector<int> m_counts; // per paragraph; Unknown when not learnt
    std::vector<int> m_forgotten; // paragraphs before m_frontier whose count is Unknown
    int m_frontier = 0; // paragraphs from here on have never been learnt
    FenwickTree m_tree; // known counts, Unknown as 0
    bool m_treeStale = true;
    qreal m_width = -2;
    bool m_suspended = false;
};
