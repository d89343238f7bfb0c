// The statistics' current group name changes on the GUI thread while the database thread
// reads it: every read must see a whole name.
#include <atomic>
#include <thread>

#include <QtTest>

#include "paragroups.h"
#include "resstatisticsparam.h"
#include "testsupport.h"

class TestAdminGroupName : public QObject
{
    Q_OBJECT

private slots:
    void readsDuringChangesSeeWholeNames()
    {
        ResStatisticsParam* model = ResStatisticsParam::getInstance();
        const QString a = QString("group-A").repeated(8);
        const QString b = QString("group-B").repeated(16);
        std::atomic<bool> stop{false};
        std::atomic<int> torn{0};
        std::atomic<int> reads{0};
        std::atomic<bool> started{false};
        std::thread reader([&] {
            started = true;
            while (!stop) {
                const QString name = model->getCurGroupName();
                if (name != a && name != b && name != QLatin1String("default"))
                    ++torn;
                ++reads;
            }
        });
        while (!started) std::this_thread::yield();
        // Writes until the reader has read often enough (bounded, should it be starved).
        for (int i = 0; i < 20000000 && reads < 100000; ++i)
            ParaGroups::SetStatisticsGroup(i % 2 ? a : QString(b.constData(), b.size()));
        stop = true;
        reader.join();
        QVERIFY(reads > 0);
        QCOMPARE(int(torn), 0);
    }
};

MONITOR_TEST_MAIN(TestAdminGroupName)
#include "tst_admin_groupname.moc"
