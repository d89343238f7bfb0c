// Whole-file writes onto the working disk that tell a full disk apart; tests inject failures.
#pragma once

#include <functional>

#include <QByteArray>
#include <QString>

// Writes `data` as the whole content of `path` (made or truncated). 0 on success, else the
// errno of the failure; a file left part-written is the caller's to remove.
int WriteWholeFile(const QString& path, const QByteArray& data);

// What ReplaceWholeFile adds to a path while the file is being written: a crash leaves such
// files behind, for the owner of the folder to sweep.
inline constexpr char kUnfinishedSuffix[] = ".part";

// Writes `data` into `path` through `path` + kUnfinishedSuffix, renamed into place only once
// whole: a failure leaves neither a part-written file nor a changed `path`. 0, or the errno.
int ReplaceWholeFile(const QString& path, const QByteArray& data);

// The disk, or the share of it the program may use, has no room left.
bool IsNoSpaceError(int error);

// Tests: asked before each write with its path; a non-zero errno fails that write without
// touching the disk. Empty: every write goes to the disk.
void SetDiskWriteFailure(std::function<int(const QString& path)> failure);
// Tests: asked when a written file is closed; a non-zero errno is what the close reports (some
// file systems tell a full disk only then). Empty: the close's own result.
void SetDiskCloseFailure(std::function<int(const QString& path)> failure);

// For writers that do not go through the functions above (databases, settings files): the
// errno the test seam gives the write of `path`, 0 when it may go to the disk.
int DiskWriteRefusal(const QString& path);
