// The step box: range and the use-0 exception, decimal display, step buttons, typing on
// the keypad through its field, and valueChanged after every change.
#include <QSignalSpy>
#include <QtTest>

#include "editbox.h"
#include "globals.h"
#include "keypadrig.h"
#include "lanstr.h"
#include "testsupport.h"

class TestEditBox : public KeypadRig::StageTest
{
    Q_OBJECT

    EditBox* box(int min, int max, int type = 0, int divisor = 1)
    {
        auto* b = new EditBox(min, max, stage.screen, "Delay", "s", type, divisor);
        b->move(100, 100);
        b->show();
        return b;
    }

private slots:
    void layoutAndCaption()
    {
        EditBox* b = box(0, 100);
        QCOMPARE(b->caption->text(), QString("Delay"));
        QCOMPARE(b->caption->palette().color(QPalette::WindowText), QColor(Qt::yellow));
        QCOMPARE(b->subFiveButton->text(), QString("- 5"));
        QCOMPARE(b->subOneButton->text(), QString("- 1"));
        QCOMPARE(b->addOneButton->text(), QString("+ 1"));
        QCOMPARE(b->addFiveButton->text(), QString("+ 5"));
        // Left to right: caption, -5, -1, field, +1, +5.
        QVERIFY(b->caption->x() < b->subFiveButton->x());
        QVERIFY(b->subFiveButton->x() < b->subOneButton->x());
        QVERIFY(b->subOneButton->x() < b->edit->x());
        QVERIFY(b->edit->x() < b->addOneButton->x());
        QVERIFY(b->addOneButton->x() < b->addFiveButton->x());
        QCOMPARE(b->addOneButton->x() - (b->edit->x() + b->edit->width()), 10);
        for (QPushButton* s : {b->subFiveButton, b->subOneButton, b->addOneButton, b->addFiveButton}) {
            QVERIFY(s->autoRepeat());
            QCOMPARE(s->autoRepeatDelay(), 300);
            QCOMPARE(s->autoRepeatInterval(), 50);
        }
        b->setText("Time");
        b->setLabelColor(Qt::green);
        QCOMPARE(b->caption->text(), QString("Time"));
        QCOMPARE(b->caption->palette().color(QPalette::WindowText), QColor(Qt::green));

        b->setSampleMode();
        QCOMPARE(b->caption->width(), 120);
        QCOMPARE(b->subOneButton->width(), 90);
        QCOMPARE(b->edit->width(), 100);
        QVERIFY(b->subFiveButton->isHidden());
        QVERIFY(b->addFiveButton->isHidden());
        b->setSampleShow();
        QVERIFY(b->subOneButton->isHidden());
        QVERIFY(b->addOneButton->isHidden());
    }

    void rangeAndSteps()
    {
        EditBox* b = box(0, 100);
        QSignalSpy changed(b, &EditBox::valueChanged);
        b->setValue(150);
        QCOMPARE(b->value(), 100);
        QCOMPARE(b->edit->text(), QString("100"));
        b->setValue(-3);
        QCOMPARE(b->value(), 0);
        b->AddFive();
        b->AddOne();
        QCOMPARE(b->value(), 6);
        b->SubFive();
        b->SubFive();
        QCOMPARE(b->value(), 0);
        b->addFiveButton->click();
        QCOMPARE(b->edit->text(), QString("5"));
        QCOMPARE(changed.count(), 7);
        QCOMPARE(changed.last().at(0).toInt(), 5);

        // The same value again is still reported.
        changed.clear();
        b->setValue(5);
        b->setValue(5);
        QCOMPARE(changed.count(), 2);
        QCOMPARE(changed.at(1).at(0).toInt(), 5);
    }

    void zeroBelowTheRangeWithUse0()
    {
        EditBox* b = box(1, 10);
        b->setUse0(true);
        b->setValue(1);
        b->SubOne();
        QCOMPARE(b->value(), 0);
        QCOMPARE(b->edit->text(), QString("0"));
        b->SubOne();  // -1 is below the range and not 0
        QCOMPARE(b->value(), 1);

        EditBox* strict = box(1, 10);
        strict->setValue(0);
        QCOMPARE(strict->value(), 1);
    }

