// Busy picture shown modally while an operation runs on the global thread pool.
#pragma once

#include <atomic>
#include <functional>

#include <QDialog>
#include <QFuture>

class CComp_DiaWait : public QDialog
{
    Q_OBJECT

public:
    // Starts the operation at once on QThreadPool::globalInstance(). It must not touch
    // widgets. An empty operation is skipped; what it throws is caught and logged.
    CComp_DiaWait(std::function<void()> operation, QWidget* parent);
    // Waits for the worker, so the operation never outlives the dialog.
    ~CComp_DiaWait() override;

    // Shows the picture modally until the operation has returned; returns 1. Returns at
    // once when the operation already finished.
    int exec() override;

    std::function<void()> operation;
    QFuture<void> future;
    std::atomic<bool> finished{false};

public slots:
    void finish();
    // Escape or a close request before the operation has returned is ignored: the caller
    // goes on only once the operation is done with what it shares with it.
    void reject() override;
};
