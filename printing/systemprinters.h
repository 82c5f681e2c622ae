#pragma once

#include <QString>
#include <QStringList>

#include <optional>

class QPrinter;
struct ReportPrinter;

// The system's print queues, asked afresh at every use: queues come and go while the program
// runs, so nothing here is kept from one output to the next.
namespace SystemPrinters {

// The names of the queues there are now; the default queue's name, empty when there is none.
QStringList names();
QString defaultName();

// The queue a print goes to now: `chosen` when that queue still exists, otherwise the default
// queue (or the first, when none is the default); empty when the system has no queue at all.
QString queueFor(const QString &chosen);
// Points `printer` at queueFor(chosen). False when there is no queue (the printer is left as
// it was).
bool selectQueue(QPrinter &printer, const QString &chosen);
// The queue `printer` is pointed at; empty when it prints to a file of its own.
QString queueOf(const QPrinter &printer);

// For tests, which cannot count on the print system's queues: queues that stand in for them
// (`names`, the default `defaultName`), each printing into "<folder>/<queue>.pdf". An empty
// list gives the print system's queues back.
void setStandInQueues(const QStringList &names, const QString &defaultName, const QString &folder);

// A print job on a queue. The print engine writes the pages into a spool file of the job's
// own, and the job hands that file to the queue itself, so that a queue refusing it is known,
// and told in the print system's words. A printer that writes to a file of its own (a PDF
// file chosen by the user or a test), or a system without the print library, is left to the
// engine as it is.
class QueueJob {
public:
    // Before the painter begins on `printer`.
    explicit QueueJob(QPrinter &printer);
    ~QueueJob();
    QueueJob(const QueueJob &) = delete;
    QueueJob &operator=(const QueueJob &) = delete;

    // After the painter has ended: sends the spooled pages to the queue under `title`. Returns
    // the print system's message when the queue did not take the job; nothing when it did, or
    // when there was nothing of ours to send.
    std::optional<QString> submit(const QString &title);
    // Drops the spooled pages (the job was given up).
    void discard();

private:
    QPrinter &m_printer;
    QString m_spoolFile;
};

// The printer a report print is made on: the queue `chosen` when it exists now, otherwise the
// default queue; the whole paper addressed, one copy. Its submit step throws AppError with the
// print system's message when the queue refuses the job.
ReportPrinter reportPrinter(const QString &chosen, const QString &title);

} // namespace SystemPrinters
