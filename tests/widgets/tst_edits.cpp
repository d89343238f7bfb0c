// Line edits: range rule, keypad input, input target, keypad choice and placement in
// every container kind, hardware keys; the step box's field; the check box.
#include <QDialog>
#include <QKeyEvent>
#include <QSignalSpy>
#include <QtTest>

#include "checkbox.h"
#include "edit.h"
#include "editbox.h"
#include "editparam.h"
#include "globals.h"
#include "keypadrig.h"
#include "lanstr.h"
#include "networksettingdialog.h"
#include "numberinput.h"
#include "numcharinput.h"
#include "testsupport.h"


namespace {

constexpr int kNumPadW = 427;
constexpr int kNumPadH = 230;

QWidget* page(QWidget* parent, const QRect& geometry)
{
    auto* w = new QWidget(parent);
    w->setGeometry(geometry);
    return w;
}

}  // namespace

class TestEdits : public KeypadRig::StageTest
{
    Q_OBJECT

private slots:
    void rangeClampsSwapsAndDropsLeadingZeros()
    {
        Edit e(5, nullptr, 1);
        e.setText("abc");
        QCOMPARE(e.text(), QString("abc"));  // no range: anything stays
        e.setText("007");
        QCOMPARE(e.text(), QString("007"));

        e.setRange(10, 5);
        e.setText("12");
        QCOMPARE(e.text(), QString("10"));
        QCOMPARE(e.minValue, 5);
        QCOMPARE(e.maxValue, 10);
        e.setText("3");
        QCOMPARE(e.text(), QString("5"));
        e.setText("007");
        QCOMPARE(e.text(), QString("7"));
        e.setText("abc");
        QCOMPARE(e.text(), QString("abc"));
        QCOMPARE(e.value(), 0);
        // A number past int is no int: it stays as typed, and its value reads as 0.
        e.setText("99999999999");
        QCOMPARE(e.text(), QString("99999999999"));
        QCOMPARE(e.value(), 0);

        e.setValue(123.4);  // not an integer: the range leaves it
        QCOMPARE(e.text(), QString("123.4"));
        Edit d(5, nullptr, 1);
        d.setValue(123.4);
        QCOMPARE(d.text(), QString("123.4"));
        d.setValue(1234567.0);
        QCOMPARE(d.text(), QString("1.23457e+06"));
    }

    void keypadInputAppendsReplacesAndDeletes()
    {
        Edit e(5, nullptr, 1);
        e.setText("4");
        e.addValue("2", false);
        QCOMPARE(e.text(), QString("42"));
        QCOMPARE(e.cursorPosition(), 2);
        e.addValue("7x", true);
        QCOMPARE(e.text(), QString("7"));
        e.addValue(QString(), false);
        QCOMPARE(e.text(), QString("7"));

        bool emptied = false;
        e.setText("12");
        e.deleteValue(emptied);
        QCOMPARE(e.text(), QString("1"));
        QVERIFY(!emptied);
        e.deleteValue(emptied);
        QVERIFY(e.text().isEmpty());
        QVERIFY(emptied);
        emptied = false;
        e.deleteValue(emptied);
        QVERIFY(e.text().isEmpty());
        QVERIFY(emptied);
    }

