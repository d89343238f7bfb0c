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
        SetOperatorPrompts({[this](const QString& text) { warned << text; },
                            [this](const QString& text) {
                                asked << text;
                                return answers.isEmpty() ? false : answers.dequeue();
                            },
                            {}});
    }
    void reset(std::initializer_list<bool> next = {})
    {
        answers = QQueue<bool>();
        for (bool a : next) answers.enqueue(a);
        asked.clear();
        warned.clear();
    }
};
