// Operation records from any layer: handed to a replaceable sink the main window installs.
// Also the operator's notice that pictures or records cannot be written for lack of space.
#pragma once

#include <functional>

#include <QString>

// Hands one operation record (text and type, "info", "operate", ...) to the sink; without a
// sink the record is dropped, as when no main window exists (tools, tests of lower parts).
void RecordOperation(const QString& text, const QString& type);

// Installs the sink; an empty function removes it.
void SetRecordSink(std::function<void(const QString&, const QString&)> sink);
bool HasRecordSink();

// What the program writes onto its disk as it runs.
enum class StoredKind {
    Picture = 1,
    Record = 2,
};
// A picture or a record could not be written: the disk is full. The operator is told on the
// screen once, and again only after every kind that failed was written once more. Any thread;
// the notice itself is shown on the GUI thread.
void ReportNoSpace(StoredKind kind);
// A picture or a record was written.
void ReportStored(StoredKind kind);
