#include "app/tpenform1.h"

#include "app/messagebox.h"
#include "app/recentfiles.h"
#include "app/settingsfile.h"
#include "document/apperror.h"

#include <QAction>
#include <QFileInfo>
#include <QMenu>

void TPenForm1::createRecentFileItems(QMenu *fileMenu, QAction *before)
{
    for (int i = 0; i < RecentFiles::Max; ++i) {
        auto *item = new QAction(this);
        item->setObjectName(QStringLiteral("RecentFile%1").arg(i + 1));
        item->setVisible(false);
        connect(item, &QAction::triggered, this, [this, i] { runCommand([this, i] { openRecentFile(i); }); });
        fileMenu->insertAction(before, item);
        m_recentFileItems.append(item);
    }
    m_recentFilesSeparator = fileMenu->insertSeparator(before);
    m_recentFilesSeparator->setVisible(false);
}

void TPenForm1::loadRecentFiles(const IniFile &settings)
{
    m_recentFiles.read(settings);
    refreshRecentFileItems();
}

void TPenForm1::refreshRecentFileItems()
{
    const QStringList &paths = m_recentFiles.paths();
    for (int i = 0; i < m_recentFileItems.size(); ++i) {
        QAction *item = m_recentFileItems[i];
        item->setVisible(i < paths.size());
        if (i < paths.size()) {
            item->setText(RecentFiles::menuText(i, paths[i]));
            item->setData(paths[i]);
            item->setStatusTip(paths[i]);
        }
    }
    m_recentFilesSeparator->setVisible(!paths.isEmpty());
}

void TPenForm1::changeRecentFiles(const std::function<void(RecentFiles &)> &change)
{
    // The file's list is the one changed: another window of the program may have added to it.
    IniFile settings(m_settingsPath);
    settings.load();
    RecentFiles files;
    files.read(settings);
    change(files);
    files.write(settings);
    // A list that cannot be kept is still this window's; the window's own settings report a
    // settings file that cannot be written when the program ends.
    settings.save();
    m_recentFiles = files;
    refreshRecentFileItems();
}

void TPenForm1::rememberRecentFile(const QString &path)
{
    changeRecentFiles([&](RecentFiles &files) { files.add(QFileInfo(path).absoluteFilePath()); });
}

void TPenForm1::openRecentFile(int index)
{
    if (index < 0 || index >= m_recentFiles.paths().size() || !changesMayBeReplaced())
        return;
    const QString path = m_recentFiles.paths().at(index);
    try {
        OpenFile(path);
    } catch (const AppError &) {
        // A document that is gone leaves the list; one that is only unreadable now stays.
        if (!QFileInfo::exists(path))
            changeRecentFiles([&](RecentFiles &files) { files.remove(path); });
        throw;
    }
}
