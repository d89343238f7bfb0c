// The painted parameter slider, the zoom slider and the octet editor.
#include <QApplication>
#include <QMouseEvent>
#include <QSignalSpy>

#include "edit.h"
#include "floatslider.h"
#include "globals.h"
#include "ipaddressedite.h"
#include "mainstate.h"
#include "slider.h"
#include "testsupport.h"

namespace {

void send(QWidget* w, QEvent::Type type, int x, int y = 30)
{
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent e(type, QPointF(x, y), button, held, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

// Counts the events that open the keypad for an editor.
class KeypadOpenCounter : public QObject
{
public:
    int focusIns = 0;
    int releases = 0;
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::FocusIn)
            ++focusIns;
        if (e->type() == QEvent::MouseButtonRelease)
            ++releases;
        return false;
    }
};

}  // namespace

class TestSliders : public QObject
{
    Q_OBJECT

    MainState* win = nullptr;

    // The panel's slider as the camera view lays it out: 611 x 60, range 0..100.
    Slider* makePanelSlider(int value = 50)
    {
        auto* s = new Slider(0, 100, 1, value, nullptr, "Sensitivity");
        s->resize(611, 60);
        s->show();
        s->grab();  // one paint places the handle
        return s;
    }

private slots:
    void initTestCase() { win = new MainState; }

    void geometryOfTheWorkedExample()
    {
        QScopedPointer<Slider> s(makePanelSlider());
        QCOMPARE(s->trackLength, 216);
        QCOMPARE(s->startMargin, 6);
        QCOMPARE(s->travel, 200);
        QCOMPARE(s->subButton->geometry(), QRect(240, 10, 70, 41));
        QCOMPARE(s->addButton->geometry(), QRect(541, 10, 70, 41));
        QCOMPARE(s->handleX, 315 + 6 + 100);
        QCOMPARE(QRect(s->handleX, s->handleY, s->handleWidth, s->handleHeight), QRect(421, 3, 10, 54));
        QCOMPARE(s->objectName(), QString("Sensitivity"));
        QCOMPARE(s->addButton->text(), QString("+ 1"));
        QVERIFY(s->addButton->autoRepeat());
        QCOMPARE(s->addButton->autoRepeatDelay(), 300);
        QCOMPARE(s->subButton->autoRepeatInterval(), 50);
    }

    void dragStartsOnlyNearTheHandle()
    {
        QScopedPointer<Slider> s(makePanelSlider());
        for (int x : {400, 451, 330}) {
            send(s.data(), QEvent::MouseButtonPress, x);
            QCOMPARE(s->pressX, -1);
            send(s.data(), QEvent::MouseMove, x + 60);
            QCOMPARE(s->value(), 50);  // no jump to the finger
        }
        for (int x : {401, 450}) {
            send(s.data(), QEvent::MouseButtonPress, x);
            QCOMPARE(s->pressX, x);
            send(s.data(), QEvent::MouseButtonRelease, x);
            QCOMPARE(s->pressX, -1);
        }
    }

    void slowMovementsAddUp()
    {
        QScopedPointer<Slider> s(makePanelSlider());
        send(s.data(), QEvent::MouseButtonPress, 421);
        send(s.data(), QEvent::MouseMove, 422);
        QCOMPARE(s->value(), 50);
        QCOMPARE(s->pressX, 421);  // a step of 0 keeps the press point
        send(s.data(), QEvent::MouseMove, 423);
        QCOMPARE(s->value(), 51);
        QCOMPARE(s->pressX, 423);
        send(s.data(), QEvent::MouseMove, 323);  // 100 px back: half the range
        QCOMPARE(s->value(), 1);
        send(s.data(), QEvent::MouseMove, 100);  // far beyond the start: clamped
        QCOMPARE(s->value(), 0);
        send(s.data(), QEvent::MouseButtonRelease, 100);
        send(s.data(), QEvent::MouseMove, 600);
        QCOMPARE(s->value(), 0);
    }

