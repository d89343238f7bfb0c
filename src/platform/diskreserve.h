// Room on the working disk set aside for what a stop must still write on a full disk, and the stop's note.
#pragma once

#include <QString>
#include <QStringList>

namespace DiskReserve {

// The file in the working folder. Its first kNoteBytes are the note's page, kept for good once
// there was room for it (a later note needs no new room on a full disk); the rest is the
// room, held while the program runs and given back to the stop's writes.
inline constexpr char kFile[] = "stop.reserve";
// Enough for count.ini, the statistics day and a day of kept operation records, each with
// the journal its database writes beside it.
inline constexpr qint64 kBytes = 8 * 1024 * 1024;
// The note's page: what a release keeps of the file.
inline constexpr qint64 kNoteBytes = 4096;
// What LastStopLosses names when the last run held no room, so that its stop's losses are not
// known (its note could not be written, or it never came to a stop).
inline constexpr char kNoRoomHeld[] = "no reserve";

// What the last run's stop left in the page: the names of what it could not write, one an
// entry ("statistics", "counters", "records N"), or kNoRoomHeld alone; empty when it wrote
// everything, or when no run left a page. Read once, before anything here writes the page,
// and the same list on every later call.
QStringList LastStopLosses();
// Sets the room aside behind the page: the page first (marked as holding no room), then the
// zeros, through the disk-write seam; once they are all on the disk the page is marked clean.
// A room only partly written is given back at once, the page kept. Reads the last note first.
// False when the disk has not that much room.
bool Take(qint64 bytes = kBytes);
// Take, when no room is held yet and the disk seems to have it (nothing is written otherwise,
// so that trying often costs nothing); after Release, never. True while the room is held.
bool TakeIfMissing();
bool Held();
// Gives the room back, just before the stop's writes; keeps the page.
void Release();
// After the stop's writes: notes in the page what they lost (clean when nothing), written in
// place, never shortening the page. False when not even the note could be written.
bool NoteLosses(const QStringList& lost);

// Tests: starts over as at a new start (the note read again, no room held).
void ResetForTest();

}  // namespace DiskReserve
