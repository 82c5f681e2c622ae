#pragma once

#include "document/richdocument.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

// Reading a document back in the editor's units, for the tests.
namespace DocumentProbes {

// The format of the character at a document position.
inline CharFormat formatAt(const RichDocument &rich, int position)
{
    QTextCursor c(rich.document());
    c.setPosition(position);
    c.setPosition(position + 1, QTextCursor::KeepAnchor);
    return rich.charFormat(c);
}

inline ParaFormat paragraphFormat(const RichDocument &rich, int block)
{
    QTextCursor c(rich.document());
    c.setPosition(rich.document()->findBlockByNumber(block).position());
    return rich.paraFormat(c);
}

} // namespace DocumentProbes
