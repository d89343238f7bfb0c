// Parameter groups under ./paraGroup. Names come from the keypad, so they never reach a
// shell line: folders are copied and removed with Qt's file functions.
#include "paragroups.h"

#include <QComboBox>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "commandrunner.h"
#include "filetree.h"
#include "globals.h"
#include "lanstr.h"
#include "operatorprompts.h"
#include "recordsink.h"
#include "resstatisticsparam.h"
#include "systempaths.h"
#include "textids.h"
#include "windowhooks.h"
#include "wizardpara.h"

namespace ParaGroups {
namespace {

constexpr char kFolder[] = "paraGroup";
constexpr char kDefault[] = "default";
constexpr char kParamDb[] = "PARAM.db";
constexpr char kFactoryPackage[] = "paraGroup/default/20clearsh.tar.gz";
constexpr char kUpdatePackage[] = "/root/bin-AOI/newupdate.tar.gz";
// Restored entries are gathered here first, so the working ones are replaced only once the
// whole group has been copied.
constexpr char kStaging[] = ".paraGroup-restore";

constexpr int kTextNameEmpty = 282;
constexpr int kTextAskBackup = 283;
constexpr int kTextAskOverwrite = 284;
constexpr int kTextAskRestore = 285;
constexpr int kTextRestored = 286;
constexpr int kTextAskDelete = 287;
constexpr int kTextRestoreFactory = 551;
constexpr int kTextDefaultForBackup = 653;

QString templateFolder(int camera, int detect)
{
    return QStringLiteral("cammer%1%2").arg(camera).arg(detect);
}

QString groupPath(const QString& name)
{
    return QStringLiteral("%1/%2").arg(QLatin1String(kFolder), name);
}

bool copyTree(const QString& from, const QString& to)
{
    return FileTree::copy(from, to);
}

bool removeTree(const QString& path)
{
    return FileTree::remove(path);
}

// The chosen group becomes the current one in both parameter records and in the statistics.
void makeCurrent(int index)
{
    if (gpWPara) {
        gpWPara->groupIndex = index;
        gpWPara->SaveAddFile();
    }
    const QString name = gpWPara ? gpWPara->getCurGroupName() : QString::fromLatin1(kDefault);
    if (gpWParaBak) {
        gpWParaBak->groupIndex = index;
        gpWParaBak->groupName = name;
    }
    SetStatisticsGroup(name);
}

// Refuses names no group may have; the empty one with the warning the caller gives.
bool refuseName(const QString& name, int emptyText)
{
    if (name.isEmpty()) {
        WarnOperator(LanStr(emptyText));
        return true;
    }
    if (!isSafeName(name)) {
        qWarning().noquote() << "parameter group: refused the name" << name;
        WarnOperator(LanStr(kTextGroupNameUnsafe));
        return true;
    }
    return false;
}

}  // namespace

QString folder()
{
    return QString::fromLatin1(kFolder);
}

QStringList list()
{
    return QDir(folder()).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
}

int indexOf(const QString& name)
{
    return list().indexOf(name);
}

bool isSafeName(const QString& name)
{
    if (name.trimmed().isEmpty())
        return false;
    static const QString kShellCharacters = QStringLiteral("/\\;&|$`'\"<>()*?[]{}!#~%^=,");
    for (const QChar c : name) {
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format ||
            kShellCharacters.contains(c))
            return false;
    }
    // A leading dash would read as an option; a leading dot hides the folder (and is "." or "..").
    return !name.startsWith('-') && !name.startsWith('.') && name == name.trimmed();
}

void FillCombo(QComboBox* combo)
{
    if (!combo)
        return;
    const bool blocked = combo->blockSignals(true);
    combo->clear();
    const QStringList groups = list();
    for (int i = 0; i < groups.size(); ++i) {
        if (groups.at(i) != QLatin1String(kDefault))
            combo->addItem(groups.at(i), i);
    }
    combo->blockSignals(blocked);
}

Result Backup(const QString& name, const Screen& screen)
{
    if (refuseName(name, kTextNameEmpty))
        return Result::Refused;
    if (name == QLatin1String(kDefault)) {
        WarnOperator(LanStr(kTextDefaultForBackup));
        return Result::Refused;
    }
    if (!AskOperator(LanStr(kTextAskBackup)))
        return Result::Cancelled;
    if (screen.accept)
        screen.accept();

    const QString target = groupPath(name);
    const bool existed = list().contains(name);
    if (existed) {
        if (!AskOperator(LanStr(kTextAskOverwrite)))
            return Result::Cancelled;
        removeTree(target);
    }
    bool ok = QDir().mkpath(target);
    for (int c = 1; c <= numCamera; ++c) {
        for (int d = 1; d <= gDNum; ++d) {
            const QString source = templateFolder(c, d);
            if (QFileInfo(source).isDir())
                ok = copyTree(source, target + '/' + source) && ok;
        }
    }
    ok = copyTree(QString::fromLatin1(kParamDb), target + '/' + kParamDb) && ok;
    if (!ok)
        qWarning().noquote() << "parameter group: the backup of" << name << "is incomplete";

    if (!existed && screen.refreshList)
        screen.refreshList();
    const int index = indexOf(name);
    makeCurrent(index);
    if (screen.selectGroup)
        screen.selectGroup(index);
    return ok ? Result::Done : Result::Failed;
}

