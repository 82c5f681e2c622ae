#include "document/apperror.h"
#include "app/messagebox.h"
#include "document/richedit.h"
#include "tools/fileassociation.h"
#include "tools/tform5.h"

#include <QApplication>
#include <QComboBox>
#include <QDirIterator>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>

#include <unistd.h>

using namespace Qt::StringLiterals;

// Every test points the user's folders into a temporary folder of its own. Endings the system
// does not know differ from test to test, as this process's MIME database may still remember
// an earlier test's folder.
class tst_FileAssociation : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void knownTypesGetAnEntryAndADefault();
    void otherEndingsGetATypeOfTheirOwn();
    void programsAndTheirQuoting();
    void otherDefaultsAreKept_data();
    void otherDefaultsAreKept();
    void failuresLeaveWhatWasWritten();
    void xdgMimeFindsTheDefault();
    void okDoesNothingFailsOrAssociates();
    void cancelAndTheCloseBoxOnlyHide();

private:
    QString path(const QString &relative) const { return m_dir->path() + u'/' + relative; }
    void setFolders(const QString &data, const QString &config)
    {
        qputenv("XDG_DATA_HOME", QFile::encodeName(path(data)));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(path(config)));
    }
    // Every file under the temporary folder, with its content.
    QMap<QString, QByteArray> files() const
    {
        QMap<QString, QByteArray> found;
        for (QDirIterator it(m_dir->path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories); it.hasNext();) {
            const QString file = it.next();
            found.insert(file.mid(m_dir->path().size() + 1), read(file));
        }
        return found;
    }
    static QByteArray read(const QString &file)
    {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(unreadable)");
    }
    // The entry for this program (the test program stands for it; its path needs no quotes).
    static QByteArray entryFor(const QString &extension, const QString &type)
    {
        return "[Desktop Entry]\nType=Application\nName=Penloft\nComment=" + extension.toUtf8()
            + "File\nIcon=penloft\nExec=" + QCoreApplication::applicationFilePath().toUtf8() + " %f\nMimeType="
            + type.toUtf8() + ";\nNoDisplay=true\n";
    }
    static QString failure(const QString &extension)
    {
        try {
            FileAssociation().associate(extension, u"Pen77"_s);
        } catch (const AppError &error) {
            return error.text();
        }
        return u"(no failure)"_s;
    }
    void openDialog();

    std::unique_ptr<QTemporaryDir> m_dir;
    QByteArray m_path;
    QList<MessageBox::Request> m_boxes;
    QWidget *m_host = nullptr;
    RichEdit *m_editor = nullptr;
    QLineEdit *m_other = nullptr;
    TForm5 *m_form = nullptr;
};

void tst_FileAssociation::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    setFolders(u"data"_s, u"config"_s);
    m_path = qgetenv("PATH");
    m_boxes.clear();
    MessageBox::setSink([this](QWidget *, const MessageBox::Request &r) {
        m_boxes << r;
        return QMessageBox::Ok;
    });
    m_host = new QWidget;
    auto *layout = new QVBoxLayout(m_host);
    layout->addWidget(m_other = new QLineEdit);
    layout->addWidget(m_editor = new RichEdit);
    m_form = new TForm5(m_editor, m_host);
}

