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

} // namespace Messages