    void releaseOnTheValueFieldOpensTheKeypad()
    {
        QScopedPointer<Slider> s(makePanelSlider());
        KeypadOpenCounter counter;
        s->valueEdit->installEventFilter(&counter);
        send(s.data(), QEvent::MouseButtonPress, 214);
        send(s.data(), QEvent::MouseButtonRelease, 215);
        QCOMPARE(counter.releases, 0);
        send(s.data(), QEvent::MouseButtonRelease, 214);
        QCOMPARE(counter.focusIns, 1);
        QCOMPARE(counter.releases, 1);
        send(s.data(), QEvent::MouseButtonRelease, 135);
        QCOMPARE(counter.releases, 2);
    }

    void openingTheKeypadKeepsTheValue()
    {
        // The numeric keypad empties its target as it opens; that must not read as 0.
        QScopedPointer<Slider> s(makePanelSlider(37));
        s->valueEdit->setText("37");
        send(s.data(), QEvent::MouseButtonPress, 200);
        send(s.data(), QEvent::MouseButtonRelease, 200);
        QCOMPARE(win->curInputEdit, s->valueEdit);
        QVERIFY(s->valueEdit->text().isEmpty());
        QCOMPARE(s->value(), 37);
        s->valueEdit->setText("64");  // what the keypad types
        QCOMPARE(s->value(), 64);
    }

    void keypadTextSetsTheValue()
    {
        Slider s(10, 200, 1, 50, nullptr, "Area");
        s.SetText("120");
        QCOMPARE(s.value(), 120);
        // The keypad empties the field as it opens: the value stays.
        s.SetText("");
        QCOMPARE(s.value(), 120);
        s.SetText("abc");
        QCOMPARE(s.value(), 10);
        s.SetText("999");
        QCOMPARE(s.value(), 200);
        s.SetText("4000000000");
        QCOMPARE(s.value(), 200);
        s.SetText("-5");
        QCOMPARE(s.value(), 10);
        Slider zero(0, 100, 1, 50, nullptr, "Filter");
        zero.SetText("x");
        QCOMPARE(zero.value(), 0);
    }

    void stepButtonsStayInRange()
    {
        Slider s(0, 10, 1, 9, nullptr, "Filter");
        s.addButton->click();
        s.addButton->click();
        QCOMPARE(s.value(), 10);
        s.Reset(5, 8, 1, 5, "Other");
        s.subButton->click();
        QCOMPARE(s.value(), 5);
        QCOMPARE(s.objectName(), QString("Other"));
        QCOMPARE(s.minimum(), 5);
        QCOMPARE(s.maximum(), 8);
    }

    void degenerateTrackAndRangeAreHarmless()
    {
        // Never resized: no travel yet. A drag must neither divide by zero nor move.
        Slider unsized(0, 100, 1, 50, nullptr, "A");
        send(&unsized, QEvent::MouseButtonPress, 10);
        send(&unsized, QEvent::MouseMove, 400);
        QCOMPARE(unsized.value(), 50);
        unsized.grab();

        // Too narrow for a track, and an empty range.
        Slider narrow(7, 7, 1, 7, nullptr, "B");
        narrow.resize(300, 60);
        narrow.show();
        narrow.grab();
        QCOMPARE(narrow.handleX, 315 + narrow.startMargin);
        send(&narrow, QEvent::MouseButtonPress, narrow.handleX);
        send(&narrow, QEvent::MouseMove, narrow.handleX + 50);
        QCOMPARE(narrow.value(), 7);

        // A reset to a new range ends any drag.
        QScopedPointer<Slider> s(makePanelSlider());
        send(s.data(), QEvent::MouseButtonPress, 421);
        s->Reset(0, 1000, 1, 500, "Area");
        QCOMPARE(s->pressX, -1);
        send(s.data(), QEvent::MouseMove, 500);
        QCOMPARE(s->value(), 500);
    }

