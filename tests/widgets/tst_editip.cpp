// The IP address editor's parsing and formatting, its dot key, and the date-time editor
// and question box setting the clock through the command runner.
#include <QSignalSpy>
#include <QtTest>

#include "commandrunner.h"
#include "editdatetime.h"
#include "editip.h"
#include "globals.h"
#include "keypadrig.h"
#include "lanstr.h"
#include "modalanswerer.h"
#include "modifytimewidget.h"
#include "platformclock.h"
#include "testsupport.h"

namespace {

QStringList octetTexts(const EditIP& ip)
{
    QStringList t;
    for (Edit* o : ip.octets) t << o->text();
    return t;
}

}  // namespace

class TestEditIP : public QObject
{
    Q_OBJECT

    KeypadRig::Stage stage;

private slots:
    void initTestCase() { stage.start(); }
    void cleanupTestCase() { delete stage.state; }

    void flagChoosesWhereTheKeypadOpens()
    {
        EditIP net("IP", 0, nullptr);
        EditIP card("IP", 1, nullptr);
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(net.octets[i]->type, 9);
            QCOMPARE(card.octets[i]->type, 33);
        }
    }

    void setAddressRules_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("octets");
        const QStringList before = {"9", "9", "9", "9"};
        QTest::newRow("whole") << "192.168.1.10" << QStringList({"192", "168", "1", "10"});
        QTest::newRow("three parts") << "10.0.0" << QStringList({"10", "0", "0", "9"});
        QTest::newRow("empty part") << "1..3.4" << QStringList({"1", "9", "3", "4"});
        QTest::newRow("five parts") << "1.2.3.4.5" << QStringList({"1", "2", "3", "5"});
        QTest::newRow("trailing dot") << "1.2.3.4." << QStringList({"1", "2", "3", "4"});
        QTest::newRow("leading dot") << ".7" << QStringList({"9", "7", "9", "9"});
        QTest::newRow("empty") << "" << before;
        QTest::newRow("too large") << "300.256.1.2" << QStringList({"255", "255", "1", "2"});
        QTest::newRow("not numbers") << "a.b.c.d" << QStringList({"a", "b", "c", "d"});
    }

    void setAddressRules()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, octets);
        EditIP ip("IP", 0, nullptr);
        ip.setAddress("9.9.9.9");
        QSignalSpy changes(&ip, &EditIP::textchange);
        ip.setAddress(text);
        QCOMPARE(octetTexts(ip), octets);
        if (!text.remove('.').isEmpty())
            QVERIFY(changes.count() > 0);
    }

    void getAddressRules()
    {
        EditIP ip("IP", 0, nullptr);
        QCOMPARE(ip.getAddress(), QString("0.0.0.0"));
        ip.octets[0]->setText("192");
        ip.octets[1]->setText("");
        ip.octets[2]->setText("abc");
        ip.octets[3]->setText("300");
        QCOMPARE(ip.octets[3]->text(), QString("255"));
        QCOMPARE(ip.getAddress(), QString("192.0.0.255"));
        QCOMPARE(ip.address, QString("192.0.0.255"));
        ip.octets[1]->setText("1.");
        QCOMPARE(ip.getAddress(), QString("192.1.0.255"));
        ip.octets[1]->setText("-1");
        QCOMPARE(ip.octets[1]->text(), QString("0"));

        QSignalSpy changes(&ip, &EditIP::textchange);
        ip.octets[2]->setText("7");
        QCOMPARE(changes.count(), 1);
        QCOMPARE(changes.at(0).at(0).toString(), QString("192.0.7.255"));
    }

    void octetTypedOnTheKeypadClampsTo255()
    {
        QWidget screen;
        screen.setGeometry(0, 0, 1920, 1080);
        auto* ip = new EditIP("IP", 0, &screen);
        ip->move(100, 100);
        screen.show();
        ip->setAddress("10.0.0.1");
        KeypadRig::tap(ip->octets[3]);
        QCOMPARE(gpNumPad->parentWidget(), &screen);
        KeypadRig::typeDigits("300");
        QCOMPARE(ip->octets[3]->text(), QString("255"));
        QCOMPARE(ip->getAddress(), QString("10.0.0.255"));
        KeypadRig::sendFocusOut(ip->octets[3]);
        gpNumPad->setParent(nullptr);
    }

    void dotMovesToTheNextOctet()
    {
        QWidget screen;
        screen.setGeometry(0, 0, 1920, 1080);
        auto* ip = new EditIP("IP", 0, &screen);
        screen.show();
        QApplication::setActiveWindow(&screen);
        QVERIFY(QTest::qWaitForWindowActive(&screen));
        ip->octets[0]->setFocus();
        ip->octets[1]->setText("5");
        QTest::keyClicks(ip->octets[0], "10.");
        QCOMPARE(ip->octets[1]->text(), QString("0"));
        QVERIFY(ip->octets[1]->hasFocus());
        QCOMPARE(stage.state->curInputEdit, ip->octets[1]);
        QCOMPARE(ip->octets[0]->text(), QString("10."));
        QCOMPARE(ip->getAddress(), QString("10.0.0.0"));
        QTest::keyClicks(ip->octets[1], "1.");
        QVERIFY(ip->octets[2]->hasFocus());
        QTest::keyClicks(ip->octets[2], "2.");
        QVERIFY(ip->octets[3]->hasFocus());
        ip->octets[3]->setText("3");
        QTest::keyClicks(ip->octets[3], ".");
        QVERIFY(ip->octets[3]->hasFocus());  // the last octet has nowhere to go
        QCOMPARE(ip->getAddress(), QString("10.1.2.3"));
        gpNumPad->setParent(nullptr);
        gpNumCharPad->setParent(nullptr);
    }

    void dateTimeEditorShowsTheClock()
    {
        const auto realClock = qScopeGuard([] { PlatformClock::resetNow(); });
        PlatformClock::setNow(QDateTime(QDate(2023, 11, 5), QTime(7, 8, 9)));
        EditDateTime e("Time", nullptr);
        QCOMPARE(e.dateTime, QDateTime(QDate(2023, 11, 5), QTime(7, 8, 9)));
        QCOMPARE(e.captionLabel->text(), QString("Time"));
        QCOMPARE(e.dateEdit->displayFormat(), QString("yyyy-MM-dd"));
        QCOMPARE(e.timeEdit->displayFormat(), QString("HH:mm:ss"));
        QCOMPARE(e.dateEdit->size(), QSize(330, 60));
        QVERIFY(e.timeEdit->styleSheet().startsWith("QTimeEdit::up-button{"));
        QVERIFY(e.dateEdit->styleSheet().contains("url(./images/left.png);width: 60px;height: 60px;"));
        PlatformClock::setNow(QDateTime(QDate(2024, 1, 2), QTime(3, 4, 5)));
        e.ShowDateTime();
        QCOMPARE(e.dateEdit->date(), QDate(2024, 1, 2));
        QCOMPARE(e.timeEdit->time(), QTime(3, 4, 5));
        PlatformClock::resetNow();
    }

    void acceptedTimeBoxSetsTheClockThenTheHardwareClock()
    {
        CommandRunner::clearCalls();
        const auto realClock = qScopeGuard([] { PlatformClock::resetNow(); });
        PlatformClock::setNow(QDateTime(QDate(2024, 2, 29), QTime(23, 59, 59)));
        ModifyTimeWidget box(nullptr);
        QCOMPARE(box.yesButton->text(), QString("Confirm"));
        QCOMPARE(box.noButton->text(), QString("Cancel"));
        QCOMPARE(box.size(), QSize(750, 370));
        QCOMPARE(box.editDateTime->pos(), QPoint(0, 50));

        ModalAnswerer answerer;
        answerer.watch("ModifyTimeWidget", [&box] { return static_cast<QDialog*>(&box); });
        answerer.answer({ModalAnswerer::No, ModalAnswerer::Yes});
        box.editDateTime->ShowDateTime();
        if (box.exec() == 1)
            box.editDateTime->setSysDateTime();
        QVERIFY(CommandRunner::calls().isEmpty());  // declined: the clock stays

        box.editDateTime->ShowDateTime();
        QCOMPARE(box.exec(), 1);
        box.editDateTime->setSysDateTime();
        const QList<CommandCall> calls = CommandRunner::calls();
        QCOMPARE(calls.size(), 2);
        QCOMPARE(calls[0].program, QString("date"));
        QCOMPARE(calls[0].args, QStringList({"-s", "2024-02-29 23:59:59"}));
        QVERIFY(!calls[0].shell);
        QCOMPARE(calls[1].program, QString("hwclock"));
        QCOMPARE(calls[1].args, QStringList({"--systohc"}));
        QVERIFY(!calls[0].executed && !calls[1].executed);
        QCOMPARE(box.editDateTime->dateTime, QDateTime(QDate(2024, 2, 29), QTime(23, 59, 59)));
        PlatformClock::resetNow();
    }

    void failedDateCommandIsNotReported()
    {
        CommandRunner::clearCalls();
        CommandRunner::addAnswer("date", 1, "date: cannot set date");
        EditDateTime e(QString(), nullptr);
        e.dateEdit->setDate(QDate(2030, 12, 31));
        e.timeEdit->setTime(QTime(0, 0, 1));
        e.setSysDateTime();
        QCOMPARE(CommandRunner::callTexts(), QStringList({"date -s 2030-12-31 00:00:01", "hwclock --systohc"}));
        CommandRunner::clearAnswers();
    }
};

MONITOR_TEST_MAIN(TestEditIP)
#include "tst_editip.moc"
