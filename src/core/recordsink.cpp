// The replaceable sink of operation records, and the notice of a full disk.
#include "recordsink.h"

#include <atomic>

#include <QCoreApplication>
#include <QDebug>
#include <QMetaObject>

#include "lanstr.h"
#include "operatorprompts.h"
#include "textids.h"

namespace {

std::function<void(const QString&, const QString&)>& sink()
{
    static std::function<void(const QString&, const QString&)> current;
    return current;
}

// The kinds (StoredKind bits) whose last write failed for lack of space.
std::atomic<unsigned> gNoSpaceKinds{0};

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

void ReportNoSpace(StoredKind kind)
{
    const unsigned before = gNoSpaceKinds.fetch_or(unsigned(kind));
    if (before != 0)
        return;
    qWarning().noquote() << "the disk is full:" << (kind == StoredKind::Picture ? "a picture" : "a record")
                         << "was not written";
    // Queued also from the GUI thread: a record may be written from within a box or a
    // judgement, which must not meet another box half-way. Shown once an episode, in a box
    // of its own: the lost-camera and no-input notes would otherwise replace it.
    if (QCoreApplication* app = QCoreApplication::instance())
        QMetaObject::invokeMethod(
            app, [] { ShowOperatorNotice(LanStr(kTextDiskFull)); }, Qt::QueuedConnection);
}

void ReportStored(StoredKind kind)
{
    gNoSpaceKinds.fetch_and(~unsigned(kind));
}
