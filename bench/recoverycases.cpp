#include "recoverycases.h"

#include "harness.h"

#include "app/tpenform1.h"
#include "document/recoverykeeper.h"
#include "document/richedit.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>

namespace RecoveryCases {

int pause(const Cases::Options &o)
{
    // The files go to a folder of the case's own, never the user's.
    QTemporaryDir state;
    qputenv("XDG_STATE_HOME", QFile::encodeName(state.path()));
    auto *form = new TPenForm1;
    form->show();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    Harness::drain();
    form->OpenFile(o.input);
    form->RichEdit1->lineCount();
    Harness::drain();

    RecoveryKeeper *keeper = form->recovery();
    keeper->setIdleInterval(1);
    bool written = false;
    QEventLoop loop;
    QObject::connect(keeper, &RecoveryKeeper::written, &loop, [&] {
        written = true;
        loop.quit();
    });
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    // The longest wait between two turns of the event loop while the file is being made.
    QElapsedTimer sinceTurn;
    double longest = 0;
    QTimer heartbeat;
    heartbeat.setInterval(0);
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        longest = std::max(longest, Harness::msSince(sinceTurn));
        sinceTurn.restart();
    });
    QElapsedTimer total;
    total.start();
    Harness::typeText(form->RichEdit1, QStringLiteral("x"));
    sinceTurn.start();
    heartbeat.start();
    loop.exec();
    heartbeat.stop();
    Harness::report("sliced_total_ms", Harness::msSince(total));
    Harness::report("sliced_longest_pause_ms", longest);
    Harness::report("file_bytes", static_cast<double>(QFile(keeper->file()).size()));

    QElapsedTimer once;
    once.start();
    keeper->writeNow();
    Harness::report("whole_write_ms", Harness::msSince(once));
    keeper->discard();
    return written ? 0 : 1;
}

} // namespace RecoveryCases
