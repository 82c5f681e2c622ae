#pragma once

#include <QObject>
#include <QString>

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

// The peak resident memory of this process so far (VmHWM), in kilobytes.
qint64 peakRssKb();

double median(std::vector<double> values);
double maximum(const std::vector<double> &values);
double minimum(const std::vector<double> &values);

// Prints one result for the parent process to read: "key value".
void report(const char *key, double value);

} // namespace Harness
