#pragma once

#include <QObject>
#include <QString>

class QElapsedTimer;

#include <memory>
#include <vector>

class QTextEdit;
class QWidget;
class RichEdit;

namespace Harness {

// Counts the paint events a widget receives: the moment the user could see a change.
class PaintWatch : public QObject {
public:
    explicit PaintWatch(QWidget *target);
    void reset() { m_paints = 0; }
    bool painted() const { return m_paints > 0; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *m_target;
    int m_paints = 0;
};

// A top-level window holding one editor filling it, shown at the size the program's own
// window opens with, the editor's viewport watched for paints.
struct EditorWindow {
    std::unique_ptr<QWidget> window;
    QTextEdit *editor = nullptr;
    std::unique_ptr<PaintWatch> watch;

    RichEdit *ours() const;
};

// The program's editor, set up the way its main window sets it up (face, size, default format).
EditorWindow makeOurs();
// A bare QTextEdit with the same font, for the baselines.
EditorWindow makeBare();
// The same bare QTextEdit as the central widget of a QMainWindow of the program's window size:
// the baseline beside the program's whole window, which holds its editor the same way.
EditorWindow makeBareMainWindow();
// The size the program's main window opens with.
inline constexpr int WindowWidth = 637;
inline constexpr int WindowHeight = 480;
// Shows the window and waits for its first paint.
void show(EditorWindow &w);

// Runs the event loop until the viewport has painted (true), or gives up after timeoutMs.
bool processUntilPainted(PaintWatch &watch, int timeoutMs = 20000);
// Handles whatever is pending, timers due within a few milliseconds included. Not timed.
void drain();
// Lays the whole document out, as scrolling to its end would.
void finishLayout(QTextEdit *editor);

// One typed character: KeyPress and KeyRelease carrying the text, delivered at once.
void typeText(QWidget *target, const QString &text);

// What a plain QTextEdit program does to open a CP932 file: read, decode, one paragraph per
// line. Throws AppError when the file cannot be read.
void openBareText(QTextEdit *editor, const QString &path);

// One keystroke ("あ") timed from the key press until the viewport painted, in milliseconds.
double timedKeystroke(EditorWindow &w);
// One press of a key without text (Enter, Backspace, Page Down), timed the same way.
double timedKey(EditorWindow &w, int key);
// Puts the caret at a document position and scrolls it into view; nothing timed.
void placeCaret(EditorWindow &w, int position);
// Puts the caret at a document position, scrolls it into view, then times `repetitions`
// keystrokes there (after one untimed one) and reports type_<place>_ms, _min_ms and _max_ms.
// Does nothing when `onlyPlace` names another place.
void typeAt(EditorWindow &w, const char *place, int position, int repetitions, const QString &onlyPlace);
// The same keystrokes end to end, reported as screen_<place>_ms (median, min, max): each key
// handed to the program as the window system hands it one (queued, to the window), timed until
// the window's update that painted the editor has returned, the frame flushed to the screen.
void typeAtToScreen(EditorWindow &w, const char *place, int position, int repetitions, const QString &onlyPlace);

// The peak resident memory of this process so far (VmHWM), in kilobytes.
qint64 peakRssKb();
// Starts the peak over from what the process holds now (the kernel's clear_refs); false where
// the kernel does not allow it.
bool resetPeakRss();
// What the process holds now (VmRSS), in kilobytes, after the allocator has handed back what it
// keeps of freed memory, so that memory let go does not count.
qint64 residentKbTrimmed();
// What the process holds now (VmRSS), in kilobytes, as it stands.
qint64 residentKb();

// Milliseconds since the timer started.
double msSince(const QElapsedTimer &timer);

double median(std::vector<double> values);
double maximum(const std::vector<double> &values);
double minimum(const std::vector<double> &values);

// Keeps the offscreen platform's remarks (on every start, and when a window asks to be raised),
// which say nothing about the figures, out of the run's messages; everything else is printed as
// usual.
void quietMessages();

// Prints one result for the parent process to read: "key value".
void report(const char *key, double value);

} // namespace Harness
