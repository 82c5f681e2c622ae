#include "recoveryfile.h"
#include "recoveryfile_p.h"

#include "document/documentmessages.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QUrl>

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using RecoveryFile::Entry;
using RecoveryFile::WriteResult;

constexpr char Magic[] = "Penloft recovery 1";
// How much of a file's end is read with its header, to see whether the document ends there.
constexpr qint64 TailBytes = 256;

// Reads up to `size` bytes at `offset`; returns how many it read (fewer at the file's end or on
// an error).
qint64 readAt(int fd, char *data, qint64 size, qint64 offset)
{
    qint64 done = 0;
    while (done < size) {
        const ssize_t n = ::pread(fd, data + done, static_cast<size_t>(size - done), static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += n;
    }
    return done;
}

bool writeAll(int fd, QByteArrayView data)
{
    const char *p = data.data();
    qsizetype left = data.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, static_cast<size_t>(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += n;
        left -= n;
    }
    return true;
}

// Whether a document's text ends as RTF does: with "}" and at most white space after it.
bool endsLikeDocument(QByteArrayView text)
{
    qsizetype end = text.size();
    while (end > 0 && (text[end - 1] == ' ' || text[end - 1] == '\t' || text[end - 1] == '\r' || text[end - 1] == '\n'))
        --end;
    return end > 0 && text[end - 1] == '}';
}

// Whether every group RTF opens is closed by its end, and nothing follows the outermost: what a
// document cut off after an inner group's "}" fails. Escaped braces and \binN data do not count.
bool groupsClose(QByteArrayView rtf)
{
    qint64 depth = 0;
    bool closed = false;
    for (qsizetype i = 0; i < rtf.size(); ++i) {
        const char c = rtf[i];
        if (c == '\\') {
            if (rtf.sliced(i + 1).startsWith("bin")) {
                qsizetype j = i + 4;
                qint64 bytes = 0;
                while (j < rtf.size() && rtf[j] >= '0' && rtf[j] <= '9' && bytes <= rtf.size())
                    bytes = bytes * 10 + (rtf[j++] - '0');
                if (j < rtf.size() && rtf[j] == ' ')
                    ++j;
                i = j - 1 + qMin<qint64>(bytes, rtf.size());
            } else {
                ++i; // the escaped character, a brace or a backslash among them
            }
        } else if (c == '{') {
            if (closed)
                return false;
            ++depth;
        } else if (c == '}') {
            if (--depth < 0)
                return false;
            closed = depth == 0;
        }
    }
    return closed;
}

QByteArray digestOf(QByteArrayView rtf)
{
    return QCryptographicHash::hash(rtf, QCryptographicHash::Sha256).toHex();
}

bool isHexDigest(QByteArrayView value)
{
    if (value.size() != 64)
        return false;
    for (const char c : value) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    }
    return true;
}

// Takes one "key: value" line into the header; false when a value that decides whether the file
// is complete cannot be read.
bool takeLine(QByteArrayView line, RecoveryFile::Header &header)
{
    const qsizetype colon = line.indexOf(": ");
    if (colon < 0)
        return true;
    const QByteArrayView key = line.first(colon);
    const QByteArrayView value = line.sliced(colon + 2);
    bool ok = true;
    if (key == "path") {
        header.documentPath = QUrl::fromPercentEncoding(value.toByteArray());
    } else if (key == "original") {
        header.originalStamp = value.toByteArray();
    } else if (key == "written") {
        const QDateTime written
            = QDateTime::fromString(QString::fromLatin1(value.first(qMin<qsizetype>(value.size(), 64))), Qt::ISODate);
        if (written.isValid())
            header.written = written;
    } else if (key == "pid") {
        header.pid = value.toLongLong();
    } else if (key == "started") {
        header.processStart = value.toULongLong();
    } else if (key == "boot") {
        header.bootId = value.toByteArray();
    } else if (key == "length") {
        header.bodyBytes = value.toLongLong(&ok);
        ok = ok && header.bodyBytes >= 0 && header.bodyBytes <= RecoveryFile::MaxBytes;
    } else if (key == "sha256") {
        header.bodyDigest = value.toByteArray();
        ok = isHexDigest(value);
    }
    return ok;
}

// Reads the header lines at the start of a file into `entry`; false when the header is damaged
// (a recorded length or digest that cannot be read).
bool takeHeader(QByteArrayView start, Entry &entry)
{
    const qsizetype end = start.indexOf("\n\n");
    entry.headerBytes = end < 0 ? -1 : end + 2;
    const QByteArrayView head = end < 0 ? start : start.first(end);
    bool intact = true;
    qsizetype from = 0;
    while (from <= head.size()) {
        qsizetype to = head.indexOf('\n', from);
        if (to < 0)
            to = head.size();
        intact = takeLine(head.sliced(from, to - from), entry.header) && intact;
        from = to + 1;
    }
    return intact;
}

