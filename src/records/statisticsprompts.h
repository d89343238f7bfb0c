// The statistics page's boxes: warning and yes/no boxes of the page's own, shown above it.
#pragma once

#include <QString>

class QWidget;

namespace StatisticsPrompts {
// Object names of the page's boxes.
constexpr const char* kWarnBoxName = "statisticsWarnBox";
constexpr const char* kChooseBoxName = "statisticsChooseBox";
// Every box has `page` as its parent, so that it shows above the full-screen page; without a
// page the operator prompts of the window answer.
// Makes the page's boxes ahead of their first use (hidden).
void makeBoxes(QWidget* page);
// A modal warning; returns once it is confirmed.
void warn(const QString& text, QWidget* page);
// A warning left on screen while the caller goes on; the next warning replaces it.
void notify(const QString& text, QWidget* page);
// A modal yes/no question (750 x 370); true for YES.
bool ask(const QString& text, QWidget* page);
}  // namespace StatisticsPrompts
