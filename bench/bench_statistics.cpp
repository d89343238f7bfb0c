// Times the HTTP API's statistics query over one year of daily archives (365 day files and the live file).
#include <algorithm>
#include <chrono>
#include <cstdio>

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QVariant>

#include "cameramanager.h"
#include "commandrunner.h"
#include "factory-data/factorydata.h"
#include "globals.h"
#include "platformclock.h"
#include "resstatisticsdatabase.h"
#include "resstatisticsparam.h"

namespace {

constexpr int kDays = 365;
constexpr int kCameras = 4;
constexpr int kDetections = 4;
constexpr int kRuns = 5;

bool storeDay(const QString& file, const QString& text)
{
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "bench");
        db.setDatabaseName(file);
        if (db.open()) {
            QSqlQuery q(db);
            q.prepare("insert into resstatistics (name, value1, value2) values ('statisticsjson', ?, '')");
            q.addBindValue(text);
            ok = q.exec();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase("bench");
    return ok;
}

// Opens every day file and reads its row without parsing: what the file access alone costs.
int readRowsOnly(const QDate& first)
{
    int bytes = 0;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "baseline");
        for (int d = 0; d < kDays; ++d) {
            db.setDatabaseName("ResStatistics/" + first.addDays(d).toString("yyyy-MM-dd") + ".db");
            if (!db.open())
                continue;
            QSqlQuery q(db);
            if (q.exec("select value1 from resstatistics where name='statisticsjson'") && q.next())
                bytes += q.value(0).toString().size();
            q.clear();
            db.close();
        }
    }
    QSqlDatabase::removeDatabase("baseline");
    return bytes;
}

template <typename F>
double bestOf(F f)
{
    double best = 1e12;
    for (int run = 0; run < kRuns; ++run) {
        const auto start = std::chrono::steady_clock::now();
        f();
        best =
            std::min(best, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
}

}  // namespace

int main(int argc, char** argv)
{
    CommandRunner::setMode(CommandRunner::Record);
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid() || !QDir::setCurrent(dir.path()))
        return 1;
    numCamera = kCameras;
    gDNum = kDetections;
    CameraManager::getInstance()->cameras.resize(kCameras);

    // A year of days, every bucket of every entry with one NG and one OK more than its hour.
    const QDate first(2025, 1, 1);
    QDir().mkpath("ResStatistics");
    for (int d = 0; d < kDays; ++d) {
        const QString date = first.addDays(d).toString("yyyy-MM-dd");
        CountGroupList day;
        day.date = date;
        CountGroup group;
        ResStatisticsParam::initStuCountGroup(group, "default");
        for (CountCamera* c : [&group] {
                 QList<CountCamera*> all{&group.all};
                 for (CountCamera& camera : group.cameras) all << &camera;
                 return all;
             }()) {
            for (int h = 0; h < kStatHours; ++h) {
                c->count.OK[h] = h + 1;
                c->count.NG[h] = 1;
                for (CountDetect& e : c->detects) {
                    e.OK[h] = h + 1;
                    e.NG[h] = 1;
                }
            }
        }
        day.groups << group;
        const QString file = "ResStatistics/" + date + ".db";
        const QString text = QString::fromUtf8(QJsonDocument(ResStatisticsParam::StuCountToJson(day)).toJson());
        if (!FactoryData::writeStatisticsDb(file) || !storeDay(file, text))
            return 1;
    }
    FactoryData::writeStatisticsDb("ResStatistics.db");
    PlatformClock::setNow(QDateTime(first.addDays(kDays), QTime(12, 0)));

    int bytes = 0;
    const double baseline = bestOf([&] { bytes = readRowsOnly(first); });
    QJsonObject result;
    const double query = bestOf([&] {
        result = QJsonObject();
        ResStatisticsDatabase::loadCount("2025-01-01 08:00:00", "2025-12-31 23:59:59", result, "default");
    });

    // Sanity: one element per hour of the window, each all = NG + OK = 1 + (bucket + 2).
    const QJsonArray all = result["detect_all"].toArray();
    long long total = 0;
    for (const QJsonValue& v : all) total += v.toInt();
    long long expected = 0;
    for (int i = 0; i < all.size(); ++i) expected += (i % kStatHours) + 2;
    std::printf("statistics query: %d day files of %d cameras x %d detections, %d kB of documents\n", kDays, kCameras,
                kDetections, bytes / 1024);
    std::printf("  window 2025-01-01 08:00 .. 2025-12-31 23:59: %d hours per series (%s), sum %lld (expected %lld)\n",
                int(all.size()), all.size() == 364 * 24 + 16 ? "as expected" : "UNEXPECTED", total, expected);
    std::printf("  baseline, open and read every day's row:  %8.1f ms\n", baseline);
    std::printf("  query (best of %d):                        %8.1f ms\n", kRuns, query);
    return all.size() == 364 * 24 + 16 && total == expected ? 0 : 1;
}
