// Password levels: the factory code with and without password use, the hourly form, the
// operator password, the wrong-entry placeholders, the keypad driving the box (also after
// the keypad was destroyed and re-created), and the main window's level checks.
#include <cstring>

#include <QSignalSpy>
#include <QtTest>

#include "globals.h"
#include "keypadrig.h"
#include "lanstr.h"
#include "modalanswerer.h"
#include "mojuwizard.h"
#include "numberinput.h"
#include "passwordbox.h"
#include "platformclock.h"
#include "testsupport.h"
#include "wizardpara.h"

namespace {

const QDateTime kMarch7At9(QDate(2025, 3, 7), QTime(9, 41, 12));

void setOperatorPassword(const char* text)
{
    std::memset(gpWPara->password, 0, sizeof(gpWPara->password));
    std::strncpy(gpWPara->password, text, sizeof(gpWPara->password));
}

// Types `entry` into the shown box and confirms it.
std::function<void(QDialog*)> typeAndConfirm(const QString& entry)
{
    return [entry](QDialog*) {
        gpPasswordBox->passwordEdit->setText(entry);
        gpPasswordBox->confirmButton->click();
    };
}

std::function<void(QDialog*)> cancel()
{
    return [](QDialog*) { gpPasswordBox->cancelButton->click(); };
}

}  // namespace

class TestPassword : public QObject
{
    Q_OBJECT

    KeypadRig::Stage stage;
    MoJuWizard* win = nullptr;  // the level checks are the main window's

    // Runs the box with the answers given and returns exec's result.
    int runBox(std::initializer_list<std::function<void(QDialog*)>> answers)
    {
        ModalAnswerer answerer;
        for (const auto& a : answers) answerer.answerWith(a);
        const int result = gpPasswordBox->exec();
        [&] { QCOMPARE(answerer.pendingAnswers(), 0); }();
        return result;
    }

private slots:
    void initTestCase()
    {
        gpWPara = new WizardPara;
        win = new MoJuWizard(MoJuWizard::LightConstruction{});
        stage.start(win);
        win->setGeometry(0, 0, 1920, 1080);
        win->show();
        gpPasswordBox = new PasswordBox(nullptr);
    }

    void init()
    {
        gpWPara->isPswUsed = 0;
        setOperatorPassword("1234");
        win->pswLevel = 0;
        PlatformClock::setNow(kMarch7At9);
    }

    void cleanup() { PlatformClock::resetNow(); }

    void factoryCodeWithPasswordsOff()
    {
        QCOMPARE(PasswordBox::factoryCode(), QString("8517"));
        QCOMPARE(runBox({typeAndConfirm("8517")}), 1);
        QCOMPARE(win->pswLevel, 2);
        QVERIFY(gpPasswordBox->isHidden());
    }

    void hourlyCodeWithPasswordsOn()
    {
        gpWPara->isPswUsed = 1;
        QCOMPARE(PasswordBox::factoryCode(), QString("8517030709"));

        // The plain code is refused: level 0, field cleared, the wrong-entry placeholder,
        // the box still open for another try.
        bool checkedWhileOpen = false;
        const int refused = runBox({typeAndConfirm("8517"), [&](QDialog* box) {
                                        checkedWhileOpen =
                                            box->isVisible() && win->pswLevel == 0 &&
                                            gpPasswordBox->passwordEdit->text().isEmpty() &&
                                            gpPasswordBox->passwordEdit->placeholderText() == "The password is wrong";
                                        gpPasswordBox->cancelButton->click();
                                    }});
        QCOMPARE(refused, 0);
        QVERIFY(checkedWhileOpen);
        QCOMPARE(win->pswLevel, 0);

        QCOMPARE(runBox({typeAndConfirm("8517030709")}), 1);
        QCOMPARE(win->pswLevel, 2);

        // The code of one hour no longer opens in the next.
        PlatformClock::setNow(kMarch7At9.addSecs(3600));
        QCOMPARE(PasswordBox::factoryCode(), QString("8517030710"));
        QCOMPARE(runBox({typeAndConfirm("8517030709"), cancel()}), 0);
        QCOMPARE(win->pswLevel, 0);
        PlatformClock::setNow(QDateTime(QDate(2025, 12, 31), QTime(23, 5)));
        QCOMPARE(PasswordBox::factoryCode(), QString("8517123123"));
    }

    void operatorPasswordAndItsEdges()
    {
        QCOMPARE(runBox({typeAndConfirm("1234")}), 1);
        QCOMPARE(win->pswLevel, 1);
        // Case and length count.
        QCOMPARE(runBox({typeAndConfirm("12345"), cancel()}), 0);
        QCOMPARE(win->pswLevel, 0);

        // An operator password equal to the factory code gives the factory level.
        setOperatorPassword("8517");
        QCOMPARE(runBox({typeAndConfirm("8517")}), 1);
        QCOMPARE(win->pswLevel, 2);

        setOperatorPassword("");
        QCOMPARE(runBox({typeAndConfirm("")}), 1);
        QCOMPARE(win->pswLevel, 1);
    }

    void storedPasswordIsReadWithinItsField()
    {
        std::memset(gpWPara->password, 'a', sizeof(gpWPara->password));
        gpWPara->days = 0x62626262;  // the field that follows: must not be read
        QCOMPARE(PasswordBox::operatorPassword(), QString(100, 'a'));
        QCOMPARE(runBox({typeAndConfirm(QString(100, 'a'))}), 1);
        QCOMPARE(win->pswLevel, 1);
        gpWPara->days = 0;
    }

    void cancelKeepsTheLevel()
    {
        win->pswLevel = 1;
        QCOMPARE(runBox({cancel()}), 0);
        QCOMPARE(win->pswLevel, 1);
    }