// A name for the temporary a file is written to before it takes the file's place:
// ".NAME.XXXXXX", six letters and digits.
QByteArray temporaryName(const QByteArray &name)
{
    static constexpr char Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    QByteArray temporary = '.' + name + '.';
    for (int i = 0; i < 6; ++i)
        temporary += Alphabet[QRandomGenerator::global()->bounded(int(sizeof Alphabet) - 1)];
    return temporary;
}

// Creates a new file `name` in a folder, mode 0600, never through a link; -1 with errno set.
int createIn(int folderFd, const QByteArray &name)
{
    return ::openat(folderFd, name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
}

// Writes the parts into a new file and flushes it to disk; the file is removed again when that
// fails. Returns 0 or the errno of the failure.
int writeNewFile(int folderFd, const QByteArray &name, std::initializer_list<QByteArrayView> parts)
{
    const int fd = createIn(folderFd, name);
    if (fd < 0)
        return errno;
    bool ok = true;
    for (const QByteArrayView part : parts)
        ok = ok && writeAll(fd, part);
    ok = ok && ::fsync(fd) == 0;
    int error = ok ? 0 : errno;
    if (::close(fd) != 0 && ok)
        error = errno;
    if (error != 0)
        ::unlinkat(folderFd, name.constData(), 0);
    return error;
}

WriteResult failure(WriteResult result, int error)
{
    result.problem = WriteResult::Problem::Failed;
    result.error = error;
    return result;
}

} // namespace

namespace RecoveryFile {

QString oneLine(const QString &text)
{
    QString line = text;
    for (QChar &c : line) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F || c.category() == QChar::Separator_Line
            || c.category() == QChar::Separator_Paragraph)
            c = u' ';
    }
    return line;
}

QByteArray headerFor(const Header &header, QByteArrayView rtf)
{
    const QString name
        = oneLine(header.documentPath.isEmpty() ? Messages::text(Messages::NewDocumentName) : header.documentPath);
    QByteArray head = Magic;
    head += "\nname: " + name.toUtf8();
    head += "\npath: " + QUrl::toPercentEncoding(header.documentPath, "/");
    if (!header.originalStamp.isEmpty())
        head += "\noriginal: " + header.originalStamp;
    head += "\nwritten: " + header.written.toString(Qt::ISODate).toLatin1();
    head += "\npid: " + QByteArray::number(header.pid);
    head += "\nstarted: " + QByteArray::number(header.processStart);
    if (!header.bootId.isEmpty())
        head += "\nboot: " + header.bootId;
    head += "\nlength: " + QByteArray::number(rtf.size());
    head += "\nsha256: " + digestOf(rtf);
    head += "\n\n";
    return head;
}

WriteResult write(const QString &file, const Header &header, QByteArrayView rtf)
{
    const QFileInfo target(file);
    WriteResult result;
    const int folderFd = Private::openFolder(target.absolutePath(), Private::Creation::WhenMissing, &result);
    if (folderFd < 0)
        return result;
    const QByteArray name = QFile::encodeName(target.fileName());
    const QByteArray head = headerFor(header, rtf);
    QByteArray temporary;
    int error = EEXIST;
    for (int attempt = 0; attempt < 16 && error == EEXIST; ++attempt) {
        temporary = temporaryName(name);
        error = writeNewFile(folderFd, temporary, { head, rtf });
    }
    if (error == 0 && ::renameat(folderFd, temporary.constData(), folderFd, name.constData()) != 0) {
        error = errno;
        ::unlinkat(folderFd, temporary.constData(), 0);
    }
    // The rename itself reaches the disk with the folder.
    if (error == 0)
        ::fsync(folderFd);
    ::close(folderFd);
    return error == 0 ? result : failure(result, error);
}

