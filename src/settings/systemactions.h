// The settings screen's actions on the whole system: power off, exit, language, clock, touch
// calibration, password, clearing and browsing the operation records, resetting the counters.
// Each takes what only the screen has (its accept, its controls) and returns whether it went
// through; restarts and power-off go through the command runner.
#pragma once

#include <functional>

#include <QString>

class ModifyTimeWidget;
class QWidget;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QSqlTableModel;
class QTableView;

namespace SystemActions {

// The screen's accept: asks about unsaved edits, applies them, hides the screen.
using Accept = std::function<void()>;

// "Shut Down": saves, records, closes the databases, then "reboot" (YES) or "init 0" (NO).
bool ShutDown(const Accept& accept);
// "Exit": records, saves, stops and closes the cameras, ends the process.
bool ExitProgram(const Accept& accept);
// Language combo: a new index within 0 .. itemCount - 1 switches and restarts.
bool ChangeLanguage(int index, int itemCount, const Accept& accept);
// "Modify Time": the box shows the clock; confirmed, the clock is set and the machine restarts.
// The box is a dialog of `page`, closed unsaved when the page is hidden.
bool ModifyTime(ModifyTimeWidget* box, const Accept& accept, const QWidget* page = nullptr);
// "calibrate touch screen": the calibration program, then a restart. No question, no record.
void Calibration();
// "Change PWD": stores the first 32 Latin-1 characters in the edited parameters.
bool ChangePassword(QLineEdit* password, QLineEdit* confirm);
// Not on the screen: with the factory password twice, every operation record is deleted.
bool ClearRecords();
// "Reset Count": the six production counters to zero, written to count.ini.
void ResetTotal();
// "Update PG": nothing to do yet.
void UpdateApp();

}  // namespace SystemActions

namespace RecordBrowser {

// Row 0 today's date (the current RECORD.db), then the daily archives of ./RECORD.
void FillList(QListWidget* list);
// Shows the record file of `item` (row `row` of the list) in `view`, newest first; deletes
// `shown` and returns the new model (null when the file cannot be opened).
QSqlTableModel* Show(QListWidgetItem* item, int row, QTableView* view, QSqlTableModel* shown);

}  // namespace RecordBrowser
