#pragma once

#include <QString>

#include <memory>

class QIODevice;

// A new content for a file, written beside it and put in its place only once every byte is on
// the disk, so that a failure at any point leaves the old file as it was.
//
// The content goes to a temporary file ".NAME.XXXXXX" in the file's folder (the link's target's,
// for a symbolic link), locked while it is written. Normally it is synced and renamed over the
// file, with the file's mode, owner and group. Where a rename cannot keep what the file is, the
// file is written in place instead: when it has other hard links, or belongs to another user
// or to a group the rename cannot give the new file. A copy of the old content is kept beside
// it (".NAME.XXXXXX~") until the new one is synced, and put back if writing fails.
//
// Refused before anything is written (AppError, the file unchanged): a file that may not be
// written (no permission, or no write bit at all, even for root: "%s に書き込めません"); a path
// that is a folder, a device, a pipe or anything but a regular file, or whose folder is missing
// (Messages::cannotCreateFile). Paths in messages are absolute.
//
// Each replacement also removes the temporaries of earlier ones in the same folder that were
// left behind (a save killed midway): ours by their name's check characters, older than a
// minute, and not locked by a process still writing them.
class FileReplacement {
public:
    // Checks the file and opens the temporary; throws AppError. The temporary is named after
    // `temporaryStem` when given (a caller that must know its own among them), else after the
    // file's name.
    explicit FileReplacement(const QString &path, const QString &temporaryStem = QString());
    // Removes the temporary unless committed.
    ~FileReplacement();
    FileReplacement(const FileReplacement &) = delete;
    FileReplacement &operator=(const FileReplacement &) = delete;

    // Where the new content is written (unbuffered, open for writing).
    QIODevice &device();
    // The temporary's path in the file system's encoding, empty once it is gone (committed or
    // discarded).
    QByteArray temporaryPath() const;
    // Puts the content in the file's place. Throws AppError: the write-stream text when the
    // content could not be written whole (a full disk), the create text when the rename fails.
    void commit();

    // The temporaries' names: ".NAME." and six characters, the last three a check over the name
    // and the first three, so that no file of the user's is ever taken for one of ours.
    static QString temporaryName(const QString &fileName);
    static bool isTemporaryName(const QString &entryName);
    // The name a temporary was made for (its stem); empty when the entry is none of ours.
    static QString temporaryStem(const QString &entryName);
    // How old a temporary must be before another replacement removes it, in seconds.
    static constexpr int StaleSeconds = 60;

    // For tests: writes in place fail after this many bytes (-1: never).
    static void failInPlaceWritesAfter(long long bytes);

private:
    struct Private;
    std::unique_ptr<Private> d;
};
