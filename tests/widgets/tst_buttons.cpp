// Buttons, combo boxes, status label, dialog frames and the style-sheet service.
#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QSignalSpy>
#include <QTimer>

#include "c_type_com.h"
#include "ccomp_dialogframe.h"
#include "ccomp_editcombobox.h"
#include "ccomp_labstatus.h"
#include "ccomp_moredialog.h"
#include "ccomp_simpmsgbox.h"
#include "colorbutton.h"
#include "combobox.h"
#include "globals.h"
#include "mulcheckbox.h"
#include "testsupport.h"
#include "textshowwidget.h"

namespace {

// Runs `action` on the dialog once its modal loop is running.
template <typename Action>
void whenShown(QDialog* dialog, Action action)
{
    auto* timer = new QTimer(dialog);
    QObject::connect(timer, &QTimer::timeout, dialog, [dialog, timer, action] {
        if (!dialog->isVisible())
            return;
        timer->stop();
        action();
    });
    timer->start(5);
}

// A frame whose OK checks its input first, as the network dialogs do.
class CheckingFrame : public CComp_DialogFrame
{
public:
    CheckingFrame() : CComp_DialogFrame("Net_Card Setting", nullptr) {}
    int checks = 0;
    void acceptDialog() override
    {
        ++checks;
        CComp_DialogFrame::acceptDialog();
    }
};

}  // namespace

