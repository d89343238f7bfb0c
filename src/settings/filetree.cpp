#include "filetree.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace FileTree {

namespace {
constexpr QDir::Filters kEverything = QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System;
}

bool copy(const QString& from, const QString& to, const QString& skip)
{
    const QFileInfo info(from);
    if (!skip.isEmpty() && info.absoluteFilePath() == skip)
        return true;
    if (info.isDir() && !info.isSymLink()) {
        // Only the folder itself is made, never missing parents: a copy onto a disk that went
        // away fails here instead of filling the empty mount folder on the panel's own disk.
        if (!QFileInfo(to).isDir() && !QDir().mkdir(to))
            return false;
        bool ok = true;
        for (const QFileInfo& entry : QDir(from).entryInfoList(kEverything, QDir::Name))
            ok = copy(entry.filePath(), to + '/' + entry.fileName(), skip) && ok;
        return ok;
    }
    if (QFileInfo(to).exists() || QFileInfo(to).isSymLink())
        QFile::remove(to);
    return QFile::copy(from, to);
}

bool remove(const QString& path)
{
    const QFileInfo info(path);
    if (info.isDir() && !info.isSymLink())
        return QDir(path).removeRecursively();
    if (!info.exists() && !info.isSymLink())
        return true;
    return QFile::remove(path);
}

bool empty(const QString& folder)
{
    bool ok = true;
    for (const QFileInfo& entry : QDir(folder).entryInfoList(kEverything))
        ok = remove(entry.filePath()) && ok;
    return ok;
}

}  // namespace FileTree
