#pragma once

#include "rtfoutput.h"

#include <QString>

// Document text as RTF: ASCII as it is (with \\, \{, \} and \tab escaped), every other
// character as \uN followed by its CP932 bytes for readers that know no \u (\ucN, written when
// it changes, says how many), line and paragraph separators as \line.
namespace RtfTextOutput {

using RtfOutput::Output;

// `uc` is the \uc value in force, updated when it changes.
void writeText(Output &out, int &uc, const QString &text);

} // namespace RtfTextOutput
