// The dialogs a full-screen page opens, which give way with the page.
#pragma once

class QDialog;
class QWidget;

namespace PageDialogs {

// Runs `dialog` modally as one that `page` opened. When the page is hidden meanwhile (an NG
// alarm takes the screen and hides the pages over the window) the page calls CloseOf: the
// dialog then closes unsaved, as an open keypad does, and Exec returns QDialog::Rejected.
int Exec(QDialog& dialog, const QWidget* page);

// Rejects every dialog of `page` still running in Exec, the last opened first.
void CloseOf(const QWidget* page);

}  // namespace PageDialogs
