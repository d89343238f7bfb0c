// Copying and removing folders without a shell: names typed by the operator and paths of
// removable disks never become shell lines.
#pragma once

#include <QString>

namespace FileTree {

// Copies a file or a folder with everything in it, replacing files that exist; `skip` (an
// absolute path) is left out, so a copy may land inside its own source. The folder `to` must
// lie in an existing folder: missing parents are not made. False when anything was not copied.
bool copy(const QString& from, const QString& to, const QString& skip = QString());
// Removes a file, a link or a folder with everything in it; true when nothing is left.
bool remove(const QString& path);
// Removes what a folder holds and keeps the folder.
bool empty(const QString& folder);

}  // namespace FileTree