WriteResult writeCopy(const QString &path, QByteArrayView rtf)
{
    const QFileInfo target(path);
    WriteResult result;
    result.folder = target.absolutePath();
    const int folderFd = ::open(QFile::encodeName(result.folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd < 0)
        return failure(result, errno);
    const int error = writeNewFile(folderFd, QFile::encodeName(target.fileName()), { rtf });
    if (error == 0)
        ::fsync(folderFd);
    ::close(folderFd);
    return error == 0 ? result : failure(result, error);
}

std::optional<Entry> readEntry(int fd, const QString &file)
{
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0)
        return std::nullopt;
    QByteArray start(qMin<qint64>(st.st_size, MaxHeaderBytes), Qt::Uninitialized);
    start.resize(readAt(fd, start.data(), start.size(), 0));
    constexpr qsizetype MagicBytes = sizeof Magic - 1;
    if (!start.startsWith(Magic) || (start.size() > MagicBytes && start.at(MagicBytes) != '\n'))
        return std::nullopt;
    Entry entry;
    entry.file = file;
    entry.fileBytes = st.st_size;
    entry.header.written = QDateTime::fromSecsSinceEpoch(st.st_mtim.tv_sec);
    const bool intact = takeHeader(start, entry);
    if (!intact || entry.headerBytes < 0)
        return entry;
    if (entry.header.bodyBytes >= 0) {
        entry.complete = entry.fileBytes - entry.headerBytes == entry.header.bodyBytes;
        return entry;
    }
    // Written before files recorded their length: complete unless visibly cut off.
    const qint64 tailStart = qMax(entry.headerBytes, entry.fileBytes - TailBytes);
    QByteArray tail(entry.fileBytes - tailStart, Qt::Uninitialized);
    tail.resize(readAt(fd, tail.data(), tail.size(), tailStart));
    entry.complete = endsLikeDocument(tail);
    return entry;
}

Body readBody(int fd, const Entry &entry)
{
    Body body;
    if (fd < 0 || entry.headerBytes < 0 || entry.headerBytes > entry.fileBytes || entry.isTooLarge())
        return body;
    const qint64 bytes = entry.fileBytes - entry.headerBytes;
    body.rtf.resize(bytes);
    const qint64 got = readAt(fd, body.rtf.data(), bytes, entry.headerBytes);
    body.rtf.resize(got);
    // A file that changed since its header was read is not the one offered.
    struct stat st {};
    if (got != bytes || ::fstat(fd, &st) != 0 || st.st_size != entry.fileBytes)
        return body;
    if (entry.header.bodyBytes >= 0) {
        body.complete = got == entry.header.bodyBytes
            && (entry.header.bodyDigest.isEmpty() || digestOf(body.rtf) == entry.header.bodyDigest);
    } else {
        body.complete = endsLikeDocument(body.rtf) && groupsClose(body.rtf);
    }
    return body;
}

int open(const QString &file)
{
    const QFileInfo info(file);
    WriteResult ignored;
    const int folderFd = Private::openFolder(info.absolutePath(), Private::Creation::Never, &ignored);
    if (folderFd < 0)
        return -1;
    const int fd = Private::openIn(folderFd, QFile::encodeName(info.fileName()));
    ::close(folderFd);
    return fd;
}

std::optional<Entry> read(const QString &file, QByteArray *rtf)
{
    const int fd = open(file);
    std::optional<Entry> entry = readEntry(fd, file);
    if (entry && rtf)
        *rtf = readBody(fd, *entry).rtf;
    if (fd >= 0)
        ::close(fd);
    return entry;
}

Claim::Claim(const QString &file)
    : m_file(file)
    , m_fd(open(file))
{
    if (m_fd >= 0 && ::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

Claim::~Claim()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

void Claim::remove()
{
    if (m_fd >= 0)
        ::unlink(QFile::encodeName(m_file).constData());
}

} // namespace RecoveryFile

namespace RecoveryFile::Private {

int openFolder(const QString &path, Creation creation, WriteResult *result)
{
    result->folder = path;
    const QByteArray native = QFile::encodeName(path);
    if (creation == Creation::WhenMissing) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        ::mkdir(native.constData(), 0700);
    }
    const int fd = ::open(native.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        *result = failure(*result, errno);
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || st.st_uid != ::geteuid() || (st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        ::close(fd);
        result->problem = WriteResult::Problem::UnsafeFolder;
        result->error = 0;
        return -1;
    }
    // Others need not even read what the folder holds.
    if (creation == Creation::WhenMissing && (st.st_mode & 077) != 0)
        ::fchmod(fd, 0700);
    return fd;
}

int openIn(int folderFd, const QByteArray &name)
{
    const int fd = ::openat(folderFd, name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) {
        ::close(fd);
        return -1;
    }
    return fd;
}

QList<QByteArray> namesIn(int folderFd)
{
    QList<QByteArray> names;
    const int fd = ::dup(folderFd);
    DIR *dir = fd >= 0 ? ::fdopendir(fd) : nullptr;
    if (!dir) {
        if (fd >= 0)
            ::close(fd);
        return names;
    }
    ::rewinddir(dir);
    while (const dirent *entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (name != "." && name != "..")
            names += name;
    }
    ::closedir(dir);
    return names;
}

} // namespace RecoveryFile::Private
