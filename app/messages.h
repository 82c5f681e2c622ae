#pragma once

#include <QString>

// The program's fixed user texts. Sources are UTF-8; each text stands exactly as the user sees it.
namespace Messages {

inline QString text(const char16_t *s) { return QString::fromUtf16(s); }

// Document streams.
inline constexpr char16_t ReadStreamFailed[] = u"ストリームからの読み込みに失敗しました";
inline constexpr char16_t WriteStreamFailed[] = u"ストリームへの書き込みに失敗しました";

// File names: %1 is the path, %2 the system's description of the failure.
inline QString cannotOpenFile(const QString &path, const QString &reason)
{
    return QString::fromUtf16(u"ファイル \"%1\". %2 は開けません").arg(path, reason);
}
inline QString cannotCreateFile(const QString &path, const QString &reason)
{
    return QString::fromUtf16(u"ファイル \"%1\". %2 を作成できません").arg(path, reason);
}

// The settings file could not be written at shutdown; %1 is its path.
inline QString cannotWrite(const QString &path)
{
    return QString::fromUtf16(u"%1 に書き込めません").arg(path);
}

// The converter's refusals: an output that is one of the files being converted, and one that an
// earlier file of the same run was written to; %1 is the output's path.
inline QString outputIsAnInput(const QString &path)
{
    return QString::fromUtf16(u"ファイル \"%1\" は変換するファイルの一つなので、上書きしません").arg(path);
}
inline QString outputAlreadyWritten(const QString &path)
{
    return QString::fromUtf16(u"ファイル \"%1\" にはこの変換で別のファイルを書き出したので、上書きしません").arg(path);
}

// Reasons given in place of the system's description where we detect the cause ourselves.
inline constexpr char16_t ReasonNotFound[] = u"ファイルが見つかりません";
inline constexpr char16_t ReasonAccessDenied[] = u"アクセスが拒否されました";
inline constexpr char16_t ReasonIsFolder[] = u"フォルダーです";
inline constexpr char16_t ReasonNotRegularFile[] = u"通常のファイルではありません";
inline constexpr char16_t ReasonTooLarge[] = u"ファイルが大きすぎます";
inline constexpr char16_t ReasonNotEnoughMemory[] = u"開くためのメモリが足りません";
inline constexpr char16_t ReasonFolderNotFound[] = u"フォルダーが見つかりません";

// Titles.
inline constexpr char16_t ProductName[] = u"Penloft";
inline constexpr char16_t NewDocumentTitle[] = u"　Penloft          新規文書";
inline constexpr char16_t TitlePrefix[] = u"　Penloft          ";
inline constexpr char16_t NewDocumentName[] = u"新規文書";

// The unsaved-changes question.
inline constexpr char16_t ConfirmCaption[] = u"確認";
inline constexpr char16_t ButtonYes[] = u"はい(&Y)";
inline constexpr char16_t ButtonNo[] = u"いいえ(&N)";
inline constexpr char16_t ButtonCancel[] = u"キャンセル";

// Saving as text what Shift-JIS cannot hold: how many such characters, the first with its
// code point and line, and what to do: save as RTF, write "?" for them, or neither.
inline QString unsaveableCharacters(qint64 count, char32_t first, int line)
{
    const QString character = QString::fromUcs4(&first, 1);
    const QString codePoint = QStringLiteral("U+%1").arg(uint(first), 4, 16, QLatin1Char('0')).toUpper();
    return QString::fromUtf16(u"この文書には Shift-JIS で保存できない文字が ") + QString::number(count)
        + QString::fromUtf16(u" 個あります（最初の文字: 「") + character + QString::fromUtf16(u"」 ") + codePoint
        + QString::fromUtf16(u"、") + QString::number(line) + QString::fromUtf16(u" 行目）。");
}
// The converter's warning for a text file written with "?" in their place.
inline QString unsaveableReplaced(qint64 count, char32_t first, int line)
{
    const QString character = QString::fromUcs4(&first, 1);
    const QString codePoint = QStringLiteral("U+%1").arg(uint(first), 4, 16, QLatin1Char('0')).toUpper();
    return QString::fromUtf16(u"Shift-JIS で保存できない文字 ") + QString::number(count)
        + QString::fromUtf16(u" 個を ? に置き換えました（最初の文字: 「") + character + QString::fromUtf16(u"」 ")
        + codePoint + QString::fromUtf16(u"、") + QString::number(line) + QString::fromUtf16(u" 行目）");
}
inline constexpr char16_t UnsaveableQuestion[] = u"   どのように保存しますか？";
inline constexpr char16_t ButtonSaveAsRtf[] = u"RTF で保存(&R)";
inline constexpr char16_t ButtonReplaceAndSave[] = u"? に置き換えて保存(&Q)";
// Asked before a save replaces another file the user did not name; %1 is its path.
inline QString replaceFileQuestion(const QString &path)
{
    return QString::fromUtf16(u"%1 は既に存在します。\n置き換えますか？").arg(path);
}

// Work a program left unsaved when it ended: its name and when it was kept; restore it, throw it
// away, or decide at the next start.
inline QString recoveredDocument(const QString &name, const QString &when)
{
    return QString::fromUtf16(u"前回、保存されずに終了した文書があります。\n\n『 ") + name + QString::fromUtf16(u" 』\n")
        + when;
}
inline constexpr char16_t ButtonRestore[] = u"復元(&R)";
inline constexpr char16_t ButtonDiscard[] = u"破棄(&D)";
inline constexpr char16_t ButtonLater[] = u"後で(&L)";

// The file dialogs' filters: name and pattern in turn, as the dialogs list them.
inline constexpr char16_t OpenFilter[] = u"全てのファイル(*.*)|*.*|書式付テキスト(*.rtf)|*.rtf|テキストファイル(*.txt)|*.txt";
inline constexpr char16_t SaveFilter[] = u"書式付テキスト(*.rtf)|*.rtf|テキストファイル（TXT）|*.txt|C言語ソースファイル（*.C）|*.c|"
                                         u"HTMLファイル（*.HTM）|*.htm|全てのファイル（*.*）|*.*";
// The file dialogs' type column: what a folder is called, and a long type name their width is
// measured by.
inline constexpr char16_t FolderType[] = u"フォルダー";
inline constexpr char16_t LongFileType[] = u"プレーンテキストドキュメント";
// Asked before a Save As creates a file that does not exist yet; %1 is its path.
inline QString createFileQuestion(const QString &path)
{
    return QString::fromUtf16(u"%1\nこのファイルは存在しません。\nファイルを作成しますか?").arg(path);
}

// Find and replace: nothing more from here on (M1), nowhere in the document (M2), and the count
// of a Replace All (M3). "\r\n\r\n" makes a blank line in the box.
inline QString notFoundFromHere(const QString &find)
{
    return QString::fromUtf16(u"ここから後の文書には、\r\n\r\n『 ") + find + QString::fromUtf16(u" 』") + QStringLiteral("\r\n\r\n")
        + QString::fromUtf16(u"は、見つかりません！");
}
inline QString notFoundAnywhere(const QString &find)
{
    return QString::fromUtf16(u"この文書から　\r\n\r\n『 ") + find + QString::fromUtf16(u" 』") + QStringLiteral("\r\n\r\n")
        + QString::fromUtf16(u"は、発見されませんでした！");
}
inline QString replacedAll(int count, const QString &find, const QString &replace)
{
    return QString::number(count) + QString::fromUtf16(u"  箇所の  ") + QString::fromUtf16(u"『 ") + find
        + QString::fromUtf16(u" 』") + QString::fromUtf16(u" を、") + QStringLiteral("\r\n\r\n") + QString::fromUtf16(u" 『 ")
        + replace + QString::fromUtf16(u" 』") + QString::fromUtf16(u" に、置き換えました。");
}

// The date dialog: a count that is not a number, one below 1, and the runs it refuses.
inline QString notAnInteger(const QString &entered)
{
    return u'\'' + entered + QString::fromUtf16(u"' は整数ではありません");
}
inline constexpr char16_t CountBelowOne[] = u"１以上の数字を入れて下さい！";
inline QString tooManyDates(int maximum)
{
    return QString::fromUtf16(u"一度に貼り付けられる日付は ") + QString::number(maximum) + QString::fromUtf16(u" 日分までです。");
}
inline constexpr char16_t PastLastDate[] = u"9999年12月31日より後の日付は貼り付けられません。";

// Printing: no queue at all; a queue that would not take a job or could not be written to (%1
// the queue, %2 the print system's own words for why).
inline constexpr char16_t NoPrinter[] = u"プリンタがインストールされていません";
inline constexpr char16_t PrintNotStarted[] = u"印刷を開始できません";
inline constexpr char16_t PrintNotFinished[] = u"印刷を終了できません";
inline QString cannotPrint(const QString &printer, const QString &reason)
{
    return QString::fromUtf16(u"プリンタ \"%1\" で印刷できません\n%2").arg(printer, reason);
}

// Mail, About.
inline constexpr char16_t ErrorCaption[] = u"エラー";
inline constexpr char16_t MailFailed[] = u"メール送信に失敗しました。";
inline constexpr char16_t AboutCaption[] = u"Penloft のバージョン情報";
inline QString aboutText()
{
    return QString::fromUtf16(u"Penloft　バージョン 7.07") + QStringLiteral("\r\n")
        + QString::fromUtf16(u"日本語の文書を書くための書式付きテキストエディタ");
}

} // namespace Messages