void tst_FileAssociation::cleanup()
{
    delete m_host;
    MessageBox::setSink({});
    qputenv("PATH", m_path);
    QFile::setPermissions(path(u"data/applications"_s), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    m_dir.reset();
}

void tst_FileAssociation::knownTypesGetAnEntryAndADefault()
{
    const QString rtf = FileAssociation::knownMimeType(u"rtf"_s);
    QVERIFY(rtf == u"text/rtf"_s || rtf == u"application/rtf"_s);
    // A second round changes nothing.
    for (int round = 0; round < 2; ++round) {
        const FileAssociation::Written written = FileAssociation().associate(u"rtf"_s, u"Pen77"_s);
        QCOMPARE(written.mimeType, rtf);
        QVERIFY(written.mimePackage.isEmpty());
        QCOMPARE(FileAssociation().associate(u"txt"_s, u"Pen77"_s).mimeType, u"text/plain"_s);
        const QMap<QString, QByteArray> expected {
            { u"data/applications/penloft-rtfFile.desktop"_s, entryFor(u"rtf"_s, rtf) },
            { u"data/applications/penloft-txtFile.desktop"_s, entryFor(u"txt"_s, u"text/plain"_s) },
            { u"config/mimeapps.list"_s,
              "[Default Applications]\n" + rtf.toUtf8() + "=penloft-rtfFile.desktop\ntext/plain=penloft-txtFile.desktop\n" },
        };
        QCOMPARE(files(), expected);
    }
}

void tst_FileAssociation::otherEndingsGetATypeOfTheirOwn()
{
    QVERIFY(FileAssociation::knownMimeType(u"Pnlft_aa"_s).isEmpty());
    QMap<QString, QByteArray> first;
    for (int round = 0; round < 2; ++round) {
        const FileAssociation::Written written = FileAssociation().associate(u"Pnlft_aa"_s, u"Pen77"_s);
        QCOMPARE(written.mimeType, u"application/x-penloft-pnlft_5faafile"_s);
        QCOMPARE(written.mimePackage, path(u"data/mime/packages/penloft-Pnlft_aaFile.xml"_s));
        const QByteArray package = read(written.mimePackage);
        QVERIFY(package.contains("<mime-type type=\"application/x-penloft-pnlft_5faafile\">"));
        QVERIFY(package.contains("<comment>Pnlft_aaFile</comment>"));
        QVERIFY(package.contains("<glob pattern=\"*.Pnlft_aa\"/>"));
        if (round == 0)
            first = files();
    }
    QCOMPARE(files(), first);
    if (!QStandardPaths::findExecutable(u"update-mime-database"_s).isEmpty()) {
        FileAssociation::refresh(FileAssociation().associate(u"Pnlft_aa"_s, u"Pen77"_s));
        QVERIFY(read(path(u"data/mime/globs2"_s)).contains("application/x-penloft-pnlft_5faafile:*.pnlft_aa"));
    }

    // A leading dot is kept. A file ending in "..rtf" ends in ".rtf" too, so it is an rtf file;
    // an unknown ending gets a type for exactly what was typed.
    const QString rtf = FileAssociation::knownMimeType(u"rtf"_s);
    QCOMPARE(FileAssociation().associate(u".rtf"_s, u"Pen77"_s).mimeType, rtf);
    QCOMPARE(read(path(u"data/applications/penloft-.rtfFile.desktop"_s)), entryFor(u".rtf"_s, rtf));
    QCOMPARE(FileAssociation().associate(u".pnlftbb"_s, u"Pen77"_s).mimeType, u"application/x-penloft-.pnlftbbfile"_s);
    QVERIFY(read(path(u"data/mime/packages/penloft-.pnlftbbFile.xml"_s)).contains("<glob pattern=\"*..pnlftbb\"/>"));
    QVERIFY(read(path(u"config/mimeapps.list"_s))
                .endsWith(QByteArray("\n" + rtf.toUtf8() + "=penloft-.rtfFile.desktop\n"
                                     "application/x-penloft-.pnlftbbfile=penloft-.pnlftbbFile.desktop\n")));
}

void tst_FileAssociation::programsAndTheirQuoting()
{
    QVERIFY(QDir().mkpath(path(u"bin"_s)));
    for (const QString &name : { u"pnlftedit"_s, u"a b$c\"d\\e%f"_s, u"plain"_s }) {
        QFile f(path(u"bin/"_s + name));
        QVERIFY(f.open(QIODevice::WriteOnly));
        if (name != u"plain"_s)
            f.setPermissions(f.permissions() | QFile::ExeOwner);
    }
    qputenv("PATH", QFile::encodeName(path(u"bin"_s)) + ':' + m_path);

    const FileAssociation::Program onPath = FileAssociation::program(u"pnlftedit"_s);
    QCOMPARE(onPath.executable, path(u"bin/pnlftedit"_s));
    QCOMPARE(onPath.icon, onPath.executable);
    QVERIFY(!onPath.isThisProgram);
    // Names of nothing executable, and this program's own path, are this program.
    const QString self = QCoreApplication::applicationFilePath();
    for (const QString &text : { u"Pen77"_s, path(u"bin/plain"_s), path(u"bin"_s), self }) {
        const FileAssociation::Program program = FileAssociation::program(text);
        QVERIFY2(program.isThisProgram && program.executable == self && program.icon == u"penloft"_s, qPrintable(text));
    }

    // Quoted as entries have it: \ " ` $ escaped inside the quotes, % doubled, and then every
    // backslash doubled again as in any string value.
    FileAssociation().associate(u"rtf"_s, path(u"bin/a b$c\"d\\e%f"_s));
    const QByteArray entry = read(path(u"data/applications/penloft-rtfFile.desktop"_s));
    const QByteArray folder = QFile::encodeName(path(u"bin"_s));
    QVERIFY2(entry.contains(QByteArray("\nExec=\"" + folder + "/a b\\\\$c\\\\\"d\\\\\\\\e%%f\" %f\n")), entry.constData());
    QVERIFY(entry.contains(QByteArray("\nIcon=" + folder + "/a b$c\"d\\\\e%f\n")));
    QCOMPARE(FileAssociation::escapeValue(u" a\tb\nc\r "_s), u"\\sa\\tb\\nc\\r "_s);
}

void tst_FileAssociation::otherDefaultsAreKept_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("after");
    const QByteArray added = "[Added Associations]\ntext/rtf=o.desktop;\n";
    const QByteArray removed = "\n[Removed Associations]\ntext/plain=x.desktop;\n";
    QTest::newRow("replaced in place")
        << QByteArray("# mine\n" + added + "\n[Default Applications]\nimage/png=v.desktop\ntext/rtf = o.desktop;\n" + removed)
        << QByteArray("# mine\n" + added + "\n[Default Applications]\nimage/png=v.desktop\ntext/rtf=penloft-rtfFile.desktop\n"
                      + removed);
    QTest::newRow("added to the group")
        << QByteArray("[Default Applications]\ntext/rtf-x=v.desktop\n\n" + added.chopped(1))
        << QByteArray("[Default Applications]\ntext/rtf-x=v.desktop\ntext/rtf=penloft-rtfFile.desktop\n\n" + added);
    QTest::newRow("group added") << added
                                 << QByteArray(added + "\n[Default Applications]\ntext/rtf=penloft-rtfFile.desktop\n");
}

