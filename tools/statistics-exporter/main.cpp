// The statistics exporter: for each day file given (one argument, comma-separated paths) it writes one CSV table
// of hourly OK and NG counts into a result folder under ./ResStatistics/ and prints "Done <file>".
#include <cstdio>

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTextStream>
#include <QVariant>

namespace {

const char* const kResultParent = "./ResStatistics";
const char* const kConnection = "day";

// The day document stored in a statistics file (empty when the file holds none yet); false when the file is no
// statistics file.
bool readDay(const QString& path, QJsonObject& day)
{
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", kConnection);
        db.setDatabaseName(path);
        db.setConnectOptions("QSQLITE_OPEN_READONLY");
        if (QFileInfo(path).isFile() && db.open()) {
            QSqlQuery q(db);
            ok = q.exec("select value1 from resstatistics where name='statisticsjson'");
            if (ok && q.next())
                day = QJsonDocument::fromJson(q.value(0).toString().toUtf8()).object();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(kConnection);
    return ok;
}

QString label(int id, const char* all)
{
    return id < 0 ? QString::fromLatin1(all) : QString::number(id + 1);
}

// One row per group, camera, detection and hour: date, group, camera, detection, hour, OK, NG.
bool writeTable(const QJsonObject& day, const QString& file)
{
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text))
        return false;
    QTextStream text(&out);
    text.setCodec("UTF-8");
    text << "date,group,camera,detection,hour,OK,NG\n";
    const QString date = day.value("date").toString();
    for (const QJsonValue& g : day.value("groups").toArray()) {
        const QJsonObject group = g.toObject();
        const int morningStart = group.value("morningStart").toInt(8);
        for (const QJsonValue& c : group.value("datas").toArray()) {
            const QJsonObject camera = c.toObject();
            for (const QJsonValue& d : camera.value("data").toArray()) {
                const QJsonObject detect = d.toObject();
                const QJsonArray ok = detect.value("OK").toArray();
                const QJsonArray ng = detect.value("NG").toArray();
                for (int i = 0; i < qMax(ok.size(), ng.size()); ++i)
                    text << date << ',' << group.value("groupName").toString() << ','
                         << label(camera.value("cameraID").toInt(), "all") << ','
                         << label(detect.value("detectID").toInt(), "cycle") << ',' << (morningStart + i) % 24 << ','
                         << ok.at(i).toInt() << ',' << ng.at(i).toInt() << '\n';
            }
        }
    }
    return text.status() == QTextStream::Ok;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <day file>[,<day file>...]\n", argv[0]);
        return 2;
    }
    const QStringList files = QString::fromLocal8Bit(argv[1]).split(',', Qt::SkipEmptyParts);
    const QString folder =
        QString("%1/statistics_%2").arg(kResultParent, QDateTime::currentDateTime().toString("yyyyMMdd_hhmmss"));
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(folder));
        return 1;
    }
    int failed = 0;
    for (const QString& file : files) {
        QJsonObject day;
        const bool read = readDay(file, day);
        const QString date = day.value("date").toString();
        const QString table = folder + "/" + (date.isEmpty() ? QFileInfo(file).completeBaseName() : date) + ".csv";
        if (!read || !writeTable(day, table)) {
            std::fprintf(stderr, "Failed %s\n", qPrintable(file));
            ++failed;
            continue;
        }
        std::printf("Done %s\n", qPrintable(file));
        std::fflush(stdout);
    }
    return failed == 0 ? 0 : 1;
}
