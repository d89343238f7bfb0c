// Busy picture shown modally while an operation runs on the global thread pool.
#include "ccomp_diawait.h"

#include <exception>

#include <QDebug>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QThreadPool>
#include <QtConcurrent>

#include "platformclock.h"

namespace {
constexpr int kSidePx = 64;
// The picture stays at least this long, so it does not merely flicker.
constexpr int kMinShowMs = 100;
const char* const kWaitPicture = "./images/wait.png";
}  // namespace

CComp_DiaWait::CComp_DiaWait(std::function<void()> op, QWidget* parent) : QDialog(parent), operation(std::move(op))
{
    setFixedSize(kSidePx, kSidePx);
    auto* picture = new QLabel(this);
    picture->setPixmap(QPixmap(kWaitPicture));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(picture);
    setWindowFlags(Qt::FramelessWindowHint | Qt::CustomizeWindowHint);
    setAttribute(Qt::WA_TranslucentBackground, true);

    future = QtConcurrent::run(QThreadPool::globalInstance(), [this] {
        PlatformClock::sleepMs(kMinShowMs);
        if (!operation) {
            qWarning() << "wait dialog: empty operation skipped";
        } else {
            try {
                operation();
            } catch (const std::exception& e) {
                qCritical() << "wait dialog: operation failed:" << e.what();
            } catch (...) {
                qCritical() << "wait dialog: operation failed with an unknown exception";
            }
        }
        // Whatever happened, the caller's exec must end.
        QMetaObject::invokeMethod(this, &CComp_DiaWait::finish, Qt::QueuedConnection);
    });
}

CComp_DiaWait::~CComp_DiaWait()
{
    future.waitForFinished();
}

int CComp_DiaWait::exec()
{
    // The finish may have been handled before the caller got here (an event loop ran in
    // between); a modal loop started now would never end.
    if (finished)
        return result();
    return QDialog::exec();
}

void CComp_DiaWait::finish()
{
    finished = true;
    accept();
}

void CComp_DiaWait::reject()
{
    if (finished)
        QDialog::reject();
}
