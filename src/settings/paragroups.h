// Parameter groups: named snapshots of PARAM.db and the template folders under ./paraGroup,
// their backup, restore (then a restart), deletion and the factory restore. The settings
// screen calls these from its buttons and hands over what only it knows.
#pragma once

#include <functional>

#include <QString>
#include <QStringList>

class QComboBox;

namespace ParaGroups {

// How an action ended: done, stopped by the operator, or refused before anything changed.
enum class Result { Done, Cancelled, Refused, Failed };

// What the settings screen lends the actions. Every member may be empty (the step is skipped).
struct Screen
{
    std::function<void()> accept;             // applies and saves the edits, hides the screen
    std::function<void()> refreshList;        // refills the group combo (FillCombo)
    std::function<void(int index)> selectGroup;  // the combo selects the group with this index
};

// The group folder, relative to the working directory.
QString folder();
// Sub-directories of ./paraGroup by name, "default" included: position = group index.
QStringList list();
// The group index of a name, -1 when there is no such group.
int indexOf(const QString& name);
// Names a group folder may take: not blank, no path parts ("/", "\\", ".", ".."), no shell
// or control characters. Typed names end up in folder names and, on older panels, in shell lines.
bool isSafeName(const QString& name);

// Refills a combo with every group but "default", each with its group index as item data,
// without emitting its change signals.
void FillCombo(QComboBox* combo);

// The screen's buttons. `name` is the edit's text for the backup and the combo's current
// text for restore and delete.
Result Backup(const QString& name, const Screen& screen);
// On Done the machine is restarting ("reboot" was issued).
Result Restore(const QString& name, const Screen& screen);
Result Delete(const QString& name, const Screen& screen);
Result RestoreFactorySet();

// The statistics' current group name follows the parameters' (safe from the GUI thread).
void SetStatisticsGroup(const QString& name);

// How a finished copy is moved to its name (by default QDir::rename). Tests hand in one
// that refuses, to see what a failing last step leaves; an empty function restores the default.
void SetFolderRename(std::function<bool(const QString& from, const QString& to)> rename);

}  // namespace ParaGroups
