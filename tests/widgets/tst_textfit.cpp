// Captions fitted to their room: where lines break, when the font gets smaller, and a label
// fitted again after it changed size.
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include "testsupport.h"
#include "textfit.h"

namespace {

QFont Font(int px)
{
    QFont f(QStringLiteral("wqy-microhei"));
    f.setPixelSize(px);
    return f;
}

int Widest(const QString& text, const QFontMetrics& metrics)
{
    int widest = 0;
    for (const QString& line : text.split('\n')) widest = std::max(widest, metrics.horizontalAdvance(line));
    return widest;
}

}  // namespace

class TestTextFit : public QObject
{
    Q_OBJECT

private slots:
    // Lines end within the room, at a blank, after a hyphen or between Chinese or Japanese
    // characters; nothing is lost and no line starts with a comma or full stop.
    void wrapBreaksWhereTheTextAllows_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("widthOf");  // the room is this text's width
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("at the blank") << "Default gateway" << "Default gat" << QStringList{"Default", "gateway"};
        QTest::newRow("after the hyphen") << "Bumper-Mould-A27" << "Bumper-Mou" << QStringList{"Bumper-", "Mould-A27"};
        QTest::newRow("given breaks stay") << "one\r\ntwo" << "one two three" << QStringList{"one", "two"};
        QTest::newRow("between characters") << "启用磁盘存储图片记录" << "启用磁盘存储" << QStringList{"启用磁盘存储", "图片记录"};
        // Lines checked only for what they must hold.
        QTest::newRow("comma keeps its line") << "成品NG时，开关安全门后直接跳过" << "成品NG时" << QStringList{};
        QTest::newRow("a word wider than the room") << "Unlogged" << "Unlo" << QStringList{};
    }

    void wrapBreaksWhereTheTextAllows()
    {
        QFETCH(QString, text);
        QFETCH(QString, widthOf);
        QFETCH(QStringList, lines);
        const QFontMetrics metrics(Font(25));
        const int room = metrics.horizontalAdvance(widthOf);
        const QString wrapped = TextFit::Wrap(text, metrics, room);
        if (!lines.isEmpty())
            QCOMPARE(wrapped.split('\n'), lines);
        QVERIFY(Widest(wrapped, metrics) <= room);
        QCOMPARE(QString(wrapped).remove('\n').remove(' '), QString(text).remove("\r\n").remove(' '));
        for (const QString& line : wrapped.split('\n')) QVERIFY2(!line.startsWith(QString::fromUtf8("，")), qPrintable(wrapped));
    }

    // The font stays while the text fits; a little too long, it gets a little smaller on one
    // line; longer, the lines break first and the font shrinks only when they do not fit.
    void fitShrinksOnlyWhenItMust_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QSize>("box");
        QTest::addColumn<int>("lines");
        QTest::addColumn<bool>("smaller");
        QTest::newRow("fits") << "Gain" << QSize(200, 50) << 1 << false;
        QTest::newRow("a little long") << "Number of zoom" << QSize(180, 40) << 1 << true;
        QTest::newRow("two lines fit") << "Use the same filter Size and Max Area" << QSize(265, 70) << 2 << false;
        QTest::newRow("two lines, smaller") << "Number of zoom layers" << QSize(150, 40) << 2 << true;
        // One line would fit at two thirds of the size: two lines at the full size come first.
        QTest::newRow("wrapped before halved") << "Number of zoom layers" << QSize(209, 60) << 2 << false;
        // Three lines of the full size would be one line taller than the box.
        QTest::newRow("not a line too many") << "Use the same filter Size and Max Area" << QSize(200, 60) << 2 << true;
    }

    void fitShrinksOnlyWhenItMust()
    {
        QFETCH(QString, text);
        QFETCH(QSize, box);
        QFETCH(int, lines);
        QFETCH(bool, smaller);
        QString shown;
        const QFont fitted = TextFit::Fit(Font(25), text, box, true, &shown);
        QCOMPARE(shown.count('\n') + 1, lines);
        QCOMPARE(fitted.pixelSize() < 25, smaller);
        const QFontMetrics metrics(fitted);
        QVERIFY(Widest(shown, metrics) <= box.width());
        QVERIFY((lines == 1 ? metrics.height() : lines * metrics.lineSpacing()) <= box.height());
        QCOMPARE(QString(shown).remove('\n').remove(' '), QString(text).remove(' '));
    }

    // Shrinking stops at the floor: a caption with no room even there is shown at 16 px, not
    // smaller; a caller whose own size is below the floor lowers it.
    void shrinkingStopsAtTheFloor()
    {
        QString shown;
        QCOMPARE(
            TextFit::Fit(Font(30), QString::fromUtf8("システムパラメータ"), QSize(60, 20), true, &shown).pixelSize(),
            TextFit::kMinPixelSize);
        const QFont legend = TextFit::Fit(Font(13), "Number of qualified", QSize(100, 30), true, &shown, 8);
        QVERIFY(legend.pixelSize() < 13);
        QVERIFY(TextFit::Fits(shown, legend, QSize(100, 30)));
    }

    // A label fitted narrow and then widened shows the whole caption on one line again, in
    // its own font; a styled button's caption is fitted through its style's font size.
    void labelsAndButtonsFitAgain()
    {
        QLabel label;
        label.setFont(Font(27));
        label.setFixedSize(120, 50);
        TextFit::FitLabel(&label, "Morning Shift");
        QVERIFY(label.text().contains('\n') || label.font().pixelSize() < 27);
        label.setFixedSize(400, 50);
        TextFit::Refit(&label);
        QCOMPARE(label.text(), QString("Morning Shift"));
        QCOMPARE(label.font().pixelSize(), 27);

        QPushButton button;
        button.setStyleSheet("QPushButton{border:none;font-size:32px;}");
        button.setFixedSize(100, 50);
        TextFit::FitButton(&button, "cancel", 6);
        const QRegularExpression size("font-size:(\\d+)px");
        const int px = size.match(button.styleSheet()).captured(1).toInt();
        QVERIFY2(px < 32 && px >= TextFit::kMinPixelSize, qPrintable(button.styleSheet()));
        QVERIFY(QFontMetrics(Font(px)).horizontalAdvance(button.text()) <= 94);
    }
};

MONITOR_TEST_MAIN(TestTextFit)
#include "tst_textfit.moc"
