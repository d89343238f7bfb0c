// Answers the shared modal boxes in tests from a queue, records every text they show,
// and fails the test instead of hanging when a box waits with no answer.
#pragma once

#include <functional>
#include <initializer_list>

#include <QDialog>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QQueue>
#include <QString>
#include <QStringList>
#include <QTimer>

// The shared boxes are reached through their globals (gpWarnBox, gpChooseBox,
// gpLostCameraWarnBox, gpProductAlarmWarnBox, gpPasswordBox): once the main window re-parents them,
// QApplication::activeModalWidget no longer finds them. A box counts as waiting while it
// runs exec (shown and modal); boxes merely shown are recorded but never answered.
class ModalAnswerer : public QObject
{
    Q_OBJECT

public:
    enum Answer {
        No = 0,      // NO button of a yes/no box, Cancel of the password box; reject() of any other
        Yes = 1,     // YES button, or the confirm button of a message or password box
        Escape = 2,  // the Escape key
    };
    static constexpr Answer Confirm = Yes;

    struct Shown
    {
        QString box;   // name of the watched box
        QString text;  // its text when shown
        bool modal;    // shown by exec
    };

    // deadlineMs: how long a box may wait for an answer before the test fails.
    explicit ModalAnswerer(int deadlineMs = 5000, QObject* parent = nullptr);
    ~ModalAnswerer() override;

    void answer(Answer a);
    void answer(std::initializer_list<Answer> answers);
    // A custom answer, e.g. typing into a password box before accepting it.
    void answerWith(std::function<void(QDialog*)> action);
    // Types `entry` into the password box and confirms it (No cancels the box). A wrong
    // entry leaves the box open for the next answer.
    void answerPassword(const QString& entry);
    int pendingAnswers() const;

    // Watches one more box besides the shared ones (a watch of the same name is
    // replaced); `text` may be empty.
    void watch(const QString& name, std::function<QDialog*()> box, std::function<QString(QDialog*)> text = {});
    // Watches the camera manager's full-screen question about the camera count ("CountCheckBox"),
    // which a window built on simulated cameras asks before anything else.
    void watchCameraCountQuestion();

    QList<Shown> shown() const;
    QStringList texts() const;
    void clearShown();

    // Failures go to QtTest unless switched off (for testing the answerer itself).
    void setReportFailures(bool report);
    QStringList failures() const;

    // The text of a WarnBox or ChooseBox (and their subclasses); empty for other dialogs.
    static QString boxText(QDialog* box);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Entry
    {
        Answer kind;
        std::function<void(QDialog*)> action;  // set for custom answers
    };
    struct Watch
    {
        QString name;
        std::function<QDialog*()> box;
        std::function<QString(QDialog*)> text;
        bool open = false;
        QString lastText;
        QElapsedTimer waiting;
    };

    void poll();
    void record(Watch& w, QDialog* box);
    void apply(const Entry& entry, QDialog* box);
    void fail(const QString& message);

    int deadlineMs;
    bool reportFailures = true;
    QTimer pollTimer;
    QQueue<Entry> queue;
    QList<Watch> watches;
    QList<Shown> shownList;
    QStringList failureList;
};