    void decimalDisplay()
    {
        EditBox* b = box(0, 10000, 2, 10);
        QCOMPARE(b->subFiveButton->text(), QString("- 0.5"));
        QCOMPARE(b->subOneButton->text(), QString("- 0.1"));
        QCOMPARE(b->addOneButton->text(), QString("+ 0.1"));
        QCOMPARE(b->addFiveButton->text(), QString("+ 0.5"));
        b->setValue(1234);
        QCOMPARE(b->edit->text(), QString("123.4"));
        QCOMPARE(b->value(), 1234);  // stored unscaled
        b->setValue(10000);
        QCOMPARE(b->edit->text(), QString("1000"));
        b->setValue(9998);
        b->AddFive();
        QCOMPARE(b->value(), 10000);
        QCOMPARE(b->getType(), 2);

        // Types other than 0 and 2 leave the field alone.
        EditBox* odd = box(0, 100, 1);
        odd->edit->setText("x");
        odd->setValue(7);
        QCOMPARE(odd->edit->text(), QString("x"));
        QCOMPARE(odd->value(), 7);
    }

    void typingClampsAfterEveryDigit()
    {
        EditBox* b = box(30, 9999);
        b->setValue(500);
        QSignalSpy changed(b, &EditBox::valueChanged);
        KeypadRig::tap(b->edit);
        QVERIFY(gpNumPad->isVisible());
        QVERIFY(b->edit->text().isEmpty());
        KeypadRig::typeDigits("5");
        QCOMPARE(b->value(), 30);  // clamped at once
        QCOMPARE(b->edit->text(), QString("30"));
        KeypadRig::typeDigits("3");
        QCOMPARE(b->value(), 303);
        gpNumPad->deleteKey->click();
        QCOMPARE(b->value(), 30);
        QCOMPARE(changed.count(), 3);
        KeypadRig::typeDigits("99999999999");  // never overflows: held at the top
        QCOMPARE(b->value(), 9999);
    }

    void typingDecimalsInTenths()
    {
        EditBox* b = box(0, 10000, 2, 10);
        b->setValue(0);
        KeypadRig::tap(b->edit);
        KeypadRig::typeDigits("123");
        QCOMPARE(b->edit->text(), QString("12.3"));
        QCOMPARE(b->value(), 123);
    }

    void focusOutRedrawsFromTheStoredValue()
    {
        EditBox* b = box(30, 9999);
        b->setValue(400);
        QSignalSpy changed(b, &EditBox::valueChanged);
        KeypadRig::tap(b->edit);
        QVERIFY(b->edit->text().isEmpty());
        KeypadRig::sendFocusOut(b->edit);
        QCOMPARE(b->edit->text(), QString("400"));

        // Hardware typing changes only the field.
        b->edit->setText("77");
        QCOMPARE(b->value(), 400);
        b->setInputValue(5);
        QCOMPARE(b->edit->text(), QString("77"));
        KeypadRig::sendFocusOut(b->edit);
        QCOMPARE(b->value(), 30);
        QCOMPARE(b->edit->text(), QString("30"));
        QCOMPARE(changed.count(), 2);
        QCOMPARE(changed.last().at(0).toInt(), 30);
    }

    void heldButtonRepeats()
    {
        EditBox* b = box(0, 1000);
        b->setValue(0);
        QTest::mousePress(b->addOneButton, Qt::LeftButton);
        QTest::qWait(600);
        QTest::mouseRelease(b->addOneButton, Qt::LeftButton);
        // 300 ms to the first repeat, then every 50 ms: several steps, not one.
        QVERIFY2(b->value() >= 3, qPrintable(QString::number(b->value())));
    }
};

MONITOR_TEST_MAIN(TestEditBox)
#include "moc_keypadrig.cpp"
#include "tst_editbox.moc"
