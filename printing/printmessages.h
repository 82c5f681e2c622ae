#pragma once

#include "document/documentmessages.h"

#include <QString>

// The texts that printing raises.
namespace Messages {

// Printing: no queue at all; a queue that would not take a job or could not be written to (%1
// the queue, %2 the print system's own words for why).
inline constexpr char16_t NoPrinter[] = u"プリンタがインストールされていません";
inline constexpr char16_t PrintNotStarted[] = u"印刷を開始できません";
inline constexpr char16_t PrintNotFinished[] = u"印刷を終了できません";
inline QString cannotPrint(const QString &printer, const QString &reason)
{
    return QString::fromUtf16(u"プリンタ \"%1\" で印刷できません\n%2").arg(printer, reason);
}

// The page setup dialog.
inline constexpr char16_t PageSetupTitle[] = u"ページ設定";
inline constexpr char16_t PageSetupPaper[] = u"用紙サイズ(&S):";
inline constexpr char16_t PageSetupOrientation[] = u"印刷の向き";
inline constexpr char16_t PageSetupPortrait[] = u"縦(&O)";
inline constexpr char16_t PageSetupLandscape[] = u"横(&A)";
inline constexpr char16_t PageSetupMargins[] = u"余白";
inline constexpr char16_t PageSetupLeft[] = u"左(&L):";
inline constexpr char16_t PageSetupRight[] = u"右(&R):";
inline constexpr char16_t PageSetupTop[] = u"上(&T):";
inline constexpr char16_t PageSetupBottom[] = u"下(&B):";

} // namespace Messages
