#pragma once

#include <QString>
#include <QStringList>

// The measurements, each run alone in a process of its own so that one case's memory, layout
// work and timers never weigh on another's figures. A case prints "key value" lines.
namespace Cases {

struct Options {
    QString name;
    QString input; // the lines text (or the paragraph, for the paragraph cases)
    QString output; // where a save writes, or where "generate" puts the paragraph
    qint64 bytes = 0; // "generate": size of the lines text
    qint64 paragraphCharacters = 0; // "generate": length of the paragraph
    int repetitions = 15;
    QString place; // the typing cases: only "start", "middle" or "end" (a profile of one place)
};

QStringList names();
// Runs one case in this process; the exit status is non-zero when it could not run.
int run(int argc, char **argv, const Options &options);

} // namespace Cases