Result Restore(const QString& name, const Screen&)
{
    if (refuseName(name, kTextGroupNoneChosen))
        return Result::Refused;
    if (!AskOperator(LanStr(kTextAskRestore)))
        return Result::Cancelled;

    // Nothing of the working set is touched unless the group holds all of it.
    const QString source = groupPath(name);
    QStringList missing;
    if (!QFileInfo(source + '/' + kParamDb).isFile())
        missing << QString::fromLatin1(kParamDb);
    for (int c = 1; c <= numCamera; ++c)
        for (int d = 1; d <= gDNum; ++d)
            if (!QFileInfo(source + '/' + templateFolder(c, d)).isDir())
                missing << templateFolder(c, d);
    if (!missing.isEmpty()) {
        qWarning().noquote() << "parameter group" << name << "lacks" << missing.join(' ') << ": not restored";
        WarnOperator(LanStr(kTextGroupIncomplete));
        return Result::Refused;
    }

    removeTree(QString::fromLatin1(kStaging));
    const QStringList entries =
        QDir(source).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name);
    bool copied = QDir().mkpath(QString::fromLatin1(kStaging));
    for (const QString& entry : entries)
        copied = copied && copyTree(source + '/' + entry, QStringLiteral("%1/%2").arg(kStaging, entry));
    if (!copied) {
        removeTree(QString::fromLatin1(kStaging));
        qWarning().noquote() << "parameter group" << name << "could not be copied: not restored";
        WarnOperator(LanStr(kTextGroupIncomplete));
        return Result::Failed;
    }

    if (gpWPara) {
        gpWPara->groupIndex = indexOf(name);
        gpWPara->SaveAddFile();
    }
    for (int c = 1; c <= numCamera; ++c)
        for (int d = 1; d <= gDNum; ++d)
            removeTree(templateFolder(c, d));
    for (const QString& entry : entries) {
        removeTree(entry);
        if (!QFile::rename(QStringLiteral("%1/%2").arg(kStaging, entry), entry))
            qWarning().noquote() << "parameter group: could not put" << entry << "in place";
    }
    removeTree(QString::fromLatin1(kStaging));
    CommandRunner::runLine(QStringLiteral("sync"));

    RecordOperation(LanStr(kTextRestored).arg(name), QStringLiteral("operate"));
    FlushAll();
    CommandRunner::runLine(QStringLiteral("reboot"));
    return Result::Done;
}

Result Delete(const QString& name, const Screen& screen)
{
    if (refuseName(name, kTextGroupNoneChosen))
        return Result::Refused;
    if (name == QLatin1String(kDefault)) {
        WarnOperator(LanStr(kTextGroupDefaultKept));
        return Result::Refused;
    }
    if (!AskOperator(LanStr(kTextAskDelete)))
        return Result::Cancelled;

    const QString current = gpWPara ? gpWPara->getCurGroupName() : QString::fromLatin1(kDefault);
    const bool currentIsDefault = !gpWPara || gpWPara->groupIndex < 0;
    removeTree(groupPath(name));
    // The index is a position in the sorted listing: a group that sorted before the current
    // one moves it, so the current group is found again by its name.
    makeCurrent(current == name || currentIsDefault ? -1 : indexOf(current));
    if (screen.refreshList)
        screen.refreshList();
    return Result::Done;
}

Result RestoreFactorySet()
{
    if (!AskOperator(LanStr(kTextRestoreFactory) + QStringLiteral("?")))
        return Result::Cancelled;
    const QString package = QString::fromLatin1(kFactoryPackage);
    if (!QFileInfo(package).isFile()) {
        qWarning().noquote() << "factory restore: no package" << package;
        WarnOperator(LanStr(kTextFactoryPackageMissing));
        return Result::Refused;
    }
    const QString target = SysPath(QString::fromLatin1(kUpdatePackage));
    QDir().mkpath(QFileInfo(target).absolutePath());
    if (!copyTree(package, target)) {
        qWarning().noquote() << "factory restore: could not copy the package to" << target;
        WarnOperator(LanStr(kTextFactoryPackageMissing));
        return Result::Failed;
    }
    CommandRunner::runLine(QStringLiteral("sync"));
    CommandRunner::runLine(QStringLiteral("reboot"));
    return Result::Done;
}

void SetStatisticsGroup(const QString& name)
{
    ResStatisticsParam::getInstance()->setCurGroupName(name);
}

}  // namespace ParaGroups
