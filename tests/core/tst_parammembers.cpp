// The cycle reads its parameters by member name; each member must be the very value stored
// at the row and position the stored table (and the settings screen) use for it.
#include "testsupport.h"
#include "wizardpara.h"

namespace {

using W = WizardPara;

struct Place
{
    const char* row;
    int position;  // 1-based, as in the stored text
    int* (*member)(W&);
    const char* name;
};

#define PLACE(row, position, member)                             \
    Place                                                        \
    {                                                            \
        row, position, [](W& p) { return &(p.member); }, #member \
    }

// Every row position the detection cycle, the judgement, the outputs and the recognition run
// read, with the member they read it through.
const Place kPlaces[] = {
    PLACE("numFailDetect", 2, moldSide),
    PLACE("system1", 1, semiAuto),
    PLACE("system1", 2, detectProd),
    PLACE("system1", 5, stopClampOnStop),
    PLACE("system1", 6, preCut),
    PLACE("system1", 7, reMoldTimes),
    PLACE("system2", 1, cutEjectorOnClamp),
    PLACE("system2", 5, ejectorPulse),
    PLACE("system2", 6, clampPulse),
    PLACE("system2", 7, ejectorPulseNoAlarm),
    PLACE("system2", 8, cutClampTimedMoldOk),
    PLACE("system2", 9, noEjectorCtrlInProd),
    PLACE("system2", 12, cameraLostAlarm),
    PLACE("system2", 16, screenOffTime),
    PLACE("system2", 18, inputTime),
    PLACE("system3", 11, doorTriggerDetect),
    PLACE("system4", 1, templateAutoUpdate),
    PLACE("system4", 2, filterSize),
    PLACE("system4", 3, filterArea),
    PLACE("system5", 9, okNgPulses),
    PLACE("system5", 11, cutEjectorOnProdAlarm),
    PLACE("system5", 12, externalTrigger),
    PLACE("system5", 13, cutClampOnMoldAlarm),
    PLACE("system6", 9, shakeEraseTime),
    PLACE("system6", 10, useStatistics),
    PLACE("system6", 12, stopDetectPswProtect),
    PLACE("system7", 14, sampleSeparately),
    PLACE("system8", 18, cutEjectorTimedProdOk),
    PLACE("system9", 11, moldNgTimedRelease),
    PLACE("system9", 12, output4Pulse),
    PLACE("system9", 14, noDetectModeRelease),
    PLACE("system9", 15, prodNgNoEjector),
    PLACE("system9", 18, inputResetRecheck),
    PLACE("system11", 17, ioPageFlag),
    PLACE("system12", 18, holdImageAfterAlarm),
    PLACE("system12", 20, separateDetectSignal),
    PLACE("system13", 18, skipProdNgRecheck),
    PLACE("system13", 20, shieldPin),
    PLACE("system14", 1, moldNgPulse),
    PLACE("system14", 2, reMoldDelay),
    PLACE("system14", 3, okMoldNum),
    PLACE("system14", 4, zoomEnable),
    // Per step k: the stage group at system9 k+1, the group's cut mode at system8 k+10.
    PLACE("system9", 1, detectIoRow[0]),
    PLACE("system9", 8, detectIoRow[7]),
    PLACE("system8", 10, ioRowOutMode[0]),
    PLACE("system8", 17, ioRowOutMode[7]),
    // The countdown of step k at trigInDelay k+1.
    PLACE("trigInDelay", 1, trigInDelay[0]),
    PLACE("trigInDelay", 8, trigInDelay[7]),
};

}  // namespace

class TestParamMembers : public QObject
{
    Q_OBJECT

private slots:
    void eachMemberIsTheStoredPosition()
    {
        W para;
        for (const Place& place : kPlaces) {
            const QString where = QString("%1 %2 -> %3").arg(place.row).arg(place.position).arg(place.name);
            QVERIFY2(para.sysParamValue(place.row, place.position) == place.member(para), qPrintable(where));
        }
    }
};

MONITOR_TEST_MAIN(TestParamMembers)
#include "tst_parammembers.moc"