void tst_FileAssociation::otherDefaultsAreKept()
{
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);
    QVERIFY(QDir().mkpath(path(u"config"_s)));
    QFile file(path(u"config/mimeapps.list"_s));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(before) == before.size());
    file.close();
    for (int round = 0; round < 2; ++round) {
        FileAssociation().setDefaultApplication(u"text/rtf"_s, u"penloft-rtfFile.desktop"_s);
        QCOMPARE(read(file.fileName()), after);
    }
}

void tst_FileAssociation::failuresLeaveWhatWasWritten()
{
    const QString valueFailed = u"'' の設定に失敗しました"_s;
    // A data folder that cannot be made, even by root: the package fails first, and where no
    // package is needed, the applications folder.
    QVERIFY(QFile(path(u"afile"_s)).open(QIODevice::WriteOnly));
    setFolders(u"afile/sub"_s, u"config"_s);
    QCOMPARE(failure(u"pnlftcc"_s), valueFailed);
    QCOMPARE(failure(u"rtf"_s), u"キー rtfFile の作成に失敗しました"_s);
    // An ending that cannot be part of a file name fails before anything is written.
    setFolders(u"data"_s, u"config"_s);
    QCOMPARE(failure(u"a/b"_s), valueFailed);
    QCOMPARE(failure(u"a\x01"_s), valueFailed);
    // The entry cannot take its place: nothing of it, and no default naming it.
    QVERIFY(QDir().mkpath(path(u"data/applications/penloft-rtfFile.desktop"_s)));
    QCOMPARE(failure(u"rtf"_s), valueFailed);
    QCOMPARE(files().keys(), QStringList { u"afile"_s });
    // The default cannot be set: the package and the entry stay.
    setFolders(u"data"_s, u"afile/config"_s);
    QCOMPARE(failure(u"pnlftcc"_s), valueFailed);
    QCOMPARE(files().keys(), (QStringList { u"afile"_s, u"data/applications/penloft-pnlftccFile.desktop"_s,
                                            u"data/mime/packages/penloft-pnlftccFile.xml"_s }));
    // A read-only applications folder (root writes into it all the same).
    if (::geteuid() != 0) {
        QVERIFY(QFile::setPermissions(path(u"data/applications"_s), QFile::ReadOwner | QFile::ExeOwner));
        setFolders(u"data"_s, u"config"_s);
        QCOMPARE(failure(u"txt"_s), u"キー txtFile の作成に失敗しました"_s);
    }
}

