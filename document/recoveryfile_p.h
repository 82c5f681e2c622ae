#pragma once

#include "recoveryfile.h"

#include <QByteArray>
#include <QList>
#include <QString>

// What the recovery store's two files share: the folders it trusts and how a file in them is
// opened.
namespace RecoveryFile::Private {

enum class Creation { Never, WhenMissing };

// Opens a folder (O_DIRECTORY, following links) that belongs to this user and that no one else
// may write to; made with mode 0700 when missing and `creation` allows it, and narrowed to 0700
// when it allows others to read it. -1 when it cannot be used, and why in `result` (the folder
// and, when it exists but is not private, Problem::UnsafeFolder).
int openFolder(const QString &path, Creation creation, WriteResult *result);

// Opens `name` in an open folder for reading: a regular file of this user's, not a link, without
// waiting on a pipe. -1 otherwise.
int openIn(int folderFd, const QByteArray &name);

// The names in an open folder ("." and ".." left out).
QList<QByteArray> namesIn(int folderFd);

} // namespace RecoveryFile::Private
