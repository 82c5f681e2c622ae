#include "filedialogs.h"

#include "app/messagebox.h"
#include "app/messages.h"

#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QLocale>
#include <QIdentityProxyModel>
#include <QLineEdit>
#include <QScreen>
#include <QTreeView>

namespace {

FileDialogs::Runner &runner()
{
    static FileDialogs::Runner current;
    return current;
}

// "*.*" means every file, with or without a dot.
QString qtPatterns(const QString &patterns)
{
    QStringList list = patterns.split(u';', Qt::SkipEmptyParts);
    for (QString &pattern : list) {
        if (pattern == QStringLiteral("*.*"))
            pattern = QStringLiteral("*");
    }
    return list.join(u' ');
}

// The extension a pattern list stands for ("*.txt" gives "txt"); empty for "*.*" and the like.
QString extensionOf(const QString &patterns)
{
    const QString first = patterns.section(u';', 0, 0).trimmed();
    if (!first.startsWith(QStringLiteral("*.")))
        return {};
    const QString extension = first.mid(2);
    if (extension.isEmpty() || extension.contains(u'*') || extension.contains(u'?'))
        return {};
    return extension;
}

QLocale japanese()
{
    return QLocale(QLocale::Japanese, QLocale::Japan);
}

// The detail view's size, type and date columns in Japanese, whatever the session's locale:
// Qt's file model formats them with the system locale.
class JapaneseColumns : public QIdentityProxyModel {
public:
    using QIdentityProxyModel::QIdentityProxyModel;

    QVariant data(const QModelIndex &index, int role) const override
    {
        const auto *files = qobject_cast<const QFileSystemModel *>(sourceModel());
        if (role != Qt::DisplayRole || !files || index.column() < 1 || index.column() > 3)
            return QIdentityProxyModel::data(index, role);
        const QModelIndex name = mapToSource(index.siblingAtColumn(0));
        switch (index.column()) {
        case 1:
            return files->isDir(name) ? QString() : japanese().formattedDataSize(files->size(name));
        case 2:
            return files->isDir(name) ? Messages::text(Messages::FolderType) : files->type(name);
        default:
            return japanese().toString(files->lastModified(name), QLocale::ShortFormat);
        }
    }
};

// Widens the detail view's columns to what their Japanese headings and contents need: Qt sizes
// them for English texts.
void widenColumns(QFileDialog &dialog)
{
    auto *view = dialog.findChild<QTreeView *>(QStringLiteral("treeView"));
    if (!view)
        return;
    QHeaderView *header = view->header();
    const QFontMetrics metrics(view->font());
    const int padding = 4 * view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 16;
    const QStringList samples[] = {
        { QString(16, QChar(0x3042)) }, // sixteen wide characters
        { japanese().formattedDataSize(1023), japanese().formattedDataSize(1023 * 1024 + 1000),
          japanese().formattedDataSize(qint64(1023) * 1024 * 1024 + 1000) },
        { Messages::text(Messages::FolderType), Messages::text(Messages::LongFileType) },
        { japanese().toString(QDateTime(QDate(2026, 12, 31), QTime(23, 59)), QLocale::ShortFormat) },
    };
    const int columns = qMin(header->count(), int(std::size(samples)));
    for (int column = 0; column < columns; ++column) {
        int width = metrics.horizontalAdvance(view->model()->headerData(column, Qt::Horizontal).toString());
        for (const QString &sample : samples[column])
            width = qMax(width, metrics.horizontalAdvance(sample));
        if (header->sectionSize(column) < width + padding)
            header->resizeSection(column, width + padding);
    }
}

// Makes the dialog wide enough to show every column of its detail view beside the places list,
// as far as the screen allows. Measured once the dialog is laid out.
void fitColumns(QFileDialog &dialog)
{
    auto *view = dialog.findChild<QTreeView *>(QStringLiteral("treeView"));
    if (!view || !view->isVisible())
        return;
    const QHeaderView *header = view->header();
    const int missing = header->length() - view->viewport()->width();
    if (missing <= 0)
        return;
    const QRect screen = dialog.screen() ? dialog.screen()->availableGeometry() : QRect(0, 0, 1024, 768);
    dialog.resize(qMin(dialog.width() + missing + 4, screen.width()), dialog.height());
}

// Qt's file dialog, with what the program's dialogs do besides: the filter chosen is reported
// by its number, a name typed without extension gains the chosen filter's extension, and the
// open dialog takes a typed name that exists as it is before it tries the default extension.
class DocumentFileDialog : public QFileDialog {
public:
    DocumentFileDialog(QWidget *parent, const FileDialogs::Request &request)
        : QFileDialog(parent)
        , m_request(request)
    {
        // Qt's own dialog: the filter names show exactly as given, in Japanese with its translation.
        setOption(QFileDialog::DontUseNativeDialog);
        setOption(QFileDialog::HideNameFilterDetails);
        setProxyModel(new JapaneseColumns(this));
        for (const auto &[name, pattern] : FileDialogs::filterEntries(request.filter)) {
            m_names += name;
            m_filters += name + QStringLiteral(" (") + qtPatterns(pattern) + u')';
            m_extensions += extensionOf(pattern);
        }
        setNameFilters(m_filters);
        if (request.mode == FileDialogs::Request::Mode::Open) {
            setAcceptMode(QFileDialog::AcceptOpen);
            setFileMode(QFileDialog::ExistingFile);
        } else {
            setAcceptMode(QFileDialog::AcceptSave);
            setFileMode(QFileDialog::AnyFile);
        }
        if (request.filterIndex >= 1 && request.filterIndex <= m_filters.size())
            selectNameFilter(m_filters.at(request.filterIndex - 1));
        followFilter();
        if (const auto *box = findChild<QComboBox *>(QStringLiteral("fileTypeCombo")))
            connect(box, &QComboBox::currentIndexChanged, this, [this] { followFilter(); });
        if (!request.directory.isEmpty() && QFileInfo(request.directory).isDir())
            setDirectory(request.directory);
        if (!request.fileName.isEmpty())
            selectFile(request.fileName);
        widenColumns(*this);
    }

