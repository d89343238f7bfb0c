// Operator prompts for the administration tests: questions answered from a queue (NO when it
// runs dry), every warning and question kept in the order shown.
#pragma once

#include <QQueue>
#include <QStringList>

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
