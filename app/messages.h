#pragma once

#include "document/documentmessages.h"
#include "printing/printmessages.h"

#include <QString>

#include <initializer_list>
#include <utility>

// The window layer's fixed user texts, beside those the core raises (included above). Sources are
// UTF-8; each text stands exactly as the user sees it.
namespace Messages {

// The unsaved-changes question.
inline constexpr char16_t ConfirmCaption[] = u"確認";
inline constexpr char16_t ButtonYes[] = u"はい(&Y)";
inline constexpr char16_t ButtonNo[] = u"いいえ(&N)";
inline constexpr char16_t ButtonCancel[] = u"キャンセル";

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
inline constexpr char16_t PictureFilter[] = u"画像ファイル(*.png;*.jpg;*.jpeg;*.gif;*.bmp;*.webp)|*.png;*.jpg;*.jpeg;*.gif;*.bmp;*.webp|全てのファイル(*.*)|*.*";
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

// Mail, About.
inline constexpr char16_t ErrorCaption[] = u"エラー";
inline constexpr char16_t MailFailed[] = u"メール送信に失敗しました。";
inline constexpr char16_t AboutCaption[] = u"Penloft のバージョン情報";
inline QString aboutText()
{
    return QString::fromUtf16(u"Penloft　バージョン 7.07") + QStringLiteral("\r\n")
        + QString::fromUtf16(u"日本語の文書を書くための書式付きテキストエディタ");
}

// The recovery files' own troubles. A file too large to read: the offer names it, and it can
// only be thrown away or left for later.
inline QString recoveredTooLarge(const QString &name, const QString &when)
{
    return QString::fromUtf16(u"前回、保存されずに終了した文書がありますが、控えのファイルが大きすぎるので復元できません。\n\n『 ")
        + name + QString::fromUtf16(u" 』\n") + when;
}
// Added to the offer of a file that does not hold exactly what was written (cut off, or with more).
inline constexpr char16_t RecoveredIncomplete[] = u"この控えは完全ではありません。読めたところまでを新規文書として復元します。";
// Shown after a restore whose document turned out damaged on reading.
inline constexpr char16_t RecoveredDamaged[] = u"控えの一部が壊れていたので、読めたところまでを新規文書として復元しました。";
// Asked at the first Save of a restored document whose file changed after the work was kept;
// %1 is its path.
inline QString restoredFileChanged(const QString &path)
{
    return QString::fromUtf16(u"%1 は、保存されずに終了した後に変更されています。\n復元した文書で置き換えますか？").arg(path);
}
// Unsaved work cannot be kept against a crash: the folder is another user's or others may write
// to it. Said once a run.
inline QString recoveryFolderUnsafe(const QString &folder)
{
    return QString::fromUtf16(u"フォルダー \"%1\" はほかのユーザーのものか、ほかのユーザーも書き込めるので、保存していない変更の控えを置きません。\n"
                              u"プログラムが異常終了すると、保存していない変更は失われます。")
        .arg(folder);
}
// Writing to the folder fails; %2 is the system's description.
inline QString recoveryNotWritable(const QString &folder, const QString &reason)
{
    return QString::fromUtf16(u"保存していない変更の控えをフォルダー \"%1\" に書き込めません (%2)。\n"
                              u"プログラムが異常終了すると、保存していない変更は失われます。")
        .arg(folder, reason);
}
// At the end by a signal, on the error output: where the unsaved work went when the recovery
// folder could not take it, or that it could be kept nowhere.
inline QString unsavedWorkKeptIn(const QString &path)
{
    return QString::fromUtf16(u"保存していない変更を \"%1\" に書き出しました").arg(path);
}
inline constexpr char16_t UnsavedWorkLost[] = u"保存していない変更を書き出せる場所がありませんでした";
// The file a copy of the unsaved work is written to beside its document: the document's path
// and when.
inline QString unsavedCopyPath(const QString &documentPath, const QString &when)
{
    return documentPath + QString::fromUtf16(u" (保存していない変更 ") + when + QStringLiteral(").rtf");
}

// Saving as text what text cannot hold at all: pictures, the structure of tables, and what an
// RTF file had that the editor keeps without showing (footnotes, headers, fields...).
// "図 2 個、表の構造 1 個": each kind there is at least one of, with its count.
inline QString countedKinds(std::initializer_list<std::pair<int, const char16_t *>> kinds)
{
    QString parts;
    for (const auto &[count, what] : kinds) {
        if (count <= 0)
            continue;
        if (!parts.isEmpty())
            parts += QString::fromUtf16(u"、");
        parts += QString::fromUtf16(what) + QString::number(count) + QString::fromUtf16(u" 個");
    }
    return parts;
}

inline QString lostInText(int pictures, int tables, int keptGroups)
{
    const QString parts = countedKinds({ { pictures, u"図 " }, { tables, u"表の構造 " },
                                         { keptGroups, u"脚注・ヘッダー・フィールドなどの RTF の情報 " } });
    return QString::fromUtf16(u"この文書の ") + parts + QString::fromUtf16(u" はテキストでは保存できません。");
}
inline constexpr char16_t ButtonSaveTextOnly[] = u"テキストだけ保存(&T)";

// A save that no longer finds what an RTF file had at text the user has deleted since (footnotes,
// fields, bookmarks, annotations kept without being shown): what goes, and whether to save.
inline QString droppedWithText(int footnotes, int fields, int bookmarks, int annotations, int others)
{
    const QString parts = countedKinds({ { footnotes, u"脚注 " }, { fields, u"フィールド " },
                                         { bookmarks, u"ブックマーク " }, { annotations, u"コメント " },
                                         { others, u"そのほかの RTF の情報 " } });
    return QString::fromUtf16(u"ファイルにあった ") + parts
        + QString::fromUtf16(u" は、その位置の文字が削除されたので保存されません。");
}
inline constexpr char16_t DroppedQuestion[] = u"   このまま保存しますか？";
inline constexpr char16_t ButtonSave[] = u"保存(&S)";

// What screen readers call the controls that show no text of their own: the editor, an
// up/down pair's arrows, the date dialog's first day.
inline constexpr char16_t EditorName[] = u"文書";
inline constexpr char16_t StepUpName[] = u"増やす";
inline constexpr char16_t StepDownName[] = u"減らす";
inline constexpr char16_t FirstDateName[] = u"最初の日付";

} // namespace Messages
