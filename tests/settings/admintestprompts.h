// Operator prompts for the administration tests: questions answered from a queue (NO when it
// runs dry), every warning and question kept in the order shown.
#pragma once

#include <QQueue>
#include <QString>
#include <QStringList>

#include "commandrunner.h"
#include "operatorprompts.h"

struct AdminPrompts
{
    QQueue<bool> answers;
    QStringList asked;
    QStringList warned;

    void install()
    {
        OperatorPrompts prompts;
        prompts.warn = [this](const QString& text) { warned << text; };
        prompts.note = prompts.warn;
        prompts.ask = [this](const QString& text) {
            asked << text;
            return answers.isEmpty() ? false : answers.dequeue();
        };
        SetOperatorPrompts(std::move(prompts));
    }
    void reset(std::initializer_list<bool> next = {})
    {
        answers = QQueue<bool>();
        for (bool a : next) answers.enqueue(a);
        asked.clear();
        warned.clear();
    }
};

// Records, flushes, questions and commands in the order they happen: each recorded command
// joins the list once a later effect is noted or the list is read.
struct EffectTrace
{
    QStringList entries;

    void note(const QString& what)
    {
        takeCommands();
        entries << what;
    }
    QStringList full()
    {
        takeCommands();
        return entries;
    }
    void clear() { entries.clear(); }

private:
    void takeCommands()
    {
        const QStringList calls = CommandRunner::callTexts();
        int seen = 0;
        for (const QString& t : entries)
            seen += t.startsWith("cmd:") ? 1 : 0;
        for (int i = seen; i < calls.size(); ++i)
            entries << "cmd:" + calls.at(i);
    }
};
