#pragma once

#include <QString>

// What a document's path says about it: its extension (which decides how Save writes it), its
// file name, and the texts that name it.
namespace DocumentName {

// The extension of the path's last component, from its last "." (the dot included), as it is
// spelled; empty when the name has no dot. A dot in a folder's name does not count.
QString extension(const QString &path);

// The path with its last component's extension replaced by (or, without one, given) `extension`,
// written without its dot: "a/memo.txt" and "rtf" give "a/memo.rtf".
QString withExtension(const QString &path, const QString &extension);

// The last component of the path: the file name without its folder.
QString fileName(const QString &path);

// The main window's title for a document: "　Penloft          " and the file name, or the
// new-document title for an empty path.
QString windowTitle(const QString &path);

// The close prompt's question about an unsaved document: "『 name 』  が保存されていません。",
// the control characters LF CR CR LF, and "   保存しますか？". The name is "新規文書" when the
// path has no extension, otherwise the file name.
QString unsavedQuestion(const QString &path);

// The question as a message box shows it: the control characters between the two sentences
// make one blank line.
QString unsavedQuestionForDisplay(const QString &path);

} // namespace DocumentName