    // The filter chosen, from 1.
    int filterIndex() const
    {
        const QString selected = selectedNameFilter();
        // Qt 6.4 reports only the name when the patterns are hidden.
        qsizetype index = m_filters.indexOf(selected);
        if (index < 0)
            index = m_names.indexOf(selected.trimmed());
        if (index < 0) {
            if (const auto *box = findChild<QComboBox *>(QStringLiteral("fileTypeCombo")))
                index = box->currentIndex();
        }
        return int(qMax<qsizetype>(index, 0)) + 1;
    }

protected:
    void showEvent(QShowEvent *event) override
    {
        QFileDialog::showEvent(event);
        if (!m_fitted) {
            m_fitted = true;
            fitColumns(*this);
        }
    }

    void accept() override
    {
        followFilter();
        if (m_request.mode == FileDialogs::Request::Mode::Open && !m_request.defaultExtension.isEmpty()) {
            const QStringList files = selectedFiles();
            auto *nameBox = findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
            if (files.size() == 1 && nameBox) {
                const QFileInfo typed(files.first());
                const QFileInfo withExtension(files.first() + u'.' + m_request.defaultExtension);
                // selectFile() leaves the name box alone while it has the focus.
                if (!typed.exists() && typed.suffix().isEmpty() && withExtension.isFile())
                    nameBox->setText(withExtension.fileName());
            }
        }
        QFileDialog::accept();
    }

private:
    // A name typed without extension gains the chosen filter's own; a filter for every file
    // leaves the default extension the program passed. The open dialog adds none itself: a
    // typed name is first taken as it stands (see accept).
    void followFilter()
    {
        if (m_request.mode == FileDialogs::Request::Mode::Open)
            return;
        const int index = filterIndex() - 1;
        const QString own = index < m_extensions.size() ? m_extensions.at(index) : QString();
        setDefaultSuffix(own.isEmpty() ? m_request.defaultExtension : own);
    }

    FileDialogs::Request m_request;
    QStringList m_names;
    QStringList m_filters;
    QStringList m_extensions;
    bool m_fitted = false;
};

std::optional<FileDialogs::Choice> runQtDialog(QWidget *parent, const FileDialogs::Request &request)
{
    DocumentFileDialog dialog(parent, request);
    for (;;) {
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return std::nullopt;
        const QString file = dialog.selectedFiles().first();
        if (request.mode == FileDialogs::Request::Mode::Save && !QFileInfo::exists(file)) {
            MessageBox::Request ask;
            ask.icon = QMessageBox::Warning;
            ask.caption = dialog.windowTitle();
            ask.text = Messages::createFileQuestion(file);
            ask.buttons = QMessageBox::Yes | QMessageBox::No;
            if (MessageBox::show(&dialog, ask) != QMessageBox::Yes)
                continue;
        }
        return FileDialogs::Choice { file, dialog.filterIndex() };
    }
}

} // namespace

namespace FileDialogs {

void setRunner(Runner newRunner)
{
    runner() = std::move(newRunner);
}

std::optional<Choice> run(QWidget *parent, const Request &request)
{
    if (runner())
        return runner()(parent, request);
    return runQtDialog(parent, request);
}

QList<std::pair<QString, QString>> filterEntries(const QString &filter)
{
    const QStringList parts = filter.split(u'|');
    QList<std::pair<QString, QString>> entries;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
        entries.append({ parts.at(i), parts.at(i + 1) });
    return entries;
}

} // namespace FileDialogs