    void floatSliderValueAndLabel()
    {
        FloatSlider f(nullptr);
        QSignalSpy spy(&f, &FloatSlider::updateValue);
        f.setValue(2.5f);
        QCOMPARE(f.slider->value(), 2);
        QCOMPARE(f.label->text(), QString("2.50"));
        QCOMPARE(f.value, 2.5f);
        QCOMPARE(spy.size(), 1);
        QCOMPARE(spy.at(0).at(0).toFloat(), 2.0f);
        f.setValue(2.7f);  // same slider position: nothing emitted
        QCOMPARE(spy.size(), 1);
        QCOMPARE(f.label->text(), QString("2.70"));
    }

    void zoomSliderReturnsToItsMinimumWhenIdle()
    {
        // The main window's zoom: divisor 100 over 100..500, factor 1.00 .. 5.00.
        FloatSlider zoom(nullptr);
        zoom.scale = 100.0f;
        zoom.slider->setRange(100, 500);
        QCOMPARE(zoom.idleTimer->interval(), 30000);
        QVERIFY(zoom.idleTimer->isSingleShot());
        zoom.idleTimer->setInterval(60);
        QSignalSpy spy(&zoom, &FloatSlider::updateValue);
        zoom.slider->setValue(300);  // moved by hand
        QCOMPARE(spy.size(), 1);
        QCOMPARE(spy.at(0).at(0).toFloat(), 3.0f);
        QCOMPARE(zoom.label->text(), QString("3.00"));
        QVERIFY(zoom.idleTimer->isActive());
        QTRY_COMPARE(zoom.slider->value(), 100);
        QCOMPARE(spy.size(), 2);
        QCOMPARE(spy.at(1).at(0).toFloat(), 1.0f);
        QCOMPARE(zoom.label->text(), QString("1.00"));
        // Already at the minimum: the next time-out changes nothing and emits nothing.
        zoom.startTimer();
        QTest::qWait(150);
        QCOMPARE(spy.size(), 2);
    }

    void foldButtonTogglesTheSlider()
    {
        FloatSlider f(nullptr);
        f.resize(1000, 35);
        f.show();
        QVERIFY(!f.slider->isHidden());
        f.foldButton->click();
        QVERIFY(f.slider->isHidden());
        f.foldButton->click();
        QVERIFY(!f.slider->isHidden());
        QCOMPARE(f.foldButton->size(), QSize(25, 35));
        QCOMPARE(f.slider->height(), 35);
    }

    void octetEditorReadsAndWritesAddresses()
    {
        IPAddressEdite ip(nullptr);
        QSignalSpy spy(&ip, &IPAddressEdite::sigChangeStr);
        const QStringList fields = {"192", "168", "", "5"};
        for (int i = 0; i < 4; ++i) ip.octets[i]->setText(fields[i]);
        QCOMPARE(ip.getAddress(), QString("192.168..5"));
        QCOMPARE(spy.last().at(0).toString(), QString("192.168..5"));
        ip.setAddress("1");
        QCOMPARE(ip.getAddress(), QString("0.0.0.0"));
        ip.octets[0]->setText("1");
        for (int i = 1; i < 4; ++i) ip.octets[i]->clear();
        QCOMPARE(ip.getAddress(), QString("10.0.0.0"));
        ip.setAddress("10.20.30.40");
        QCOMPARE(ip.getAddress(), QString("10.20.30.40"));
        ip.setAddress("10.0.0");
        QCOMPARE(ip.getAddress(), QString("0.0.0.0"));
        ip.setReadOnly(true);
        QVERIFY(ip.octets[3]->isReadOnly());
    }

    void octetEditorDotMovesToNextField()
    {
        IPAddressEdite ip(nullptr);
        ip.show();
        QApplication::setActiveWindow(&ip);
        QVERIFY(QTest::qWaitForWindowActive(&ip));
        ip.octets[0]->setFocus();
        QTest::keyClicks(ip.octets[0], "12");
        QTest::keyClick(ip.octets[0], Qt::Key_Period, Qt::NoModifier);
        QTRY_VERIFY(ip.octets[1]->hasFocus());
        QCOMPARE(ip.octets[0]->text(), QString("12"));
        QCOMPARE(ip.getAddress(), QString("120.0.0.0"));
    }
};

MONITOR_TEST_MAIN(TestSliders)
#include "tst_sliders.moc"
