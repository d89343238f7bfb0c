// One USB disk partition as the disk watcher finds it and the image copier follows it.
#pragma once

#include <QMetaType>
#include <QString>
#include <QVector>

struct UPanInfo
{
    QString uuid;       // file-system UUID; names the disk everywhere
    QString byPath;     // left empty by the watcher
    QString label;      // file-system label, empty when it has none
    QString devNode;    // for example /dev/sdb1
    QString fsType;     // left empty by the watcher
    QString bus;        // for example usb
    QString mountPath;  // empty while not mounted
};

Q_DECLARE_METATYPE(UPanInfo)
Q_DECLARE_METATYPE(QVector<UPanInfo>)
