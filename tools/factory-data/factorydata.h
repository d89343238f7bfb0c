// Writers of the factory databases and files that the monitor finds beside it and never creates.
#pragma once

#include <QString>

namespace FactoryData {

enum class Existing {
    Replace,  // write every file afresh
    Keep,     // leave files that are already there (an operator's settings survive)
};

// PARAM.db: table sysparam with every row at the parameter record's constructor values as
// a load leaves them (language 0), and the empty region tables cammer0..cammer7.
bool writeParamDb(const QString& path);
// SN.db: table sysparam with rows serialNB0..serialNB7 = "0".
bool writeSerialDb(const QString& path);
// RECORD.db / RECORDNULL.db: the empty table RECORD.
bool writeRecordDb(const QString& path);
// ResStatistics.db / ResStatisticsNULL.db: the empty table resstatistics.
bool writeStatisticsDb(const QString& path);
// Everything in the folder: the databases above, paraGroup/default/ with its own PARAM.db
// and SN.db, and sysadd.txt naming no group. False when any file could not be written.
bool writeAll(const QString& dir, Existing existing = Existing::Replace);

}  // namespace FactoryData