void tst_FileAssociation::xdgMimeFindsTheDefault()
{
    const QString xdgMime = QStandardPaths::findExecutable(u"xdg-mime"_s);
    if (xdgMime.isEmpty())
        QSKIP("xdg-mime is not installed");
    const QString type = FileAssociation().associate(u"rtf"_s, u"Pen77"_s).mimeType;
    // The generic desktop: no desktop's own lists or tools.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : { "XDG_CURRENT_DESKTOP", "DESKTOP_SESSION", "KDE_FULL_SESSION", "KDE_SESSION_VERSION",
                              "GNOME_DESKTOP_SESSION_ID", "MATE_DESKTOP_SESSION_ID", "LXQT_SESSION_CONFIG" })
        environment.remove(QString::fromLatin1(name));
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(xdgMime, { u"query"_s, u"default"_s, type });
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.readAllStandardOutput().trimmed(), QByteArray("penloft-rtfFile.desktop"));
}

void tst_FileAssociation::openDialog()
{
    m_host->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_host));
    m_other->setFocus();
    m_form->setEnabled(true);
    m_form->show();
    m_form->FormCreate();
}

void tst_FileAssociation::okDoesNothingFailsOrAssociates()
{
    QVERIFY(!m_form->isVisible() && !m_form->isEnabled());
    QCOMPARE(m_form->ComboBox1->currentText(), u"rtf"_s);
    QCOMPARE(m_form->ComboBox2->currentText(), u"Pen77"_s);
    openDialog();
    // An empty box: nothing at all.
    m_form->ComboBox1->setCurrentText(QString());
    m_form->OKButton->click();
    m_form->ComboBox1->setCurrentText(u"txt"_s);
    m_form->ComboBox2->setCurrentText(QString());
    m_form->OKButton->click();
    QVERIFY(m_boxes.isEmpty() && m_form->isVisible() && files().isEmpty());

    // A failure is shown and the dialog stays.
    m_form->ComboBox2->setCurrentText(u"Pen77"_s);
    QVERIFY(QFile(path(u"afile"_s)).open(QIODevice::WriteOnly));
    setFolders(u"afile/sub"_s, u"config"_s);
    m_form->OKButton->click();
    QCOMPARE(m_boxes.size(), 1);
    QCOMPARE(m_boxes.first().icon, QMessageBox::Critical);
    QCOMPARE(m_boxes.first().text, u"キー txtFile の作成に失敗しました."_s);
    QVERIFY(m_form->isVisible());

    // The folders are read again at the next try.
    setFolders(u"data"_s, u"config"_s);
    m_form->OKButton->click();
    QCOMPARE(m_boxes.size(), 2);
    QCOMPARE(m_boxes.last().text, u"関連付けを完了しました"_s);
    QCOMPARE(m_boxes.last().icon, QMessageBox::NoIcon);
    QVERIFY(!m_form->isVisible());
    QCOMPARE(m_host->focusWidget(), m_editor);
    QCOMPARE(read(path(u"config/mimeapps.list"_s)), "[Default Applications]\ntext/plain=penloft-txtFile.desktop\n");
    QCOMPARE(read(path(u"data/applications/penloft-txtFile.desktop"_s)), entryFor(u"txt"_s, u"text/plain"_s));
}

void tst_FileAssociation::cancelAndTheCloseBoxOnlyHide()
{
    const std::function<void()> closers[] = { [this] { m_form->CAButton->click(); }, [this] { m_form->close(); },
                                              [this] { QTest::keyClick(m_form, Qt::Key_Escape); } };
    for (const auto &close : closers) {
        openDialog();
        QCOMPARE(m_host->focusWidget(), m_other);
        close();
        QVERIFY(!m_form->isVisible());
        QCOMPARE(m_host->focusWidget(), m_editor);
    }
    QVERIFY(m_boxes.isEmpty() && files().isEmpty());
}

QTEST_MAIN(tst_FileAssociation)
#include "tst_fileassociation.moc"
