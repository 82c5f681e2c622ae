#pragma once

#include <QString>

// The texts that reading, writing and naming documents raise: the window layer shows them, the
// converter prints them. Sources are UTF-8; each text stands exactly as the user sees it.
namespace Messages {

inline QString text(const char16_t *s) { return QString::fromUtf16(s); }

// Document streams.
inline constexpr char16_t ReadStreamFailed[] = u"ストリームからの読み込みに失敗しました";
inline constexpr char16_t WriteStreamFailed[] = u"ストリームへの書き込みに失敗しました";

// What the program finds wrong with a file by itself, where it does not pass on the system's
// own description.
enum class FileProblem { NotFound, FolderNotFound, IsFolder, NotRegularFile, AccessDenied, TooLarge, NotEnoughMemory };

// A file that cannot be opened or created: %1 is the path, %2 the system's description of the
// failure.
inline QString cannotOpenFile(const QString &path, const QString &reason)
{
    return QString::fromUtf16(u"ファイル \"%1\". %2 は開けません").arg(path, reason);
}
inline QString cannotCreateFile(const QString &path, const QString &reason)
{
    return QString::fromUtf16(u"ファイル \"%1\". %2 を作成できません").arg(path, reason);
}
// The same where the program found the cause itself: one sentence that says it; %1 is the path.
inline QString cannotOpenFile(const QString &path, FileProblem problem)
{
    const char16_t *text = u"";
    switch (problem) {
    case FileProblem::NotFound: text = u"ファイル \"%1\" が見つかりません"; break;
    case FileProblem::FolderNotFound: text = u"ファイル \"%1\" のあるフォルダーが見つかりません"; break;
    case FileProblem::IsFolder: text = u"\"%1\" はフォルダーなので、ファイルとして開けません"; break;
    case FileProblem::NotRegularFile: text = u"\"%1\" は通常のファイルではないので、開けません"; break;
    case FileProblem::AccessDenied: text = u"ファイル \"%1\" を開く権限がありません"; break;
    case FileProblem::TooLarge: text = u"ファイル \"%1\" は大きすぎて開けません"; break;
    case FileProblem::NotEnoughMemory: text = u"メモリが足りないので、ファイル \"%1\" を開けません"; break;
    }
    return QString::fromUtf16(text).arg(path);
}
inline QString cannotCreateFile(const QString &path, FileProblem problem)
{
    const char16_t *text = u"";
    switch (problem) {
    case FileProblem::NotFound:
    case FileProblem::FolderNotFound: text = u"ファイル \"%1\" を作るフォルダーが見つかりません"; break;
    case FileProblem::IsFolder: text = u"\"%1\" はフォルダーなので、ファイルを作成できません"; break;
    case FileProblem::NotRegularFile: text = u"\"%1\" は通常のファイルではないので、上書きしません"; break;
    case FileProblem::AccessDenied: text = u"ファイル \"%1\" を作成する権限がありません"; break;
    case FileProblem::TooLarge: text = u"ファイル \"%1\" は大きすぎて作成できません"; break;
    case FileProblem::NotEnoughMemory: text = u"メモリが足りないので、ファイル \"%1\" を作成できません"; break;
    }
    return QString::fromUtf16(text).arg(path);
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

// The converter's arguments: how it is used, and what it cannot do with them.
inline constexpr char16_t ConvertUsage[] = u"使い方: penloft --convert-to txt|rtf|pdf [--outdir フォルダー] ファイル...";
inline constexpr char16_t ConvertTargetMissing[] = u"--convert-to の後に変換先の形式 (txt、rtf、pdf) を指定してください";
inline constexpr char16_t OutputFolderMissing[] = u"--outdir の後に書き出すフォルダーを指定してください";
inline constexpr char16_t NoFilesToConvert[] = u"変換するファイルが指定されていません";
inline QString unknownConvertTarget(const QString &target)
{
    return QString::fromUtf16(u"変換先の形式 \"%1\" は使えません (txt、rtf、pdf のどれかを指定してください)").arg(target);
}
// A file the converter could not convert for want of memory, or for a cause it has no words
// for; %1 is the path.
inline QString convertOutOfMemory(const QString &path)
{
    return QString::fromUtf16(u"メモリが足りないので、ファイル \"%1\" を変換できません").arg(path);
}
inline QString cannotConvert(const QString &path)
{
    return QString::fromUtf16(u"ファイル \"%1\" を変換できません").arg(path);
}

// A pasted image that is too large to take; %1 x %2 is its size in pixels.
inline QString pictureTooLargeToPaste(int width, int height)
{
    return QString::fromUtf16(u"クリップボードの画像（%1 × %2 ピクセル）は大きすぎるため、貼り付けられません")
        .arg(width)
        .arg(height);
}

// An image file whose picture is too large to insert; %1 is its path, %2 x %3 its size in pixels.
inline QString pictureFileTooLarge(const QString &path, int width, int height)
{
    return QString::fromUtf16(u"ファイル \"%1\" の画像（%2 × %3 ピクセル）は大きすぎるため、挿入できません")
        .arg(path)
        .arg(width)
        .arg(height);
}
// A file chosen to insert as a picture that holds no image the program reads; %1 is its path.
inline QString notAPictureFile(const QString &path)
{
    return QString::fromUtf16(u"ファイル \"%1\" は画像として読み込めません").arg(path);
}

// Titles.
inline constexpr char16_t ProductName[] = u"Penloft";
inline constexpr char16_t NewDocumentTitle[] = u"　Penloft          新規文書";
inline constexpr char16_t TitlePrefix[] = u"　Penloft          ";
inline constexpr char16_t NewDocumentName[] = u"新規文書";

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
} // namespace Messages
