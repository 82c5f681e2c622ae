#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class QWidget;

// The open and save dialogs. A dialog keeps, between uses, the file name and filter index last
// accepted; a request carries them in and a choice carries the new ones out. Tests replace the
// dialogs with a function of their own (setRunner).
namespace FileDialogs {

struct Request {
    enum class Mode { Open, Save };
    Mode mode = Mode::Open;
    // Filters as the dialogs list them: name and pattern in turn, joined by "|".
    QString filter;
    int filterIndex = 1; // from 1
    QString fileName;
    // Appended to a name typed without an extension; empty appends nothing. The save dialog
    // appends the chosen filter's own extension where it has one.
    QString defaultExtension;
    // The folder shown first when fileName does not name one.
    QString directory;
};

struct Choice {
    QString fileName;
    int filterIndex = 1;
};

using Runner = std::function<std::optional<Choice>(QWidget *parent, const Request &request)>;

// Replaces the dialogs; an empty runner restores the real ones.
void setRunner(Runner runner);

// Shows the dialog; nothing when the user cancels. The save dialog asks before replacing an
// existing file and before creating one that does not exist yet.
std::optional<Choice> run(QWidget *parent, const Request &request);

// The filter's names and patterns as pairs, in order.
QList<std::pair<QString, QString>> filterEntries(const QString &filter);

} // namespace FileDialogs
