// What a restore reads, and when it refuses to. Through the real start-up and its boxes.

#include "app/messages.h"
#include "app/settingsfile.h"
#include "document/documentfile.h"
#include "document/recoveryfile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "recoverystart.h"

using namespace Qt::StringLiterals;
using namespace RecoveryStart;

namespace {

const QByteArray Kept = "{\\rtf1\\ansi {\\b kept} words\\par}\r\n";

} // namespace

class tst_RecoveryRestore : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();

    void aRestoreTheMemoryCannotHoldIsRefused();

private:
    QTemporaryDir m_state;
    std::unique_ptr<Program> m_program;
};

void tst_RecoveryRestore::initTestCase()
{
    qputenv("XDG_STATE_HOME", QFile::encodeName(m_state.path()));
    Startup::setUpApplication();
}

void tst_RecoveryRestore::init()
{
    m_program.reset();
    QDir(RecoveryFile::folder()).removeRecursively();
    QFile::remove(settingsFilePath(QCoreApplication::applicationFilePath()));
}

void tst_RecoveryRestore::aRestoreTheMemoryCannotHoldIsRefused()
{
    const QString file = leave(endedHeader(), Kept);
    DocumentFile::setMemoryProbe([] { return qint64(1) << 20; });
    ModalLog log([](const RealDialogs::Box &box) { return box.text.startsWith(u"前回"_s) ? QString::fromUtf16(Messages::ButtonRestore) : QString(); });
    m_program = std::make_unique<Program>();
    m_program->start();
    DocumentFile::setMemoryProbe({});
    QCOMPARE(log.boxes.size(), 2);
    QCOMPARE(log.boxes.last().text, Messages::cannotOpenFile(file, Messages::FileProblem::NotEnoughMemory) + u'.');
    QCOMPARE(m_program->window()->RichEdit1->toPlainText(), QString());
    QVERIFY(QFile::exists(file));
}

QTEST_MAIN(tst_RecoveryRestore)
#include "tst_recoveryrestore.moc"
