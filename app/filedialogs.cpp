#include "filedialogs.h"

#include "app/messagebox.h"
#include "app/messages.h"

#include <QFileDialog>
#include <QFileInfo>

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

std::optional<FileDialogs::Choice> runQtDialog(QWidget *parent, const FileDialogs::Request &request)
{
    QFileDialog dialog(parent);
    // Qt's own dialog: the filter names show exactly as given, in Japanese with its translation.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    const auto entries = FileDialogs::filterEntries(request.filter);
    QStringList filters;
    for (const auto &[name, pattern] : entries)
        filters += name + QStringLiteral(" (") + qtPatterns(pattern) + u')';
    dialog.setNameFilters(filters);
    if (request.filterIndex >= 1 && request.filterIndex <= filters.size())
        dialog.selectNameFilter(filters.at(request.filterIndex - 1));
    dialog.setDefaultSuffix(request.defaultExtension);
    if (request.mode == FileDialogs::Request::Mode::Open) {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
    }
    if (!request.fileName.isEmpty())
        dialog.selectFile(request.fileName);
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
        return FileDialogs::Choice { file, int(filters.indexOf(dialog.selectedNameFilter())) + 1 };
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
