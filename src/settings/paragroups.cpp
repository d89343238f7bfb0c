// Parameter groups under ./paraGroup. Names come from the keypad, so they never reach a
// shell line: folders are copied and removed with Qt's file functions.
#include "paragroups.h"

#include <functional>
#include <utility>

#include <QComboBox>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>

#include "commandrunner.h"
#include "filetree.h"
#include "globals.h"
#include "lanstr.h"
#include "monitorlimits.h"
#include "operatorprompts.h"
#include "platformclock.h"
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
// whole group has been copied; a backup is gathered the same way before it takes its name.
constexpr char kStaging[] = ".paraGroup-restore";
constexpr char kBackupStaging[] = ".paraGroup-backup";
constexpr char kReplaced[] = ".paraGroup-replaced";
constexpr char kCheckConnection[] = "paraGroupCheck";

constexpr int kTextNameEmpty = 282;
constexpr int kTextAskBackup = 283;
constexpr int kTextAskOverwrite = 284;
constexpr int kTextAskRestore = 285;
constexpr int kTextRestored = 286;
constexpr int kTextAskDelete = 287;
constexpr int kTextRestoreFactory = 551;
constexpr int kTextDefaultForBackup = 653;
constexpr int kTextBackupFailed = 707;

// Machine modes as the parameter database stores them, and how many detections each has.
constexpr int kModeMultiDetect = 3;
constexpr int kStandardDetections = 2;
constexpr int kSidedDetections = 4;
constexpr int kMinMultiDetections = 2;

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

// Value `position` (1-based) of a sysparam row, or `fallback` when the row lacks it.
int storedValue(QSqlQuery& query, const char* row, int position, int fallback)
{
    query.prepare(QStringLiteral("select value from sysparam where name=?"));
    query.addBindValue(QString::fromLatin1(row));
    if (!query.exec() || !query.next())
        return fallback;
    bool ok = false;
    const int value = query.value(0).toString().split(' ', Qt::SkipEmptyParts).value(position - 1).toInt(&ok);
    return ok ? value : fallback;
}

// How many detections the group's parameters give the machine, read the way the next start
// reads them; -1 when its PARAM.db is no parameter database (then restoring it would start
// the machine on built-in defaults).
int groupDetections(const QString& paramDb)
{
    int detections = -1;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QString::fromLatin1(kCheckConnection));
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        db.setDatabaseName(paramDb);
        if (QFileInfo(paramDb).isFile() && db.open() && db.tables().contains(QStringLiteral("sysparam"))) {
            QSqlQuery query(db);
            const uint mode = uint(storedValue(query, "numFailDetect", 1, 0));
            const uint count = uint(storedValue(query, "system8", 1, kMinMultiDetections));
            if (mode == kModeMultiDetect)
                detections = count >= kMinMultiDetections && count <= kMaxDetections ? int(count) : kMinMultiDetections;
            else
                detections = mode == 0 || mode > kModeMultiDetect ? kStandardDetections : kSidedDetections;
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(QString::fromLatin1(kCheckConnection));
    return detections;
}

std::function<bool(const QString&, const QString&)> gFolderRename;

bool renameFolder(const QString& from, const QString& to)
{
    return gFolderRename ? gFolderRename(from, to) : QDir().rename(from, to);
}

// Puts a finished copy in place of `target`; an old folder of that name goes only once the
// new one stands.
bool moveInPlace(const QString& staging, const QString& target)
{
    const QString aside = QString::fromLatin1(kReplaced);
    // Whatever still lies aside is an old group an earlier move could not put back (or one cut
    // off before its copy stood): it is kept under a name of its own, never removed unseen.
    if (QFileInfo::exists(aside)) {
        const QString kept = aside + PlatformClock::now().toString(QStringLiteral("-yyyyMMdd-hhmmss-zzz"));
        if (!renameFolder(aside, kept))
            return false;
        qWarning().noquote() << "parameter group: an old group left aside by an earlier backup is kept in" << kept;
    }
    const bool replacing = QFileInfo::exists(target);
    if (replacing && !renameFolder(target, aside))
        return false;
    if (!renameFolder(staging, target)) {
        if (replacing && !renameFolder(aside, target))
            qCritical().noquote() << "parameter group: the old" << target << "could not be put back; it lies in"
                                  << aside;
        return false;
    }
    removeTree(aside);
    return true;
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
    if (existed && !AskOperator(LanStr(kTextAskOverwrite)))
        return Result::Cancelled;
    // The copy is made aside and takes the group's name only when whole: a failed backup
    // leaves no partial group behind, an overwritten group stays until the new one stands,
    // and the current group stays current.
    const QString staging = QString::fromLatin1(kBackupStaging);
    removeTree(staging);
    bool ok = QDir().mkpath(staging) && QDir().mkpath(folder());
    for (int c = 1; c <= numCamera; ++c) {
        for (int d = 1; d <= gDNum; ++d) {
            const QString source = templateFolder(c, d);
            if (QFileInfo(source).isDir())
                ok = copyTree(source, staging + '/' + source) && ok;
        }
    }
    ok = copyTree(QString::fromLatin1(kParamDb), staging + '/' + kParamDb) && ok;
    ok = ok && moveInPlace(staging, target);
    if (!ok) {
        removeTree(staging);
        qWarning().noquote() << "parameter group: the backup of" << name << "failed, nothing was kept";
        WarnOperator(LanStr(kTextBackupFailed));
        return Result::Failed;
    }

    if (!existed && screen.refreshList)
        screen.refreshList();
    const int index = indexOf(name);
    makeCurrent(index);
    if (screen.selectGroup)
        screen.selectGroup(index);
    return Result::Done;
}

Result Restore(const QString& name, const Screen&)
{
    if (refuseName(name, kTextGroupNoneChosen))
        return Result::Refused;
    if (!AskOperator(LanStr(kTextAskRestore)))
        return Result::Cancelled;

    // Nothing of the working set is touched unless the group holds all of it: a parameter
    // database, and the template folder of every camera for each detection it has. A group
    // backed up with fewer detections replaces only those; the others keep their teaching.
    const QString source = groupPath(name);
    QStringList missing;
    const int detections = groupDetections(source + '/' + kParamDb);
    if (detections < 0)
        missing << QString::fromLatin1(kParamDb);
    for (int c = 1; c <= numCamera; ++c)
        for (int d = 1; d <= detections; ++d)
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
    // one moves it, so the current group is found again by its name (-1, "default", when it
    // was the one deleted).
    makeCurrent(currentIsDefault ? -1 : indexOf(current));
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

void SetFolderRename(std::function<bool(const QString& from, const QString& to)> rename)
{
    gFolderRename = std::move(rename);
}

}  // namespace ParaGroups