    void placeholdersFollowTheField()
    {
        Edit* field = gpPasswordBox->passwordEdit;
        QStringList seen;
        runBox({[&](QDialog*) {
            seen << field->placeholderText();  // every showing starts empty
            // A wrong entry made with an empty field.
            gpPasswordBox->confirmButton->click();
            seen << field->placeholderText();
            field->setText("1");
            seen << field->placeholderText();
            field->clear();
            seen << field->placeholderText();
            field->setText("1");
            field->clear();
            seen << field->placeholderText();
            field->setText("99");
            gpPasswordBox->hide();
            gpPasswordBox->show();
            seen << field->text() << field->placeholderText();
            gpPasswordBox->cancelButton->click();
        }});
        QCOMPARE(seen, QStringList({"Password:", "The password is wrong", "", "The password is wrong", "Password:", "",
                                    "Password:"}));
    }

    void backgroundTapChecksTheEntry()
    {
        bool wrongShown = false;
        const int result = runBox({[&](QDialog* box) {
                                       gpPasswordBox->passwordEdit->setText("0000");
                                       QTest::mouseClick(box, Qt::LeftButton, Qt::NoModifier, QPoint(20, 20));
                                       wrongShown =
                                           gpPasswordBox->passwordEdit->placeholderText() == "The password is wrong";
                                   },
                                   [](QDialog* box) {
                                       gpPasswordBox->passwordEdit->setText("1234");
                                       QTest::mouseClick(box, Qt::LeftButton, Qt::NoModifier, QPoint(20, 20));
                                   }});
        QCOMPARE(result, 1);
        QVERIFY(wrongShown);
        QCOMPARE(win->pswLevel, 1);
    }

    void typedOnTheKeypadAndEnter()
    {
        Edit* field = gpPasswordBox->passwordEdit;
        bool targetKept = false;
        const int result = runBox({[&](QDialog*) {
            KeypadRig::tap(field);
            QVERIFY(gpNumPad->isVisible());
            QCOMPARE(win->curInputEdit, field);
            KeypadRig::typeDigits("8517");
            gpNumPad->confirmKey->click();
            targetKept = true;
        }});
        QCOMPARE(result, 1);
        QVERIFY(targetKept);
        QCOMPARE(win->pswLevel, 2);
        // Hiding the box ends the entry: no target, no keypad.
        QCOMPARE(win->curInputEdit, static_cast<Edit*>(nullptr));
        QVERIFY(!gpNumPad->isVisible());
    }

    void enterChecksWithAReCreatedKeypad()
    {
        Edit* field = gpPasswordBox->passwordEdit;
        // Destroyed between two showings (the network card dialog closes it).
        delete gpNumPad;
        QVERIFY(gpNumPad);
        QSignalSpy check(gpNumPad, &NumberInput::chkpassword);
        int result = runBox({[&](QDialog*) {
            KeypadRig::tap(field);
            KeypadRig::typeDigits("8517");
            gpNumPad->confirmKey->click();
        }});
        QCOMPARE(result, 1);
        QCOMPARE(check.count(), 1);
        QCOMPARE(win->pswLevel, 2);

        // Destroyed while the box is open: the next tap on the field connects the new one.
        win->pswLevel = 0;
        int checks = 0;
        result = runBox({[&](QDialog*) {
            delete gpNumPad;
            QVERIFY(gpNumPad);
            connect(gpNumPad, &NumberInput::chkpassword, [&checks] { ++checks; });
            KeypadRig::tap(field);
            KeypadRig::typeDigits("1234");
            gpNumPad->confirmKey->click();
        }});
        QCOMPARE(result, 1);
        QCOMPARE(checks, 1);
        QCOMPARE(win->pswLevel, 1);

        // Shown many times, still checked once per Enter: a second check would find the
        // field emptied by the first and leave the wrong-entry flag set.
        runBox({cancel()});
        runBox({cancel()});
        runBox({[&](QDialog*) {
                    KeypadRig::tap(field);
                    KeypadRig::typeDigits("5");
                    gpNumPad->confirmKey->click();
                    QCOMPARE(gpPasswordBox->passwordEdit->placeholderText(), QString("The password is wrong"));
                    QCOMPARE(gpPasswordBox->wrongEntry, 0);
                },
                cancel()});
        QCOMPARE(win->pswLevel, 0);
    }

    void mainWindowLevelChecks()
    {
        // Password use off: level 1 without asking.
        QCOMPARE(win->CheckPassword(), 1);

        gpWPara->isPswUsed = 1;
        win->pswLevel = 2;
        QCOMPARE(win->CheckPassword(), 2);  // logged in: no box
        win->pswLevel = 0;
        {
            // As every other screen's test answers it: through the shared answerer.
            ModalAnswerer answerer;
            answerer.answerPassword("1234");
            QCOMPARE(win->CheckPassword(), 1);
            // The operator level is not enough for root: the box asks again.
            answerer.answer(ModalAnswerer::No);
            QCOMPARE(win->CheckRoot(), false);
            QCOMPARE(win->pswLevel, 1);
            answerer.answerPassword("8517030709");
            QCOMPARE(win->CheckRoot(), true);
            QCOMPARE(win->CheckRoot(), true);  // factory level: no box
            win->pswLevel = 0;
            answerer.answerPassword("8517");
            answerer.answer(ModalAnswerer::No);
            QCOMPARE(win->CheckPassword(), 0);
            QCOMPARE(answerer.pendingAnswers(), 0);
        }
    }
};

MONITOR_TEST_MAIN(TestPassword)
#include "tst_password.moc"
