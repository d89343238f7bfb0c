// Parameter groups: the current group index in sysadd.txt and its name under ./paraGroup.
#include "wizardpara.h"

#include <QFile>
#include <QStringList>
#include <QTextStream>

namespace {

constexpr char kGroupIndexFile[] = "sysadd.txt";
constexpr char kGroupFolder[] = "./paraGroup";
constexpr char kDefaultGroup[] = "default";
constexpr int kNoGroup = -1;

}  // namespace

void WizardPara::readGroupIndex()
{
    groupIndex = kNoGroup;
    QFile file(QString::fromLatin1(kGroupIndexFile));
    if (file.open(QIODevice::ReadOnly)) {
        QTextStream in(&file);
        in.setIntegerBase(10);
        int index = kNoGroup;
        in >> index;
        // A file that does not start with a number names no group; it must not become group 0.
        if (in.status() == QTextStream::Ok)
            groupIndex = index;
    } else if (file.open(QIODevice::WriteOnly)) {
        file.write(QByteArray::number(groupIndex));
    }
    file.close();
    updateGroupName();
}

void WizardPara::updateGroupName()
{
    groupDir = QDir(QString::fromLatin1(kGroupFolder));
    if (!groupDir.exists())
        groupDir.mkpath(QStringLiteral("."));
    const QStringList groups = groupDir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    groupName =
        groupIndex >= 0 && groupIndex < groups.size() ? groups.at(groupIndex) : QString::fromLatin1(kDefaultGroup);
}

QString WizardPara::getCurGroupName() const
{
    return groupName;
}

void WizardPara::SaveAddFile()
{
    QFile file(QString::fromLatin1(kGroupIndexFile));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return;
    file.write(QByteArray::number(groupIndex) + '\n');
    file.flush();
    file.close();
    updateGroupName();
}
