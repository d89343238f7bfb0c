// Room on the working disk set aside at start for what a stop must still write on a full disk.
#pragma once

#include <QString>
#include <QStringList>

namespace DiskReserve {

// The file in the working folder that holds the room; after a stop that could not write
// everything it holds the note of what was lost instead.
inline constexpr char kFile[] = "stop.reserve";
// Enough for count.ini, the statistics day and a day of kept operation records, each with
// the journal its database writes beside it.
inline constexpr qint64 kBytes = 8 * 1024 * 1024;
// What a release keeps of the file, so that the note needs no new room on a full disk.
inline constexpr qint64 kNoteBytes = 4096;

// The note the last stop left (the names of what it could not write, one a line; empty when
// it wrote everything or never ran), read once: the next Take overwrites it.
QStringList LastStopLosses();
// Sets the room aside (zeros written through the disk-write seam). False when the disk has
// not that much room; the stop then writes without it.
bool Take(qint64 bytes = kBytes);
// Gives the room back, just before the stop's writes; keeps the note's page.
void Release();
// After the stop's writes: notes what they lost in the kept page, or removes the file when
// nothing was lost. False when not even the note could be written.
bool NoteLosses(const QStringList& lost);

}  // namespace DiskReserve
