// Splash screen: layout, steps that clamp and never go back, the text, and the panel's end.
#include <QLabel>
#include <QProgressBar>

#include "splashframe.h"
#include "testsupport.h"

namespace {

QString labelText(SplashFrame& s)
{
    QLabel* label = s.findChild<QLabel*>("loadlabel");
    return label ? label->text() : QString("<none>");
}

}  // namespace

class TestSplash : public QObject
{
    Q_OBJECT

private slots:
    void builtFullScreenAndShown()
    {
        SplashFrame s;
        QCOMPARE(s.objectName(), QString("splashframe"));
        QVERIFY(s.isVisible());
        // The 2-pixel frame around the full-screen panel may grow the window past the screen.
        QCOMPARE(s.pos(), QPoint(0, 0));
        QVERIFY(s.width() >= kSplashWidth && s.height() >= kSplashHeight);
        QVERIFY(s.panel);
        QCOMPARE(s.panel->objectName(), QString("progressdialog"));
        QCOMPARE(s.panel->size(), QSize(kSplashWidth, kSplashHeight));
        QCOMPARE(s.panel->parentWidget(), &s);
        QCOMPARE(s.progressBar->objectName(), QString("progressbar"));
        QCOMPARE(s.progressBar->size(), QSize(500, 50));
        QCOMPARE(s.progressBar->value(), 0);
        QCOMPARE(labelText(s), QString("程序加载中.."));
        QCOMPARE(s.styleSheet(), s.getStyle());
        QVERIFY(s.getStyle().contains("QDialog#progressdialog{border-image: url(./images/background.png);"));
    }

    void stepsClampAndNeverGoBack()
    {
        SplashFrame s;
        s.flushstep(-5, "启动...");
        QCOMPARE(s.progressBar->value(), 0);
        QCOMPARE(labelText(s), QString("启动..."));

        s.flushstep(75, "seventy-five");
        s.flushstep(60, "sixty");
        QCOMPARE(s.progressBar->value(), 75);
        QCOMPARE(labelText(s), QString("sixty"));

        s.flushstep(80, QString());
        QCOMPARE(s.progressBar->value(), 80);
        QCOMPARE(labelText(s), QString("sixty"));

        s.flushstep(-5, "again");
        QCOMPARE(s.curValue, 80);
        QCOMPARE(s.progressBar->value(), 80);
        QVERIFY(s.panel);
    }

    void lastStepRemovesPanelAndLaterStepsAreSafe()
    {
        SplashFrame s;
        QPointer<QProgressBar> bar = s.progressBar;
        s.flushstep(99, "almost");
        QVERIFY(s.panel);
        s.flushstep(150, "complete");
        QCOMPARE(s.curValue, 100);
        QVERIFY(!s.panel);
        QVERIFY(!bar);
        QCOMPARE(labelText(s), QString("<none>"));

        s.flushstep(100, "once more");
        s.flushstep(30, QString());
        QCOMPARE(s.curValue, 100);
        QVERIFY(s.isVisible());
    }
};

MONITOR_TEST_MAIN(TestSplash)
#include "tst_splash.moc"
