#pragma once

#include <QString>
#include <QStringList>

// The measurements, each run alone in a process of its own so that one case's memory, layout
// work and timers never weigh on another's figures. A case prints "key value" lines.
namespace Cases {

struct Options {
    QString name;
    QString input; // the lines text (the paragraph for the paragraph cases, the RTF to open)
    QString output; // where a save writes, or where "generate" puts the paragraph
    // "generate-rtf": where the same document goes as HTML (the baseline's input) and as CP932
    // text (what converting the RTF to text should give)
    QString html;
    QString text;
    qint64 bytes = 0; // "generate": size of the lines text; "generate-rtf": about the RTF's size
    int runCharacters = 20; // "generate-rtf": mean characters between format changes
    qint64 runs = 0; // "generate-rtf": stop at this many runs (0: at `bytes`)
    // "generate": length of the paragraph; "generate-rtf": not 0, a document of one paragraph
    // this long
    qint64 paragraphCharacters = 0;
    qint64 occurrences = 0; // "generate-replace": how often the sought word is put into the text
    // Where a case writes what it has to say in words (the message a command showed)
    QString notes;
    int repetitions = 15;
    QString place; // the typing cases: only "start", "middle" or "end" (a profile of one place)
};

QStringList names();
// Runs one case in this process; the exit status is non-zero when it could not run.
int run(int argc, char **argv, const Options &options);

} // namespace Cases
