// The replaceable sink of operation records.
#include "recordsink.h"

namespace {

std::function<void(const QString&, const QString&)>& sink()
{
    static std::function<void(const QString&, const QString&)> current;
    return current;
}

}  // namespace

void RecordOperation(const QString& text, const QString& type)
{
    if (sink())
        sink()(text, type);
}

bool HasRecordSink()
{
    return bool(sink());
}

void SetRecordSink(std::function<void(const QString&, const QString&)> newSink)
{
    sink() = std::move(newSink);
}