class TestButtons : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { gLan = 0; }

    void colorButtonFontFollowsSizeClassAndLanguage()
    {
        const struct
        {
            int sizeClass, lan, px;
        } rows[] = {{3, 0, 27}, {3, 1, 22}, {3, 3, 22}, {4, 0, 33}, {4, 2, 30}, {1, 0, 25}, {5, 1, 25}};
        for (const auto& r : rows) {
            gLan = r.lan;
            ColorButton b("OK", nullptr, r.sizeClass);
            QVERIFY2(b.styleSheet().contains(QString("font-size:%1px;").arg(r.px)),
                     qPrintable(QString("class %1 language %2").arg(r.sizeClass).arg(r.lan)));
            QCOMPARE(b.sizeClass, r.sizeClass);
            QVERIFY(b.testAttribute(Qt::WA_StyledBackground));
        }
    }

    void heldRepeatButtonFiresAtPressThenRepeats()
    {
        ColorButton b("+ 1", nullptr, 3);
        b.SetRepeat();
        b.resize(70, 41);
        b.show();
        QVERIFY(QTest::qWaitForWindowExposed(&b));
        QSignalSpy pressed(&b, &QPushButton::pressed);
        QElapsedTimer sincePress;
        QVector<qint64> pressedAt;
        connect(&b, &QPushButton::pressed, [&] { pressedAt << sincePress.elapsed(); });
        sincePress.start();
        QTest::mousePress(&b, Qt::LeftButton);
        QCOMPARE(pressed.size(), 1);
        // 300 ms, then every 50 ms. A busy machine runs the timer late; the toolkit's coarse
        // timers may also fire some 5 % early (the clocks read whole milliseconds): nothing
        // before 280 ms, however long the wait took.
        QTRY_VERIFY2_WITH_TIMEOUT(pressed.size() >= 3, qPrintable(QString::number(pressed.size())), 5000);
        QVERIFY2(pressedAt.value(1) >= 280, qPrintable(QString::number(pressedAt.value(1))));
        QTest::mouseRelease(&b, Qt::LeftButton);
    }

    void comboBoxReportsPressesAndNeverTakesFocus()
    {
        ComboBox c(nullptr);
        c.addItems({"a", "b"});
        c.resize(200, 50);
        c.show();
        QVERIFY(QTest::qWaitForWindowExposed(&c));
        QCOMPARE(c.focusPolicy(), Qt::NoFocus);
        QCOMPARE(c.view(), static_cast<QAbstractItemView*>(c.listView));
        QSignalSpy clicked(&c, &ComboBox::clicked);
        QTest::mouseClick(&c, Qt::LeftButton);
        QCOMPARE(clicked.size(), 1);
        QTRY_VERIFY(c.view()->isVisible());  // the press still opens the list
        c.hidePopup();
        QVERIFY(!c.hasFocus());

        c.setStyleSheet("QComboBox{color:red;}");
        c.setItemHeight(66);
        QCOMPARE(c.styleSheet(),
                 QString("QComboBox QAbstractItemView::item{height:66px;}QComboBox::tab-bar{border-width:0px;}"));
        c.setItemWidth(300);
        QCOMPARE(c.listView->minimumWidth(), 300);
        QCOMPARE(c.listView->maximumWidth(), 300);
    }

    void editComboSwallowsReturnAndFollowsItsHeight()
    {
        CComp_EditComboBox c(nullptr);
        QSignalSpy click(&c, &CComp_EditComboBox::click);
        c.resize(200, 44);
        c.show();
        QVERIFY(QTest::qWaitForWindowExposed(&c));
        QVERIFY(c.styleSheet().contains("width: 40px;height: 40px;"));
        QKeyEvent ret(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, "\r");
        QVERIFY(QApplication::sendEvent(&c, &ret));
        QVERIFY(ret.isAccepted());
        c.lineEdit()->setText("abc");
        QTest::keyClick(c.lineEdit(), Qt::Key_X);
        QCOMPARE(c.lineEdit()->text(), QString("abcx"));
        QTest::mousePress(&c, Qt::LeftButton);
        QCOMPARE(click.size(), 1);
    }

    void statusLabelAndCheckList()
    {
        CComp_LabStatus label(nullptr);
        QCOMPARE(label.size(), QSize(35, 35));
        QCOMPARE(label.status, CComp_LabStatus::Busy);
        label.hide();
        label.setStatus(static_cast<CComp_LabStatus::STATUS>(7));
        QCOMPARE(static_cast<int>(label.status), 7);
        QVERIFY(!label.isHidden());
        label.setStatus(CComp_LabStatus::Error);
        QCOMPARE(label.busyMovie->state(), QMovie::NotRunning);

        QWidget page;
        MulCheckbox list(&page);
        list.addChkItem("first", true);
        list.addChkItem("second", false);
        QCOMPARE(list.listWidget->count(), 2);
        auto* second = qobject_cast<QCheckBox*>(list.listWidget->itemWidget(list.listWidget->item(1)));
        QVERIFY(second);
        QCOMPARE(second->text(), QString("second"));
        QCOMPARE(second->checkState(), Qt::Unchecked);
    }

    void dialogFrameAcceptsAtThePressOfOk()
    {
        CheckingFrame frame;
        auto* cancelA = new QPushButton("cancel");
        auto* cancelB = new QPushButton("other");
        frame.addTitleWgt(cancelA);
        frame.addTitleWgt(cancelB);
        // Title label, stretch, the added widgets in call order, OK last.
        QCOMPARE(frame.titleLayout->count(), 5);
        QCOMPARE(frame.titleLayout->itemAt(2)->widget(), cancelA);
        QCOMPARE(frame.titleLayout->itemAt(3)->widget(), cancelB);
        auto* ok = qobject_cast<QPushButton*>(frame.titleLayout->itemAt(4)->widget());
        QVERIFY(ok);
        QCOMPARE(ok->text(), QString("确定"));
        QVERIFY(frame.minimumSize() == QSize(1000, 800));

        whenShown(&frame, [ok] { QTest::mousePress(ok, Qt::LeftButton); });
        QCOMPARE(frame.exec(), 1);
        QCOMPARE(frame.checks, 1);
        whenShown(&frame, [&frame] { frame.reject(); });
        QCOMPARE(frame.exec(), 0);
    }

    void styleSettersAppendTheExtraText()
    {
        QPushButton b;
        CComp_DialogFrame::setStylePushButton(&b, "#00BCD4", 20, "");
        QCOMPARE(b.styleSheet(), QString("QPushButton{outline:0px;border:none;font-size:20px;color:white;background-"
                                         "color:#00BCD4;}QPushButton:pressed{color:#ffffff;background:#f1c232;}"));
        QLineEdit e;
        CComp_DialogFrame::setStyleLineEdit(&e, "QLineEdit{color:red;}");
        QVERIFY(e.styleSheet().endsWith("QLineEdit{color:red;}"));
        QComboBox c;
        auto* delegate = new QStyledItemDelegate(&c);
        CComp_DialogFrame::setStyleCombobox(&c, delegate, "X");
        QCOMPARE(c.itemDelegate(), static_cast<QAbstractItemDelegate*>(delegate));
        QWidget page;
        CComp_DialogFrame::setDefaultWgt(&page, C_Type_COM::getSlider());
        QVERIFY(page.styleSheet().startsWith("QDialog{background-color:rgb(110,110,110);"));
        QVERIFY(page.styleSheet().endsWith("QScrollBar::sub-line:vertical:pressed {background-color:#FFC107;}"));
    }

    void colourSchemes()
    {
        QLineEdit e;
        C_Type_COM::setTxtQss(&e, C_Type_COM::Color_Blue);
        QCOMPARE(e.styleSheet(), QString("QLineEdit{border-style:none;padding:1px;border-radius:5px;border:2px solid "
                                         "#DCE4EC;}QLineEdit:focus{border:2px solid #3498DB;}"));
        C_Type_COM::setTxtQss(&e, static_cast<C_Type_COM::C_Color>(4));
        QVERIFY(e.styleSheet().contains("#3498DB"));  // untouched

        QPushButton b;
        C_Type_COM::setBtnQss(&b, C_Type_COM::Color_Red);
        QCOMPARE(b.focusPolicy(), Qt::NoFocus);
        QVERIFY(
            b.styleSheet().startsWith("QPushButton{border-style:none;padding:3px;border-radius:5px;color:#FFFFFF;"
                                      "background:#E74C3C;}QPushButton:hover{color:#FFF5E7;background:#EC7064;}"));
        QSlider s;
        C_Type_COM::setSliderQss(&s, C_Type_COM::Color_Green);
        QVERIFY(
            s.styleSheet().startsWith("QSlider::groove:horizontal,QSlider::add-page:horizontal{height:14px;border-"
                                      "radius:4px;background:#FFFBF0;}"));
        QVERIFY(s.styleSheet().endsWith("stop:0 blue)}"));
        QProgressBar p;
        C_Type_COM::setBarQss(&p, "#FFFFFF", "#3498DB");
        QVERIFY(p.styleSheet().contains("height:8px;background:#FFFFFF;border-radius:8px;"));
    }

    void messageBoxesReturnTheirButtons()
    {
        const struct
        {
            int index;  // push buttons in creation order: Cancel, OK, close
            int result;
        } rows[] = {{0, 0}, {1, 1}, {2, -1}};
        for (const auto& r : rows) {
            CComp_SimpMsgBox box("a message", nullptr);
            const auto buttons = box.findChildren<QPushButton*>(QString(), Qt::FindDirectChildrenOnly);
            QCOMPARE(buttons.size(), 3);
            whenShown(&box, [&] { buttons[r.index]->click(); });
            QCOMPARE(box.exec(), r.result);
        }

        CComp_MoreDialog more("choose", nullptr);
        more.addBtn("one");
        more.addBtn("two");
        QSignalSpy spy(&more, &CComp_MoreDialog::sigClick);
        const auto choices = more.findChildren<QPushButton*>();
        QCOMPARE(choices.size(), 2);
        whenShown(&more, [&] { choices[1]->click(); });
        QCOMPARE(more.exec(), 1);
        QCOMPARE(spy.size(), 1);
        QCOMPARE(spy.at(0).at(0).toString(), QString("two"));
    }

    void textPanelCloses()
    {
        TextShowWidget panel(nullptr);
        panel.show();
        panel.textBrowser->append("PING 10.0.0.1");
        QSignalSpy spy(&panel, &TextShowWidget::sigHideWidget);
        auto* close = panel.findChild<QPushButton*>();
        QCOMPARE(close->geometry(), QRect(500, 0, 60, 60));
        close->click();
        QCOMPARE(spy.size(), 1);
        QVERIFY(panel.isHidden());
        QCOMPARE(panel.size(), QSize(560, 300));
    }
};

MONITOR_TEST_MAIN(TestButtons)
#include "tst_buttons.moc"
