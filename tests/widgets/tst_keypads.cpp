// The shared keypads: typing into the current target, the replace flag, the alphanumeric
// pages and their toggle texts, layout, Enter, and the main window's re-creation of a
// destroyed keypad.
#include <QSignalSpy>
#include <QtTest>

#include "edit.h"
#include "globals.h"
#include "keypadrig.h"
#include "lanstr.h"
#include "mojuwizard.h"
#include "numberinput.h"
#include "numcharinput.h"
#include "testsupport.h"

namespace {

QString rowText(int firstId, int count)
{
    QString s;
    for (int id = firstId; id < firstId + count; ++id) s += gpNumCharPad->keys[id]->text();
    return s;
}

QStringList pageRows()
{
    return {rowText(0, 11), rowText(11, 10), rowText(21, 9), rowText(30, 7)};
}

int liveKeypads()
{
    int n = 0;
    for (QWidget* w : QApplication::allWidgets())
        if (qobject_cast<NumberInput*>(w))
            ++n;
    return n;
}

}  // namespace

class TestKeypads : public KeypadRig::StageTest
{
    Q_OBJECT

protected:
    // The keypads' owner is the main window: its end takes them along.
    MainState* makeState() override { return new MoJuWizard(MoJuWizard::LightConstruction{}); }

private slots:
    void keyIdsAndLabels()
    {
        // A digit key types the text it shows; its id is only its place.
        for (int i = 0; i < 10; ++i) {
            QCOMPARE(gpNumPad->group->id(gpNumPad->digitKeys[i]), i);
            QCOMPARE(gpNumPad->digitKeys[i]->text(), QString::number((i + 1) % 10));
        }
        QCOMPARE(gpNumPad->digitKeys[9]->geometry(), QRect(111, 157, 100, 70));
        QCOMPARE(gpNumCharPad->group->buttons().size(), 37);
        QCOMPARE(gpNumCharPad->keys[NumCharInput::kEnterKey]->geometry(), QRect(695, 220, 80, 65));
    }

    void numericTypingReplacesThenAppends()
    {
        Edit* e = stage.editAt(5, stage.screen, QRect(100, 100, 200, 50));
        e->setText("42");
        KeypadRig::tap(e);
        QVERIFY(e->text().isEmpty());
        QVERIFY(gpNumPad->replace);
        // Whatever the field holds, the first key replaces it.
        e->setText("42");
        KeypadRig::digitKey(7)->click();
        QCOMPARE(e->text(), QString("7"));
        KeypadRig::digitKey(5)->click();
        QCOMPARE(e->text(), QString("75"));
        gpNumPad->deleteKey->click();
        QCOMPARE(e->text(), QString("7"));
        QVERIFY(!gpNumPad->replace);
        gpNumPad->deleteKey->click();
        QVERIFY(e->text().isEmpty());
        QVERIFY(gpNumPad->replace);  // emptied: armed again
        e->setText("88");
        KeypadRig::digitKey(0)->click();
        QCOMPARE(e->text(), QString("0"));
    }

    void keysWithoutTargetDoNothing()
    {
        stage.state->curInputEdit = nullptr;
        KeypadRig::digitKey(3)->click();
        gpNumPad->deleteKey->click();
        gpNumPad->eraseAll();
        gpNumCharPad->keys[0]->click();
        gpNumCharPad->keys[NumCharInput::kBackKey]->click();
        QVERIFY(gpNumPad->replace);
    }

    void enterHidesAndEndsTheEntry()
    {
        Edit* e = stage.editAt(5, stage.screen, QRect(100, 100, 200, 50));
        QSignalSpy out(e, &Edit::focusOut);
        QSignalSpy check(gpNumPad, &NumberInput::chkpassword);
        QApplication::setActiveWindow(stage.screen);
        QVERIFY(QTest::qWaitForWindowActive(stage.screen));
        e->show();
        e->setFocus();
        QTRY_COMPARE(stage.state->curInputEdit, e);
        KeypadRig::tap(e);
        QVERIFY(gpNumPad->isVisible());
        gpNumPad->confirmKey->click();
        QVERIFY(!gpNumPad->isVisible());
        QCOMPARE(out.count(), 1);
        QCOMPARE(stage.state->curInputEdit, static_cast<Edit*>(nullptr));
        QVERIFY(!e->hasFocus());
        QCOMPARE(check.count(), 0);
    }

    void passwordDigitsAreShuffledOnEveryShowing()
    {
        Edit* pw = stage.editAt(5, stage.screen, QRect(100, 100, 200, 50));
        pw->setEchoMode(QLineEdit::Password);
        QSet<QString> orders;
        for (int showing = 0; showing < 6; ++showing) {
            KeypadRig::tap(pw);
            QString order;
            for (ColorButton* key : gpNumPad->digitKeys) order += key->text();
            QString sorted = order;
            std::sort(sorted.begin(), sorted.end());
            QCOMPARE(sorted, QString("0123456789"));
            orders.insert(order);
            // A key types the digit it shows, not its position.
            KeypadRig::digitKey(4)->click();
            QCOMPARE(pw->text(), QString("4"));
            gpNumPad->hide();
        }
        QVERIFY(orders.size() > 1);

        // A plain edit gets the ordered labels back.
        Edit* plain = stage.editAt(5, stage.screen, QRect(100, 300, 200, 50));
        KeypadRig::sendFocusOut(pw);
        KeypadRig::tap(plain);
        QCOMPARE(gpNumPad->digitKeys[0]->text(), QString("1"));
        QCOMPARE(gpNumPad->digitKeys[9]->text(), QString("0"));
    }