    void focusSetsAndClearsTheTarget()
    {
        Edit* a = stage.editAt(5, stage.screen, QRect(100, 100, 200, 50));
        Edit* b = stage.editAt(6, stage.screen, QRect(100, 300, 200, 50));
        KeypadRig::tap(a);
        QCOMPARE(stage.state->curInputEdit, a);
        QVERIFY(gpNumPad->isVisible());
        // Tapping another edit: the old one loses focus first, then the new one takes it.
        KeypadRig::sendFocusOut(a);
        QCOMPARE(stage.state->curInputEdit, static_cast<Edit*>(nullptr));
        QVERIFY(!gpNumPad->isVisible());
        KeypadRig::tap(b);
        QCOMPARE(stage.state->curInputEdit, b);
        QVERIFY(gpNumCharPad->isVisible());
        QVERIFY(!gpNumPad->isVisible());

        // A release without a target opens nothing.
        KeypadRig::sendFocusOut(b);
        QMouseEvent release(QEvent::MouseButtonRelease, QPointF(0, 0), Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(a, &release);
        QVERIFY(!gpNumPad->isVisible());
        QVERIFY(!gpNumCharPad->isVisible());
    }

    void numericPadEmptiesTheFieldCharPadKeepsIt()
    {
        Edit* num = stage.editAt(5, stage.screen, QRect(100, 100, 200, 50));
        Edit* chars = stage.editAt(6, stage.screen, QRect(100, 300, 200, 50));
        num->setText("42");
        chars->setText("abc");
        KeypadRig::tap(num);
        QVERIFY(num->text().isEmpty());
        num->setText("9");
        // Placed again on every release, and erased again with it.
        QMouseEvent release(QEvent::MouseButtonRelease, QPointF(0, 0), Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(num, &release);
        QVERIFY(num->text().isEmpty());
        KeypadRig::sendFocusOut(num);
        KeypadRig::tap(chars);
        QCOMPARE(chars->text(), QString("abc"));
    }

    void passwordFieldEmptiesAndStaysTarget()
    {
        Edit* pw = stage.editAt(5, stage.screen, QRect(100, 100, 200, 50));
        pw->setEchoMode(QLineEdit::Password);
        pw->setText("secret");
        KeypadRig::tap(pw);
        QVERIFY(pw->text().isEmpty());
        QCOMPARE(pw->placeholderText(), QString("Password:"));
        QCOMPARE(stage.state->curInputEdit, pw);
        QVERIFY(!pw->hasFocus());
        QVERIFY(gpNumPad->isVisible());

        // Its screen goes while the keypad is up: no focus-out comes, the target must go.
        delete pw;
        QCOMPARE(stage.state->curInputEdit, static_cast<Edit*>(nullptr));
        KeypadRig::digitKey(1)->click();
        gpNumPad->deleteKey->click();
    }

    void placementBelowBesideAndAbove_data()
    {
        QTest::addColumn<QRect>("edit");
        QTest::addColumn<QPoint>("pad");
        QTest::newRow("below") << QRect(300, 200, 150, 50) << QPoint(300, 255);
        QTest::newRow("shifted left at the right edge") << QRect(1700, 200, 150, 50) << QPoint(1920 - kNumPadW, 255);
        // top + pad height >= gShowH - 49: above, 45 px higher still (covers the edit's top).
        QTest::newRow("above near the foot") << QRect(300, 900, 150, 50) << QPoint(300, 900 - 220);
        QTest::newRow("just clear of the foot") << QRect(300, 745, 150, 50) << QPoint(300, 800);
        QTest::newRow("just at the foot") << QRect(300, 746, 150, 50) << QPoint(300, 746 - 220);
    }

    void placementBelowBesideAndAbove()
    {
        QFETCH(QRect, edit);
        QFETCH(QPoint, pad);
        Edit* e = stage.editAt(5, stage.screen, edit);
        KeypadRig::tap(e);
        QCOMPARE(gpNumPad->parentWidget(), stage.screen);
        QCOMPARE(gpNumPad->pos(), pad);
        QVERIFY(gpNumPad->isVisible());
    }

    void placementClampsToTheContainerFoot()
    {
        QWidget* small = page(stage.screen, QRect(0, 0, 1000, 600));
        Edit* e = stage.editAt(5, small, QRect(100, 500, 150, 50));
        KeypadRig::tap(e);
        QCOMPARE(gpNumPad->parentWidget(), small);
        QCOMPARE(gpNumPad->pos(), QPoint(100, 600 - kNumPadH));
    }

    void stepBoxFieldOpensInTheBoxParent()
    {
        auto* box = new EditBox(0, 100, stage.screen, "Delay", "s");
        box->move(300, 200);
        box->setValue(12);
        stage.screen->layout();
        QApplication::processEvents();
        EditParam* field = box->edit;
        KeypadRig::tap(field);
        QCOMPARE(gpNumPad->parentWidget(), stage.screen);
        QCOMPARE(gpNumPad->pos(), QPoint(300 + field->x(), 200 + field->y() + field->height() + 5));
        QVERIFY(field->text().isEmpty());
        QCOMPARE(box->value(), 12);  // opening empties the field, not the value

        KeypadRig::sendFocusOut(field);
        box->move(1800, 200);
        KeypadRig::tap(field);
        QCOMPARE(gpNumPad->x(), 1920 - kNumPadW);
    }

    void threeLevelsUp()
    {
        QWidget* outer = page(stage.screen, QRect(10, 20, 1800, 1000));
        QWidget* middle = page(outer, QRect(30, 40, 1000, 800));
        QWidget* inner = page(middle, QRect(50, 60, 600, 400));
        Edit* e = stage.editAt(16 | 1, inner, QRect(5, 7, 150, 50));
        KeypadRig::tap(e);
        QCOMPARE(gpNumPad->parentWidget(), outer);
        QCOMPARE(gpNumPad->pos(), QPoint(5 + 50 + 30, 7 + 50 + 5 + 60 + 40));
    }

    void missingAncestorFallsBackToTheParent()
    {
        Edit* e = stage.editAt(8 | 1, stage.screen, QRect(5, 7, 150, 50));  // stage.screen has no parent
        KeypadRig::tap(e);
        QCOMPARE(gpNumPad->parentWidget(), stage.screen);
        QCOMPARE(gpNumPad->pos(), QPoint(5, 62));
    }

    void networkDialogPlacement()
    {
        // The keypad of the card dialog's octets is shown in the network settings dialog,
        // found by its class name.
        NetworkSettingDialog net(nullptr);
        net.setGeometry(100, 50, 1000, 900);
        net.show();
        QDialog card(&net);
        card.setGeometry(300, 700, 400, 300);
        card.show();
        Edit* low = stage.editAt(33, &card, QRect(20, 120, 80, 50));  // at (220, 770) in the dialog
        Edit* high = stage.editAt(33, &card, QRect(20, 10, 80, 50));  // at (220, 660)
        QVERIFY(QTest::qWaitForWindowExposed(&card));

        KeypadRig::tap(high);
        QCOMPARE(gpNumPad->parentWidget(), static_cast<QWidget*>(&net));
        QCOMPARE(gpNumPad->pos(), QPoint(220, 660 + 55));
        KeypadRig::sendFocusOut(high);
        // Near the foot: above the edit, 5 px clear of it.
        KeypadRig::tap(low);
        QCOMPARE(gpNumPad->pos(), QPoint(220, 770 - kNumPadH - 5));
        KeypadRig::sendFocusOut(low);
        gpNumPad->setParent(nullptr);
    }

    void lostKeypadComesBackWithTheNextEvent()
    {
        Edit* e = stage.editAt(5, stage.screen, QRect(100, 100, 200, 50));
        // The network stage.screen closes the keypad and empties the global.
        NumCharInput* old = gpNumCharPad;
        gpNumCharPad = nullptr;
        // The event that finds a keypad missing only brings it back.
        QFocusEvent in(QEvent::FocusIn, Qt::MouseFocusReason);
        QApplication::sendEvent(e, &in);
        QVERIFY(gpNumCharPad != nullptr);
        QVERIFY(gpNumCharPad != old);
        QCOMPARE(stage.state->curInputEdit, static_cast<Edit*>(nullptr));
        KeypadRig::tap(e);
        QCOMPARE(stage.state->curInputEdit, e);
        NumCharInput* fresh = gpNumCharPad;
        delete old;  // the old keypad's hook finds the global filled: nothing new
        QCOMPARE(gpNumCharPad, fresh);
        // A keypad deleted anywhere leaves no dangling global behind.
        delete gpNumCharPad;
        QVERIFY(gpNumCharPad != fresh);
    }

    void hardwareKeys()
    {
        Edit* e = stage.editAt(5, stage.screen, QRect(100, 100, 200, 50));
        QSignalSpy dot(e, &Edit::sig_Dot);
        QTest::keyClick(e, '.');
        QCOMPARE(dot.count(), 1);
        QCOMPARE(e->text(), QString("."));  // the line edit still types it

        // Return opens the keypad, and on an open keypad works as its Enter.
        KeypadRig::tap(e);
        gpNumPad->hide();
        QTest::keyClick(e, Qt::Key_Return);
        QVERIFY(gpNumPad->isVisible());
        QTest::keyClick(e, Qt::Key_Return);
        QVERIFY(!gpNumPad->isVisible());
    }

    void unitFollowsTheCentredNumber()
    {
        EditBox box(0, 1000, nullptr, "Delay", "ms");
        EditParam* field = box.edit;
        QVERIFY(field->unitLabel);
        QCOMPARE(field->unitLabel->size(), QSize(2 * 27 + 10, 50));
        QCOMPARE(field->textMargins().right(), 64);
        box.setValue(123);
        QCOMPARE(field->width(), 150);
        QCOMPARE(field->labelX, ((150 - 64) + 40) / 2);
        QCOMPARE(field->unitLabel->pos(), QPoint(63, 1));

        EditBox bare(0, 1000, nullptr, "Count");
        QVERIFY(!bare.edit->unitLabel);
        bare.edit->ChangeLabelP("12");
        QCOMPARE(bare.edit->labelX, 0);
    }

    void checkBoxReadsAndWritesIntegers()
    {
        CheckBox box(nullptr, "Enable");
        QSignalSpy changed(&box, &QCheckBox::stateChanged);
        box.setValue(5);
        QCOMPARE(box.value(), 1);
        box.setValue(0);
        QCOMPARE(box.value(), 0);
        box.setValue(-1);
        QCOMPARE(box.value(), 1);
        QCOMPARE(changed.count(), 3);
        box.setTristate(true);
        box.setCheckState(Qt::PartiallyChecked);
        QCOMPARE(box.value(), 0);
        QCOMPARE(box.text(), QString("Enable"));
        QCOMPARE(box.palette().color(QPalette::WindowText), QColor(Qt::yellow));
    }
};

MONITOR_TEST_MAIN(TestEdits)
#include "moc_keypadrig.cpp"
#include "tst_edits.moc"
