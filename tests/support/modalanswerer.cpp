// Answers the shared modal boxes in tests.
#include "modalanswerer.h"

#include <QCoreApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QTest>

#include "cameramanager.h"
#include "choosebox.h"
#include "commandrunner.h"
#include "lostcamerawarnbox.h"
#include "operatorboxes.h"
#include "passwordbox.h"
#include "productalarmwarnbox.h"
#include "warnbox.h"

namespace {

constexpr int kPollMs = 5;

bool isWaiting(QDialog* box)
{
    // isHidden, not isVisible: a box re-parented to a hidden main window still runs exec.
    return !box->isHidden() && box->testAttribute(Qt::WA_ShowModal);
}

}  // namespace

ModalAnswerer::ModalAnswerer(int deadlineMs, QObject* parent) : QObject(parent), deadlineMs(deadlineMs)
{
    // The layers below the widgets warn and ask through the installed prompts: a test that
    // answers the boxes wants them shown, as the window installs them.
    InstallOperatorPrompts();
    auto text = [](QDialog* d) { return boxText(d); };
    watch(
        "WarnBox", [] { return static_cast<QDialog*>(gpWarnBox); }, text);
    watch(
        "ChooseBox", [] { return static_cast<QDialog*>(gpChooseBox); }, text);
    watch(
        "LostCameraWarnBox", [] { return static_cast<QDialog*>(gpLostCameraWarnBox); }, text);
    watch(
        "ProductAlarmWarnBox", [] { return static_cast<QDialog*>(gpProductAlarmWarnBox); }, text);
    watch(
        "PasswordBox", [] { return static_cast<QDialog*>(gpPasswordBox); }, text);
    connect(&pollTimer, &QTimer::timeout, this, &ModalAnswerer::poll);
    pollTimer.start(kPollMs);
}

ModalAnswerer::~ModalAnswerer()
{
    for (Watch& w : watches)
        if (QDialog* d = w.box())
            d->removeEventFilter(this);
}

void ModalAnswerer::answer(Answer a)
{
    queue.enqueue({a, {}});
}

void ModalAnswerer::answer(std::initializer_list<Answer> answers)
{
    for (Answer a : answers) answer(a);
}

void ModalAnswerer::answerWith(std::function<void(QDialog*)> action)
{
    queue.enqueue({Yes, std::move(action)});
}

void ModalAnswerer::answerPassword(const QString& entry)
{
    answerWith([this, entry](QDialog* box) {
        auto* password = dynamic_cast<PasswordBox*>(box);
        if (!password) {
            fail(QString("a password was typed into a box that does not ask for one (text: \"%1\")").arg(boxText(box)));
            box->reject();
            return;
        }
        password->passwordEdit->setText(entry);
        password->confirmButton->click();
    });
}

int ModalAnswerer::pendingAnswers() const
{
    return queue.size();
}

void ModalAnswerer::watch(const QString& name, std::function<QDialog*()> box, std::function<QString(QDialog*)> text)
{
    for (int i = 0; i < watches.size(); ++i)
        if (watches[i].name == name)
            watches.removeAt(i--);
    Watch w;
    w.name = name;
    w.box = std::move(box);
    w.text = std::move(text);
    watches.append(w);
}

QList<ModalAnswerer::Shown> ModalAnswerer::shown() const
{
    return shownList;
}

QStringList ModalAnswerer::texts() const
{
    QStringList out;
    for (const Shown& s : shownList) out << s.text;
    return out;
}

void ModalAnswerer::clearShown()
{
    shownList.clear();
}

void ModalAnswerer::setReportFailures(bool report)
{
    reportFailures = report;
}

QStringList ModalAnswerer::failures() const
{
    return failureList;
}

QString ModalAnswerer::boxText(QDialog* box)
{
    if (auto* warn = dynamic_cast<WarnBox*>(box))
        return warn->text();
    if (auto* choose = dynamic_cast<ChooseBox*>(box))
        return choose->text();
    return QString();
}

bool ModalAnswerer::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Show || event->type() == QEvent::Hide) {
        for (Watch& w : watches) {
            QDialog* d = w.box();
            if (d != watched)
                continue;
            if (event->type() == QEvent::Show)
                record(w, d);
            else
                w.open = false;
        }
    }
    return QObject::eventFilter(watched, event);
}

void ModalAnswerer::record(Watch& w, QDialog* box)
{
    const QString text = w.text ? w.text(box) : QString();
    if (w.open && text == w.lastText)
        return;
    w.open = true;
    w.lastText = text;
    shownList.append({w.name, text, box->testAttribute(Qt::WA_ShowModal)});
}

void ModalAnswerer::poll()
{
    for (Watch& w : watches) {
        QDialog* d = w.box();
        if (!d)
            continue;
        // Installing again only moves the filter to the front; globals may be re-created.
        d->installEventFilter(this);
        if (d->isHidden()) {
            w.open = false;
            continue;
        }
        record(w, d);
        if (!isWaiting(d))
            continue;
        if (queue.isEmpty()) {
            if (!w.waiting.isValid())
                w.waiting.start();
            if (w.waiting.elapsed() >= deadlineMs) {
                w.waiting.invalidate();
                fail(QString("%1 waited %2 ms with no answer (text: \"%3\")")
                         .arg(w.name)
                         .arg(deadlineMs)
                         .arg(w.lastText));
                w.open = false;
                d->reject();
            }
            continue;
        }
        w.waiting.invalidate();
        // A box inside a hidden parent gets no Hide event; its next exec is a new showing.
        w.open = false;
        apply(queue.dequeue(), d);
        // One answer per poll: the answered box's loop must end before the next box opens.
        return;
    }
}

void ModalAnswerer::apply(const Entry& entry, QDialog* box)
{
    // Confirming this box powers the machine off: only ever with every command recorded.
    if (dynamic_cast<LostCameraWarnBox*>(box) && entry.kind == Yes && CommandRunner::mode() != CommandRunner::Record) {
        fail("refused to confirm the lost-camera box: commands are not in record mode");
        box->reject();
        return;
    }
    if (entry.action) {
        entry.action(box);
        return;
    }
    auto* warn = dynamic_cast<WarnBox*>(box);
    auto* choose = dynamic_cast<ChooseBox*>(box);
    auto* password = dynamic_cast<PasswordBox*>(box);
    switch (entry.kind) {
        case Yes:
            if (warn)
                warn->confirmButton->click();
            else if (choose)
                choose->yesButton->click();
            else if (password)
                password->confirmButton->click();
            else
                box->accept();
            break;
        case No:
            if (choose)
                choose->noButton->click();
            else if (password)
                password->cancelButton->click();
            else
                box->reject();
            break;
        case Escape: {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
            QCoreApplication::sendEvent(box, &press);
            break;
        }
    }
}

void ModalAnswerer::fail(const QString& message)
{
    failureList << message;
    if (reportFailures)
        QTest::qFail(qPrintable("ModalAnswerer: " + message), __FILE__, __LINE__);
}

void ModalAnswerer::watchCameraCountQuestion()
{
    watch(
        "CountCheckBox", [] { return CameraManager::getInstance()->countCheckBox; }, &ModalAnswerer::boxText);
}