    void randomDigitsAreAPermutation()
    {
        for (int i = 0; i < 50; ++i) {
            QVector<int> d = genRandomNumber();
            std::sort(d.begin(), d.end());
            QCOMPARE(d, QVector<int>({0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
        }
    }

    void charPagesAndToggleTexts()
    {
        Edit* e = stage.editAt(6, stage.screen, QRect(100, 100, 200, 50));
        KeypadRig::tap(e);
        QVERIFY(gpNumCharPad->isVisible());
        QPushButton* caps = gpNumCharPad->keys[NumCharInput::kCapsKey];
        QPushButton* punc = gpNumCharPad->keys[NumCharInput::kPuncKey];
        const QStringList lower = {"1234567890_", "qwertyuiop", "asdfghjkl", "zxcvbnm"};
        const QStringList upper = {"1234567890_", "QWERTYUIOP", "ASDFGHJKL", "ZXCVBNM"};
        const QStringList symbols = {"1234567890_", "-=[]\\;',./", "@#$%^?*()", "`~!{}:\""};
        QCOMPARE(pageRows(), lower);
        QCOMPARE(caps->text(), QString("Lower"));  // English names the current case
        QCOMPARE(punc->text(), QString("symbol"));

        caps->click();
        QCOMPARE(pageRows(), upper);
        QCOMPARE(caps->text(), QString("Capital"));
        caps->click();
        QCOMPARE(pageRows(), lower);
        QCOMPARE(caps->text(), QString("Lower"));

        punc->click();
        QCOMPARE(pageRows(), symbols);
        QCOMPARE(punc->text(), QString("character"));
        QCOMPARE(caps->text(), QString("Lower"));
        // The caps toggle leaves the punctuation page, always into upper case.
        caps->click();
        QCOMPARE(pageRows(), upper);
        QCOMPARE(punc->text(), QString("symbol"));
        punc->click();
        punc->click();
        QCOMPARE(pageRows(), lower);

        caps->click();
        gpNumCharPad->keys[NumCharInput::kEnterKey]->click();
        QVERIFY(!gpNumCharPad->isVisible());
        QCOMPARE(stage.state->curInputEdit, e);  // Enter here keeps the target
        KeypadRig::tap(e);
        QCOMPARE(pageRows(), lower);  // every showing starts on lower case
    }

    void charTypingAndBackspace()
    {
        Edit* e = stage.editAt(6, stage.screen, QRect(100, 100, 200, 50));
        e->setText("ab");
        KeypadRig::tap(e);
        gpNumCharPad->keys[11]->click();  // q
        gpNumCharPad->keys[10]->click();  // _
        QCOMPARE(e->text(), QString("abq_"));
        QCOMPARE(e->cursorPosition(), 4);
        gpNumCharPad->keys[NumCharInput::kCapsKey]->click();
        gpNumCharPad->keys[36]->click();  // M
        QCOMPARE(e->text(), QString("abq_M"));
        gpNumCharPad->keys[NumCharInput::kBackKey]->click();
        QCOMPARE(e->text(), QString("abq_"));
        QCOMPARE(e->cursorPosition(), 3);
        gpNumCharPad->keys[21]->click();  // A: appended at the end all the same
        QCOMPARE(e->text(), QString("abq_A"));
        e->clear();
        gpNumCharPad->keys[NumCharInput::kBackKey]->click();
        QVERIFY(e->text().isEmpty());
        QCOMPARE(e->cursorPosition(), 0);
    }

    void toggleTextsInChinese()
    {
        gLan = 0;
        NumCharInput pad(nullptr);
        pad.show();
        QCOMPARE(pad.keys[NumCharInput::kCapsKey]->text(), QString::fromUtf8("大写"));
        QCOMPARE(pad.keys[NumCharInput::kPuncKey]->text(), QString::fromUtf8("符号"));
        pad.SlotCap();
        QCOMPARE(pad.keys[NumCharInput::kCapsKey]->text(), QString::fromUtf8("小写"));
        QCOMPARE(pad.keys[12]->text(), QString("W"));
        pad.SlotChgChar_Punc();
        QCOMPARE(pad.keys[NumCharInput::kPuncKey]->text(), QString::fromUtf8("字符"));
        gLan = 1;
    }

    void destroyedKeypadIsReplacedAgainAndAgain()
    {
        NumberInput* first = gpNumPad;
        delete gpNumPad;
        QVERIFY(gpNumPad != nullptr);
        QVERIFY(gpNumPad != first);
        QCOMPARE(gpNumPad->parentWidget(), static_cast<QWidget*>(nullptr));
        NumberInput* second = gpNumPad;
        delete gpNumPad;  // the replacement carries the same hook
        QVERIFY(gpNumPad != nullptr);
        QVERIFY(gpNumPad != second);

        delete gpNumCharPad;
        QVERIFY(gpNumCharPad != nullptr);
        delete gpNumCharPad;
        QVERIFY(gpNumCharPad != nullptr);
        QCOMPARE(liveKeypads(), 1);
    }

    void closingWindowTakesItsKeypadsForGood()
    {
        // Near its end the main window adopts both keypads; when it goes, they go with it.
        auto* win = static_cast<MoJuWizard*>(stage.state);
        gpNumPad->setParent(win);
        gpNumCharPad->setParent(win);
        delete win;
        stage.state = nullptr;
        QCOMPARE(gpNumPad, static_cast<NumberInput*>(nullptr));
        QCOMPARE(gpNumCharPad, static_cast<NumCharInput*>(nullptr));
        QCOMPARE(liveKeypads(), 0);
        stage.state = new MoJuWizard(MoJuWizard::LightConstruction{});
        KeypadRig::ensureKeypads();
    }
};

MONITOR_TEST_MAIN(TestKeypads)
#include "moc_keypadrig.cpp"
#include "tst_keypads.moc"
