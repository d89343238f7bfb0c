// Operation records from any layer: handed to a replaceable sink the main window installs.
#pragma once

#include <functional>

#include <QString>

// Hands one operation record (text and type, "info", "operate", ...) to the sink; without a
// sink the record is dropped, as when no main window exists (tools, tests of lower parts).
void RecordOperation(const QString& text, const QString& type);

// Installs the sink; an empty function removes it.
void SetRecordSink(std::function<void(const QString&, const QString&)> sink);
bool HasRecordSink();
